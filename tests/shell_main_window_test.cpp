// The main window's engine: start and close sequence with its settings files,
// the command table, the work behind the commands and the help topics.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/binio.h"
#include "core/interaction.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "core/text.h"
#include "shell/commands.h"
#include "shell/help_topics.h"
#include "shell/main_commands.h"
#include "shell/main_window_texts.h"
#include "shell/session.h"
#include "tools/demo_study.h"
#include "chooser_support.h"
#include "test_support.h"

namespace velor::shell {
namespace {

using test::TempDir;

std::vector<std::string> crlfLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(at));
      break;
    }
    lines.push_back(bytes.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

void useDir(StudyState& s, const TempDir& dir) {
  s.programDir = dir.path() + "/";
  s.dataDir = s.programDir;
}

// A record of `channels` ramps saved as a new ".cad" file.
void writeRecordFile(const std::string& path, int channels, int length, int records = 1) {
  StudyState s;
  ScriptedInteraction ui;
  s.channelCount = channels;
  s.recordLength = length;
  s.sampleRate = 250;
  for (int c = 0; c < channels; ++c) {
    s.channelNames[static_cast<std::size_t>(c)] = "К" + std::to_string(c + 1);
    for (int i = 0; i < length; ++i) s.channel(c)[i] = static_cast<std::int16_t>(2048 + (i % 100) * (c + 1));
  }
  ASSERT_TRUE(saveRecords(s, path, ui)) << (ui.messages.empty() ? "" : ui.messages.back());
  for (int r = 1; r < records; ++r) {
    for (int c = 0; c < channels; ++c) s.channel(c)[0] = static_cast<std::int16_t>(r);
    ASSERT_TRUE(appendRecords(s, path, 2, ui));
  }
}

// A file window that hands back a fixed answer and notes what it was shown.
using test::ScriptedChooser;

// --- start and close ------------------------------------------------------------------

TEST(MainSession, FreshInstallationStartsQuietlyAndCreatesTheSettingsAtClose) {
  TempDir dir;
  StudyState s;
  useDir(s, dir);
  ScriptedInteraction ui;
  MainSession session(s, ui);
  session.firstShow();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(s.helpContext, kMonitorHelpContext);

  ASSERT_TRUE(session.close(session.window()));
  EXPECT_EQ(crlfLines(test::readBytes(dir.file("Vlr.ini"))).size(), 21u);
  EXPECT_EQ(test::readBytes(dir.file("cai.ini")).size(), 1058u);
}

TEST(MainSession, AShortSettingsFileIsReported) {
  TempDir dir;
  StudyState s;
  useDir(s, dir);
  test::writeBytes(dir.file("Vlr.ini"), "a\r\nb\r\n");
  ScriptedInteraction ui;
  MainSession session(s, ui);
  session.firstShow();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].rfind(velor::kInterruptPrefix, 0), 0u) << ui.messages[0];
  EXPECT_GT(ui.messages[0].size(), std::string(velor::kInterruptPrefix).size());
}

TEST(MainSession, SettingsWrittenAtCloseComeBackAtTheNextStart) {
  TempDir dir;
  {
    StudyState s;
    useDir(s, dir);
    ScriptedInteraction ui;
    MainSession session(s, ui);
    session.firstShow();
    s.displayFlags = 0x21;
    s.monitorPlacement = 3;
    s.groupMode = 1;
    s.deviceKind = 2;
    s.institutionName = "Клиника";
    s.departmentName = "Отделение ЭЭГ";
    s.channelNames[0] = "Fp1";
    s.epochLength = 512;
    s.epochStep = 512;
    WindowSettings w;
    w.left = 12;
    w.top = 34;
    w.width = 1300;
    w.height = 900;
    ASSERT_TRUE(session.close(w));
  }
  StudyState s;
  useDir(s, dir);
  ScriptedInteraction ui;
  MainSession session(s, ui);
  session.firstShow();
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
  EXPECT_FALSE(session.mainSettingsFailure().has_value());
  EXPECT_EQ(session.window().left, 12);
  EXPECT_EQ(session.window().top, 34);
  EXPECT_EQ(session.window().width, 1300);
  EXPECT_EQ(session.window().height, 900);
  EXPECT_EQ(s.displayFlags, 0x21);
  EXPECT_EQ(s.monitorPlacement, 3);
  EXPECT_EQ(s.groupMode, 1);
  EXPECT_EQ(s.deviceKind, 2);
  EXPECT_EQ(s.institutionName, "Клиника");
  EXPECT_EQ(s.departmentName, "Отделение ЭЭГ");
  EXPECT_EQ(s.channelNames[0], "Fp1");
  EXPECT_EQ(s.epochLength, 512);
  // Lead pairs are not carried over from the channel settings at start.
  EXPECT_EQ(s.leadPairCount, 0);
}

