// Lead names and montages: names, kinds, electrode positions, lead pairs,
// channel order files and reordering, position templates, and what of it a
// record file keeps.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <tuple>

#include "core/electrode_sites.h"
#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "core/text.h"
#include "shell/file_dispatch.h"
#include "test_support.h"
#include "viewer/leads.h"
#include "viewer/monitor.h"
#include "viewer/monitor_texts.h"

namespace velor {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

// A record of `n` named channels whose samples tell the channel apart.
void fillRecord(StudyState& s, int n, const std::vector<std::string>& names) {
  s.channelCount = n;
  s.recordLength = 16;
  for (int c = 0; c < n; ++c) {
    const auto at = static_cast<std::size_t>(c);
    s.channelNames[at] = c < static_cast<int>(names.size()) ? names[at] : "K" + std::to_string(c + 1);
    s.channelPosX[at] = static_cast<std::uint8_t>(10 + c);
    s.channelPosY[at] = static_cast<std::uint8_t>(20 + c);
    s.zeroLevel[c] = static_cast<std::uint16_t>(2000 + c);
    s.calibUnits[c] = static_cast<std::uint16_t>(1000 + c);
    s.calibValue[c] = static_cast<std::uint16_t>(50 + c);
    for (int i = 0; i < s.recordLength; ++i) s.channel(c)[i] = static_cast<std::int16_t>(100 * (c + 1) + i);
  }
}

void setPairs(StudyState& s, std::initializer_list<std::array<int, 2>> pairs) {
  for (auto& p : s.leadPairs) p = {0, 0};
  std::size_t k = 0;
  for (const auto& p : pairs) s.leadPairs[k++] = {static_cast<std::uint8_t>(p[0]), static_cast<std::uint8_t>(p[1])};
  s.leadPairCount = static_cast<int>(pairs.size());
}

std::vector<std::string> pairNames(const StudyState& s) {
  std::vector<std::string> out;
  for (int k = 0; k < s.leadPairCount; ++k) out.push_back(pairName(s, k));
  return out;
}

// Everything of the channel table the editor may touch.
struct TableSnapshot {
  std::vector<std::string> names;
  std::vector<int> posX, posY, order, zero, units, value;
  std::vector<std::array<std::uint8_t, 2>> pairs;
  int pairCount, reference, modified;
  explicit TableSnapshot(const StudyState& s)
      : pairs(s.leadPairs.begin(), s.leadPairs.end()),
        pairCount(s.leadPairCount),
        reference(s.referenceKind),
        modified(s.recordModified) {
    for (int c = 0; c < kMaxChannels; ++c) {
      const auto at = static_cast<std::size_t>(c);
      names.push_back(s.channelNames[at]);
      posX.push_back(s.channelPosX[at]);
      posY.push_back(s.channelPosY[at]);
      order.push_back(s.channelOrder[c]);
      zero.push_back(s.zeroLevel[c]);
      units.push_back(s.calibUnits[c]);
      value.push_back(s.calibValue[c]);
    }
  }
  bool operator==(const TableSnapshot&) const = default;
};

std::string cp1251Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += utf8ToCp1251(l) + "\r\n";
  return out;
}

// --- names, kinds, positions -------------------------------------------------------------

TEST(LeadNames, TypedNamesBecomeThreeCharactersAndOkStoresThemWithTheReference) {
  const std::pair<const char*, const char*> cases[] = {
      {"Fp1x", "Fp1"}, {"O1", "O1 "}, {"", "   "}, {"Лоб1", "Лоб"}, {"A\nB", "A B"}, {"ЭКГ", "ЭКГ"}};
  for (const auto& [typed, stored] : cases) EXPECT_EQ(fitLeadName(typed), stored) << typed;

  StudyState s;
  fillRecord(s, 3, {"a", "b", "c"});
  ASSERT_TRUE(acceptLeadNames(s, {"Fp1x", "O2", "Cz", "extra"}, 4));
  EXPECT_EQ(s.channelNames[0], "Fp1");
  EXPECT_EQ(s.channelNames[1], "O2 ");
  EXPECT_TRUE(s.channelNames[3].empty());  // beyond the record: untouched
  EXPECT_EQ(s.referenceKind, 4);
  // the strip shows the trimmed name with the reference suffix
  EXPECT_EQ(leadText(s, 1), std::string("O2") + monitor_text::kSuffixAM);

  const TableSnapshot before(s);
  EXPECT_FALSE(acceptLeadNames(s, {"X"}, 7));
  EXPECT_FALSE(acceptLeadNames(s, {"X"}, -1));
  EXPECT_TRUE(TableSnapshot(s) == before);
}

