// Digital input names, the polygraph window's settings file and the marking
// of extremes by a reference half-wave.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include "core/formula.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "physio/polygraph_events.h"
#include "physio/polygraph_texts.h"
#include "physio/polygraph_tools.h"
#include "test_support.h"

namespace velor {
namespace {

TEST(DigitalInputs, NamesOfTheSetBitsInBitOrder) {
  test::TempDir dir;
  StudyState s;
  s.programDir = dir.path() + "/";
  s.channelCount = 1;
  s.recordLength = 100;
  s.cursorPos = 10;
  // no mark channel, then no "Dio.ini": nothing
  EXPECT_FALSE(digitalInputsAtCursor(s));
  s.markChannelCount = 1;
  s.markChannel[10] = (1 << 0) | (1 << 2) | (1 << 3) | (1 << 12);
  EXPECT_FALSE(digitalInputsAtCursor(s));
  // five lines, the fourth blank: the rest is completed with default names
  ASSERT_TRUE(writeTextLines(s.programDir + kPoliDioFile, {" Дыхание ", "Пульс", "КГР", "   ", "Кнопка"}));
  const auto text = digitalInputsAtCursor(s);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, std::string("Дыхание\r\nКГР\r\n") + kPoliDefaultInputName + "12");
  s.markChannel[10] = 0;
  EXPECT_EQ(*digitalInputsAtCursor(s), "");
}

TEST(PolygraphSettingsFile, RoundTripDefaultsAndCheckBoxes) {
  test::TempDir dir;
  const std::string d = dir.path() + "/";
  bool unreadable = false;
  PolygraphSettings st = readPolygraphSettings(d, &unreadable);
  EXPECT_TRUE(unreadable);
  EXPECT_EQ(st.tolerancePercent, "30");
  EXPECT_TRUE(st.extraction);
  st.tolerancePercent = "12.5";
  st.referenceDuration = 40;
  st.referenceAmplitude = 300;
  st.extraction = false;
  st.inHertz = true;
  st.bins = " 25 ";
  ASSERT_TRUE(writePolygraphSettings(d, st));
  const auto lines = readTextLines(d + kPoliSettingsFile);
  ASSERT_TRUE(lines);
  EXPECT_EQ(*lines, (std::vector<std::string>{"12.5", "1", "40", "300", "0", "0", "1", "40", "500", " 25 "}));
  const PolygraphSettings back = readPolygraphSettings(d, &unreadable);
  EXPECT_FALSE(unreadable);
  EXPECT_EQ(back.referenceAmplitude, 300);
  EXPECT_FALSE(back.extraction);
  EXPECT_TRUE(back.inHertz);
  // any text but "0" checks a box
  ASSERT_TRUE(writeTextLines(d + kPoliSettingsFile, {"30", "1", "0", "0", "ja", "", "0"}));
  const PolygraphSettings odd = readPolygraphSettings(d, &unreadable);
  EXPECT_TRUE(unreadable);  // short
  EXPECT_TRUE(odd.extraction);
  EXPECT_TRUE(odd.allRecords);
  EXPECT_FALSE(odd.inHertz);
  EXPECT_EQ(odd.bins, "40");
}

// Half-waves of 10 samples, repeated ten times: up 300 codes, down 100, up
// 100, down 300.
struct ExtremeStudy : ::testing::Test {
  StudyState s;
  PolygraphSettings st;
  ExtremeMarking out;
  std::string message;
  std::vector<std::int16_t> original;
  void SetUp() override {
    s.channelCount = 1;
    s.sampleRate = 100;
    s.zeroLevel[0] = 2048;
    std::vector<std::int16_t> x{2000};
    const int swings[] = {+300, -100, +100, -300};  // up 300, down 100, up 100, down 300: back where it began
    for (int rep = 0; rep < 10; ++rep)
      for (int sw : swings)
        for (int k = 1; k <= 10; ++k) x.push_back(static_cast<std::int16_t>(x.back() + sw / 10));
    s.recordLength = static_cast<int>(x.size());
    std::copy(x.begin(), x.end(), s.channel(0));
    original = x;
    st.deadTimeSeconds = "0";
    st.tolerancePercent = "0";
  }
};

TEST_F(ExtremeStudy, ExtractionKeepsOnlyTheMatchingExtremes) {
  // the selection spans the first 300-code rise: 10 samples, 300 codes
  s.cursorPos = 0;
  s.selectionAnchor = 10;
  ASSERT_TRUE(markExtremes(s, 0, ExtremeKind::Maxima, st, out, message)) << message;
  EXPECT_EQ(st.referenceDuration, 10);
  EXPECT_EQ(st.referenceAmplitude, 300);
  EXPECT_EQ(s.recordModified, 1);
  // per repetition the rise 2000 → 2300 and the fall 2300 → 2000 match;
  // their higher ends stay; the last fall ends the record without turning
  int kept = 0;
  for (int i = 0; i < s.recordLength; ++i)
    if (s.channel(0)[i] != 2048) {
      ++kept;
      EXPECT_EQ(s.channel(0)[i], original[static_cast<std::size_t>(i)]) << i;
    }
  EXPECT_EQ(out.accepted, 19);
  EXPECT_EQ(kept, 19);
}

TEST_F(ExtremeStudy, MarkingModeWritesAMarkAfterEachAcceptedExtreme) {
  st.extraction = false;
  st.referenceDuration = 10;
  st.referenceAmplitude = 100;
  s.selectionAnchor = -1;
  ASSERT_TRUE(markExtremes(s, 0, ExtremeKind::Both, st, out, message)) << message;
  int marks = 0;
  for (int i = 0; i < s.recordLength; ++i) {
    if (s.channel(0)[i] == kMarkCode) {
      ++marks;
      // a mark follows a turning point by one sample
      EXPECT_NE(original[static_cast<std::size_t>(i - 1)] - original[static_cast<std::size_t>(i - 2)] > 0,
                original[static_cast<std::size_t>(i)] - original[static_cast<std::size_t>(i - 1)] > 0)
          << i;
    } else {
      EXPECT_EQ(s.channel(0)[i], original[static_cast<std::size_t>(i)]) << i;
    }
  }
  // the two 100-code half-waves of each repetition
  EXPECT_EQ(out.accepted, 20);
  EXPECT_EQ(marks, 20);
  // a dead time longer than the record lets only the first one through
  for (int i = 0; i < s.recordLength; ++i) s.channel(0)[i] = original[static_cast<std::size_t>(i)];
  st.deadTimeSeconds = "1000";
  ASSERT_TRUE(markExtremes(s, 0, ExtremeKind::Both, st, out, message));
  EXPECT_EQ(out.accepted, 1);
}

TEST_F(ExtremeStudy, NoReferenceIsRefusedAndChangesNothing) {
  s.selectionAnchor = -1;
  s.recordModified = 0;
  EXPECT_FALSE(markExtremes(s, 0, ExtremeKind::Maxima, st, out, message));
  EXPECT_EQ(message, kPoliNoReference);
  EXPECT_EQ(s.recordModified, 0);
  for (int i = 0; i < s.recordLength; ++i) EXPECT_EQ(s.channel(0)[i], original[static_cast<std::size_t>(i)]);
}

// Three records of 1000 samples with 2, 0 and 3 pulses; the run counts
// through the later records and reads the first back, the search stops in
// the record holding the event and leaves it loaded.
TEST(EventRun, AllRecordsFromTheCurrentOne) {
  test::TempDir dir;
  const std::string path = dir.file("r.cad");
  {
    auto w = std::make_unique<StudyState>();
    w->channelCount = 1;
    w->recordLength = 1000;
    w->sampleRate = 1000;
    w->recordFileVersion = kVersionCA40;
    w->recordCount = 3;
    w->channelNames[0] = "GSR";
    w->zeroLevel[0] = 2048;
    w->calibValue[0] = 1;
    w->calibUnits[0] = 1;
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(writeHeader(*w, fd));
    const std::vector<std::vector<int>> pulses{{100, 600}, {}, {50, 300, 900}};
    for (const auto& rec : pulses) {
      std::fill(w->channel(0), w->channel(0) + 1000, std::int16_t{2048});
      for (int p : rec)
        for (int k = 0; k < 4; ++k) w->channel(0)[p + k] = 2500;
      ASSERT_TRUE(writeRecord(*w, fd));
    }
    ::close(fd);
  }
  auto s = std::make_unique<StudyState>();
  ScriptedInteraction ui;
  ASSERT_TRUE(openRecordFile(*s, path, ui));
  CompiledFormula f;
  std::string message;
  ASSERT_TRUE(compileFormula("x(1)>100", FunctionNames::defaults(), f, message)) << message;
  EventRun run = runEventScan(*s, 0, f, false, false, ui);
  EXPECT_EQ(run.count, 2);
  run = runEventScan(*s, 0, f, false, true, ui);
  EXPECT_EQ(run.count, 5);
  ASSERT_EQ(run.positions.size(), 3u);
  EXPECT_EQ(run.positions[2], (std::vector<int>{50, 300, 900}));
  EXPECT_EQ(s->currentRecord, 1);
  // from record 2 the count starts there
  ASSERT_TRUE(gotoRecord(*s, 2, ui));
  EXPECT_EQ(runEventScan(*s, 0, f, false, true, ui).count, 3);
  EXPECT_EQ(s->currentRecord, 2);
  // the search from record 2: the event of record 3, which stays loaded
  s->cursorPos = 500;
  run = runEventScan(*s, 0, f, true, true, ui);
  EXPECT_EQ(run.foundRecord, 3);
  EXPECT_EQ(run.foundSample, 50);
  EXPECT_EQ(s->currentRecord, 3);
  // past the last event: nothing found, the starting record back
  s->cursorPos = 950;
  run = runEventScan(*s, 0, f, true, true, ui);
  EXPECT_EQ(run.foundSample, -1);
  EXPECT_EQ(s->currentRecord, 3);
  closeRecordFile(*s);
}

}  // namespace
}  // namespace velor