TEST(MainSession, ShortMainSettingsAreReportedAndNeverRewritten) {
  TempDir dir;
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += "0\r\n";
  test::writeBytes(dir.file("Vlr.ini"), twenty);
  StudyState s;
  useDir(s, dir);
  ScriptedInteraction ui;
  MainSession session(s, ui);
  session.firstShow();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].rfind(velor::kInterruptPrefix, 0), 0u);
  ASSERT_TRUE(session.mainSettingsFailure().has_value());
  session.close(session.window());
  EXPECT_EQ(test::readBytes(dir.file("Vlr.ini")), twenty);
}

TEST(MainSession, DamagedChannelSettingsDoNotStopTheStart) {
  TempDir dir;
  test::writeBytes(dir.file("cai.ini"), std::string(100, '\xFF'));
  StudyState s;
  useDir(s, dir);
  const std::string names0 = s.channelNames[0];
  ScriptedInteraction ui;
  MainSession session(s, ui);
  session.firstShow();
  EXPECT_EQ(s.channelNames[0], names0);
  EXPECT_EQ(s.epochLength, 256);
}

TEST(MainSession, CloseAsksUnlessAnExaminationRuns) {
  struct Case {
    int acquisition;
    bool answer;
    MainSession::CloseVerdict verdict;
    bool asked;
  };
  const Case cases[] = {
      {0, false, MainSession::CloseVerdict::Stay, true},
      {0, true, MainSession::CloseVerdict::Close, true},
      {1, true, MainSession::CloseVerdict::StopExamination, false},
      {2, true, MainSession::CloseVerdict::StopExamination, false},
  };
  for (const auto& c : cases) {
    StudyState s;
    s.acquisitionActive = c.acquisition;
    ScriptedInteraction ui;
    ui.answerYes = c.answer;
    MainSession session(s, ui);
    EXPECT_EQ(session.closeQuery(), c.verdict) << c.acquisition << " " << c.answer;
    if (c.asked) {
      ASSERT_EQ(ui.questions.size(), 1u);
      EXPECT_EQ(ui.questions[0], shell_text::kCloseQuestion);
    } else {
      EXPECT_TRUE(ui.questions.empty());
    }
  }
}

// Opening a file (another or the same) and closing the program settle a
// changed record first, as stepping to another record does: "Нет" leaves the
// file byte for byte, "Да" writes the change.
TEST(MainSession, ChangedRecordIsSettledBeforeOpeningOrClosing) {
  test::TempDir dir;
  const std::string a = dir.file("a.cad"), b = dir.file("b.cad");
  {
    StudyState s;
    DemoStudyOptions o;
    o.records = 2;
    o.seconds = 2;
    NoProgress progress;
    std::string reason;
    ASSERT_TRUE(writeDemoStudy(s, a, o, progress, reason)) << reason;
  }
  test::writeBytes(b, test::readBytes(a));
  const std::string original = test::readBytes(a);
  auto change = [](StudyState& s) {
    s.channelData[0][10] = static_cast<std::int16_t>(s.channelData[0][10] + 77);
    s.recordModified = 1;
  };

  StudyState s;
  ScriptedInteraction ui;
  ASSERT_TRUE(openRecordPath(s, a, ui));
  change(s);
  ui.yesNoScript = {false};
  ASSERT_TRUE(openRecordPath(s, b, ui));
  EXPECT_EQ(ui.questions, std::vector<std::string>{"Записать изменения в файл?"});
  EXPECT_EQ(test::readBytes(a), original);

  // the same file read again, this time keeping the change
  const int before = s.channelData[0][10];
  change(s);
  ui.questions.clear();
  ui.yesNoScript = {true};
  ASSERT_TRUE(openRecordPath(s, b, ui));
  EXPECT_EQ(ui.questions, std::vector<std::string>{"Записать изменения в файл?"});
  EXPECT_EQ(s.channelData[0][10], before + 77);
  EXPECT_NE(test::readBytes(b), original);

  // F10: the close question, then the record's
  const std::string kept = test::readBytes(b);
  change(s);
  ui.questions.clear();
  ui.yesNoScript = {true, false};
  MainSession session(s, ui);
  EXPECT_EQ(session.closeQuery(), MainSession::CloseVerdict::Close);
  EXPECT_EQ(ui.questions, (std::vector<std::string>{shell_text::kCloseQuestion, "Записать изменения в файл?"}));
  EXPECT_EQ(test::readBytes(b), kept);
  closeRecordFile(s);
}