TEST(LeadKinds, ChooserEntriesStoreTheirCodesAndEegRestoresAnElectrode) {
  StudyState s;
  fillRecord(s, 2, {});
  struct Case {
    int before, choice, after;
  };
  const Case cases[] = {{20, 1, 255}, {20, 9, 247}, {20, 10, 246}, {255, 0, 0}, {246, 0, 0}, {20, 0, 20}, {100, 0, 0}};
  for (const auto& c : cases) {
    s.channelPosX[0] = static_cast<std::uint8_t>(c.before);
    ASSERT_TRUE(setChannelKind(s, 0, c.choice));
    EXPECT_EQ(s.channelPosX[0], c.after) << c.before << " → " << c.choice;
    if (c.choice > 0) {
      EXPECT_EQ(kindChoiceOf(s.channelPosX[0]), c.choice);
    }
  }
  EXPECT_FALSE(setChannelKind(s, 0, 11));
  EXPECT_FALSE(setChannelKind(s, 64, 1));

  // An ECG channel is drawn positive-up, an EEG one negative-up.
  s.rowHeight = 100;
  setChannelKind(s, 1, 0);
  const auto eeg = traceMapping(s, 1);
  setChannelKind(s, 1, 1);
  EXPECT_EQ(std::string(channelKindName(s.channelPosX[1])), "ЭКГ");
  EXPECT_FALSE(isElectrode(s.channelPosX[1]));
  EXPECT_EQ(traceMapping(s, 1).factor, -eeg.factor);
}

TEST(ElectrodePositions, PixelsAndGridAgreeAndNeverLeaveTheGrid) {
  // Every grid position survives being drawn and dropped again.
  for (int p = 0; p <= kPositionGridMax; ++p) {
    const int left = pixelFromGrid(p, 32, 160, 211);
    EXPECT_EQ(gridFromPixel(left, 32, 160, 211), p) << p;
  }
  // Dropped beyond the image: the edge, never a value that reads as a channel kind.
  EXPECT_EQ(gridFromPixel(-500, 32, 160, 211), 0);
  EXPECT_EQ(gridFromPixel(5000, 32, 160, 211), kPositionGridMax);
  EXPECT_EQ(gridFromPixel(10, 32, 160, 0), 0);

  StudyState s;
  fillRecord(s, 3, {});
  s.channelPosX[2] = 63;
  s.channelPosY[2] = 0;
  EXPECT_TRUE(moveElectrode(s, 2, 1, -1));  // pushed against the corner: stays in it
  EXPECT_EQ(s.channelPosX[2], 63);
  EXPECT_EQ(s.channelPosY[2], 0);
  EXPECT_TRUE(moveElectrode(s, 2, -1, 1));
  EXPECT_EQ(positionText(s, 2), "3: x=31; y=30");
  s.channelPosX[1] = 255;
  EXPECT_FALSE(moveElectrode(s, 1, 1, 0));
  EXPECT_EQ(s.channelPosX[1], 255);
  EXPECT_FALSE(moveElectrode(s, 3, 1, 0));  // not a channel of the record
}

// --- pairs --------------------------------------------------------------------------------

