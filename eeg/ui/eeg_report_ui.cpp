#include "eeg/ui/eeg_report_ui.h"

#include "eeg/eeg_report.h"
#include "eeg/eeg_report_texts.h"
#include "results/text_results.h"
#include "results/ui/text_results_window.h"

namespace velor {

TextResultsWindow* runEegDiagnosis(QWidget* mainWindow, StudyState& s, SpectralEngine& engine, Interaction& ui) {
  s.transformKind = TransformKind::Amplitude;
  s.dialogResult = 0;
  const EegReport report = eegReport(engine, s);
  if (!report.ok()) {
    ui.message(report.problem);
    return nullptr;
  }
  TextResultsWindow* w = beginTextResults(mainWindow, s, ui, nullptr, kWithHeader);
  if (!w) return nullptr;
  w->setWindowTitle(QString::fromUtf8(eeg_report_text::kWindowTitle));
  for (const std::string& line : report.lines) w->journal().addResultLine(line);
  return w;
}

}  // namespace velor
