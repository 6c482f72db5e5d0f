// The frequency band table: the band count rule, the default table and the
// ".dia" files, including damaged and oversized ones.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "core/interaction.h"
#include "core/study_state.h"
#include "core/text.h"
#include "eeg/band_table.h"
#include "test_support.h"

namespace {

using namespace velor;
using velor::test::readBytes;
using velor::test::TempDir;
using velor::test::writeBytes;

std::string cp(const std::string& utf8) { return utf8ToCp1251(utf8); }

TEST(BandTable, CountIsTheRowsBeforeTheFirstEmptyName) {
  struct Case {
    const char* what;
    std::vector<int> named;  // rows with a name
    int expected;
  };
  const Case cases[] = {
      {"empty table", {}, 0},
      {"five rows", {0, 1, 2, 3, 4}, 5},
      {"a gap ends the table", {0, 1, 3, 4}, 2},
      {"first row empty", {1, 2}, 0},
      {"every row named: the grid's 30, not more", {}, kBandRows},
  };
  for (const Case& c : cases) {
    std::array<BandRow, kBandRows> t{};
    if (c.expected == kBandRows)
      for (auto& r : t) r.name = "x";
    for (int i : c.named) t[static_cast<std::size_t>(i)].name = "b" + std::to_string(i);
    EXPECT_EQ(countBands(t), c.expected) << c.what;
  }
  std::array<BandRow, kBandRows> blank{};
  blank[0].name = "a";
  blank[1].name = "  \t ";
  EXPECT_EQ(countBands(blank), 1) << "a blank name counts as empty";
}

TEST(BandTable, UpdateKeepsTheCurrentBandInsideTheTable) {
  StudyState s;
  s.bandTable[0].name = "a";
  s.bandTable[1].name = "b";
  s.currentBand = 4;
  updateBandCount(s);
  EXPECT_EQ(s.bandCount, 2);
  EXPECT_EQ(s.currentBand, 0);
}

TEST(BandTable, DefaultTableOnlyForAnEmptyTable) {
  StudyState s;
  ASSERT_TRUE(installDefaultBands(s));
  EXPECT_EQ(s.bandCount, 5);
  const char* names[] = {"Дельта", "Тета", "Альфа", "Бета1", "Бета2"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s.bandTable[static_cast<std::size_t>(i)].name, names[i]);
  EXPECT_EQ(s.bandTable[2].low, "8");
  EXPECT_EQ(s.bandTable[2].high, "13");

  StudyState t;
  t.bandTable[7].low = "3";  // something is there: keep it
  EXPECT_FALSE(installDefaultBands(t));
  EXPECT_TRUE(t.bandTable[0].name.empty());
}

TEST(BandFile, WritesThreeCp1251LinesPerBandAndReadsThemBack) {
  TempDir dir;
  const std::string path = dir.file("bands.dia");
  StudyState s;
  s.bandTable[0] = {"Альфа", "8", "13,5"};
  s.bandTable[1] = {"Beta", "13.5", "30"};
  s.bandTable[2] = {"Гамма", "30", "45"};
  s.bandCount = 2;  // only the first two are written
  ASSERT_TRUE(writeBandFile(path, s));
  EXPECT_EQ(readBytes(path), cp("Альфа\r\n8\r\n13,5\r\nBeta\r\n13.5\r\n30\r\n"));

  StudyState r;
  r.bandTable[5] = {"old", "1", "2"};  // reading clears the grid first
  ScriptedInteraction ui;
  ASSERT_TRUE(readBandFile(path, r, ui));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(r.bandCount, 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(r.bandTable[static_cast<std::size_t>(i)].name, s.bandTable[static_cast<std::size_t>(i)].name);
    EXPECT_EQ(r.bandTable[static_cast<std::size_t>(i)].low, s.bandTable[static_cast<std::size_t>(i)].low);
    EXPECT_EQ(r.bandTable[static_cast<std::size_t>(i)].high, s.bandTable[static_cast<std::size_t>(i)].high);
  }
  EXPECT_TRUE(r.bandTable[5].name.empty());
}

TEST(BandFile, ReadingStopsAtTheEmptyLineAfterATriple) {
  struct Case {
    const char* what;
    std::string bytes;
    int count;
    std::vector<BandRow> rows;
  };
  const Case cases[] = {
      {"empty line after the first triple", "A\r\n1\r\n2\r\n\r\nB\r\n3\r\n4\r\n", 1, {{"A", "1", "2"}}},
      {"LF line ends", "A\n1\n2\nB\n3\n4\n", 2, {{"A", "1", "2"}, {"B", "3", "4"}}},
      {"a triple cut short", "A\r\n1\r\n", 1, {{"A", "1", ""}}},
      {"an empty file", "", 0, {}},
      {"control characters become blanks", std::string("A\x01Z\r\n 1 \r\n2\r\n"), 1, {{"A Z", "1", "2"}}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeBytes(dir.file("b.dia"), c.bytes);
    StudyState s;
    ScriptedInteraction ui;
    ASSERT_TRUE(readBandFile(dir.file("b.dia"), s, ui)) << c.what;
    EXPECT_EQ(s.bandCount, c.count) << c.what;
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
      EXPECT_EQ(s.bandTable[i].name, c.rows[i].name) << c.what;
      EXPECT_EQ(s.bandTable[i].low, c.rows[i].low) << c.what;
      EXPECT_EQ(s.bandTable[i].high, c.rows[i].high) << c.what;
    }
  }
}

TEST(BandFile, MoreThanThirtyBandsGiveTheFirstThirtyAndSaySo) {
  TempDir dir;
  std::string bytes;
  for (int i = 1; i <= 35; ++i) bytes += "b" + std::to_string(i) + "\r\n" + std::to_string(i) + "\r\n" + std::to_string(i + 1) + "\r\n";
  writeBytes(dir.file("many.dia"), bytes);
  StudyState s;
  ScriptedInteraction ui;
  ASSERT_TRUE(readBandFile(dir.file("many.dia"), s, ui));
  EXPECT_EQ(s.bandCount, kBandRows);
  EXPECT_EQ(s.bandTable[29].name, "b30");
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("30"), std::string::npos) << ui.messages[0];
}

