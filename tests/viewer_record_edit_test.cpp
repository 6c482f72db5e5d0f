// Record navigation and editing on a study state: marks, channels, interval
// edits, zero correction, calibration, the clipboard text, merging, record
// reorganisation, the dialogs' settings files, and what a changed record
// looks like in its file after the write-back.
#include "viewer/record_edit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <sstream>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/text.h"
#include "test_support.h"
#include "viewer/record_edit_texts.h"
#include "viewer/record_reorganise.h"

namespace velor {
namespace {

using test::TempDir;
using namespace edit_text;

// --- helpers ---------------------------------------------------------------------------

// A distinctive code for (record, channel, sample), inside the 12-bit range.
std::int16_t codeOf(int rec, int ch, int i) { return static_cast<std::int16_t>((i * 7 + ch * 131 + rec * 977) % 4000); }
std::int16_t markOf(int rec, int i) { return static_cast<std::int16_t>(i % 100 == 0 ? (rec + 1) * 256 + i / 100 : 0); }

// Samples beyond the record: any edit that writes there changes them.
constexpr std::int16_t kSentinel = -31111;
constexpr int kGuard = 64;

void fillRecord(StudyState& s, int channels, int length, bool marks, int rec = 0) {
  s.channelCount = channels;
  s.recordLength = length;
  s.markChannelCount = marks ? 1 : 0;
  s.shownChannelCount = channels;
  s.firstShownChannel = 0;
  s.currentChannelRow = 0;
  s.cursorPos = 0;
  s.selectionAnchor = -1;
  for (int c = 0; c < kMaxChannels; ++c) {
    for (int i = 0; i < length; ++i) s.channel(c)[i] = codeOf(rec, c, i);
    for (int i = length; i < std::min(length + kGuard, kMaxSamples); ++i) s.channel(c)[i] = kSentinel;
  }
  for (int i = 0; i < length; ++i) s.markChannel[i] = markOf(rec, i);
  for (int i = length; i < std::min(length + kGuard, kMaxSamples); ++i) s.markChannel[i] = kSentinel;
}

bool guardIntact(const StudyState& s, int length) {
  for (int c = 0; c <= kMaxChannels - 1; ++c)
    for (int i = length; i < std::min(length + kGuard, kMaxSamples); ++i)
      if (s.channelData[c][i] != kSentinel) return false;
  for (int i = length; i < std::min(length + kGuard, kMaxSamples); ++i)
    if (s.markChannel[i] != kSentinel) return false;
  return true;
}

// What an edit may change, for "nothing changed" checks.
using Snapshot = test::StudySnapshot;

struct ScriptedDialogs : EditDialogs {
  int deleteChoice = 0;
  std::optional<bool> deleteAll;  // set the check box to this
  int calibChoice = 0;
  std::optional<CalibrationSettings> calib;
  std::optional<ReorganisationSettings> reorg;
  std::vector<DeleteSettings> deleteShown;
  std::vector<CalibrationSettings> calibShown;
  std::vector<ReorganisationSettings> reorgShown;
  int notRead = 0;

  int deleteDialog(DeleteSettings& settings) override {
    deleteShown.push_back(settings);
    if (deleteAll) settings.allChannels = *deleteAll;
    return deleteChoice;
  }
  int calibrationDialog(CalibrationSettings& settings) override {
    calibShown.push_back(settings);
    if (calib) settings = *calib;
    return calibChoice;
  }
  bool reorganisationDialog(ReorganisationSettings& settings) override {
    reorgShown.push_back(settings);
    if (!reorg) return false;
    settings = *reorg;
    return true;
  }
  void settingsNotRead() override { ++notRead; }
};

class CancelAt : public Progress {
 public:
  explicit CancelAt(long at) : at_(at) {}
  void begin(std::string_view, long) override {}
  bool step(long done) override { return done < at_; }
  void end() override {}

 private:
  long at_;
};

// A record file written record by record: the header by the production
// writer, the records byte by byte so that their length fields can differ.
struct FileRecord {
  int stored = 0;  // samples per channel in the file
  int length = 0;  // the record's length field
};

void writeRecordFile(const std::string& path, int channels, bool marks, const std::vector<FileRecord>& records,
                     int rate = 100) {
  StudyState s;
  s.channelCount = channels;
  s.markChannelCount = marks ? 1 : 0;
  s.sampleRate = rate;
  s.recordCount = static_cast<int>(records.size());
  s.recordFileVersion = kVersionCA40;
  s.recordLength = 1024;
  for (int c = 0; c < channels; ++c) {
    s.channelNames[c] = std::string(1, static_cast<char>('A' + c)) + std::to_string(c + 1);
    s.zeroLevel[c] = static_cast<std::uint16_t>(2000 + c);
    s.calibValue[c] = static_cast<std::uint16_t>(50 + c);
    s.channelPosX[c] = static_cast<std::uint8_t>(10 + c);
  }
  AtomicFile f(path);
  ASSERT_TRUE(f.ok());
  ASSERT_TRUE(writeHeader(s, f.fd()));
  for (std::size_t r = 0; r < records.size(); ++r) {
    ByteWriter w;
    const int n = records[r].stored;
    w.u16(static_cast<unsigned>(n));
    w.u16(static_cast<unsigned>(records[r].length));
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < n; ++i) w.i16(codeOf(static_cast<int>(r), c, i));
    if (marks)
      for (int i = 0; i < n; ++i) w.i16(markOf(static_cast<int>(r), i));
    w.i32(1000000);
    w.u16(static_cast<unsigned>(n));
    ASSERT_TRUE(fdWriteAll(f.fd(), w.data().data(), w.size()));
  }
  ASSERT_TRUE(f.commit());
}

class EditFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    s = std::make_unique<StudyState>();
    s->programDir = dir.path() + "/";
    s->monitorWidth = 800;
  }
  void open(const std::string& path) {
    ASSERT_TRUE(openRecordFile(*s, path, ui)) << (ui.messages.empty() ? "" : ui.messages.back());
  }
  TempDir dir;
  std::unique_ptr<StudyState> s;
  ScriptedInteraction ui;
  ScriptedDialogs dialogs;
};

// --- marks --------------------------------------------------------------------------------------

TEST_F(EditFixture, MarksAreReplacedFromTheirNeighboursThatAreNotMarks) {
  fillRecord(*s, 2, 100, false);
  auto* x = s->channel(0);
  const std::int16_t before1 = x[1];
  s->cursorPos = 0;
  ASSERT_TRUE(insertMark(*s));
  EXPECT_EQ(x[0], kMarkCode);
  EXPECT_EQ(s->recordModified, 1);
  // a run of three marks between 100 and 200, and one at the end
  x[9] = 100;
  x[10] = x[11] = x[12] = kMarkCode;
  x[13] = 200;
  x[99] = kMarkCode;
  const std::int16_t before98 = x[98];
  EXPECT_EQ(removeAllMarks(*s), 5);
  EXPECT_EQ(x[0], before1);  // the first sample takes the second's value
  EXPECT_EQ(x[10], 150);
  EXPECT_EQ(x[12], 150);
  EXPECT_EQ(x[99], before98);
  for (int i = 0; i < 100; ++i) EXPECT_NE(x[i], kMarkCode) << i;
  EXPECT_EQ(removeAllMarks(*s), 0);
  EXPECT_TRUE(guardIntact(*s, 100));
}