TEST(MainSession, OversizeWarningOncePerRun) {
  StudyState s;
  ScriptedInteraction ui;
  MainSession session(s, ui);
  EXPECT_FALSE(session.oversizeWarningDue(1920, 1200));
  EXPECT_TRUE(session.oversizeWarningDue(2000, 700));
  EXPECT_FALSE(session.oversizeWarningDue(2000, 700));
  EXPECT_FALSE(session.oversizeWarningDue(2500, 1300));

  MainSession tall(s, ui);
  EXPECT_TRUE(tall.oversizeWarningDue(800, 1201));
}

// --- command table ----------------------------------------------------------------------

TEST(CommandTable, DisabledCommandsSayTheyAreNotAvailable) {
  int disabled = 0;
  for (const auto& e : menuEntries()) {
    const std::string hint = shownHint(e.hint, e.module);
    const bool says = hint.find("недоступно") != std::string::npos;
    EXPECT_EQ(says, !commandEnabled(e.module)) << e.caption;
    EXPECT_FALSE(std::string(e.hint).empty()) << e.caption;
    if (!commandEnabled(e.module)) ++disabled;
  }
  for (const auto& b : panelButtons())
    EXPECT_EQ(shownHint(b.hint, b.module).find("недоступно") != std::string::npos, !commandEnabled(b.module))
        << b.caption;
  EXPECT_GT(disabled, 0);
}

TEST(CommandTable, ShortcutsAreUniqueAndFindTheirCommand) {
  std::set<std::string> seen;
  for (const auto& e : menuEntries()) {
    if (!*e.shortcut) continue;
    EXPECT_TRUE(seen.insert(e.shortcut).second) << e.shortcut;
    const MenuEntry* found = findByShortcut(e.shortcut);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->cmd, e.cmd);
  }
  EXPECT_EQ(findByShortcut(""), nullptr);
  EXPECT_EQ(findByShortcut("F11"), nullptr);
}

TEST(CommandTable, EveryPanelButtonThatHasAMenuEntryAgreesWithIt) {
  // The panel and the menu run the same command; they must not disagree on
  // whether it is available.
  for (const auto& b : panelButtons())
    if (const MenuEntry* e = findMenuEntry(b.cmd)) {
      EXPECT_EQ(commandEnabled(e->module), commandEnabled(b.module)) << b.caption;
    }
}

// --- work behind the commands -------------------------------------------------------------

TEST(MainCommands, AxisButtonsCycleTheirTwoBitsAndKeepTheOthers) {
  struct Case {
    int (*next)(int);
    int start;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {nextTimeAxes, 0x03, {0x13, 0x23, 0x33, 0x03}},
      {nextTimeAxes, 0x31, {0x01, 0x11, 0x21, 0x31}},
      {nextAmplitudeAxes, 0x10, {0x11, 0x12, 0x13, 0x10}},
      {nextAmplitudeAxes, 0x23, {0x20, 0x21, 0x22, 0x23}},
      // Bits other than 0, 1, 4 and 5 are dropped.
      {nextAmplitudeAxes, 0x4C, {0x01, 0x02, 0x03, 0x00}},
  };
  for (const auto& c : cases) {
    int flags = c.start;
    for (int want : c.expected) {
      flags = c.next(flags);
      EXPECT_EQ(flags, want) << "from " << c.start;
    }
  }
}

TEST(MainCommands, SampleRateAcceptsOnlyARateTheRecordCanCarry) {
  struct Case {
    std::optional<std::string> typed;
    int expected;
    bool message;
  };
  const Case cases[] = {
      {"500", 500, false},      {" 250 ", 250, false}, {"1", 1, false},       {"65535", 65535, false},
      {"100,7", 100, false},    {"0", 100, true},      {"-5", 100, true},     {"65536", 100, true},
      {"сто", 100, true},       {"", 100, true},       {std::nullopt, 100, false},
  };
  for (const auto& c : cases) {
    StudyState s;
    s.sampleRate = 100;
    ScriptedInteraction ui;
    ui.inputScript.push_back(c.typed);
    sampleRateCommand(s, ui);
    EXPECT_EQ(s.sampleRate, c.expected) << c.typed.value_or("<cancel>");
    EXPECT_EQ(!ui.messages.empty(), c.message) << c.typed.value_or("<cancel>");
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0], shell_text::kRatePrompt);
  }
}

