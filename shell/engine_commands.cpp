#include "shell/engine_commands.h"

#include <memory>

#include "core/record_file.h"
#include "core/record_snapshot.h"

namespace velor::shell {

namespace {

using V = ViewChange;

// A step or edit that the study's state forbids is refused with the reason;
// `why` is the refusal check of its kind (record step or edit).
using RefusalCheck = const char* (*)(const StudyState&);

}  // namespace

void registerEngineCommands(CommandDispatcher& d, EngineCommandServices services) {
  // One copy shared by every handler; the handlers outlive this call.
  const auto svc = std::make_shared<EngineCommandServices>(std::move(services));
  StudyState& s = svc->study;
  Interaction& ui = svc->ui;

  // --- files -----------------------------------------------------------------------------
  // The monitor is shown again after a cancelled open or save too.
  d.setHandler(Cmd::Open,
               [svc, &s, &ui] { return CommandResult::from(openRecordCommand(s, svc->chooser(), ui), V::Relayout); });
  d.setHandler(Cmd::Save,
               [svc, &s, &ui] { return CommandResult::from(saveCommand(s, false, svc->chooser(), ui), V::Redraw); });
  d.setHandler(Cmd::ReadSettings, [svc, &s, &ui] {
    return CommandResult::from(openByKind(s, FileKind::ChannelSettings, svc->chooser(), ui), V::Relayout);
  });
  d.setHandler(Cmd::SaveSettings,
               [svc, &s, &ui] { return CommandResult::from(saveSettingsCommand(s, svc->chooser(), ui)); });
  // Without an open record file, or in the transform view, nothing happens;
  // refusals of the file itself are told by the engine.
  d.setHandler(Cmd::RewriteHeader, [&s, &ui] { return CommandResult::from(rewriteHeader(s, ui)); });

  // --- view and settings ------------------------------------------------------------------
  d.setHandler(Cmd::BackToSignals,
               [&s] { return backToSignals(s) ? CommandResult::done(V::Relayout) : CommandResult::refused(); });
  d.setHandler(Cmd::SampleRate, [&s, &ui] {
    return sampleRateCommand(s, ui) ? CommandResult::done(V::Relayout) : CommandResult::refused();
  });
  d.setHandler(Cmd::TimeAxes, [&s] {
    s.displayFlags = nextTimeAxes(s.displayFlags);
    return CommandResult::done(V::Redraw);
  });
  d.setHandler(Cmd::AmplitudeAxes, [&s] {
    s.displayFlags = nextAmplitudeAxes(s.displayFlags);
    return CommandResult::done(V::Redraw);
  });
  const std::pair<Cmd, int> devices[] = {{Cmd::DeviceClass, 0}, {Cmd::DeviceK2, 1}, {Cmd::DeviceK3, 2}};
  for (const auto& [cmd, kind] : devices)
    d.setHandler(cmd, [&s, &ui, kind] {
      chooseDevice(s, kind, ui);
      return CommandResult::done();
    });
  const std::pair<Cmd, int> placements[] = {
      {Cmd::Placement1, 1}, {Cmd::Placement2, 2}, {Cmd::Placement3, 3}, {Cmd::Placement4, 4}};
  for (const auto& [cmd, placement] : placements)
    d.setHandler(cmd, [&s, placement] {
      setMonitorPlacement(s, placement);
      return CommandResult::done();
    });

  // --- record steps and edits -------------------------------------------------------------
  // `work` runs only when the state allows it; a false from it is a silent
  // refusal, except where the old commands redrew regardless (`always`).
  auto guarded = [&d, &s](Cmd cmd, RefusalCheck why, V view, std::function<bool()> work, bool always = false) {
    d.setHandler(cmd, [&s, why, view, work = std::move(work), always] {
      if (const char* reason = why(s)) return CommandResult::refused(reason);
      const bool ok = work();
      return always ? CommandResult::from(ok, view) : ok ? CommandResult::done(view) : CommandResult::refused();
    });
  };
  // The same for the steps that need the record editor.
  auto withEditor = [&d, &s, svc](Cmd cmd, RefusalCheck why, V view, std::function<bool(RecordEditor&)> work,
                                  bool always = false) {
    d.setHandler(cmd, [&s, svc, why, view, work = std::move(work), always] {
      RecordEditor* editor = svc->editor ? svc->editor() : nullptr;
      if (!editor) return CommandResult::notAvailable();
      if (const char* reason = why(s)) return CommandResult::refused(reason);
      const bool ok = work(*editor);
      return always ? CommandResult::from(ok, view) : ok ? CommandResult::done(view) : CommandResult::refused();
    });
  };

  // A record step shows the monitor again even when the record could not be
  // read (the question about a changed record may have written it).
  withEditor(
      Cmd::NextRecord, navigationRefusal, V::Relayout, [](RecordEditor& e) { return e.nextRecord(); }, true);
  withEditor(
      Cmd::PrevRecord, navigationRefusal, V::Relayout, [](RecordEditor& e) { return e.previousRecord(); }, true);
  // By number only while the signals are shown.
  withEditor(
      Cmd::RecordByNumber, editingRefusal, V::Relayout, [](RecordEditor& e) { return e.recordByNumber(); }, true);
  withEditor(
      Cmd::RestoreRecord, navigationRefusal, V::Relayout, [](RecordEditor& e) { return e.restoreRecord(); }, true);
  withEditor(Cmd::MergeRecords, editingRefusal, V::Relayout,
             [svc](RecordEditor& e) { return e.mergeRecords(svc->progress()); });
  withEditor(Cmd::NextEpoch, navigationRefusal, V::Relayout, [](RecordEditor& e) { return e.nextEpoch(); });
  withEditor(Cmd::PrevEpoch, navigationRefusal, V::Relayout, [](RecordEditor& e) { return e.previousEpoch(); });
  withEditor(Cmd::ChannelInsert, editingRefusal, V::Relayout, [](RecordEditor& e) { return e.insertChannel(); });
  withEditor(Cmd::ChannelDelete, editingRefusal, V::Relayout, [](RecordEditor& e) { return e.deleteChannel(); });

  // Edits that rewrite the record hand the copy taken before them to the
  // record's undo, so "Восстановить" can still give the record back from memory.
  auto undoable = [svc, &s](std::function<bool()> work) {
    return [svc, &s, work = std::move(work)] {
      RecordEditor* editor = svc->editor ? svc->editor() : nullptr;
      if (!editor) return work();
      RecordSnapshot before;
      before.capture(s);
      const std::uint64_t was = recordFingerprint(s);
      const bool ok = work();
      if (recordFingerprint(s) != was) editor->undo().changed(std::move(before), s);
      return ok;
    };
  };
  guarded(Cmd::MarkInsert, editingRefusal, V::Redraw, undoable([&s] { return insertMark(s); }));
  guarded(Cmd::MarkRemove, editingRefusal, V::Redraw, undoable([&s] { return removeMark(s); }));
  guarded(Cmd::MarkRemoveAll, editingRefusal, V::Redraw, undoable([&s] { return removeAllMarks(s) > 0; }));
  guarded(Cmd::MarkPrev, editingRefusal, V::Redraw, [&s] { return previousMark(s); });
  guarded(Cmd::MarkNext, editingRefusal, V::Redraw, [&s] { return nextMark(s); });
  guarded(Cmd::ZeroAll, editingRefusal, V::Redraw, undoable([&s, &ui] { return zeroCorrection(s, true, ui); }));
  guarded(Cmd::ZeroCurrent, editingRefusal, V::Redraw, undoable([&s, &ui] { return zeroCorrection(s, false, ui); }));
  withEditor(Cmd::Calibration, editingRefusal, V::Redraw, [svc, &s, &ui, undoable](RecordEditor&) {
    return undoable([svc, &s, &ui] { return calibrationCommand(s, ui, svc->editDialogs()); })();
  });
}

}  // namespace velor::shell