TEST_F(EditFixture, RemoveMarkTakesTheSampleAfterOrBefore) {
  fillRecord(*s, 1, 50, false);
  auto* x = s->channel(0);
  struct Case {
    int at;
    std::function<void(std::int16_t*)> prepare;
    std::int16_t expected;
  } cases[] = {
      {20, [](std::int16_t* p) { p[21] = 777; }, 777},
      {49, [](std::int16_t* p) { p[48] = 555; }, 555},                                // end of the record
      {30, [](std::int16_t* p) { p[31] = kMarkCode; p[29] = 333; }, 333},               // after it a mark too
  };
  for (const Case& c : cases) {
    c.prepare(x);
    s->cursorPos = c.at;
    ASSERT_TRUE(insertMark(*s));
    ASSERT_TRUE(removeMark(*s));
    EXPECT_EQ(x[c.at], c.expected) << c.at;
  }
  s->cursorPos = 10;  // no mark there
  const Snapshot before(*s);
  EXPECT_FALSE(removeMark(*s));
  EXPECT_TRUE(Snapshot(*s) == before);
}

TEST_F(EditFixture, MarkSearchMovesCursorAndViewAndStopsAtTheEnds) {
  fillRecord(*s, 2, 1000, false);
  s->currentChannelRow = 1;
  s->channel(1)[50] = kMarkCode;
  s->channel(1)[300] = kMarkCode;
  s->channel(0)[600] = kMarkCode;  // another channel's mark is not found
  s->cursorPos = 100;
  ASSERT_TRUE(nextMark(*s));
  EXPECT_EQ(s->cursorPos, 300);
  EXPECT_EQ(s->viewStart, 300);
  EXPECT_FALSE(nextMark(*s));
  EXPECT_EQ(s->cursorPos, 300);
  ASSERT_TRUE(previousMark(*s));
  EXPECT_EQ(s->cursorPos, 50);
  EXPECT_EQ(s->viewStart, 50);
  EXPECT_FALSE(previousMark(*s));
  EXPECT_EQ(s->recordModified, 0);
}

TEST_F(EditFixture, FoldedViewMarksTheCurrentRowsSegment) {
  fillRecord(*s, 3, 5000, false);
  s->shownChannelCount = -1;  // channel 0 folded into three rows of 800 samples
  s->firstShownChannel = 2;
  s->currentChannelRow = 2;
  s->timeZoom = 0;
  s->cursorPos = 10;
  ASSERT_TRUE(insertMark(*s));
  EXPECT_EQ(s->channel(2)[1610], kMarkCode);
  EXPECT_NE(s->channel(2)[10], kMarkCode);
}

// --- refusals --------------------------------------------------------------------------------

TEST_F(EditFixture, EditsChangeNothingDuringAnExaminationOrInTheTransformView) {
  RecordEditor editor(*s, ui);
  const std::vector<std::pair<const char*, std::function<bool()>>> commands = {
      {"insertMark", [&] { return insertMark(*s); }},
      {"removeMark", [&] { return removeMark(*s); }},
      {"removeAllMarks", [&] { return removeAllMarks(*s) > 0; }},
      {"deleteWholeRecord", [&] { return deleteWholeRecord(*s); }},
      {"editInterval", [&] { return editInterval(*s, kDeleteInside, true); }},
      {"zeroCorrection", [&] { return zeroCorrection(*s, true, ui); }},
      {"calibrate", [&] { return calibrate(*s, CalibrationSettings{}, ui); }},
      {"insertChannel", [&] { return editor.insertChannel(); }},
      {"deleteChannel", [&] { return editor.deleteChannel(); }},
      {"delete", [&] { return deleteCommand(*s, ui, dialogs); }},
  };
  for (int mode = 0; mode < 2; ++mode) {
    fillRecord(*s, 3, 500, true);
    s->channel(0)[5] = kMarkCode;
    s->cursorPos = 5;
    s->selectionAnchor = 40;
    s->acquisitionActive = mode == 0 ? 1 : 0;
    s->viewMode = mode == 1 ? ViewMode::Transform : ViewMode::Signals;
    ui.answerYes = true;
    dialogs.deleteChoice = kDeleteInside;
    const Snapshot before(*s);
    for (const auto& [name, run] : commands) {
      EXPECT_FALSE(run()) << name << " mode " << mode;
      EXPECT_TRUE(Snapshot(*s) == before) << name << " mode " << mode;
    }
  }
  EXPECT_TRUE(ui.questions.empty());
}

// --- interval edits -----------------------------------------------------------------------------