TEST(LeadPairs, InsertDeleteAndChangeKeepTheListSound) {
  StudyState s;
  fillRecord(s, 4, {"ECG", "Fp1", "F3", "C3"});
  s.channelPosX[0] = 255;
  setPairs(s, {{2, 3}, {3, 4}});

  // The new pair joins the first two channels that are not ECG ones, at the
  // selected row; the pairs after it move down.
  EXPECT_EQ(insertLeadPair(s, 1), PairEdit::Done);
  EXPECT_EQ(pairNames(s), (std::vector<std::string>{"Fp1-F3", "Fp1-F3", "F3-C3"}));
  EXPECT_EQ(insertLeadPair(s, 99), PairEdit::Done);  // past the end: appended
  EXPECT_EQ(s.leadPairCount, 4);

  EXPECT_EQ(changeLeadPair(s, 1, 3, 4), PairEdit::Done);  // F3 end dragged onto C3
  EXPECT_EQ(pairName(s, 1), "Fp1-C3");
  EXPECT_EQ(changeLeadPair(s, 1, 2, 4), PairEdit::Unchanged);  // would pair C3 with itself
  EXPECT_EQ(changeLeadPair(s, 1, 3, 2), PairEdit::Unchanged);  // F3 is not an end of it
  EXPECT_EQ(changeLeadPair(s, 1, 2, 9), PairEdit::Unchanged);  // no channel 9
  EXPECT_EQ(pairName(s, 1), "Fp1-C3");

  EXPECT_EQ(deleteLeadPair(s, 0), PairEdit::Done);
  EXPECT_EQ(pairNames(s), (std::vector<std::string>{"Fp1-C3", "F3-C3", "Fp1-F3"}));
  EXPECT_EQ(s.leadPairs[3], (std::array<std::uint8_t, 2>{0, 0}));
  while (s.leadPairCount > 0) deleteLeadPair(s, 0);
  EXPECT_EQ(deleteLeadPair(s, 0), PairEdit::Unchanged);
  EXPECT_EQ(s.leadPairCount, 0);

  // The 33rd pair is not inserted.
  for (int k = 0; k < kMaxEditorPairs; ++k) ASSERT_EQ(insertLeadPair(s, k), PairEdit::Done);
  const TableSnapshot full(s);
  EXPECT_EQ(insertLeadPair(s, 0), PairEdit::Full);
  EXPECT_TRUE(TableSnapshot(s) == full);
}

TEST(LeadPairs, WithoutTwoEegChannelsNoPairCanBeFormed) {
  StudyState s;
  fillRecord(s, 3, {});
  for (int c = 0; c < 3; ++c) s.channelPosX[static_cast<std::size_t>(c)] = 255;
  EXPECT_FALSE(hasEegLeads(s));
  EXPECT_EQ(insertLeadPair(s, 0), PairEdit::NeedTwoLeads);
  s.channelPosX[2] = 30;
  EXPECT_TRUE(hasEegLeads(s));
  EXPECT_EQ(insertLeadPair(s, 0), PairEdit::NeedTwoLeads);
  EXPECT_EQ(s.leadPairCount, 0);
  // A channel beyond the record does not count.
  s.channelPosX[3] = 30;
  EXPECT_EQ(insertLeadPair(s, 0), PairEdit::NeedTwoLeads);
}

TEST(LeadPairFiles, PairsRoundTripByNameInCodePage1251) {
  TempDir dir;
  StudyState s;
  fillRecord(s, 4, {"Лоб", "F3", "C3", "O1"});
  setPairs(s, {{1, 2}, {4, 3}, {2, 4}});
  ScriptedInteraction ui;
  const std::string path = dir.file("pairs.csg");
  ASSERT_TRUE(writeLeadPairs(s, path, ui));
  EXPECT_EQ(readBytes(path), utf8ToCp1251("Лоб F3\r\nO1 C3\r\nF3 O1\r\n"));

  // Read into a record whose channels come in another order: pairs follow the names.
  StudyState t;
  fillRecord(t, 5, {"O1", "C3", "F3", "Лоб", "X"});
  ASSERT_TRUE(readLeadPairs(t, path, ui));
  EXPECT_EQ(pairNames(t), (std::vector<std::string>{"Лоб-F3", "O1-C3", "F3-O1"}));
  EXPECT_EQ(t.leadPairs[0], (std::array<std::uint8_t, 2>{4, 3}));
  EXPECT_TRUE(ui.messages.empty());
}