TEST(BandFile, UnreadableFilesLeaveTheTableAsItWas) {
  TempDir dir;
  StudyState s;
  installDefaultBands(s);
  ScriptedInteraction ui;
  EXPECT_FALSE(readBandFile(dir.file("missing.dia"), s, ui));
  EXPECT_FALSE(readBandFile(dir.path(), s, ui)) << "a directory";
  writeBytes(dir.file("huge.dia"), std::string(2u << 20, 'x'));  // beyond what a settings file may be
  EXPECT_FALSE(readBandFile(dir.file("huge.dia"), s, ui));
  ASSERT_EQ(ui.messages.size(), 3u);
  for (const auto& m : ui.messages) EXPECT_EQ(m.rfind("Прерывание: ", 0), 0u) << m;
  EXPECT_EQ(s.bandCount, 5);
  EXPECT_EQ(s.bandTable[2].name, "Альфа");
}

TEST(BandFile, RandomBytesNeverGiveMoreThanTheGrid) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 50; ++round) {
    TempDir dir;
    std::string bytes(static_cast<std::size_t>(byte(rng) * 16), '\0');
    for (char& c : bytes) c = static_cast<char>(byte(rng) % 4 == 0 ? '\n' : byte(rng));
    writeBytes(dir.file("r.dia"), bytes);
    StudyState s;
    ScriptedInteraction ui;
    ASSERT_TRUE(readBandFile(dir.file("r.dia"), s, ui));
    EXPECT_LE(s.bandCount, kBandRows);
    EXPECT_EQ(s.bandCount, countBands(s.bandTable));
  }
}

}  // namespace
