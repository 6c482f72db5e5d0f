#include "shell/ui/transform_wiring.h"

#include <QObject>

#include "core/numtext.h"
#include "core/record_snapshot.h"
#include "results/graph.h"
#include "results/ui/graph_host.h"
#include "results/ui/graph_window.h"
#include "shell/main_commands.h"
#include "shell/ui/evoked_wiring.h"
#include "shell/ui/main_window.h"
#include "shell/ui/results_wiring.h"
#include "tools/artefacts.h"
#include "tools/transformation_texts.h"
#include "tools/transformations.h"
#include "tools/ui/artefacts_window.h"
#include "tools/ui/formula_window.h"
#include "tools/ui/generator_dialog.h"
#include "tools/ui/transformations_window.h"
#include "viewer/monitor.h"
#include "viewer/ui/edit_dialogs.h"
#include "viewer/ui/monitor_widget.h"
#include "viewer/ui/record_edit_commands.h"

namespace velor::shell {

namespace {

struct TransformWiring : QObject {
  explicit TransformWiring(QObject* parent) : QObject(parent) { setObjectName(QStringLiteral("transformWiring")); }
  RecordUndo undo;  // only while there is no record editor
  std::vector<std::string> headerLines;  // "Zagolovok.txt" of this session
};

TransformWiring* wiringOf(MainWindow& w) {
  return w.findChild<TransformWiring*>(QStringLiteral("transformWiring"), Qt::FindDirectChildrenOnly);
}

// Rows 0.. of floatStore as series of one graph window.
GraphWindow* graphOf(MainWindow& w, const std::vector<std::vector<double>>& rows,
                     const std::vector<GraphSeriesEntry>& series, int left, int top) {
  StudyState& s = w.study();
  GraphHost& host = graphHostOf(w, s, w.interaction(), &w.fileChooser());
  GraphTable& t = host.table();
  const int n = std::min<int>(static_cast<int>(rows[0].size()), kGraphMaxPoints);
  if (n == 0) return nullptr;
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (int k = 0; k < n; ++k) setFloatAt(s, static_cast<int>(r), k, static_cast<float>(rows[r][static_cast<std::size_t>(k)]));
  t.lastIndex.fill(kEmptySeries);
  for (std::size_t k = 0; k < series.size(); ++k) {
    t.series[k] = series[k];
    t.lastIndex[k] = static_cast<std::uint16_t>(n - 1);
  }
  GraphWindow* gw = host.createGraphWindow(left, top);
  if (!gw) return nullptr;
  gw->drawSeries(static_cast<int>(series.size()) - 1);
  return gw;
}

}  // namespace

RecordUndo& recordUndoOf(MainWindow& w) {
  if (RecordEditCommands* e = w.editCommands()) return e->editor().undo();
  TransformWiring* t = wiringOf(w);
  if (!t) t = new TransformWiring(&w);
  return t->undo;
}

bool changeRecord(MainWindow& w, const std::function<bool()>& work) {
  RecordSnapshot before;
  before.capture(w.study());
  const std::uint64_t was = recordFingerprint(w.study());
  const bool ok = work();
  if (recordFingerprint(w.study()) != was) recordUndoOf(w).changed(std::move(before), w.study());
  return ok;
}

void installTransformTools(MainWindow& w) {
  TransformWiring* t = wiringOf(w);
  if (!t) t = new TransformWiring(&w);
  CommandDispatcher& c = w.commands();
  c.setHandler(Cmd::Transformations, [&w, t] {
    StudyState& s = w.study();
    s.dialogResult = 0;
    TransformationsWindow d(s, w.interaction(), w.spectralEngine(), recordUndoOf(w), t->headerLines, &w);
    d.chooseRecordFile = [&w] {
      return chooseByKind(w.study(), FileKind::RecordsForCaller, false, w.fileChooser()).value_or(std::string());
    };
    d.chooseFormula = [&w, &d] { return chooseFormula(w.study(), w.interaction(), 1, &d); };
    d.segmentChoice = [&w](DeleteSettings& settings) {
      QtEditDialogs dialogs(w.study(), &w);
      return dialogs.deleteDialog(settings);
    };
    d.openGenerator = [&w] {
      GeneratorDialog g(w.study(), w.interaction(), &w);
      g.chooseFormula = [&w, &g] { return chooseFormula(w.study(), w.interaction(), 1, &g); };
      g.exec();
    };
    bool reorganise = false;
    d.reorganise = [&reorganise] { reorganise = true; };
    d.showResponse = [&w](const std::vector<ResponsePoint>& points) {
      std::vector<std::vector<double>> rows(2);
      for (const auto& p : points) rows[0].push_back(p.hz), rows[1].push_back(p.magnitude);
      if (GraphWindow* g = graphOf(w, rows, {{0, 1, 0, 1}}, 0, 0))
        g->setWindowTitle(QString::fromUtf8(kTrnResponseCaption));
    };
    d.showComparison = [&w](const ChannelComparison& cmp) {
      GraphWindow* g = graphOf(w, {cmp.time, cmp.first, cmp.second}, {{0, 1, 0, 0}, {0, 2, 1, 0}}, 20, 20);
      if (!g) return;
      g->setWindowTitle(QString::fromUtf8(kTrnCompareCaption));
      g->drawTextAt(40, 30, kTrnAmplitudeAxis, 0);
      g->drawTextAt(g->width() - 85, 250, kTrnIntervalAxis, 0);
      g->drawTextAt(30, g->height() - 50, cmp.line, 0);
    };
    d.exec();
    const int result = s.dialogResult;
    if (reorganise && w.editCommands()) w.editCommands()->reorganise();
    // 7: average the repeated epochs along the current record.
    if (result == 7)
      runEvokedCommand(w, w.study(), w.interaction(), &w.fileChooser(), EvokedMode::InsideRecord);
    // The record may have changed length or rate (decimation, undo): lay it out again.
    return CommandResult::done(ViewChange::Relayout);
  });
  c.setHandler(Cmd::Artefacts, [&w, t] {
    StudyState& s = w.study();
    s.dialogResult = 0;
    ArtefactsWindow d(s, &w);
    d.exec();
    const ArtefactSettings a = d.settings();
    Interaction& ui = w.interaction();
    switch (d.choice()) {
      case 1:
      case 2: {
        const auto seconds = parseNumber(a.minSeconds), microvolts = parseNumber(a.minMicrovolts);
        if (!seconds || !microvolts) return CommandResult::done();
        RecordSnapshot before;
        before.capture(s);
        ArtefactSearchConfirm confirm(&w, [&w](StudyState& st) {
          MonitorWidget* m = w.monitor();
          if (!m) return 0;
          m->update();
          return m->mapToGlobal(QPoint(static_cast<int>(sampleToX(st, st.cursorPos)), 0)).x();
        });
        const std::uint64_t was = recordFingerprint(s);
        cutArtefacts(s, *seconds, *microvolts, d.choice() == 2, &confirm, ui);
        if (recordFingerprint(s) != was) recordUndoOf(w).changed(std::move(before), s);
        break;
      }
      case 3:
        changeRecord(w, [&] { return regressionCorrection(s, a.inductor, a.allChannels, ui); });
        break;
      case 4:
        changeRecord(w, [&] { return removeBlinks(s, w.spectralEngine(), ui); });
        break;
      default:
        return CommandResult::done();
    }
    return CommandResult::done(ViewChange::Redraw);
  });
}

}  // namespace velor::shell