TEST(LeadPairFiles, HostileFilesAreRefusedAndLeaveThePairsAlone) {
  TempDir dir;
  std::string many;
  for (int k = 0; k < 40; ++k) many += (k % 2 ? "F3 C3\r\n" : "C3 F3\r\n");
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"binary", std::string("\0\xff\x01 \x02\r\n\x7f", 8)},
      {"unknown names", "Fz Cz\r\nPz Oz\r\n"},
      {"no blank", "F3C3\r\nF3\r\n"},
      {"a channel with itself", "F3 F3\r\n"},
      {"more than 32 pairs", many},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    StudyState s;
    fillRecord(s, 3, {"F3", "C3", "O1"});
    setPairs(s, {{1, 3}});
    const TableSnapshot before(s);
    const std::string path = dir.file("bad.csg");
    writeBytes(path, bytes);
    ScriptedInteraction ui;
    EXPECT_FALSE(readLeadPairs(s, path, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("bad.csg"), std::string::npos) << ui.messages[0];
    EXPECT_TRUE(TableSnapshot(s) == before);
  }
  // Usable lines among junk are taken; the rest is skipped.
  StudyState s;
  fillRecord(s, 3, {"F3", "C3", "O1"});
  ScriptedInteraction ui;
  const std::string path = dir.file("mixed.csg");
  writeBytes(path, "  F3   O1  \r\nFz Cz\r\nC3 C3\r\n\r\nO1 C3 extra\r\nC3 F3");
  ASSERT_TRUE(readLeadPairs(s, path, ui));
  EXPECT_EQ(pairNames(s), (std::vector<std::string>{"F3-O1", "C3-F3"}));
  ScriptedInteraction none;
  EXPECT_FALSE(readLeadPairs(s, dir.file("missing.csg"), none));
  EXPECT_EQ(none.messages.size(), 1u);
}