TEST(MainCommands, RateQuestionOffersTheRecordsRate) {
  StudyState s;
  s.sampleRate = 500;
  s.recordLength = 0;  // nothing shown: the usual default
  ScriptedInteraction ui;  // no script: the offered text is taken
  ASSERT_TRUE(sampleRateCommand(s, ui));
  EXPECT_EQ(s.sampleRate, 100);
  s.sampleRate = 500;
  s.recordLength = 1000;
  ASSERT_TRUE(sampleRateCommand(s, ui));
  EXPECT_EQ(s.sampleRate, 500);
}

TEST(MainCommands, DeviceChoiceTellsToRestartForExternalDevices) {
  for (int kind : {0, 1, 2}) {
    StudyState s;
    s.deviceKind = 3;
    ScriptedInteraction ui;
    chooseDevice(s, kind, ui);
    EXPECT_EQ(s.deviceKind, kind);
    if (kind == 0) {
      EXPECT_TRUE(ui.messages.empty());
    } else {
      ASSERT_EQ(ui.messages.size(), 1u);
      EXPECT_EQ(ui.messages[0], shell_text::kRestartNotice);
    }
  }
}

TEST(MainCommands, PlacementCaptionMarksOnlyTheChosenOne) {
  StudyState s;
  setMonitorPlacement(s, 2);
  EXPECT_EQ(s.monitorPlacement, 2);
  setMonitorPlacement(s, 7);
  EXPECT_EQ(s.monitorPlacement, 2);
  EXPECT_EQ(placementCaption(shell_text::kPlacement2, true), std::string("+") + shell_text::kPlacement2);
  EXPECT_EQ(placementCaption(shell_text::kPlacement1, false), shell_text::kPlacement1);
}

TEST(MainCommands, OpenShowsEveryChannelOfTheChosenFile) {
  TempDir dir;
  const std::string path = dir.file("rec.cad");
  writeRecordFile(path, 6, 400);
  StudyState s;
  useDir(s, dir);
  s.firstShownChannel = 2;
  s.shownChannelCount = -1;
  s.currentChannelRow = 1;
  s.helpContext = 3;
  ScriptedInteraction ui;
  ScriptedChooser chooser;
  chooser.answer = path;
  ASSERT_TRUE(openRecordCommand(s, chooser, ui)) << (ui.messages.empty() ? "" : ui.messages.back());
  EXPECT_EQ(chooser.lastKind, 0);
  EXPECT_FALSE(chooser.lastWrite);
  EXPECT_EQ(chooser.helpSeen, kOpenHelpContext);
  EXPECT_EQ(s.helpContext, 3);
  EXPECT_EQ(s.recordFileName, "rec.cad");
  EXPECT_EQ(s.channelCount, 6);
  EXPECT_EQ(s.recordLength, 400);
  EXPECT_EQ(s.firstShownChannel, 0);
  EXPECT_EQ(s.shownChannelCount, 6);
  EXPECT_EQ(s.currentChannelRow, 0);
}

TEST(MainCommands, CancelledOrRefusedOpenLeavesTheRecordAsItWas) {
  TempDir dir;
  const std::string good = dir.file("good.cad");
  writeRecordFile(good, 3, 200);
  const std::string bad = dir.file("bad.cad");
  test::writeBytes(bad, std::string("CA40") + std::string(40, '\x01'));

  StudyState s;
  useDir(s, dir);
  ScriptedInteraction ui;
  ASSERT_TRUE(openRecordPath(s, good, ui));
  s.firstShownChannel = 1;
  for (const std::string& answer : {std::string(), bad, dir.file("missing.cad"), dir.path()}) {
    ScriptedChooser chooser;
    chooser.answer = answer;
    EXPECT_FALSE(openRecordCommand(s, chooser, ui)) << answer;
    EXPECT_EQ(s.recordFileName, "good.cad");
    EXPECT_EQ(s.channelCount, 3);
    EXPECT_EQ(s.recordLength, 200);
    EXPECT_EQ(s.firstShownChannel, 1);
  }
}

// An empty file or another program's ".cad" chosen in the file window, or
// named on the command line, says why it did not open.
TEST(MainCommands, FileThatIsNoRecordFileSaysWhy) {
  TempDir dir;
  test::writeBytes(dir.file("empty.cad"), "");
  test::writeBytes(dir.file("other.cad"), "PK\x03\x04 some other program's data");
  StudyState s;
  useDir(s, dir);
  for (const char* name : {"empty.cad", "other.cad"}) {
    ScriptedInteraction ui;
    ScriptedChooser chooser;
    chooser.answer = dir.file(name);
    EXPECT_FALSE(openRecordCommand(s, chooser, ui));
    ASSERT_EQ(ui.messages.size(), 1u) << name;
    EXPECT_EQ(ui.messages[0], std::string("Файл ") + name + " не является файлом записей.");
    ScriptedInteraction direct;
    EXPECT_FALSE(openRecordPath(s, dir.file(name), direct));
    EXPECT_EQ(direct.messages, ui.messages);
  }
  // a refusal the reader explains is told once
  test::writeBytes(dir.file("bad.cad"), std::string("CA40") + std::string(40, '\x01'));
  ScriptedInteraction ui;
  EXPECT_FALSE(openRecordPath(s, dir.file("bad.cad"), ui));
  EXPECT_EQ(ui.messages.size(), 1u);
}

