// The record's own undo: a change handed over with the copy taken before it
// can be taken back, and the record before its unsaved changes comes back
// from memory, but never over a record that changed since by another path,
// another record, or a record written to its file in between.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/record_snapshot.h"
#include "core/study_state.h"

namespace velor {
namespace {

std::vector<std::int16_t> samples(const StudyState& s, int ch) {
  return {s.channelData[static_cast<std::size_t>(ch)], s.channelData[static_cast<std::size_t>(ch)] + s.recordLength};
}

class RecordUndoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.channelCount = 3;
    s.recordLength = 500;
    s.sampleRate = 250;
    s.recordFilePath = "/data/a.edf";
    s.currentRecord = 2;
    s.leadPairCount = 1;
    s.leadPairs[0] = {1, 2};
    for (int ch = 0; ch < 3; ++ch)
      for (int i = 0; i < 500; ++i) s.channelData[static_cast<std::size_t>(ch)][i] = static_cast<std::int16_t>(2048 + (i * (ch + 7)) % 301);
    original = samples(s, 1);
  }
  // A change that goes through the undo: every sample of channel 1 moves by `by`.
  void shift(int by) {
    RecordSnapshot before;
    before.capture(s);
    for (int i = 0; i < s.recordLength; ++i) s.channelData[1][i] = static_cast<std::int16_t>(s.channelData[1][i] + by);
    s.recordModified = 1;
    undo.changed(std::move(before), s);
  }
  StudyState s;
  RecordUndo undo;
  std::vector<std::int16_t> original;
};

TEST_F(RecordUndoTest, StepsBackOneChangeAndRestoresTheUnchangedRecord) {
  shift(5);
  const auto afterFirst = samples(s, 1);
  // a change that also halves the record and its rate, and drops the pairs
  RecordSnapshot before;
  before.capture(s);
  s.leadPairCount = 0;
  s.referenceKind = 6;
  s.recordLength = 250;
  s.sampleRate = 125;
  undo.changed(std::move(before), s);
  ASSERT_TRUE(undo.canUndo(s));
  ASSERT_TRUE(undo.undoLast(s));
  EXPECT_EQ(s.recordLength, 500);
  EXPECT_EQ(s.sampleRate, 250);
  EXPECT_EQ(s.referenceKind, 0);
  EXPECT_EQ(s.leadPairCount, 1);
  EXPECT_EQ(samples(s, 1), afterFirst);
  EXPECT_FALSE(undo.undoLast(s));  // one step only
  shift(3);
  ASSERT_TRUE(undo.restoreUnchanged(s));
  EXPECT_EQ(samples(s, 1), original);
  EXPECT_EQ(s.recordModified, 0);
}

TEST_F(RecordUndoTest, NothingComesBackOverAnotherStateOfTheRecord) {
  struct Case {
    const char* what;
    void (*meddle)(StudyState&);
  };
  const Case cases[] = {
      {"a change made without a copy", [](StudyState& st) { st.channelData[2][7] = 4096; }},
      {"another record of the file", [](StudyState& st) { st.currentRecord = 3; }},
      {"another file", [](StudyState& st) { st.recordFilePath = "/data/b.edf"; }},
      {"written to the file since", [](StudyState& st) { st.recordModified = 0; }},
  };
  for (const Case& c : cases) {
    SetUp();
    undo.clear();
    shift(5);
    c.meddle(s);
    const auto shown = samples(s, 1);
    EXPECT_FALSE(undo.restoreUnchanged(s)) << c.what;
    EXPECT_EQ(samples(s, 1), shown) << c.what;
    if (c.meddle != cases[3].meddle) EXPECT_FALSE(undo.undoLast(s)) << c.what;
  }
}

TEST_F(RecordUndoTest, ChangesOnARecordAlreadyChangedElsewhereKeepNoUnchangedCopy) {
  s.channelData[0][0] = 100;  // an edit that took no copy
  s.recordModified = 1;
  shift(5);
  EXPECT_FALSE(undo.restoreUnchanged(s));
  // the last step alone can still be taken back
  ASSERT_TRUE(undo.undoLast(s));
  EXPECT_EQ(samples(s, 1), original);
  EXPECT_EQ(s.channelData[0][0], 100);
}

}  // namespace
}  // namespace velor