TEST_F(EditFixture, IntervalChoicesOnASelection) {
  constexpr int n = 1000;
  struct Case {
    const char* name;
    int choice;
    bool all;
    int expectedLength;
    std::function<void(const StudyState&, const Snapshot&)> check;
  };
  const auto old = [](const Snapshot& b, int c, int i) { return b.channels[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)]; };
  const Case cases[] = {
      {"inside, all channels", kDeleteInside, true, 950,
       [&](const StudyState& st, const Snapshot& b) {
         EXPECT_EQ(st.channelData[0][99], old(b, 0, 99));
         EXPECT_EQ(st.channelData[0][100], old(b, 0, 150));
         EXPECT_EQ(st.channelData[2][949], old(b, 2, 999));
         EXPECT_EQ(st.markChannel[100], b.mark[150]);
       }},
      {"inside, current channel", kDeleteInside, false, n,
       [&](const StudyState& st, const Snapshot& b) {
         EXPECT_EQ(st.channelData[1][100], old(b, 1, 150));
         for (int i = 950; i < n; ++i) ASSERT_EQ(st.channelData[1][i], st.zeroLevel[1]);
         EXPECT_EQ(st.channelData[0][100], old(b, 0, 100));
         EXPECT_EQ(st.markChannel[100], b.mark[100]);
       }},
      {"outside, all channels", kDeleteOutside, true, 50,
       [&](const StudyState& st, const Snapshot& b) {
         for (int i = 0; i < 50; ++i) ASSERT_EQ(st.channelData[2][i], old(b, 2, 100 + i));
         EXPECT_EQ(st.markChannel[0], b.mark[100]);
         EXPECT_EQ(st.cursorPos, 0);
         EXPECT_EQ(st.viewStart, 0);
         EXPECT_EQ(st.selectionAnchor, -1);
       }},
      {"outside, current channel", kDeleteOutside, false, n,
       [&](const StudyState& st, const Snapshot& b) {
         for (int i = 0; i < 50; ++i) ASSERT_EQ(st.channelData[1][i], old(b, 1, 100 + i));
         for (int i = 50; i < n; ++i) ASSERT_EQ(st.channelData[1][i], st.zeroLevel[1]);
         EXPECT_EQ(st.channelData[0][0], old(b, 0, 0));
       }},
      {"zero, all channels", kDeleteZero, true, n,
       [&](const StudyState& st, const Snapshot& b) {
         for (int c = 0; c < 3; ++c) {
           for (int i = 100; i <= 150; ++i) ASSERT_EQ(st.channelData[c][i], st.zeroLevel[c]);
           EXPECT_EQ(st.channelData[c][99], old(b, c, 99));
           EXPECT_EQ(st.channelData[c][151], old(b, c, 151));
         }
       }},
      {"zero, current channel", kDeleteZero, false, n,
       [&](const StudyState& st, const Snapshot& b) {
         EXPECT_EQ(st.channelData[1][100], old(b, 1, 100));
         for (int i = 101; i <= 150; ++i) ASSERT_EQ(st.channelData[1][i], st.zeroLevel[1]);
         EXPECT_EQ(st.channelData[0][120], old(b, 0, 120));
       }},
      {"mean", kDeleteMean, false, n,
       [&](const StudyState& st, const Snapshot& b) {
         long long sum = 0;
         for (int i = 101; i <= 150; ++i) sum += old(b, 1, i);
         for (int i = 101; i <= 150; ++i) ASSERT_EQ(st.channelData[1][i], sum / 50);
         EXPECT_EQ(st.channelData[1][100], old(b, 1, 100));
         EXPECT_EQ(st.channelData[1][151], old(b, 1, 151));
       }},
  };
  for (const Case& c : cases) {
    fillRecord(*s, 3, n, true);
    s->zeroLevel[1] = 1500;
    s->currentChannelRow = 1;
    s->cursorPos = 150;
    s->selectionAnchor = 100;
    const Snapshot before(*s);
    ASSERT_TRUE(editInterval(*s, c.choice, c.all)) << c.name;
    EXPECT_EQ(s->recordLength, c.expectedLength) << c.name;
    EXPECT_EQ(s->recordModified, 1) << c.name;
    c.check(*s, before);
    EXPECT_TRUE(guardIntact(*s, n)) << c.name;
    EXPECT_LT(s->cursorPos, std::max(1, s->recordLength)) << c.name;
  }
}

TEST_F(EditFixture, StraightenedIntervalLiesOnTheLineBetweenItsEnds) {
  for (bool all : {true, false}) {
    fillRecord(*s, 2, 600, false);
    for (int i = 0; i < 600; ++i) s->channel(0)[i] = static_cast<std::int16_t>((i * i) % 3000);
    s->cursorPos = 180;
    s->selectionAnchor = 20;
    const std::int16_t a = s->channel(0)[20], b = s->channel(0)[180];
    ASSERT_TRUE(editInterval(*s, kDeleteStraighten, all));
    EXPECT_EQ(s->channel(0)[20], a);
    EXPECT_EQ(s->channel(0)[180], b);
    for (int k = 0; k <= 160; ++k) {
      const double line = a + (b - a) * k / 160.0;
      ASSERT_LE(std::fabs(s->channel(0)[20 + k] - line), 1.0) << k;
    }
  }
}

TEST_F(EditFixture, WithTheAnchorOnTheCursorTheIntervalIsTheWholeRecord) {
  // The interval's far end then is the last sample; nothing past the record is touched.
  for (int choice : {kDeleteInside, kDeleteOutside, kDeleteZero, kDeleteStraighten, kDeleteMean}) {
    for (bool all : {true, false}) {
      fillRecord(*s, 2, 300, true);
      s->cursorPos = s->selectionAnchor = 120;
      ASSERT_TRUE(editInterval(*s, choice, all)) << choice;
      EXPECT_TRUE(guardIntact(*s, 300)) << choice << all;
      if (choice == kDeleteInside && all) {
        EXPECT_EQ(s->recordLength, 0);
      }
      if (choice == kDeleteOutside && all) {
        EXPECT_EQ(s->recordLength, 300);
      }
      if (choice == kDeleteStraighten) {
        EXPECT_EQ(s->channel(0)[0], codeOf(0, 0, 0));
        EXPECT_EQ(s->channel(0)[299], codeOf(0, 0, 299));
      }
    }
  }
}

TEST_F(EditFixture, DeleteAsksForTheWholeRecordAndKeepsTheWindowsChoice) {
  fillRecord(*s, 2, 400, false);
  s->selectionAnchor = -1;
  ui.yesNoScript = {false, true};
  EXPECT_FALSE(deleteCommand(*s, ui, dialogs));
  EXPECT_EQ(s->recordLength, 400);
  EXPECT_TRUE(deleteCommand(*s, ui, dialogs));
  EXPECT_EQ(s->recordLength, 0);
  ASSERT_EQ(ui.questions.size(), 2u);
  EXPECT_EQ(ui.questions[0], kDeleteRecordQuestion);

  // With a selection the window comes up with "qdel.ini"; its check box goes back there.
  fillRecord(*s, 2, 400, false);
  s->cursorPos = 60;
  s->selectionAnchor = 10;
  test::writeBytes(dir.file(kDeleteSettingsFile), "1\r\n");
  dialogs.deleteChoice = kDeleteInside;
  EXPECT_TRUE(deleteCommand(*s, ui, dialogs));
  ASSERT_EQ(dialogs.deleteShown.size(), 1u);
  EXPECT_FALSE(dialogs.deleteShown[0].allChannels);
  EXPECT_EQ(s->recordLength, 400);  // the current channel only
  dialogs.deleteAll = true;
  dialogs.deleteChoice = kDeleteCancel;
  const Snapshot before(*s);
  EXPECT_FALSE(deleteCommand(*s, ui, dialogs));
  EXPECT_TRUE(Snapshot(*s) == before);
  EXPECT_EQ(test::readBytes(dir.file(kDeleteSettingsFile)), "0\r\n");
  EXPECT_EQ(dialogs.notRead, 0);
}

// --- zero correction and calibration -------------------------------------------------------------

TEST_F(EditFixture, ZeroCorrectionAveragesTheFirst256SamplesOfTheSelection) {
  fillRecord(*s, 2, 2000, false);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 2000; ++i) s->channel(c)[i] = static_cast<std::int16_t>(i < 356 ? 2148 : 3000);
  s->channel(0)[700] = kMarkCode;
  s->cursorPos = 100;
  s->selectionAnchor = 1100;  // 1000 samples selected
  ASSERT_TRUE(zeroCorrection(*s, false, ui));
  EXPECT_EQ(s->channel(0)[0], 2048);
  EXPECT_EQ(s->channel(0)[1999], 2900);
  EXPECT_EQ(s->channel(0)[700], kMarkCode);  // a mark stays a mark
  EXPECT_EQ(s->channel(1)[0], 2148);         // not the current channel
  ASSERT_TRUE(zeroCorrection(*s, true, ui));
  EXPECT_EQ(s->channel(1)[0], 2048);
  EXPECT_TRUE(guardIntact(*s, 2000));

  s->selectionAnchor = -1;
  const Snapshot before(*s);
  EXPECT_FALSE(zeroCorrection(*s, true, ui));
  EXPECT_TRUE(Snapshot(*s) == before);
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back(), kNoZeroInterval);
}