TEST(MainCommands, SettingsKindsChooseInTheProgramFolderAndGiveDataDirBack) {
  TempDir dir, data;
  StudyState s;
  useDir(s, dir);
  s.dataDir = data.path() + "/";
  s.channelNames[0] = "Oz";
  ScriptedInteraction ui;
  ScriptedChooser chooser;
  chooser.answer = dir.file("mine.cai");
  const std::string header = s.examHeader;
  ASSERT_TRUE(saveSettingsCommand(s, chooser, ui)) << (ui.messages.empty() ? "" : ui.messages.back());
  EXPECT_EQ(chooser.lastKind, 2);
  EXPECT_TRUE(chooser.lastWrite);
  EXPECT_EQ(chooser.dataDirSeen, s.programDir);
  EXPECT_EQ(chooser.helpSeen, kSaveHelpContext);
  // While the window is open the header is the comment prompt.
  EXPECT_EQ(chooser.headerSeen, utf8Fit(shell_text::kSetComment, kHeaderChars));
  EXPECT_EQ(s.examHeader, header);
  EXPECT_EQ(s.dataDir, data.path() + "/");
  EXPECT_EQ(test::readBytes(dir.file("mine.cai")).size(), 1058u);

  StudyState t;
  useDir(t, dir);
  t.dataDir = data.path() + "/";
  ScriptedChooser reader;
  reader.answer = dir.file("mine.cai");
  ASSERT_TRUE(openByKind(t, FileKind::ChannelSettings, reader, ui));
  EXPECT_EQ(reader.dataDirSeen, t.programDir);
  EXPECT_EQ(t.channelNames[0], "Oz");
}

TEST(MainCommands, SaveOffersTheRecordFileNameAndTheHeaderStays) {
  TempDir dir;
  const std::string path = dir.file("src.cad");
  writeRecordFile(path, 2, 100);
  StudyState s;
  useDir(s, dir);
  ScriptedInteraction ui;
  ASSERT_TRUE(openRecordPath(s, path, ui));
  ScriptedChooser chooser;
  chooser.answer = dir.file("copy.cad");
  ASSERT_TRUE(saveCommand(s, false, chooser, ui));
  EXPECT_EQ(chooser.lastKind, 0);
  EXPECT_EQ(chooser.defaultNameSeen, "src.cad");
  RecordFileHeader h;
  std::string reason;
  ASSERT_TRUE(readRecordFileHeader(dir.file("copy.cad"), h, reason)) << reason;
  EXPECT_EQ(h.channelCount, 2);
}

// --- help ---------------------------------------------------------------------------------

TEST(Help, EveryWindowContextHasItsOwnTopic) {
  for (int context : {kMonitorHelpContext, kOpenHelpContext, kSaveHelpContext, kHeaderHelpContext,
                      kHelpOnHelpContext, kMainWindowHelpContext, kSettingsHelpContext})
    EXPECT_EQ(helpTopicFor(context).context, context) << context;
  // A context without a topic opens the contents.
  EXPECT_EQ(helpTopicFor(33).context, kHelpContentsContext);
  EXPECT_EQ(helpTopicFor(-1).context, kHelpContentsContext);
}

TEST(Help, SearchIgnoresCaseAndNeedsEveryWord) {
  EXPECT_EQ(searchHelp("").size(), helpTopics().size());
  const auto monitor = searchHelp("МОНИТОР курсор");
  EXPECT_NE(std::find(monitor.begin(), monitor.end(), kMonitorHelpContext), monitor.end());
  for (int c : monitor) {
    const std::string text = foldCase(std::string(helpTopicFor(c).title) + helpTopicFor(c).body);
    EXPECT_NE(text.find("курсор"), std::string::npos);
  }
  EXPECT_TRUE(searchHelp("монитор зебра").empty());
  EXPECT_EQ(foldCase("ЁЖИК Abc ёжик"), "ёжик abc ёжик");
}

}  // namespace
}  // namespace velor::shell