TEST(LeadPairFiles, PairsThatWouldNotReadBackAreNotWritten) {
  TempDir dir;
  struct Case {
    const char* what;
    std::vector<std::string> names;
    std::vector<std::array<int, 2>> pairs;
  };
  const Case cases[] = {
      {"no pairs", {"F3", "C3", "O1"}, {}},
      {"two channels of one name", {"F3", "C3", "F3"}, {{1, 2}, {3, 2}}},
      {"an empty name", {"F3", "  ", "O1"}, {{1, 2}}},
      {"a blank inside a name", {"F3", "C 3", "O1"}, {{2, 3}}},
      {"a pair beyond the record", {"F3", "C3", "O1"}, {{1, 7}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StudyState s;
    fillRecord(s, 3, c.names);
    for (std::size_t k = 0; k < c.pairs.size(); ++k)
      s.leadPairs[k] = {static_cast<std::uint8_t>(c.pairs[k][0]), static_cast<std::uint8_t>(c.pairs[k][1])};
    s.leadPairCount = static_cast<int>(c.pairs.size());
    ScriptedInteraction ui;
    const std::string path = dir.file("out.csg");
    EXPECT_FALSE(writeLeadPairs(s, path, ui));
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(fileExists(path));
  }
}

// --- channel order --------------------------------------------------------------------------

TEST(ChannelOrder, OnlyAPermutationOfTheChannelsIsAnOrder) {
  auto column = [](std::initializer_list<int> head) {
    OrderColumn o = identityOrder();
    std::size_t i = 0;
    for (int v : head) o[i++] = v;
    return o;
  };
  EXPECT_EQ(orderProblem(column({3, 1, 2}), 3), "");
  EXPECT_EQ(orderProblem(column({1, 2, 3, 99}), 3), "");  // channels beyond the record do not count
  EXPECT_NE(orderProblem(column({1, 1, 3}), 3), "");
  EXPECT_NE(orderProblem(column({1, 2, 4}), 3), "");
  EXPECT_NE(orderProblem(column({0, 1, 2}), 3), "");
  EXPECT_NE(orderProblem(column({-1, 1, 2}), 3), "");
  EXPECT_NE(orderProblem(identityOrder(), 0), "");
  EXPECT_NE(orderProblem(identityOrder(), 65), "");
}

TEST(ChannelOrder, ChnAndNchFilesRoundTripThroughTheDispatch) {
  TempDir dir;
  StudyState s;
  fillRecord(s, 5, {});
  ScriptedInteraction ui;
  const OrderColumn wanted = [] {
    OrderColumn o = identityOrder();
    o[0] = 5, o[1] = 3, o[2] = 1, o[3] = 2, o[4] = 4;
    return o;
  }();
  ASSERT_TRUE(setChannelOrder(s, wanted, ui));
  for (const auto& [kind, name, lines] : {std::tuple{FileKind::ChannelOrder, "a.chn", kOrderFileLines},
                                          std::tuple{FileKind::NewChannelOrder, "a.nch", kNewOrderFileLines}}) {
    SCOPED_TRACE(name);
    const std::string path = dir.file(name);
    ASSERT_TRUE(saveFile(s, kind, path, ui));
    const auto written = readTextLines(path);
    ASSERT_TRUE(written);
    EXPECT_EQ(static_cast<int>(written->size()), lines);
    EXPECT_EQ(readBytes(path).substr(0, 3), kind == FileKind::NewChannelOrder ? "5\r\n" : "1\r\n");

    StudyState t;
    fillRecord(t, 5, {});
    ASSERT_TRUE(openFile(t, kind, path, ui));
    EXPECT_EQ(orderFromState(t), wanted);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(t.channelOrder[i], wanted[static_cast<std::size_t>(i)] - 1);
    EXPECT_EQ(t.channelOrder[5], 5);
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST(ChannelOrder, HostileOrderFilesAreRefusedAndLeaveTheMapAlone) {
  TempDir dir;
  std::vector<std::string> good(kOrderFileLines);
  for (int i = 0; i < kOrderFileLines; ++i) good[static_cast<std::size_t>(i)] = std::to_string(i % 64 + 1);
  auto chnWith = [&](int line, const std::string& text) {
    auto l = good;
    l[static_cast<std::size_t>(line)] = text;
    return cp1251Lines(l);
  };
  struct Case {
    const char* what;
    FileKind kind;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"empty chn", FileKind::ChannelOrder, ""},
      {"chn ending before the order column", FileKind::ChannelOrder,
       cp1251Lines(std::vector<std::string>(good.begin(), good.begin() + 66))},
      {"chn entry not a number", FileKind::ChannelOrder, chnWith(65, "два")},
      {"chn entry beyond the channels", FileKind::ChannelOrder, chnWith(64, "7")},
      {"chn entry zero", FileKind::ChannelOrder, chnWith(66, "0")},
      {"chn repeated entry", FileKind::ChannelOrder, chnWith(67, "1")},
      {"chn huge entry", FileKind::ChannelOrder, chnWith(64, "99999999999999")},
      {"nch too short", FileKind::NewChannelOrder, "2\r\n1\r\n"},
      {"nch repeated entry", FileKind::NewChannelOrder, "2\r\n2\r\n3\r\n4\r\n5\r\n"},
      {"nch negative entry", FileKind::NewChannelOrder, "-1\r\n2\r\n3\r\n4\r\n5\r\n"},
      {"binary", FileKind::NewChannelOrder, std::string("\x01\x00\xff\xfe", 4)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StudyState s;
    fillRecord(s, 5, {});
    s.channelOrder[0] = 1;
    s.channelOrder[1] = 0;
    const TableSnapshot before(s);
    const std::string path = dir.file(c.kind == FileKind::NewChannelOrder ? "bad.nch" : "bad.chn");
    writeBytes(path, c.bytes);
    ScriptedInteraction ui;
    EXPECT_FALSE(openFile(s, c.kind, path, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("не прочитан"), std::string::npos) << ui.messages[0];
    EXPECT_TRUE(TableSnapshot(s) == before);
  }
  // The first column is read leniently: junk there does not matter.
  StudyState s;
  fillRecord(s, 5, {});
  const std::string path = dir.file("lenient.chn");
  writeBytes(path, chnWith(0, "мусор") + "extra line\r\n");
  ScriptedInteraction ui;
  OrderFile f;
  std::string reason;
  ASSERT_TRUE(readOrderFile(path, 5, f, reason)) << reason;
  EXPECT_EQ(f.firstColumn[0], 1);
  EXPECT_EQ(f.order, identityOrder());
}

TEST(ChannelOrder, ReorderingTheRecordMovesEverythingOfAChannelAndPairsFollow) {
  StudyState s;
  fillRecord(s, 4, {"Fp1", "F3", "C3", "O1"});
  setPairs(s, {{1, 2}, {3, 4}});
  s.referenceKind = 6;
  OrderColumn order = identityOrder();
  order[0] = 3, order[1] = 1, order[2] = 4, order[3] = 2;  // channel 1 → 3, 2 → 1, 3 → 4, 4 → 2
  const std::vector<std::string> pairsBefore = pairNames(s);
  ScriptedInteraction ui;
  ASSERT_TRUE(reorderRecord(s, order, ui));
  const int from[] = {1, 3, 0, 2};  // old channel now in slot i
  for (int i = 0; i < 4; ++i) {
    const int c = from[i];
    EXPECT_EQ(s.channel(i)[5], 100 * (c + 1) + 5) << i;
    EXPECT_EQ(s.zeroLevel[i], 2000 + c);
    EXPECT_EQ(s.calibUnits[i], 1000 + c);
    EXPECT_EQ(s.calibValue[i], 50 + c);
    EXPECT_EQ(s.channelPosX[static_cast<std::size_t>(i)], 10 + c);
    EXPECT_EQ(s.channelPosY[static_cast<std::size_t>(i)], 20 + c);
  }
  EXPECT_EQ(s.channelNames[0], "F3");
  // A pair still joins the same two leads, so the monitor's pair rows keep their names.
  EXPECT_EQ(pairNames(s), pairsBefore);
  EXPECT_EQ(leadText(s, 0), "Fp1-F3");
  EXPECT_EQ(s.recordModified, 1);
  // Every buffer is still owned exactly once.
  std::set<std::int16_t*> owned(s.channelData.begin(), s.channelData.end());
  owned.insert(s.parkedChannelData.begin(), s.parkedChannelData.end());
  EXPECT_EQ(owned.size(), 2u * kMaxChannels);
}

TEST(ChannelOrder, ReorderingIsRefusedForABrokenOrderOrWhileRecording) {
  StudyState s;
  fillRecord(s, 4, {});
  setPairs(s, {{1, 2}});
  const auto data = s.channelData;
  const TableSnapshot before(s);
  OrderColumn broken = identityOrder();
  broken[1] = 1;
  ScriptedInteraction ui;
  EXPECT_FALSE(reorderRecord(s, broken, ui));
  EXPECT_FALSE(reorderAcquisition(s, broken, ui));
  OrderColumn swap = identityOrder();
  swap[0] = 2, swap[1] = 1;
  s.acquisitionActive = 1;
  EXPECT_FALSE(reorderRecord(s, swap, ui));
  EXPECT_FALSE(reorderAcquisition(s, swap, ui));
  EXPECT_EQ(ui.messages.size(), 4u);
  EXPECT_TRUE(TableSnapshot(s) == before);
  EXPECT_EQ(s.channelData, data);
  // A record with a deleted channel keeps that mark through a reorder.
  s.acquisitionActive = 0;
  s.recordModified = -5;
  ASSERT_TRUE(reorderRecord(s, swap, ui));
  EXPECT_EQ(s.recordModified, -5);
}

TEST(ChannelOrder, AcquisitionOrderSetsTheMapAndMovesNamesOnlyByTheChange) {
  StudyState s;
  fillRecord(s, 3, {"A", "B", "C"});
  setPairs(s, {{1, 2}});
  OrderColumn order = identityOrder();
  order[0] = 2, order[1] = 3, order[2] = 1;
  ScriptedInteraction ui;
  ASSERT_TRUE(reorderAcquisition(s, order, ui));
  EXPECT_EQ(s.channelOrder[0], 1);
  EXPECT_EQ(s.channelOrder[2], 0);
  EXPECT_EQ(s.channelNames[0], "C");
  EXPECT_EQ(s.channelNames[1], "A");
  EXPECT_EQ(s.calibValue[1], 50);
  EXPECT_EQ(s.zeroLevel[1], 2001);  // not moved for acquisition
  EXPECT_EQ(s.channel(1)[0], 200);  // neither are the samples
  EXPECT_EQ(pairName(s, 0), "A-B");
  // Applying the same order again moves nothing.
  const TableSnapshot once(s);
  ASSERT_TRUE(reorderAcquisition(s, order, ui));
  EXPECT_TRUE(TableSnapshot(s) == once);
  // Back to the identity: everything returns to where it started.
  ASSERT_TRUE(reorderAcquisition(s, identityOrder(), ui));
  EXPECT_EQ(s.channelNames[0], "A");
  EXPECT_EQ(s.channelNames[2], "C");
  EXPECT_EQ(s.leadPairs[0], (std::array<std::uint8_t, 2>{1, 2}));
}

// --- templates -----------------------------------------------------------------------------

TEST(LeadTemplates, TheChannelCountChoosesTheTemplate) {
  const std::pair<int, int> cases[] = {{1, 4}, {4, 4}, {5, 8}, {8, 8}, {9, 16}, {12, 16}, {16, 16}, {17, 20}, {64, 20}};
  for (const auto& [count, size] : cases) EXPECT_EQ(templateSizeFor(count), size) << count;
  EXPECT_EQ(templateFileName(16), "eeg16.ini");
}

TEST(LeadTemplates, BuiltInLayoutFillsTheRecordAndKeepsOnlyPairsItCanHold) {
  TempDir dir;
  StudyState s;
  s.programDir = dir.path() + "/";
  fillRecord(s, 12, {});
  setPairs(s, {{1, 2}});
  ScriptedInteraction ui;
  ASSERT_TRUE(loadSystem1020(s, ui));
  EXPECT_TRUE(ui.messages.empty());
  const LeadTemplate t16 = builtinLeadTemplate(16);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(trimSpaces(s.channelNames[static_cast<std::size_t>(i)]), t16.channels[static_cast<std::size_t>(i)].name);
    EXPECT_LE(s.channelPosX[static_cast<std::size_t>(i)], kPositionGridMax);
  }
  EXPECT_TRUE(s.channelNames[12].empty());  // beyond the record: untouched
  ASSERT_GT(s.leadPairCount, 0);
  EXPECT_LT(s.leadPairCount, t16.pairCount);
  for (int k = 0; k < s.leadPairCount; ++k) EXPECT_TRUE(pairIsValid(s, k)) << k;
  // Every built-in layout is itself sound.
  for (int size : {4, 8, 16, 20}) {
    const LeadTemplate t = builtinLeadTemplate(size);
    EXPECT_EQ(static_cast<int>(t.channels.size()), size);
    StudyState full;
    fillRecord(full, size, {});
    applyLeadTemplate(full, t);
    EXPECT_EQ(full.leadPairCount, t.pairCount) << size;
  }
}

// A record whose channels name electrodes keeps its names and data: the
// template only places the channels it can match (by the site, so "T7"
// matches the template's "T3") and its pairs join the matching channels.
TEST(LeadTemplates, NamedChannelsAreMatchedByNameNeverRenamed) {
  TempDir dir;
  StudyState s;
  s.programDir = dir.path() + "/";
  const std::vector<std::string> names = {"O2", "F3", "Cz", "ECG", "T7", "Fp1", "C3", "O1"};
  fillRecord(s, 8, names);
  const TableSnapshot before(s);
  std::vector<std::vector<std::int16_t>> data;
  for (int c = 0; c < 8; ++c) data.emplace_back(s.channel(c), s.channel(c) + s.recordLength);
  ScriptedInteraction ui;
  ASSERT_TRUE(loadSystem1020(s, ui));
  EXPECT_TRUE(ui.messages.empty());
  for (int c = 0; c < 8; ++c) {
    const auto at = static_cast<std::size_t>(c);
    EXPECT_EQ(s.channelNames[at], names[at]);
    EXPECT_EQ(std::vector<std::int16_t>(s.channel(c), s.channel(c) + s.recordLength), data[at]) << c;
  }
  const LeadTemplate t8 = builtinLeadTemplate(8);
  auto templatePlace = [&](const char* name) {
    for (const auto& c : t8.channels)
      if (c.name == name) return std::pair{c.posX, c.posY};
    return std::pair{-1, -1};
  };
  EXPECT_EQ((std::pair<int, int>{s.channelPosX[0], s.channelPosY[0]}), templatePlace("O2"));
  EXPECT_EQ((std::pair<int, int>{s.channelPosX[4], s.channelPosY[4]}), templatePlace("T3"));
  // not in the 8-channel template: the electrode's usual site
  EXPECT_EQ(s.channelPosX[1], electrodeSiteNamed("F3")->x);
  EXPECT_EQ(s.channelPosX[2], electrodeSiteNamed("Cz")->x);
  EXPECT_EQ(s.channelPosX[3], before.posX[3]);  // no electrode: untouched
  // Fp1-C3, C3-O1, Fp1-T3, T3-O1 of the template, in the record's numbers
  std::vector<std::array<std::uint8_t, 2>> pairs(s.leadPairs.begin(), s.leadPairs.begin() + s.leadPairCount);
  EXPECT_EQ(pairs, (std::vector<std::array<std::uint8_t, 2>>{{6, 7}, {7, 8}, {6, 5}, {5, 8}}));
}

TEST(LeadTemplates, TemplateFilesRoundTripAndUnsoundOnesAreRefused) {
  TempDir dir;
  StudyState s;
  s.programDir = dir.path() + "/";
  fillRecord(s, 4, {"Ф1", "Ф2", "O1", "O2"});
  s.channelPosX[3] = 255;
  // More pairs than channels: all of them must survive the file.
  setPairs(s, {{1, 2}, {2, 3}, {1, 3}, {3, 2}, {2, 1}, {1, 3}});
  const std::string path = s.programDir + templateFileName(4);
  ASSERT_TRUE(writeTextLines(path, leadTemplateLines(currentLeadTemplate(s))));
  const TableSnapshot written(s);

  StudyState t;
  t.programDir = s.programDir;
  fillRecord(t, 4, {});
  ScriptedInteraction ui;
  ASSERT_TRUE(loadSystem1020(t, ui));
  for (int i = 0; i < 4; ++i) {
    const auto at = static_cast<std::size_t>(i);
    EXPECT_EQ(trimSpaces(t.channelNames[at]), trimSpaces(s.channelNames[at]));
    EXPECT_EQ(t.channelPosX[at], s.channelPosX[at]);
  }
  EXPECT_EQ(pairNames(t), pairNames(s));

  auto lines = leadTemplateLines(currentLeadTemplate(s));
  const std::pair<const char*, std::function<void(std::vector<std::string>&)>> damages[] = {
      {"pair count not a number", [](auto& l) { l[0] = "x"; }},
      {"pair count too large", [](auto& l) { l[0] = "65"; }},
      {"position above a byte", [](auto& l) { l[2] = "300"; }},
      {"negative pair end", [](auto& l) { l[4] = "-1"; }},
      {"empty", [](auto& l) { l.clear(); }},
  };
  for (const auto& [what, damage] : damages) {
    SCOPED_TRACE(what);
    auto bad = lines;
    damage(bad);
    ASSERT_TRUE(writeTextLines(path, bad));
    StudyState u;
    u.programDir = s.programDir;
    fillRecord(u, 4, {});
    const TableSnapshot before(u);
    ScriptedInteraction refused;
    EXPECT_FALSE(loadSystem1020(u, refused));
    EXPECT_EQ(refused.messages.size(), 1u);
    EXPECT_TRUE(TableSnapshot(u) == before);
  }
}

// --- what a record file keeps ------------------------------------------------------------------

TEST(LeadsInRecordFiles, NamesKindsPositionsPairsAndReferenceAreReadBack) {
  TempDir dir;
  StudyState s;
  fillRecord(s, 5, {});
  ASSERT_TRUE(acceptLeadNames(s, {"Fp1", "Fp2", "C3", "ЭКГ", "O1"}, 6));
  setChannelKind(s, 3, 1);
  s.channelPosX[0] = 23;
  s.channelPosY[0] = 7;
  insertLeadPair(s, 0);
  insertLeadPair(s, 1);
  changeLeadPair(s, 1, 2, 5);
  ScriptedInteraction ui;
  const std::string path = dir.file("montage.cad");
  ASSERT_TRUE(saveRecords(s, path, ui));

  StudyState t;
  ASSERT_TRUE(openRecordFile(t, path, ui)) << (ui.messages.empty() ? "" : ui.messages[0]);
  EXPECT_EQ(t.referenceKind, 6);
  EXPECT_EQ(pairNames(t), (std::vector<std::string>{"Fp1-Fp2", "Fp1-O1"}));
  EXPECT_EQ(t.channelPosX[3], 255);
  EXPECT_EQ(t.channelPosX[0], 23);
  EXPECT_EQ(t.channelPosY[0], 7);
  // Bipolar reference: the monitor labels rows by their pairs.
  EXPECT_EQ(leadText(t, 1), "Fp1-O1");
  t.referenceKind = 1;
  EXPECT_EQ(leadText(t, 4), std::string("O1") + monitor_text::kSuffixAA);
  EXPECT_EQ(leadText(t, 3), "ЭКГ");  // no reference suffix on a polygraphic channel
  closeRecordFile(t);
}

}  // namespace
}  // namespace velor