TEST_F(EditFixture, CalibrationFromTheStepAtTheCursor) {
  fillRecord(*s, 2, 1000, false);
  s->calibUnits[0] = 2047;
  s->zeroLevel[0] = 2048;
  s->channel(0)[300] = 2048 + 410;
  s->cursorPos = 300;
  CalibrationSettings c;
  c.amplitude = "50";
  ASSERT_TRUE(calibrate(*s, c, ui));
  EXPECT_EQ(s->calibValue[0], static_cast<std::uint16_t>(std::trunc(50.0 / 410 * 2047)));
  EXPECT_EQ(s->recordModified, 0);  // the samples are as they were

  // With a selection the step is between cursor and anchor; the zero goes
  // to the middle of the extremes of the selection.
  for (int i = 0; i < 1000; ++i) s->channel(0)[i] = static_cast<std::int16_t>(i % 2 ? 2600 : 2400);
  s->cursorPos = 11;
  s->selectionAnchor = 20;
  c.amplitude = "100";
  c.zeroKind = kZeroKindMaxMin;
  ASSERT_TRUE(calibrate(*s, c, ui));
  EXPECT_EQ(s->calibValue[0], static_cast<std::uint16_t>(std::trunc(100.0 / 200 * 2047)));
  EXPECT_EQ(s->channel(0)[0], 2048 - 100);
  EXPECT_EQ(s->channel(0)[1], 2048 + 100);
  EXPECT_EQ(s->recordModified, 1);
}

TEST_F(EditFixture, CalibrationRefusalsChangeNoChannel) {
  fillRecord(*s, 3, 500, false);
  for (int c = 0; c < 3; ++c) s->channel(c)[40] = static_cast<std::int16_t>(s->zeroLevel[c] + 300);
  s->channel(2)[40] = static_cast<std::int16_t>(s->zeroLevel[2]);  // no step in the last channel
  s->cursorPos = 40;
  CalibrationSettings c;
  c.allChannels = true;
  c.zeroKind = kZeroKindMean;
  for (const char* amplitude : {"10", "abc", "0", "-5", ""}) {
    c.amplitude = amplitude;
    const Snapshot before(*s);
    const std::size_t messages = ui.messages.size();
    EXPECT_FALSE(calibrate(*s, c, ui)) << amplitude;
    EXPECT_TRUE(Snapshot(*s) == before) << amplitude;
    EXPECT_EQ(ui.messages.size(), messages + 1) << amplitude;
  }
}

TEST_F(EditFixture, CalibrationWindowGetsAndKeepsItsSettings) {
  fillRecord(*s, 2, 500, false);
  s->channel(1)[7] = static_cast<std::int16_t>(s->zeroLevel[1] + 100);
  s->cursorPos = 7;
  s->currentChannelRow = 1;
  test::writeBytes(dir.file(kCalibSettingsFile), "2,5\r\n1\r\n1\r\n");
  dialogs.calibChoice = 1;
  ASSERT_TRUE(calibrationCommand(*s, ui, dialogs));
  ASSERT_EQ(dialogs.calibShown.size(), 1u);
  EXPECT_EQ(dialogs.calibShown[0].amplitude, "2,5");
  EXPECT_EQ(dialogs.calibShown[0].zeroKind, kZeroKindMaxMin);
  EXPECT_FALSE(dialogs.calibShown[0].allChannels);
  EXPECT_EQ(s->calibValue[1], static_cast<std::uint16_t>(std::trunc(2.5 / 100 * s->calibUnits[1])));
  EXPECT_EQ(s->dialogResult, 1);

  CalibrationSettings chosen;
  chosen.amplitude = "7";
  chosen.zeroKind = kZeroKindNone;
  chosen.allChannels = true;
  dialogs.calib = chosen;
  dialogs.calibChoice = 0;  // closed without confirming: settings kept, nothing calibrated
  const Snapshot before(*s);
  EXPECT_FALSE(calibrationCommand(*s, ui, dialogs));
  EXPECT_TRUE(Snapshot(*s) == before);
  EXPECT_EQ(test::readBytes(dir.file(kCalibSettingsFile)), "7\r\n0\r\n2\r\n");
}

// --- settings files --------------------------------------------------------------------------------

TEST_F(EditFixture, SettingsFilesRoundTripAndResistDamage) {
  DeleteSettings d;
  d.allChannels = false;
  ASSERT_TRUE(writeDeleteSettings(s->programDir, d));
  DeleteSettings d2;
  EXPECT_TRUE(readDeleteSettings(s->programDir, d2));
  EXPECT_FALSE(d2.allChannels);

  ReorganisationSettings r{"-0,5", "1.5", "", "Ci [i=1-32]"};
  ASSERT_TRUE(writeReorganisationSettings(s->programDir, r));
  ReorganisationSettings r2;
  EXPECT_TRUE(readReorganisationSettings(s->programDir, r2));
  EXPECT_EQ(r2.epochStart, "-0,5");
  EXPECT_EQ(r2.referencePoint, "Ci [i=1-32]");

  // Damaged files: what is readable is taken, the rest keeps the defaults.
  struct Bad {
    const char* file;
    std::string bytes;
  } bad[] = {
      {kDeleteSettingsFile, "yes\r\n"},
      {kDeleteSettingsFile, ""},
      {kCalibSettingsFile, "5\r\n9\r\n"},
      {kCalibSettingsFile, std::string("\0\xff\r\n-1\r\n3", 9)},
      {kReorgSettingsFile, "1\r\n2\r\n"},
  };
  for (const Bad& b : bad) {
    test::writeBytes(dir.file(b.file), b.bytes);
    DeleteSettings dd;
    CalibrationSettings cc;
    ReorganisationSettings rr;
    const std::string name = b.file;
    if (name == kDeleteSettingsFile) {
      EXPECT_FALSE(readDeleteSettings(s->programDir, dd));
      EXPECT_TRUE(dd.allChannels);
    } else if (name == kCalibSettingsFile) {
      EXPECT_FALSE(readCalibrationSettings(s->programDir, cc));
      EXPECT_GE(cc.zeroKind, 0);
      EXPECT_LE(cc.zeroKind, 2);
    } else {
      EXPECT_FALSE(readReorganisationSettings(s->programDir, rr));
      EXPECT_EQ(rr.epochStart, "1");
      EXPECT_EQ(rr.referencePoint, "S1");
    }
  }
  test::writeBytes(dir.file(kCalibSettingsFile), std::string(2 << 20, '1'));
  CalibrationSettings huge;
  EXPECT_FALSE(readCalibrationSettings(s->programDir, huge));
  EXPECT_EQ(huge.amplitude, "1");
}

