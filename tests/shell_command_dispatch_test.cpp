// Commands run through the dispatcher on a study state alone, without any
// window: what each answers, what it changes, what it leaves alone.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"
#include "shell/command_dispatch.h"
#include "shell/commands.h"
#include "shell/engine_commands.h"
#include "chooser_support.h"
#include "test_support.h"
#include "tools/demo_study.h"
#include "viewer/record_edit.h"
#include "viewer/record_edit_texts.h"

namespace velor::shell {
namespace {

using test::TempDir;

// Editing windows that must not be reached by the commands under test.
class NoEditDialogs : public EditDialogs {
 public:
  int deleteDialog(DeleteSettings&) override { return 0; }
  int calibrationDialog(CalibrationSettings&) override { return 0; }
  bool reorganisationDialog(ReorganisationSettings&) override { return false; }
};

DemoStudyOptions shortDemo() {
  DemoStudyOptions o;
  o.records = 3;
  o.seconds = 4;
  return o;
}

// The engine's commands on a fresh study, as velor-cli or a macro would
// have them: a scripted person, a fixed file window, a record editor.
class EngineCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    s->programDir = dir.path() + "/";
    s->dataDir = s->programDir;
    registerEngineCommands(dispatcher,
                           {*s, ui, [this]() -> FileChooser& { return chooser; },
                            [this]() -> RecordEditor* { return withEditor ? &editor : nullptr; },
                            [this]() -> EditDialogs& { return dialogs; }, [this]() -> Progress& { return progress; }});
  }

  // The demo study written by its writer and opened with "Читать...".
  void openDemo() {
    auto writer = std::make_unique<StudyState>();
    std::string reason;
    const std::string path = dir.file("demo.cad");
    ASSERT_TRUE(writeDemoStudy(*writer, path, shortDemo(), progress, reason)) << reason;
    chooser.answer = path;
    const CommandResult r = dispatcher.run(Cmd::Open);
    ASSERT_EQ(r.status, CommandStatus::Done) << (ui.messages.empty() ? "" : ui.messages.back());
    ASSERT_EQ(s->currentRecord, 1);
  }

  // The first samples of record `index` as the demo synthesises them.
  static std::vector<std::int16_t> demoRecordStart(int index) {
    auto t = std::make_unique<StudyState>();
    setupDemoStudy(*t, shortDemo());
    synthesizeDemoRecord(*t, shortDemo(), index);
    return std::vector<std::int16_t>(t->channel(0), t->channel(0) + 64);
  }
  std::vector<std::int16_t> shownStart() const { return std::vector<std::int16_t>(s->channel(0), s->channel(0) + 64); }

  TempDir dir;
  std::unique_ptr<StudyState> s = std::make_unique<StudyState>();
  ScriptedInteraction ui;
  test::ScriptedChooser chooser;
  NoEditDialogs dialogs;
  NoProgress progress;
  RecordEditor editor{*s, ui};
  bool withEditor = true;
  CommandDispatcher dispatcher;
};

TEST_F(EngineCommands, RecordStepsReadTheNeighbouringRecordsAndStopAtTheEnds) {
  openDemo();
  ASSERT_NE(demoRecordStart(0), demoRecordStart(1));
  ASSERT_EQ(shownStart(), demoRecordStart(0));

  CommandResult r = dispatcher.run(Cmd::NextRecord);
  EXPECT_EQ(r.status, CommandStatus::Done);
  EXPECT_EQ(r.view, ViewChange::Relayout);
  EXPECT_EQ(s->currentRecord, 2);
  EXPECT_EQ(shownStart(), demoRecordStart(1));

  ASSERT_EQ(dispatcher.run(Cmd::NextRecord).status, CommandStatus::Done);
  EXPECT_EQ(s->currentRecord, 3);
  // Past the last record nothing is read, and the monitor is shown again
  // all the same.
  r = dispatcher.run(Cmd::NextRecord);
  EXPECT_EQ(r.status, CommandStatus::Refused);
  EXPECT_EQ(r.view, ViewChange::Relayout);
  EXPECT_TRUE(r.message.empty());
  EXPECT_EQ(s->currentRecord, 3);
  EXPECT_EQ(shownStart(), demoRecordStart(2));

  ASSERT_EQ(dispatcher.run(Cmd::PrevRecord).status, CommandStatus::Done);
  EXPECT_EQ(s->currentRecord, 2);
  EXPECT_EQ(shownStart(), demoRecordStart(1));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.questions.empty());
}

TEST_F(EngineCommands, ACancelledOpenChangesNothingButTheMonitorIsShownAgain) {
  openDemo();
  chooser.answer.clear();
  const CommandResult r = dispatcher.run(Cmd::Open);
  EXPECT_EQ(r.status, CommandStatus::Refused);
  EXPECT_EQ(r.view, ViewChange::Relayout);
  EXPECT_EQ(s->recordFilePath, dir.file("demo.cad"));
  EXPECT_EQ(s->currentRecord, 1);
}

