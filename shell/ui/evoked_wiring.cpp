#include "shell/ui/evoked_wiring.h"

#include <QObject>
#include <algorithm>

#include "core/formula_files.h"
#include "eeg/ui/ers_erd_dialog.h"
#include "physio/ui/evoked_window.h"
#include "results/text_results.h"
#include "results/ui/text_results_window.h"
#include "shell/main_commands.h"
#include "shell/ui/main_window.h"
#include "shell/ui/results_wiring.h"
#include "tools/ui/formula_editor_dialog.h"

namespace velor::shell {

namespace {

class EvokedWiring final : public QObject {
 public:
  explicit EvokedWiring(MainWindow& w) : QObject(&w) { setObjectName("evokedWiring"); }
  std::function<void(EvokedWindow&)> run;
  std::function<void(ErsErdDialog&)> runErd;
};

EvokedWiring& wiringOf(MainWindow& w) {
  if (auto* e = w.findChild<QObject*>("evokedWiring", Qt::FindDirectChildrenOnly)) return *static_cast<EvokedWiring*>(e);
  return *new EvokedWiring(w);
}

// The step-by-step question comes after the running average was written into
// the channels: the monitor draws it before the box asks.
class ShowingStepsInteraction final : public Interaction {
 public:
  ShowingStepsInteraction(Interaction& inner, MainWindow& w) : inner_(inner), w_(w) {}
  void message(std::string_view text) override { inner_.message(text); }
  bool ask(std::string_view question) override { return inner_.ask(question); }
  std::optional<std::string> input(std::string_view title, std::string_view prompt,
                                   std::string_view defaultText) override {
    return inner_.input(title, prompt, defaultText);
  }
  int choose(std::string_view title, std::string_view caption, std::string_view label,
             const std::vector<Choice>& choices) override {
    w_.refreshMonitor(false);
    return inner_.choose(title, caption, label, choices);
  }

 private:
  Interaction& inner_;
  MainWindow& w_;
};

}  // namespace

void setEvokedWindowRunner(MainWindow& w, std::function<void(EvokedWindow&)> run) { wiringOf(w).run = std::move(run); }
void setErsErdDialogRunner(MainWindow& w, std::function<void(ErsErdDialog&)> run) {
  wiringOf(w).runErd = std::move(run);
}

void runEvokedCommand(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser, EvokedMode mode) {
  s.dialogResult = 0;
  EvokedWindow::Actions a;
  a.chooseArchive = [&s, chooser](bool save) -> std::optional<std::string> {
    if (!chooser) return std::nullopt;
    return chooseByKind(s, FileKind::Averages, save, *chooser);
  };
  a.editCondition = [&s, &w](const std::string& condition) -> std::optional<std::string> {
    const FormulaUse* use = formulaUse(4);
    FormulaEditorDialog editor(QString::fromUtf8(use->title), QString::fromStdString(condition), use->variables,
                               functionListOrDefault(s.programDir), &w);
    if (editor.exec() != QDialog::Accepted) return std::nullopt;
    return editor.formula().toStdString();
  };
  a.erdSettings = [&s, &w](EvokedSettings& p) {
    const int keep = s.dialogResult;
    s.dialogResult = 0;
    ErsErdDialog d(s, &w);
    if (wiringOf(w).runErd) wiringOf(w).runErd(d);
    else d.exec();
    const bool set = s.dialogResult == 1;
    s.dialogResult = keep;
    if (!set) return false;
    const ErsErdChoice& c = d.choice();
    p.erdLow = c.bandLow;
    p.erdHigh = c.bandHigh;
    // The averaging takes the interval in whole samples, as the dialog keeps it.
    p.baselineStart = static_cast<double>(c.baselineStartSamples(s.sampleRate)) / std::max(1, s.sampleRate);
    p.baselineEnd = static_cast<double>(c.baselineEndSamples(s.sampleRate)) / std::max(1, s.sampleRate);
    return true;
  };
  a.peaks = [&w, &s, &ui](const PeakTable& t) {
    MainWindowTextOpener opener(&w, ui);
    TextResults& text = opener.beginTextResults(s, kWithoutHeader);
    std::size_t from = 0;
    while (from < t.text.size()) {
      const std::size_t end = t.text.find('\n', from);
      text.addResultLine(t.text.substr(from, end == std::string::npos ? std::string::npos : end - from));
      if (end == std::string::npos) break;
      from = end + 1;
    }
  };
  EvokedWindow window(s, ui, a, &w);
  window.ini(mode);
  if (wiringOf(w).run) wiringOf(w).run(window);
  else window.exec();
  if (s.dialogResult == 1 || s.dialogResult == 2) {
    ShowingStepsInteraction steps(ui, w);
    EvokedOutcome outcome;
    averageEvoked(s, window.settings(), mode, w.spectralEngine(), steps, outcome);
  }
  w.refreshMonitor();
}

}  // namespace velor::shell