// --- clipboard text ------------------------------------------------------------------------------------

TEST_F(EditFixture, SignalsTextHasALinePerSampleAndAValuePerChannel) {
  fillRecord(*s, 3, 200, false);
  s->cursorPos = 50;
  s->selectionAnchor = 40;
  const std::string text = signalsAsText(*s);
  std::istringstream in(text);
  std::string line;
  int i = 40;
  while (std::getline(in, line)) {
    ASSERT_EQ(line.find(','), std::string::npos);
    std::istringstream fields(line);
    std::string field;
    for (int c = 0; c < 3; ++c) {
      ASSERT_TRUE(fields >> field) << line;
      const auto v = parseNumber(field);
      ASSERT_TRUE(v) << field;
      const double expected = s->physicalValue(i, c);
      EXPECT_NEAR(*v, expected, std::fabs(expected) * 1e-3 + 1e-9) << line;
    }
    EXPECT_FALSE(fields >> field);
    ++i;
  }
  EXPECT_EQ(i, 51);  // s .. s + w inclusive
  s->selectionAnchor = -1;
  const std::string all = signalsAsText(*s);
  EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 200);
}

// --- channels ---------------------------------------------------------------------------------------------

TEST_F(EditFixture, InsertedChannelCopiesTheCurrentOneAndShiftsTheRest) {
  RecordEditor editor(*s, ui);
  fillRecord(*s, 4, 300, false);
  for (int c = 0; c < 4; ++c) {
    s->channelNames[c] = "N" + std::to_string(c);
    s->zeroLevel[c] = static_cast<std::uint16_t>(1000 + c);
  }
  s->currentChannelRow = 1;
  ASSERT_TRUE(editor.insertChannel());
  EXPECT_EQ(s->channelCount, 5);
  EXPECT_EQ(s->shownChannelCount, 5);
  EXPECT_EQ(s->firstShownChannel, 0);
  const char* names[] = {"N0", "N1", "N1", "N2", "N3"};
  const int from[] = {0, 1, 1, 2, 3};
  for (int c = 0; c < 5; ++c) {
    EXPECT_EQ(s->channelNames[c], names[c]);
    EXPECT_EQ(s->zeroLevel[c], 1000 + from[c]);
    EXPECT_EQ(s->channel(c)[123], codeOf(0, from[c], 123));
  }
  EXPECT_EQ(s->recordModified, 1);

  ASSERT_TRUE(editor.deleteChannel());  // the copy goes again
  EXPECT_EQ(s->channelCount, 4);
  EXPECT_EQ(s->channelNames[2], "N2");
  EXPECT_EQ(s->channel(3)[9], codeOf(0, 3, 9));
  EXPECT_LT(s->recordModified, 0);

  s->channelCount = kMaxChannels;
  const Snapshot full(*s);
  EXPECT_FALSE(editor.insertChannel());
  EXPECT_TRUE(Snapshot(*s) == full);
  fillRecord(*s, 1, 300, false);
  const Snapshot one(*s);
  EXPECT_FALSE(editor.deleteChannel());
  EXPECT_TRUE(Snapshot(*s) == one);
  EXPECT_EQ(ui.messages.size(), 2u);
}

TEST_F(EditFixture, DeletedChannelComesBackWithItsTableOnTheNextRecord) {
  const std::string path = dir.file("four.cad");
  writeRecordFile(path, 4, false, {{300, 300}, {200, 200}});
  open(path);
  RecordEditor editor(*s, ui);
  s->currentChannelRow = 1;
  ASSERT_TRUE(editor.deleteChannel());
  ASSERT_EQ(s->channelCount, 3);
  EXPECT_EQ(s->channelNames[1], "C3");
  s->currentChannelRow = 1;
  s->calibValue[1] = 77;  // a change to the channel now shown second (the file's third)
  ASSERT_TRUE(editor.nextRecord());
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_EQ(s->currentRecord, 2);
  ASSERT_EQ(s->channelCount, 4);
  const char* names[] = {"A1", "B2", "C3", "D4"};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(s->channelNames[c], names[c]);
    EXPECT_EQ(s->zeroLevel[c], 2000 + c);
    EXPECT_EQ(s->channelPosX[c], 10 + c);
    EXPECT_EQ(s->channel(c)[50], codeOf(1, c, 50));
  }
  EXPECT_EQ(s->calibValue[1], 51);
  EXPECT_EQ(s->calibValue[2], 77);
}

TEST_F(EditFixture, InsertedChannelCannotBeWrittenBackAndGoesOnLeaving) {
  const std::string path = dir.file("three.cad");
  writeRecordFile(path, 3, true, {{300, 300}, {200, 200}});
  open(path);
  RecordEditor editor(*s, ui);
  ASSERT_TRUE(editor.insertChannel());
  ui.yesNoScript = {true};  // write back: refused, the record stays
  EXPECT_FALSE(editor.nextRecord());
  EXPECT_EQ(s->currentRecord, 1);
  EXPECT_EQ(s->channelCount, 4);
  ui.yesNoScript = {false};
  ASSERT_TRUE(editor.nextRecord());
  EXPECT_EQ(s->channelCount, 3);
  EXPECT_EQ(s->channelNames[1], "B2");
  EXPECT_EQ(s->zeroLevel[2], 2002);
  RecordFileHeader h;
  std::string reason;
  ASSERT_TRUE(readRecordFileHeader(path, h, reason));
  EXPECT_EQ(h.channelCount, 3);
}

TEST_F(EditFixture, DeletingAChannelOffersEarlierChangesForWritingFirst) {
  const std::string path = dir.file("marks.cad");
  writeRecordFile(path, 3, false, {{300, 300}, {300, 300}});
  open(path);
  RecordEditor editor(*s, ui);
  s->cursorPos = 33;
  ASSERT_TRUE(insertMark(*s));
  ui.yesNoScript = {true};
  ASSERT_TRUE(editor.deleteChannel());
  EXPECT_EQ(ui.questions.size(), 1u);
  StudyState again;
  ASSERT_TRUE(openRecordFile(again, path, ui));
  EXPECT_EQ(again.channel(0)[33], kMarkCode);
}

// --- write-back -------------------------------------------------------------------------------------------------