// Steps and edits the state of the study forbids: refused with the reason
// for the status line, nothing read, nothing changed, nobody asked.
TEST_F(EngineCommands, StepsAndEditsForbiddenByTheStateAreRefusedWithTheReason) {
  struct Case {
    Cmd cmd;
    bool recording;  // an examination records
    bool transformView;
    const char* reason;
  };
  const Case cases[] = {
      {Cmd::NextRecord, true, false, edit_text::kNoStepsWhileRecording},
      {Cmd::PrevRecord, true, false, edit_text::kNoStepsWhileRecording},
      {Cmd::NextEpoch, true, false, edit_text::kNoStepsWhileRecording},
      {Cmd::ChannelInsert, true, false, edit_text::kNoStepsWhileRecording},
      {Cmd::RecordByNumber, false, true, edit_text::kOnlyWithSignalsShown},
      {Cmd::MarkInsert, false, true, edit_text::kOnlyWithSignalsShown},
      {Cmd::ZeroAll, false, true, edit_text::kOnlyWithSignalsShown},
      {Cmd::ChannelDelete, false, true, edit_text::kOnlyWithSignalsShown},
  };
  openDemo();
  ASSERT_EQ(dispatcher.run(Cmd::NextRecord).status, CommandStatus::Done);
  const std::vector<std::int16_t> before = shownStart();
  const int channels = s->channelCount;
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.cmd));
    s->acquisitionActive = c.recording ? 1 : 0;
    s->viewMode = c.transformView ? ViewMode::Transform : ViewMode::Signals;
    const CommandResult r = dispatcher.run(c.cmd);
    EXPECT_EQ(r.status, CommandStatus::Refused);
    EXPECT_EQ(r.message, c.reason);
    EXPECT_EQ(r.view, ViewChange::None);
    EXPECT_EQ(s->currentRecord, 2);
    EXPECT_EQ(s->channelCount, channels);
    EXPECT_EQ(shownStart(), before);
  }
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.questions.empty());
}

TEST_F(EngineCommands, SampleRateTakesAWholeNumberFrom1To65535) {
  struct Case {
    std::optional<std::string> answer;  // nothing: the question was cancelled
    CommandStatus status;
    int rate;
    std::size_t messages;
  };
  const Case cases[] = {
      {"500", CommandStatus::Done, 500, 0},
      {"65535", CommandStatus::Done, 65535, 0},
      {"1", CommandStatus::Done, 1, 0},
      {"0", CommandStatus::Refused, 250, 1},
      {"65536", CommandStatus::Refused, 250, 1},
      {"абв", CommandStatus::Refused, 250, 1},
      {std::nullopt, CommandStatus::Refused, 250, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer.value_or("(cancelled)"));
    s->sampleRate = 250;
    ui.messages.clear();
    ui.inputScript = {c.answer};
    const CommandResult r = dispatcher.run(Cmd::SampleRate);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(s->sampleRate, c.rate);
    // The refusal was told through Interaction, so nothing is left to say.
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(ui.messages.size(), c.messages);
    EXPECT_EQ(r.view, c.status == CommandStatus::Done ? ViewChange::Relayout : ViewChange::None);
  }
}

TEST_F(EngineCommands, WithoutARecordEditorRecordStepsAreNotAvailable) {
  openDemo();
  withEditor = false;
  for (Cmd cmd : {Cmd::NextRecord, Cmd::RestoreRecord, Cmd::MergeRecords, Cmd::Calibration}) {
    SCOPED_TRACE(static_cast<int>(cmd));
    const CommandResult r = dispatcher.run(cmd);
    EXPECT_EQ(r.status, CommandStatus::NotAvailable);
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(r.view, ViewChange::None);
  }
  EXPECT_EQ(s->currentRecord, 1);
}

// A command of a module that is not in this build answers with the hint
// the menu shows, and neither its handler nor any follow-up runs, whoever
// registered them.
TEST(CommandDispatcher, ACommandOfAMissingModuleAnswersWithItsHintAndRunsNothing) {
  CommandDispatcher d;
  int calls = 0;
  d.addFollowUpForAll([&calls](Cmd, const CommandResult&) { ++calls; });
  int disabled = 0;
  for (const MenuEntry& e : menuEntries()) {
    if (commandEnabled(e.module)) continue;
    ++disabled;
    d.setHandler(e.cmd, [&calls] {
      ++calls;
      return CommandResult::done();
    });
    d.addFollowUp(e.cmd, [&calls](Cmd, const CommandResult&) { ++calls; });
    const CommandResult r = d.run(e.cmd);
    EXPECT_EQ(r.status, CommandStatus::NotAvailable) << e.caption;
    EXPECT_EQ(r.message, shownHint(e.hint, e.module)) << e.caption;
  }
  EXPECT_GT(disabled, 0);
  EXPECT_EQ(calls, 0);

  // An available command nobody registered: not available, nothing to say.
  const CommandResult r = d.run(Cmd::Exit);
  EXPECT_EQ(r.status, CommandStatus::NotAvailable);
  EXPECT_TRUE(r.message.empty());
  EXPECT_EQ(calls, 0);
}

TEST(CommandDispatcher, FollowUpsSeeTheResultOwnOnesFirstAndALaterHandlerReplacesAnEarlier) {
  CommandDispatcher d;
  std::vector<std::string> log;
  d.setHandler(Cmd::TimeAxes, [] { return CommandResult::done(ViewChange::Redraw); });
  d.setHandler(Cmd::TimeAxes, [&log] {
    log.push_back("handler");
    return CommandResult::refused("why", ViewChange::Redraw);
  });
  d.setHandler(Cmd::AmplitudeAxes, [] { return CommandResult::done(); });
  d.addFollowUpForAll([&log](Cmd, const CommandResult& r) { log.push_back("all:" + r.message); });
  d.addFollowUp(Cmd::TimeAxes, [&log](Cmd, const CommandResult& r) {
    log.push_back(r.status == CommandStatus::Refused ? "own:refused" : "own:done");
  });

  const CommandResult r = d.run(Cmd::TimeAxes);
  EXPECT_EQ(r.status, CommandStatus::Refused);
  EXPECT_EQ(r.view, ViewChange::Redraw);
  EXPECT_EQ(log, (std::vector<std::string>{"handler", "own:refused", "all:why"}));

  log.clear();
  d.run(Cmd::AmplitudeAxes);
  EXPECT_EQ(log, (std::vector<std::string>{"all:"}));
}

}  // namespace
}  // namespace velor::shell