TEST_F(EditFixture, AnEditedRecordWrittenBackReadsBackAsEdited) {
  struct Case {
    const char* name;
    std::function<void(StudyState&)> edit;
  };
  const Case cases[] = {
      {"mark", [](StudyState& st) { st.cursorPos = 77; insertMark(st); }},
      {"delete inside", [](StudyState& st) { st.cursorPos = 50; st.selectionAnchor = 10; editInterval(st, kDeleteInside, true); }},
      {"mean, current channel", [](StudyState& st) { st.currentChannelRow = 2; st.cursorPos = 90; st.selectionAnchor = 30; editInterval(st, kDeleteMean, false); }},
      {"zero correction", [](StudyState& st) { ScriptedInteraction q; st.cursorPos = 0; st.selectionAnchor = 99; zeroCorrection(st, true, q); }},
      {"whole record deleted", [](StudyState& st) { deleteWholeRecord(st); }},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file(std::string(c.name) + ".cad");
    writeRecordFile(path, 3, true, {{400, 400}, {250, 250}});
    s = std::make_unique<StudyState>();
    open(path);
    RecordEditor editor(*s, ui);
    c.edit(*s);
    ASSERT_EQ(s->recordModified, 1) << c.name;
    const Snapshot edited(*s);
    ui.yesNoScript = {true};
    ASSERT_TRUE(editor.nextRecord()) << c.name;
    EXPECT_EQ(s->currentRecord, 2);
    StudyState back;
    ASSERT_TRUE(openRecordFile(back, path, ui)) << c.name;
    EXPECT_EQ(back.recordLength, edited.length) << c.name;
    for (int ch = 0; ch < 3; ++ch)
      for (int i = 0; i < edited.length; ++i)
        ASSERT_EQ(back.channel(ch)[i], edited.channels[ch][i]) << c.name << " " << ch << " " << i;
    for (int i = 0; i < edited.length; ++i) ASSERT_EQ(back.markChannel[i], edited.mark[i]) << c.name;
    ASSERT_TRUE(stepRecord(back, 1, ui));
    EXPECT_EQ(back.channel(1)[100], codeOf(1, 1, 100)) << c.name;
  }
}

// --- record and epoch steps -------------------------------------------------------------------------------

TEST_F(EditFixture, EpochStepsSnapToTheGridAndStopInsideTheRecord) {
  RecordEditor editor(*s, ui);
  fillRecord(*s, 2, 1000, false);
  s->epochLength = s->epochStep = 256;
  s->cursorPos = 300;
  s->viewStart = 100;
  ASSERT_TRUE(editor.nextEpoch());
  EXPECT_EQ(s->cursorPos, 512);
  EXPECT_EQ(s->currentEpoch, 2);
  EXPECT_EQ(s->viewStart, 356);
  ASSERT_TRUE(editor.nextEpoch());  // 512 + 256 + 256 > 1000: no further epoch
  EXPECT_EQ(s->cursorPos, 512);
  EXPECT_EQ(s->currentEpoch, 2);
  ASSERT_TRUE(editor.previousEpoch());
  ASSERT_TRUE(editor.previousEpoch());
  ASSERT_TRUE(editor.previousEpoch());
  EXPECT_EQ(s->cursorPos, 0);
  EXPECT_EQ(s->currentEpoch, 0);
  EXPECT_EQ(s->viewStart, 0);
  EXPECT_EQ(s->recordModified, 0);
}

TEST_F(EditFixture, TheTransformViewFollowsRecordAndEpochSteps) {
  const std::string path = dir.file("tv.cad");
  writeRecordFile(path, 2, false, {{1024, 1024}, {1024, 1024}});
  open(path);
  s->epochLength = s->epochStep = 256;
  RecordEditor editor(*s, ui);
  std::vector<std::pair<TransformKind, std::int16_t>> calls;  // kind and the signal the transform saw
  editor.setTransformComputer([&calls](StudyState& st, TransformKind kind) {
    calls.emplace_back(kind, st.channelData[0][st.currentEpoch * st.epochStep]);
    for (int c = 0; c < st.channelCount; ++c)
      for (int i = 0; i < 128; ++i) st.parkedChannelData[c][i] = static_cast<std::int16_t>(i);
    return 128;
  });
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 128; ++i) s->parkedChannelData[c][i] = 5;
  s->enterTransformView(TransformKind::Coherence, 128, s->monitorWidth);
  ASSERT_EQ(s->viewMode, ViewMode::Transform);
  ASSERT_TRUE(editor.nextRecord());
  EXPECT_EQ(s->currentRecord, 2);
  EXPECT_EQ(s->viewMode, ViewMode::Transform);
  EXPECT_EQ(s->transformKind, TransformKind::Coherence);
  EXPECT_EQ(s->recordLength, 128);
  EXPECT_EQ(s->savedRecordLength, 1024);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], std::make_pair(TransformKind::Coherence, codeOf(1, 0, 0)));

  s->savedCursorPos = 0;
  ASSERT_TRUE(editor.nextEpoch());
  EXPECT_EQ(s->viewMode, ViewMode::Transform);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1], std::make_pair(TransformKind::Coherence, codeOf(1, 0, 256)));

  editor.setTransformComputer(nullptr);  // nothing to compute with: the signals stay
  ASSERT_TRUE(editor.previousRecord());
  EXPECT_EQ(s->viewMode, ViewMode::Signals);
  EXPECT_EQ(s->recordLength, 1024);
  EXPECT_EQ(s->channel(0)[5], codeOf(0, 0, 5));
}

TEST_F(EditFixture, StepsKeepALockedZoomOfTheTransformView) {
  const std::string path = dir.file("zoom.cad");
  writeRecordFile(path, 2, false, {{1024, 1024}, {1024, 1024}});
  open(path);
  s->epochLength = s->epochStep = 256;
  RecordEditor editor(*s, ui);
  editor.setTransformComputer([](StudyState& st, TransformKind) {
    for (int c = 0; c < st.channelCount; ++c)
      for (int i = 0; i < 128; ++i) st.parkedChannelData[c][i] = 100;
    return 128;
  });
  for (const bool locked : {true, false}) {
    SCOPED_TRACE(locked ? "locked" : "fitted");
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < 128; ++i) s->parkedChannelData[c][i] = 100;
    s->lockedZoom = false;
    s->enterTransformView(TransformKind::Amplitude, 128, s->monitorWidth);
    ASSERT_EQ(s->viewMode, ViewMode::Transform);
    const int fitted = s->timeZoom;
    s->timeZoom = fitted - 1;  // the person zoomed out
    s->lockedZoom = locked;
    ASSERT_TRUE(editor.nextEpoch());
    EXPECT_EQ(s->viewMode, ViewMode::Transform);
    EXPECT_EQ(s->timeZoom, locked ? fitted - 1 : fitted);
    ASSERT_TRUE(locked ? editor.nextRecord() : editor.previousRecord());  // 1 → 2 → 1
    EXPECT_EQ(s->timeZoom, locked ? fitted - 1 : fitted);
    s->leaveTransformView();
    EXPECT_EQ(s->timeZoom, 0);
    // back at the signals for good: the next transform view is fitted again
    EXPECT_FALSE(s->lockedZoom);
    s->enterTransformView(TransformKind::Amplitude, 128, s->monitorWidth);
    EXPECT_EQ(s->timeZoom, fitted);
    s->leaveTransformView();
  }
}

// --- merge ---------------------------------------------------------------------------------------------------------

TEST_F(EditFixture, MergeSkipsDeletedRecordsAndKeepsWhatRecordsHold) {
  const std::string path = dir.file("merge.cad");
  // record 2 is deleted, record 3 was shortened to 300 of its 500 stored samples
  writeRecordFile(path, 2, true, {{300, 300}, {200, 0}, {500, 300}, {100, 100}});
  open(path);
  RecordEditor editor(*s, ui);
  NoProgress p;
  ASSERT_TRUE(editor.mergeRecords(p));
  EXPECT_EQ(s->recordLength, 700);
  EXPECT_EQ(s->storedLength, 700);
  EXPECT_EQ(s->recordCount, 1);
  EXPECT_EQ(s->currentRecord, 1);
  EXPECT_TRUE(editor.mergedRecordShown());
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(s->channel(c)[299], codeOf(0, c, 299));
    EXPECT_EQ(s->channel(c)[300], codeOf(2, c, 0));
    EXPECT_EQ(s->channel(c)[599], codeOf(2, c, 299));
    EXPECT_EQ(s->channel(c)[600], codeOf(3, c, 0));
    EXPECT_EQ(s->channel(c)[699], codeOf(3, c, 99));
  }
  EXPECT_EQ(s->markChannel[300], markOf(2, 0));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(editor.nextRecord());

  // "Восстановить" goes back to the file as it is.
  ASSERT_TRUE(editor.restoreRecord());
  EXPECT_FALSE(editor.mergedRecordShown());
  EXPECT_EQ(s->recordCount, 4);
  EXPECT_EQ(s->recordLength, 300);
  ASSERT_TRUE(editor.nextRecord());
  EXPECT_EQ(s->currentRecord, 2);
}

TEST_F(EditFixture, MergeStopsAt32767SamplesPerChannel) {
  const std::string path = dir.file("long.cad");
  writeRecordFile(path, 1, true, {{20000, 20000}, {20000, 20000}, {500, 500}});
  open(path);
  s->channel(0)[kMaxSamples] = kSentinel;
  s->markChannel[kMaxSamples] = kSentinel;
  RecordEditor editor(*s, ui);
  NoProgress p;
  ASSERT_TRUE(editor.mergeRecords(p));
  EXPECT_EQ(s->recordLength, kMaxSamples);
  EXPECT_EQ(s->channel(0)[20000], codeOf(1, 0, 0));
  EXPECT_EQ(s->channel(0)[kMaxSamples - 1], codeOf(1, 0, kMaxSamples - 1 - 20000));
  EXPECT_EQ(s->channel(0)[kMaxSamples], kSentinel);
  EXPECT_EQ(s->markChannel[kMaxSamples], kSentinel);
  EXPECT_EQ(ui.messages.size(), 1u);  // told that the rest did not fit
}

TEST_F(EditFixture, MergeRefusedOrCancelledLeavesTheRecord) {
  const std::string one = dir.file("one.cad");
  writeRecordFile(one, 2, false, {{300, 300}});
  open(one);
  RecordEditor editor(*s, ui);
  NoProgress p;
  Snapshot before(*s);
  EXPECT_FALSE(editor.mergeRecords(p));
  EXPECT_TRUE(Snapshot(*s) == before);
  EXPECT_EQ(ui.messages.size(), 1u);

  const std::string three = dir.file("three.cad");
  writeRecordFile(three, 2, false, {{300, 300}, {300, 300}, {300, 300}});
  open(three);
  CancelAt cancel(2);
  const Snapshot before3(*s);
  EXPECT_FALSE(editor.mergeRecords(cancel));
  EXPECT_TRUE(Snapshot(*s) == before3);
  EXPECT_FALSE(editor.mergedRecordShown());
  EXPECT_EQ(s->recordCount, 3);

  // A changed record is offered for writing before the file is read.
  s->cursorPos = 5;
  ASSERT_TRUE(insertMark(*s));
  ui.yesNoScript = {true};
  ASSERT_TRUE(editor.mergeRecords(p));
  EXPECT_EQ(s->channel(0)[5], kMarkCode);
  EXPECT_EQ(s->recordLength, 900);
}

// --- reorganisation ---------------------------------------------------------------------------------------------

TEST(ReferencePoints, ParsingAndItsMessages) {
  struct Case {
    const char* text;
    char kind;  // 0: refused
    int parameter;
    const char* error;
  } cases[] = {
      {"S3", 'S', 2, nullptr},          {"s3", 'S', 2, nullptr},           {"S0", 'S', -1, nullptr},
      {"S16 [i=1-16]", 'S', 15, nullptr}, {"S17", 0, 0, kBadReferenceParameter},
      {"M4", 'M', 3, nullptr},          {"M5", 0, 0, kBadReferenceParameter}, {"E0", 0, 0, kBadReferenceParameter},
      {"c1", 'C', 0, nullptr},          {"I1F", 'I', 31, nullptr},        {"oFF", 'O', 255, nullptr},
      {"I123", 0, 0, kBadReferenceParameter}, {"P7", 'P', 7, nullptr},   {"T", 'T', 0, nullptr},
      {"Si [i=1-16]", 0, 0, kBadReferenceParameter}, {"X1", 0, 0, kBadReferenceKind},
      {"", 0, 0, kBadReferenceKind},    {"Ж1", 0, 0, kBadReferenceKind},  {"  m2", 'M', 1, nullptr},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto p = parseReferencePoint(c.text, 4, error);
    if (c.kind == 0) {
      EXPECT_FALSE(p) << c.text;
      EXPECT_EQ(error, c.error) << c.text;
    } else {
      ASSERT_TRUE(p) << c.text << " " << error;
      EXPECT_EQ(p->kind, c.kind) << c.text;
      EXPECT_EQ(p->parameter, c.parameter) << c.text;
    }
  }
  std::string error;
  const auto t = parseReferencePoint("T2,5", 4, error);
  ASSERT_TRUE(t);
  EXPECT_DOUBLE_EQ(t->seconds, 2.5);
}

TEST(ReferencePoints, SearchOfEachKind) {
  const long n = 400;
  std::vector<std::int16_t> x(n, 2048), y(n, 100), mark(n, 0);
  mark[50] = 0x0304;   // bit 2, low 04, high 03
  mark[51] = 0x0304;
  mark[200] = 0x0001;  // bit 0
  x[120] = kMarkCode;
  y[70] = 100;
  y[71] = 900;  // a one-sample pulse at 70
  y[72] = 100;
  y[150] = 100;
  y[151] = 900;  // a step, not a pulse
  y[152] = 900;
  // a waveform at 300..309 and its copy at 316..325
  std::vector<std::int16_t> wave = {2148, 2348, 2548, 2348, 2148, 1948, 1748, 1948, 2148, 2048};
  for (int j = 0; j < 10; ++j) x[static_cast<std::size_t>(316 + j)] = wave[static_cast<std::size_t>(j)];
  ReferenceSearch r;
  r.channels = {x.data(), y.data()};
  r.zeroLevel = {2048, 100};
  r.mark = mark.data();
  r.length = n;
  r.waveform = wave;
  struct Case {
    ReferencePoint p;
    long from;
    long expected;
  } cases[] = {
      {{'T', 0, 0}, 17, 17},   {{'S', 2, 0}, 0, 50},    {{'S', 2, 0}, 52, -1},   {{'S', -1, 0}, 0, 50},
      {{'S', -1, 0}, 51, 52},  {{'S', 0, 0}, 0, 200},   {{'I', 4, 0}, 0, 50},    {{'O', 3, 0}, 51, 51},
      {{'I', 3, 0}, 0, -1},    {{'M', 0, 0}, 0, 120},   {{'M', 0, 0}, 121, -1},  {{'E', 1, 0}, 0, 70},
      {{'E', 1, 0}, 71, -1},   {{'C', 0, 0}, 306, 315}, {{'C', 0, 0}, 330, -1},  {{'P', 0, 0}, 0, -1},
      {{'T', 0, 0}, n, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(findReferencePoint(r, c.p, c.from), c.expected) << c.p.kind << c.from;
  r.mark = nullptr;
  EXPECT_EQ(findReferencePoint(r, {'S', 2, 0}, 0), -1);
}

class Reorganise : public EditFixture {
 protected:
  std::string source() { return dir.file("source.cad"); }
  void SetUp() override {
    EditFixture::SetUp();
    writeRecordFile(source(), 2, true, {{1000, 1000}, {800, 800}});
    open(source());
  }
  int run(const ReorganisationSettings& settings, const std::string& out, int* picks = nullptr) {
    RecordEditor editor(*s, ui);
    dialogs.reorg = settings;
    NoProgress p;
    return reorganisationCommand(editor, *s, ui, dialogs,
                                 [&]() -> std::optional<std::string> {
                                   if (picks) ++*picks;
                                   return out;
                                 },
                                 p);
  }
};

TEST_F(Reorganise, CutsEpochsAroundMarkCodesIntoANewFile) {
  // Mark codes (record + 1) × 256 + k every 100 samples: "O1" finds record 1's, "I" a low byte.
  const std::string out = dir.file("out.cad");
  s->cursorPos = 400;
  ASSERT_EQ(run({"-0,1", "0.2", "", "O1"}, out), 10);  // points 0..900 of record 1, 30-sample epochs
  RecordFileHeader h;
  std::string reason;
  ASSERT_TRUE(readRecordFileHeader(out, h, reason)) << reason;
  EXPECT_EQ(h.recordCount, 10);
  std::vector<RecordInfo> recs;
  ASSERT_TRUE(scanRecords(out, h, recs, reason)) << reason;
  ASSERT_EQ(recs.size(), 10u);
  std::vector<std::vector<std::int16_t>> samples;
  ASSERT_TRUE(readRecordSamples(out, h, recs[1], samples, reason));
  EXPECT_EQ(recs[1].recordLength, 30);
  EXPECT_EQ(samples[1][0], codeOf(0, 1, 90));  // 10 samples before the point at 100
  EXPECT_EQ(samples[2][10], markOf(0, 100));   // the mark channel goes along
  ASSERT_TRUE(readRecordSamples(out, h, recs[0], samples, reason));
  EXPECT_EQ(samples[0][0], codeOf(0, 0, 0));  // the epoch before the first point starts at 0
  // afterwards the open file is back at its first record
  EXPECT_EQ(s->currentRecord, 1);
  EXPECT_EQ(s->cursorPos, 100);
  EXPECT_EQ(s->selectionAnchor, -1);
  ReorganisationSettings saved;
  ASSERT_TRUE(readReorganisationSettings(s->programDir, saved));
  EXPECT_EQ(saved.referencePoint, "O1");

  const std::string second = dir.file("second.cad");
  EXPECT_EQ(run({"0", "0,5", "", "O2"}, second), 8);  // record 2 (800 samples), points 0..700
}

TEST_F(Reorganise, ErrorsEndTheRunBeforeAnythingIsWritten) {
  struct Case {
    ReorganisationSettings settings;
    const char* message;
  } cases[] = {
      {{"0", "1", "", "Q1"}, kBadReferenceKind},
      {{"0", "1", "", "M9"}, kBadReferenceParameter},
      {{"1", "0.5", "", "S1"}, kBadEpoch},
      {{"x", "1", "", "S1"}, kBadEpoch},
      {{"0", "1", "", "C1"}, kBadMarker},
  };
  for (const Case& c : cases) {
    int picks = 0;
    const std::string out = dir.file("never.cad");
    EXPECT_EQ(run(c.settings, out, &picks), 0);
    EXPECT_EQ(picks, 0);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back(), c.message);
    EXPECT_FALSE(fileExists(out));
  }
  // a condition cannot be checked in this build: refused rather than ignored
  int picks = 0;
  EXPECT_EQ(run({"0", "1", "i>1", "S1"}, dir.file("never.cad"), &picks), 0);
  EXPECT_EQ(picks, 0);
  // no point at all: no file
  const std::size_t before = ui.messages.size();
  EXPECT_EQ(run({"0", "1", "", "P1"}, dir.file("none.cad")), 0);
  EXPECT_EQ(ui.messages.size(), before + 1);
  EXPECT_FALSE(fileExists(dir.file("none.cad")));
  EXPECT_FALSE(fileExists(dir.file("never.cad")));
  EXPECT_EQ(run({"0", "1", "", "S1"}, source()), 0);  // never over the file being read
  EXPECT_EQ(test::readBytes(source()).size() > 0, true);
}

TEST_F(Reorganise, AnEpochThatStartsLateNeverReadsPastTheRecord) {
  // Epoch 5..6 s after each point at 100 Hz: points near the end would need
  // samples beyond the record and are left out.
  const std::string out = dir.file("late.cad");
  const int written = run({"5", "6", "", "T0"}, out);
  RecordFileHeader h;
  std::string reason;
  ASSERT_TRUE(readRecordFileHeader(out, h, reason)) << reason;
  std::vector<RecordInfo> recs;
  ASSERT_TRUE(scanRecords(out, h, recs, reason));
  ASSERT_EQ(static_cast<int>(recs.size()), written);
  ASSERT_GT(written, 0);
  std::vector<std::vector<std::int16_t>> samples;
  // points 0, 101, 202, ... (L = 100, g = 1) while p + 600 ≤ the record's length
  ASSERT_TRUE(readRecordSamples(out, h, recs[0], samples, reason));
  EXPECT_EQ(samples[0][0], codeOf(0, 0, 500));
  ASSERT_TRUE(readRecordSamples(out, h, recs.back(), samples, reason));
  EXPECT_EQ(samples[0][99], codeOf(1, 0, 700));  // record 2 (800 samples): points 0 and 101
  EXPECT_EQ(written, 4 + 2);
}

}  // namespace
}  // namespace velor
