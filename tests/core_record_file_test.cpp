// Record files: files are built here byte by byte from the layout tables (not
// with the production writer), read back, navigated, written back, saved and
// appended, and corrupted in every way a header or record can be.
#include "core/record_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "core/text.h"
#include "shell/file_dispatch.h"
#include "test_support.h"

namespace velor {
namespace {

using test::TempDir;

// --- an independent builder ------------------------------------------------------

struct Offsets {
  int slotCount, date, dateSize, dataOffset, ref, cc, rate, mark, count, zero, units, pos, flags, calib, calibEntries, end;
};

Offsets offsetsOf(const std::string& sig) {
  if (sig == "CA40") return {64, 422, 4, 426, 428, 430, 431, 433, 434, 436, 564, 692, 948, 959, 64, 1087};
  if (sig == "CA15") return {32, 294, 3, 297, 299, 301, 302, 304, 305, 307, 371, 435, 563, 574, 16, 606};
  return {32, 294, 4, 298, 300, 302, 303, 305, 306, 308, 372, 436, 564, 575, 32, 639};  // CA30, CA31
}

void put8(std::string& b, std::size_t at, int v) { b[at] = static_cast<char>(v & 0xFF); }
void put16(std::string& b, std::size_t at, int v) {
  put8(b, at, v);
  put8(b, at + 1, v >> 8);
}
void put32(std::string& b, std::size_t at, std::int32_t v) {
  for (int i = 0; i < 4; ++i) put8(b, at + i, static_cast<int>(static_cast<std::uint32_t>(v) >> (8 * i)));
}
int get16(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

struct FileSpec {
  std::string sig = "CA40";
  int channels = 3;
  int markByte = 0;  // stored mark-channel count
  int rate = 250;
  std::optional<int> count;       // default: number of records
  std::optional<int> dataOffset;  // default: end of the fixed header
  std::string header;             // code page 1251 bytes (CA15: three 54-byte blocks)
  std::vector<std::string> names;  // code page 1251 bytes
  int date = 45000;
  int ref = 2;
  int flags = 1;
  int leadPairs = 3;
};

struct Rec {
  int n = 0;
  std::optional<int> lengthField;
  std::optional<int> trailing;
  std::int32_t time = 0;
  std::vector<std::vector<std::int16_t>> ch;
  std::vector<std::int16_t> mark;
};

bool isOld(const FileSpec& f) { return f.sig == "CA15"; }
int marksOf(const FileSpec& f) { return f.markByte == 1 ? 1 : 0; }

long long recSize(const FileSpec& f, int n) {
  if (isOld(f)) return static_cast<long long>(f.channels) * n + marksOf(f) * 2LL * n + 10;
  return (f.channels + marksOf(f)) * 2LL * n + 10;
}

std::int16_t sampleOf(int rec, int ch, int i) {
  return static_cast<std::int16_t>(2048 + ((rec * 977 + ch * 131 + i * 29) % 3001) - 1500);
}
std::int16_t oldSampleOf(int rec, int ch, int i) { return static_cast<std::int16_t>(((rec * 7 + ch * 3 + i) % 255) * 16); }
std::int16_t markOf(int rec, int i) { return static_cast<std::int16_t>(i % 50 == 0 ? (rec + 1) * 256 + 3 : 0); }

Rec makeRec(const FileSpec& f, int recNo, int n) {
  Rec r;
  r.n = n;
  r.time = 1000000 * (recNo + 1) + 123;
  r.ch.resize(static_cast<std::size_t>(f.channels));
  for (int c = 0; c < f.channels; ++c)
    for (int i = 0; i < n; ++i) r.ch[c].push_back(isOld(f) ? oldSampleOf(recNo, c, i) : sampleOf(recNo, c, i));
  if (marksOf(f))
    for (int i = 0; i < n; ++i) r.mark.push_back(markOf(recNo, i));
  return r;
}

std::string buildHeader(const FileSpec& f, int recordCount) {
  const Offsets o = offsetsOf(f.sig);
  std::string b(static_cast<std::size_t>(o.end), '\0');
  b.replace(0, 4, f.sig);
  std::string h = f.header;
  h.resize(162, ' ');
  b.replace(4, 162, h);
  for (int i = 0; i < o.slotCount; ++i) {
    std::string n = i < static_cast<int>(f.names.size()) ? f.names[i] : "";
    n.resize(4, ' ');
    b.replace(166 + 4 * i, 4, n);
  }
  if (o.dateSize == 4) put32(b, o.date, f.date);
  put16(b, o.dataOffset, f.dataOffset.value_or(o.end));
  put8(b, o.ref, f.ref);
  put8(b, o.ref + 1, f.ref);
  put8(b, o.cc, f.channels);
  put16(b, o.rate, f.rate);
  put8(b, o.mark, f.markByte);
  put16(b, o.count, f.count.value_or(recordCount));
  const int scale = isOld(f) ? 16 : 1;
  for (int i = 0; i < o.slotCount; ++i) {
    put16(b, o.zero + 2 * i, (2000 + 16 * i) / scale);
    put16(b, o.units + 2 * i, (1600 + 16 * i) / scale);
    put8(b, o.pos + 4 * i, 10 + i);
    put8(b, o.pos + 4 * i + 1, 20 + i);
    put8(b, o.pos + 4 * i + 2, i + 1);
    put8(b, o.pos + 4 * i + 3, i + 2);
  }
  put8(b, o.flags, f.flags);
  put8(b, o.flags + 1, 7);
  put16(b, o.flags + 2, 512);
  put8(b, o.flags + 4, 0);
  put8(b, o.flags + 5, f.leadPairs);
  for (int i = 0; i < o.calibEntries; ++i) put16(b, o.calib + 2 * i, 50 + i);
  if (f.dataOffset && *f.dataOffset > o.end) b.resize(static_cast<std::size_t>(*f.dataOffset), '\0');
  return b;
}

std::string buildRecord(const FileSpec& f, const Rec& r) {
  std::string b;
  auto u16 = [&b](int v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>((v >> 8) & 0xFF);
  };
  u16(r.n);
  u16(r.lengthField.value_or(r.n));
  if (isOld(f)) {
    for (const auto& ch : r.ch)
      for (int i = 0; i < r.n; ++i) b += static_cast<char>(ch[i] == kMarkCode ? 255 : ch[i] / 16);
    if (marksOf(f)) {
      for (int i = 0; i < r.n; ++i) b += static_cast<char>(r.mark[i] & 0xFF);
      for (int i = 0; i < r.n; ++i) b += static_cast<char>((r.mark[i] >> 8) & 0xFF);
    }
  } else {
    for (const auto& ch : r.ch)
      for (int i = 0; i < r.n; ++i) u16(static_cast<std::uint16_t>(ch[i]));
    if (marksOf(f))
      for (int i = 0; i < r.n; ++i) u16(static_cast<std::uint16_t>(r.mark[i]));
  }
  const std::size_t t = b.size();
  b.resize(t + 4);
  put32(b, t, r.time);
  u16(r.trailing.value_or(r.n));
  return b;
}

std::string buildFile(const FileSpec& f, const std::vector<Rec>& recs) {
  std::string b = buildHeader(f, static_cast<int>(recs.size()));
  for (const auto& r : recs) b += buildRecord(f, r);
  return b;
}

// Records of the given lengths with the standard samples.
std::vector<Rec> makeRecs(const FileSpec& f, const std::vector<int>& lengths) {
  std::vector<Rec> v;
  for (std::size_t k = 0; k < lengths.size(); ++k) v.push_back(makeRec(f, static_cast<int>(k), lengths[k]));
  return v;
}

// Offset of the first length field of record k (1-based).
long long recStart(const FileSpec& f, const std::vector<Rec>& recs, int k) {
  long long off = f.dataOffset.value_or(offsetsOf(f.sig).end);
  for (int i = 0; i < k - 1; ++i) off += recSize(f, recs[i].n);
  return off;
}
// Where the descriptor stands while record k is current.
long long invariantPos(const FileSpec& f, const std::vector<Rec>& recs, int k) {
  return recStart(f, recs, k) + recSize(f, recs[k - 1].n) - 2;
}

long long filePos(const StudyState& s) { return ::lseek(s.recordFileHandle, 0, SEEK_CUR); }

// Interaction that also keeps the texts of input and choice windows.
struct Recorder : ScriptedInteraction {
  std::vector<std::string> inputTitles, inputDefaults;
  std::vector<std::string> chooseTitles, chooseLabels;
  std::vector<std::vector<Choice>> choiceLists;
  std::optional<std::string> input(std::string_view title, std::string_view prompt, std::string_view def) override {
    inputTitles.emplace_back(title);
    inputDefaults.emplace_back(def);
    return ScriptedInteraction::input(title, prompt, def);
  }
  int choose(std::string_view title, std::string_view caption, std::string_view label,
             const std::vector<Choice>& choices) override {
    chooseTitles.emplace_back(title);
    chooseLabels.emplace_back(label);
    choiceLists.push_back(choices);
    return ScriptedInteraction::choose(title, caption, label, choices);
  }
};

// The record in memory is record `number` with the samples of r (its time
// too, unless it was written again and so carries the time of writing).
void expectRecord(const StudyState& s, const FileSpec& f, const Rec& r, int number, bool checkTime = true) {
  SCOPED_TRACE("record " + std::to_string(number));
  EXPECT_EQ(s.currentRecord, number);
  EXPECT_EQ(s.storedLength, r.n);
  EXPECT_EQ(s.recordLength, std::min(r.lengthField.value_or(r.n), r.n));
  for (int c = 0; c < f.channels; ++c)
    for (int i = 0; i < r.n; ++i) ASSERT_EQ(s.channelData[c][i], r.ch[c][i]) << "channel " << c << " sample " << i;
  if (marksOf(f)) {
    for (int i = 0; i < r.n; ++i) ASSERT_EQ(s.markChannel[i], r.mark[i]) << "mark " << i;
  }
  if (checkTime) {
    EXPECT_DOUBLE_EQ(s.recordTime, isOld(f) ? 0.0 : r.time / 10000000.0);
  }
}

std::unique_ptr<StudyState> freshState() { return std::make_unique<StudyState>(); }

// Names in code page 1251: "ЭКГ" and "Фп1" ("Фп" + '1'), and ASCII ones.
const std::string kEcg = "\xDD\xCA\xC3";
const std::string kFp = "\xD4\xEF" "1";

FileSpec standardSpec(const std::string& sig, int channels, int markByte) {
  FileSpec f;
  f.sig = sig;
  f.channels = channels;
  f.markByte = markByte;
  f.header = "\xC8\xE2\xE0\xED\xEE\xE2 test header";  // "Иванов test header"
  f.names = {kFp, "O2  ", kEcg + "X", "T3", "Cz"};
  return f;
}

// --- layout numbers --------------------------------------------------------------------

TEST(RecordFileLayout, SizesAndOffsets) {
  EXPECT_EQ(headerSize(kVersionCA30), 639);
  EXPECT_EQ(headerSize(kVersionCA40), 1087);
  EXPECT_EQ(headerSize(kVersionCA15), 606);
  EXPECT_EQ(recordCountOffset(kVersionCA30), 306);
  EXPECT_EQ(recordCountOffset(kVersionCA40), 434);
  EXPECT_EQ(recordCountOffset(kVersionCA15), 305);
  EXPECT_EQ(recordBytes(kVersionCA30, 19, 1, 100), 20 * 100 * 2 + 10);
  EXPECT_EQ(recordBytes(kVersionCA15, 8, 1, 100), 8 * 100 + 2 * 100 + 10);
  EXPECT_EQ(recordBytes(kVersionCA40, 64, 1, 32767), 65LL * 32767 * 2 + 10);
}

// --- reading every signature -------------------------------------------------------------

struct ReadCase {
  const char* sig;
  int channels;
  int markByte;
};

class ReadBack : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadBack, HeaderRecordsAndNavigation) {
  const ReadCase rc = GetParam();
  TempDir dir;
  FileSpec f = standardSpec(rc.sig, rc.channels, rc.markByte);
  if (isOld(f)) {
    // three 54-byte text blocks, 53 characters of each count
    std::string blocks(162, ' ');
    blocks.replace(0, 10, "  Test A  ");
    blocks.replace(54, 6, "\xCF\xE5\xF2\xF0\xEE\xE2");  // "Петров"
    blocks.replace(108, 5, "Diag.");
    blocks[53] = 'Z';  // the 54th byte of a block is not text
    f.header = blocks;
  }
  const auto recs = makeRecs(f, {300, 17, 1024, 1, 555});
  const std::string path = dir.file("a.cad");
  test::writeBytes(path, buildFile(f, recs));

  auto s = freshState();
  Recorder ui;
  ASSERT_TRUE(openRecordFile(*s, path, ui));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(s->recordFileName, "a.cad");
  EXPECT_EQ(s->recordCount, 5);
  EXPECT_EQ(s->channelCount, rc.channels);
  EXPECT_EQ(s->sampleRate, 250);
  EXPECT_EQ(s->markChannelCount, marksOf(f));
  EXPECT_EQ(s->referenceKind, 2);
  EXPECT_EQ(s->recordFileVersion, isOld(f) ? kVersionCA15 : (f.sig == "CA40" ? kVersionCA40 : kVersionCA30));
  EXPECT_EQ(s->leadPairCount, 3);
  ASSERT_EQ(utf8Length(s->examHeader), 162u);
  if (isOld(f)) {
    const std::string expected = "Test A" + std::string(24, ' ') + std::string(30, ' ') + "Петров" +
                                 std::string(24, ' ') + std::string(19, ' ') + "Diag." + std::string(25, ' ');
    EXPECT_EQ(s->examHeader, utf8Fit(expected, 162));
    EXPECT_DOUBLE_EQ(s->recordDate, 0);
  } else {
    EXPECT_EQ(s->examHeader, utf8Fit("Иванов test header", 162));
    EXPECT_DOUBLE_EQ(s->recordDate, 45000);
  }
  // names keep three characters, without trailing blanks
  EXPECT_EQ(s->channelNames[0], "Фп1");
  EXPECT_EQ(s->channelNames[1], "O2");
  EXPECT_EQ(s->channelNames[2], "ЭКГ");
  EXPECT_EQ(s->channelNames[3], "T3");
  const int slotCount = f.sig == "CA40" ? 64 : 32;
  for (int i : {0, 5, slotCount - 1}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(s->zeroLevel[i], 2000 + 16 * i);
    EXPECT_EQ(s->calibUnits[i], 1600 + 16 * i);
    EXPECT_EQ(s->channelPosX[i], 10 + i);
    EXPECT_EQ(s->channelPosY[i], 20 + i);
    EXPECT_EQ(s->leadPairs[i][0], i + 1);
    EXPECT_EQ(s->leadPairs[i][1], i + 2);
  }
  EXPECT_EQ(s->calibValue[15], 65);
  EXPECT_EQ(s->calibValue[16], isOld(f) ? 100 : 66);  // the old header has 16 calibration values
  // the epoch grid follows the run's epoch length, not the file's
  EXPECT_EQ(s->epochLength, 256);
  EXPECT_EQ(s->epochStep, 256);
  EXPECT_EQ(s->epochCount, 1);

  expectRecord(*s, f, recs[0], 1);
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 1));
  for (int k = 2; k <= 5; ++k) {
    ASSERT_TRUE(stepRecord(*s, +1, ui));
    expectRecord(*s, f, recs[k - 1], k);
    EXPECT_EQ(filePos(*s), invariantPos(f, recs, k));
  }
  EXPECT_FALSE(stepRecord(*s, +1, ui));
  EXPECT_EQ(s->currentRecord, 5);
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 5));
  for (int k = 4; k >= 1; --k) {
    ASSERT_TRUE(stepRecord(*s, -1, ui));
    expectRecord(*s, f, recs[k - 1], k);
    EXPECT_EQ(filePos(*s), invariantPos(f, recs, k));
  }
  EXPECT_FALSE(stepRecord(*s, -1, ui));
  ASSERT_TRUE(gotoRecord(*s, 4, ui));
  expectRecord(*s, f, recs[3], 4);
  ASSERT_TRUE(gotoRecord(*s, 2, ui));
  expectRecord(*s, f, recs[1], 2);
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 2));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.questions.empty());

  // the tool readers agree with the navigation
  RecordFileHeader h;
  std::string reason;
  ASSERT_TRUE(readRecordFileHeader(path, h, reason)) << reason;
  std::vector<RecordInfo> infos;
  ASSERT_TRUE(scanRecords(path, h, infos, reason)) << reason;
  ASSERT_EQ(infos.size(), 5u);
  std::vector<std::vector<std::int16_t>> samples;
  ASSERT_TRUE(readRecordSamples(path, h, infos[2], samples, reason)) << reason;
  ASSERT_EQ(samples.size(), static_cast<std::size_t>(rc.channels + marksOf(f)));
  EXPECT_EQ(samples[1], recs[2].ch[1]);
  if (marksOf(f)) {
    EXPECT_EQ(samples.back(), recs[2].mark);
  }
  closeRecordFile(*s);
}

INSTANTIATE_TEST_SUITE_P(Signatures, ReadBack,
                         ::testing::Values(ReadCase{"CA30", 4, 0}, ReadCase{"CA30", 19, 1}, ReadCase{"CA31", 5, 1},
                                           ReadCase{"CA40", 3, 0}, ReadCase{"CA40", 64, 1}, ReadCase{"CA15", 4, 0},
                                           ReadCase{"CA15", 8, 1}),
                         [](const auto& info) {
                           return std::string(info.param.sig) + "_" + std::to_string(info.param.channels) + "ch" +
                                  (info.param.markByte ? "_mark" : "");
                         });

TEST(RecordFileRead, OldFormatMarkCodeRule) {
  TempDir dir;
  FileSpec f = standardSpec("CA15", 1, 0);
  Rec r;
  r.n = 6;
  // a byte 255 after a sample of code 0 is the mark code; elsewhere it is 255 × 16
  r.ch = {{0, kMarkCode, 4080, 0, 16, 4080}};
  std::string bytes = buildFile(f, {r});
  const std::string path = dir.file("old.cad");
  test::writeBytes(path, bytes);
  auto s = freshState();
  ScriptedInteraction ui;
  ASSERT_TRUE(openRecordFile(*s, path, ui));
  const std::int16_t expected[] = {0, kMarkCode, 4080, 0, 16, 4080};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s->channelData[0][i], expected[i]) << i;
  // the first sample has no predecessor: 255 there is a value
  const long long first = offsetsOf("CA15").end + 4;
  bytes[static_cast<std::size_t>(first)] = static_cast<char>(255);
  test::writeBytes(path, bytes);
  ASSERT_TRUE(openRecordFile(*s, path, ui));
  EXPECT_EQ(s->channelData[0][0], 4080);
  EXPECT_EQ(s->channelData[0][1], 4080);  // 255 after 4080
}

TEST(RecordFileRead, PairTransformFileAndDeletedRecord) {
  TempDir dir;
  FileSpec f = standardSpec("CA40", 2, 12);  // mark byte above 10: a saved pair-transform result
  auto recs = makeRecs(f, {64, 64});
  recs[1].lengthField = 0;  // a deleted record keeps its place
  const std::string path = dir.file("t.cad");
  test::writeBytes(path, buildFile(f, recs));
  auto s = freshState();
  ScriptedInteraction ui;
  ASSERT_TRUE(openRecordFile(*s, path, ui));
  EXPECT_EQ(s->markChannelCount, 0);
  EXPECT_EQ(s->transformKind, TransformKind::CrossSpectrum);
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  EXPECT_EQ(s->storedLength, 64);
  EXPECT_EQ(s->recordLength, 0);
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 2));
}

// --- edge cases of the format -------------------------------------------------------------

TEST(RecordFileEdges, NineteenChannelsWithMarksSteppingBack) {
  TempDir dir;
  FileSpec f = standardSpec("CA30", 19, 1);
  const auto recs = makeRecs(f, {200, 300, 400});
  const std::string path = dir.file("e.cad");
  test::writeBytes(path, buildFile(f, recs));
  auto s = freshState();
  ScriptedInteraction ui;
  ASSERT_TRUE(openRecordFile(*s, path, ui));
  EXPECT_EQ(recStart(f, recs, 1), 639);
  EXPECT_EQ(recSize(f, 300), 20 * 300 * 2 + 10);
  ASSERT_TRUE(gotoRecord(*s, 3, ui));
  ASSERT_TRUE(stepRecord(*s, -1, ui));
  // record 2 was read from its first length field: the descriptor stands after its time field
  EXPECT_EQ(filePos(*s), 639 + recSize(f, 200) + recSize(f, 300) - 2);
  expectRecord(*s, f, recs[1], 2);
}

TEST(RecordFileEdges, AveragedFileOfMinus25) {
  TempDir dir;
  FileSpec f = standardSpec("CA40", 2, 0);
  f.count = -25;
  const auto recs = makeRecs(f, {128});
  const std::string path = dir.file("avg.cad");
  test::writeBytes(path, buildFile(f, recs));
  auto s = freshState();
  Recorder ui;
  ASSERT_TRUE(openRecordFile(*s, path, ui));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(s->recordCount, -25);
  EXPECT_EQ(s->currentRecord, 1);
  EXPECT_FALSE(stepRecord(*s, +1, ui));
  EXPECT_FALSE(stepRecord(*s, -1, ui));
  for (const char* typed : {"7", "-3", "1"}) {
    ui.inputScript = {std::string(typed)};
    EXPECT_TRUE(gotoRecordAsked(*s, ui));
    EXPECT_EQ(s->currentRecord, 1);
    EXPECT_EQ(filePos(*s), invariantPos(f, recs, 1));
  }
  // saved over a new file the count stays −25
  const std::string copy = dir.file("copy.cad");
  ASSERT_TRUE(saveRecords(*s, copy, ui));
  const std::string bytes = test::readBytes(copy);
  EXPECT_EQ(static_cast<std::int16_t>(get16(bytes, 434)), -25);
  EXPECT_EQ(s->recordCount, -25);
}

TEST(RecordFileEdges, GotoAskedTextsAndClamping) {
  TempDir dir;
  FileSpec f = standardSpec("CA40", 2, 0);
  const auto recs = makeRecs(f, {10, 20, 30, 40});
  const std::string path = dir.file("g.cad");
  test::writeBytes(path, buildFile(f, recs));
  auto s = freshState();
  Recorder ui;
  ASSERT_TRUE(openRecordFile(*s, path, ui));
  struct Case {
    std::optional<std::string> typed;
    int expected;
  };
  const Case cases[] = {{"3", 3}, {"99", 4}, {"0", 1}, {"2,7", 2}, {"abc", 2}, {std::nullopt, 2}};
  for (const auto& c : cases) {
    ui.inputScript = {c.typed};
    gotoRecordAsked(*s, ui);
    EXPECT_EQ(s->currentRecord, c.expected) << c.typed.value_or("<cancel>");
    EXPECT_EQ(filePos(*s), invariantPos(f, recs, c.expected));
  }
  ASSERT_FALSE(ui.inputTitles.empty());
  EXPECT_EQ(ui.inputTitles[0], "Установка записи заданного номера");
  EXPECT_EQ(ui.questions[0], "Введите номер записи");
  EXPECT_EQ(ui.inputDefaults[0], "1");
}

// --- writers ----------------------------------------------------------------------------------

// A state with a small record, as acquisition or an import leaves it.
void fillState(StudyState& s, int channels, int length, int marks) {
  s.channelCount = channels;
  s.recordLength = length;
  s.markChannelCount = marks;
  s.sampleRate = 500;
  s.examHeader = utf8Fit("Петров П.П.", 162);
  for (int c = 0; c < channels; ++c) {
    s.channelNames[c] = c == 0 ? "ЭКГ" : "C" + std::to_string(c);
    for (int i = 0; i < length; ++i) s.channelData[c][i] = sampleOf(9, c, i);
  }
  for (int i = 0; i < length; ++i) s.markChannel[i] = markOf(9, i);
}

TEST(RecordFileWrite, HeaderAndRecordBytes) {
  TempDir dir;
  auto s = freshState();
  fillState(*s, 3, 100, 1);
  s->recordFileVersion = kVersionCA30;
  s->recordCount = 7;
  s->calibUnits[1] = 0;  // stored as 1
  s->channelNames[2] = "ABCDE";
  s->epochLength = 512;  // longer than the record: shrinks to 64
  s->epochStep = 512;
  s->leadPairCount = 2;
  s->channelPosX[0] = 31;
  s->leadPairs[0] = {1, 2};
  const std::string path = dir.file("w.cad");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(writeHeader(*s, fd));
  EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 639);
  s->recordModified = 1;
  ASSERT_TRUE(writeRecord(*s, fd));
  EXPECT_EQ(s->recordModified, 0);
  ::close(fd);
  const std::string b = test::readBytes(path);
  ASSERT_EQ(b.size(), 639u + 4 * 100 * 2 + 10);
  EXPECT_EQ(b.substr(0, 4), "CA30");
  EXPECT_EQ(b.substr(4, 6), "\xCF\xE5\xF2\xF0\xEE\xE2");
  EXPECT_EQ(b.substr(166, 4), kEcg + " ");
  EXPECT_EQ(b.substr(174, 4), "ABCD");
  EXPECT_EQ(b.substr(178, 4), "    ");  // slot 3: default empty name
  EXPECT_EQ(get16(b, 298), 639);
  EXPECT_EQ(b[302], 3);
  EXPECT_EQ(get16(b, 303), 500);
  EXPECT_EQ(b[305], 1);
  EXPECT_EQ(get16(b, 306), 7);
  EXPECT_EQ(get16(b, 372 + 2), 1);
  EXPECT_EQ(get16(b, 372 + 2 * 20), 2047);  // a slot beyond the channels carries the table default
  EXPECT_EQ(static_cast<unsigned char>(b[436]), 31);
  EXPECT_EQ(b[438], 1);
  EXPECT_EQ(b[439], 2);
  EXPECT_EQ(b[564], 1);
  EXPECT_EQ(b[565], 1);            // epoch count
  EXPECT_EQ(get16(b, 566), 64);    // epoch length
  EXPECT_EQ(b[568], 64);           // epoch step
  EXPECT_EQ(b[569], 2);            // lead pairs
  EXPECT_EQ(get16(b, 575), 100);   // calibValue
  EXPECT_EQ(s->epochLength, 64);
  EXPECT_EQ(s->epochCount, 1);
  // record: n, n, 3 channels, the mark channel, time, n
  EXPECT_EQ(get16(b, 639), 100);
  EXPECT_EQ(get16(b, 641), 100);
  EXPECT_EQ(static_cast<std::int16_t>(get16(b, 643 + 2 * 100 + 2 * 5)), sampleOf(9, 1, 5));
  EXPECT_EQ(static_cast<std::int16_t>(get16(b, 643 + 2 * 300)), markOf(9, 0));
  EXPECT_EQ(get16(b, static_cast<std::size_t>(b.size() - 2)), 100);
}

TEST(RecordFileWrite, TransformViewVariants) {
  struct Case {
    TransformKind kind;
    int rate;
    int zero, units, calib;
  };
  // a power spectrum of a 512-sample epoch at 256 Hz: 256 values, rate field 200
  for (const Case c : {Case{TransformKind::Power, 200, 2000, 1600, 77}, Case{TransformKind::Correlation, 256, 2048, 2048, 100}}) {
    SCOPED_TRACE(c.kind);
    TempDir dir;
    auto s = freshState();
    fillState(*s, 2, 256, 1);
    s->sampleRate = 256;
    s->viewMode = ViewMode::Transform;
    s->transformKind = c.kind;
    s->recordFileVersion = kVersionCA40;
    s->zeroLevel[0] = 2000;
    s->calibUnits[0] = 1600;
    s->calibValue[0] = 77;
    const std::string path = dir.file("x.cad");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_TRUE(writeHeader(*s, fd));
    ASSERT_TRUE(writeRecord(*s, fd));
    ::close(fd);
    const std::string b = test::readBytes(path);
    EXPECT_EQ(b.substr(0, 4), "CA40");
    EXPECT_EQ(get16(b, 431), c.rate);
    EXPECT_EQ(b[433], 0);  // no mark channel with results
    EXPECT_EQ(get16(b, 436), c.zero);
    EXPECT_EQ(get16(b, 564), c.units);
    EXPECT_EQ(static_cast<unsigned char>(b[692]), 255);  // drawn positive-up
    EXPECT_EQ(b[693], 0);
    EXPECT_EQ(get16(b, 959), c.calib);
    EXPECT_EQ(b.size(), 1087u + 2 * 256 * 2 + 10);
  }
}

TEST(RecordFileWrite, RefusesWhatCannotBeStored) {
  TempDir dir;
  auto s = freshState();
  fillState(*s, 2, 10, 0);
  const std::string path = dir.file("r.cad");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  s->channelCount = 65;
  EXPECT_FALSE(writeHeader(*s, fd));
  EXPECT_FALSE(writeRecord(*s, fd));
  s->channelCount = 40;  // more than 32 slotCount: written with 64
  s->recordFileVersion = kVersionCA30;
  ASSERT_TRUE(writeHeader(*s, fd));
  EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 1087);
  s->recordLength = 40000;
  EXPECT_FALSE(writeRecord(*s, fd));
  ::close(fd);
  EXPECT_EQ(test::readBytes(path).substr(0, 4), "CA40");
}

// --- write-back in place ----------------------------------------------------------------------

struct OpenFixture : ::testing::Test {
  TempDir dir;
  FileSpec f = standardSpec("CA40", 3, 1);
  std::vector<Rec> recs;
  std::string path;
  std::unique_ptr<StudyState> s = freshState();
  Recorder ui;
  void open(const std::vector<int>& lengths, const std::string& name = "f.cad") {
    recs = makeRecs(f, lengths);
    path = dir.file(name);
    test::writeBytes(path, buildFile(f, recs));
    ASSERT_TRUE(openRecordFile(*s, path, ui));
  }
};

TEST_F(OpenFixture, WriteBackYesAndNo) {
  open({100, 200, 300});
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  const std::string before = test::readBytes(path);
  // No: the file stays as it was
  s->channelData[1][7] = 1234;
  s->recordModified = 1;
  ui.yesNoScript = {false};
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  EXPECT_EQ(test::readBytes(path), before);
  EXPECT_EQ(ui.questions.back(), "Записать изменения в файл?");
  // Yes: samples, mark and the length field are written over the record's place
  ASSERT_TRUE(stepRecord(*s, -1, ui));
  s->channelData[1][7] = 1234;
  s->markChannel[3] = 999;
  s->recordLength = 150;  // e.g. part of the record cut away
  s->recordModified = 1;
  ui.yesNoScript = {true};
  ASSERT_TRUE(stepRecord(*s, -1, ui));
  EXPECT_EQ(s->recordModified, 0);
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 1));
  const std::string after = test::readBytes(path);
  ASSERT_EQ(after.size(), before.size());
  const long long r2 = recStart(f, recs, 2);
  EXPECT_EQ(get16(after, r2), 200);      // stored length unchanged
  EXPECT_EQ(get16(after, r2 + 2), 150);  // length field
  EXPECT_EQ(static_cast<std::int16_t>(get16(after, r2 + 4 + 200 * 2 + 7 * 2)), 1234);
  EXPECT_EQ(static_cast<std::int16_t>(get16(after, r2 + 4 + 3 * 200 * 2 + 3 * 2)), 999);
  // nothing else changed
  std::string expected = before;
  put16(expected, r2 + 2, 150);
  put16(expected, r2 + 4 + 200 * 2 + 7 * 2, 1234);
  put16(expected, r2 + 4 + 3 * 200 * 2 + 3 * 2, 999);
  EXPECT_TRUE(after == expected);
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  EXPECT_EQ(s->channelData[1][7], 1234);
  EXPECT_EQ(s->recordLength, 150);
  EXPECT_EQ(s->storedLength, 200);
}

TEST_F(OpenFixture, DeletedChannelRestoresCountSilently) {
  open({50, 60});
  s->channelCount = 2;
  s->recordModified = -3;
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  EXPECT_EQ(s->channelCount, 3);
  EXPECT_TRUE(ui.questions.empty());
  expectRecord(*s, f, recs[1], 2);
}

// After a 12-lead conversion the record in memory has more channels and a
// pending count: the next read returns to the file's count and names, and
// the pending count is cleared, so the next record is no ECG record.
TEST_F(OpenFixture, APendingChannelCountIsTakenAndCleared) {
  open({50, 60});
  const std::string second = s->channelNames[1];
  s->pendingChannelCount = 3;
  s->channelCount = 7;
  s->channelNames[1] = "II";
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  EXPECT_EQ(s->channelCount, 3);
  EXPECT_EQ(s->channelNames[1], second);
  EXPECT_EQ(s->pendingChannelCount, 0);
  expectRecord(*s, f, recs[1], 2);
}

TEST_F(OpenFixture, WriteBackRefusalsKeepTheRecord) {
  open({100, 200, 300});
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  const std::string before = test::readBytes(path);
  struct Case {
    const char* what;
    std::function<void(StudyState&)> change;
    std::function<void(StudyState&)> undo;
  };
  int readOnlyFd = -1;
  const Case cases[] = {
      {"longer than its place", [](StudyState& st) { st.recordLength = 201; },
       [](StudyState& st) { st.recordLength = 200; }},
      {"channel inserted", [](StudyState& st) { st.channelCount = 4; }, [](StudyState& st) { st.channelCount = 3; }},
      {"read-only descriptor",
       [&](StudyState& st) {
         readOnlyFd = ::open(path.c_str(), O_RDONLY);
         ::lseek(readOnlyFd, ::lseek(st.recordFileHandle, 0, SEEK_CUR), SEEK_SET);
         std::swap(readOnlyFd, st.recordFileHandle);
       },
       [&](StudyState& st) {
         std::swap(readOnlyFd, st.recordFileHandle);
         ::close(readOnlyFd);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.change(*s);
    s->recordModified = 1;
    ui.messages.clear();
    ui.yesNoScript = {true};
    EXPECT_FALSE(stepRecord(*s, +1, ui));
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(s->currentRecord, 2);
    EXPECT_EQ(s->recordModified, 1);  // still modified: the person can save elsewhere or answer No
    EXPECT_EQ(filePos(*s), invariantPos(f, recs, 2));
    c.undo(*s);
  }
  EXPECT_EQ(test::readBytes(path), before);
  ui.yesNoScript = {false};
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  EXPECT_EQ(s->currentRecord, 3);
}

TEST_F(OpenFixture, WriteBackInTransformViewWritesTheSignals) {
  open({64, 64});
  s->channelData[0][1] = 777;
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 32; ++i) s->parkedChannelData[c][i] = 5;  // results
  s->enterTransformView(TransformKind::Power, 32, 800);
  s->recordModified = 1;
  ui.yesNoScript = {true};
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  EXPECT_EQ(s->viewMode, ViewMode::Signals);
  ASSERT_TRUE(stepRecord(*s, -1, ui));
  EXPECT_EQ(s->channelData[0][1], 777);
  EXPECT_EQ(s->channelData[0][2], recs[0].ch[0][2]);
}

TEST_F(OpenFixture, RereadDropsChanges) {
  open({100, 200});
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  s->channelData[2][0] = -5;
  s->recordLength = 3;
  s->recordModified = 1;
  ASSERT_TRUE(rereadRecord(*s, ui));
  EXPECT_TRUE(ui.questions.empty());
  expectRecord(*s, f, recs[1], 2);
  EXPECT_EQ(s->recordModified, 0);
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 2));
}

TEST(RecordFileWriteBack, OldFormatIsRefused) {
  TempDir dir;
  FileSpec f = standardSpec("CA15", 2, 1);
  const auto recs = makeRecs(f, {40, 50});
  const std::string path = dir.file("o.cad");
  const std::string bytes = buildFile(f, recs);
  test::writeBytes(path, bytes);
  auto s = freshState();
  ScriptedInteraction ui;
  ASSERT_TRUE(openRecordFile(*s, path, ui));
  s->channelData[0][0] = 3;
  s->recordModified = 1;
  ui.yesNoScript = {true, false};
  EXPECT_FALSE(stepRecord(*s, +1, ui));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("CA15"), std::string::npos);
  EXPECT_EQ(s->currentRecord, 1);
  EXPECT_EQ(test::readBytes(path), bytes);
  ASSERT_TRUE(stepRecord(*s, +1, ui));  // answered No
  EXPECT_EQ(s->currentRecord, 2);
}

// --- header rewrite ---------------------------------------------------------------------------

TEST_F(OpenFixture, RewriteHeaderKeepsRecordsAndPosition) {
  f.dataOffset = 1200;  // a file with room after its header
  open({30, 40, 50});
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  s->channelNames[0] = "Fz";
  s->calibValue[2] = 321;
  ASSERT_TRUE(rewriteHeader(*s, ui));
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 2));
  const std::string b = test::readBytes(path);
  EXPECT_EQ(b.substr(166, 4), "Fz  ");
  EXPECT_EQ(get16(b, 426), 1200);
  EXPECT_EQ(get16(b, 959 + 4), 321);
  EXPECT_EQ(get16(b, 434), 3);
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  expectRecord(*s, f, recs[2], 3);
  // a channel count that no longer describes the records is refused
  const std::string now = test::readBytes(path);
  s->channelCount = 2;
  EXPECT_FALSE(rewriteHeader(*s, ui));
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(test::readBytes(path), now);
}

// --- save and append --------------------------------------------------------------------------

TEST_F(OpenFixture, SaveChoicesAndTheirTexts) {
  open({10, 20, 30, 40, 50, 60});
  const std::string other = dir.file("other.cad");
  test::writeBytes(other, buildFile(f, makeRecs(f, {5})));
  ASSERT_TRUE(gotoRecord(*s, 4, ui));
  ui.choiceScript = {0};
  EXPECT_FALSE(saveRecords(*s, other, ui));
  ASSERT_EQ(ui.chooseTitles.size(), 1u);
  EXPECT_EQ(ui.chooseTitles[0], "Запись файла");
  EXPECT_EQ(ui.questions.back(), "Файл уже существует!");
  EXPECT_EQ(ui.chooseLabels[0], "Что делать?:");
  const auto& choices = ui.choiceLists[0];
  ASSERT_EQ(choices.size(), 4u);
  EXPECT_EQ(choices[0].caption, "&1=Заменить текущей записью");
  EXPECT_EQ(choices[0].code, 1);
  EXPECT_EQ(choices[1].caption, "&2=Добавить текущую запись");
  EXPECT_EQ(choices[1].code, 2);
  EXPECT_EQ(choices[2].caption, "&3=Добавить следующие записи");
  EXPECT_EQ(choices[2].code, 3);
  EXPECT_EQ(choices[3].caption, "<Esc>=Отменить");
  EXPECT_EQ(choices[3].code, 0);
  // the last record has no following ones
  ASSERT_TRUE(gotoRecord(*s, 6, ui));
  ui.choiceScript = {0};
  saveRecords(*s, other, ui);
  ASSERT_EQ(ui.choiceLists.size(), 2u);
  EXPECT_EQ(ui.choiceLists[1].size(), 3u);
  EXPECT_EQ(ui.choiceLists[1][2].code, 0);
}

TEST_F(OpenFixture, AppendFollowingFromRecord4Of6) {
  open({10, 20, 30, 40, 50, 60});
  const std::string target = dir.file("target.cad");
  const auto targetRecs = makeRecs(f, {7, 8});
  test::writeBytes(target, buildFile(f, targetRecs));
  ASSERT_TRUE(gotoRecord(*s, 4, ui));
  ui.choiceScript = {3};
  ASSERT_TRUE(saveRecords(*s, target, ui));
  EXPECT_TRUE(ui.messages.empty());
  // the open file is back on record 4
  expectRecord(*s, f, recs[3], 4);
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 4));
  EXPECT_EQ(s->recordCount, 6);
  // the target gained 3 records and its count 3
  auto t = freshState();
  ScriptedInteraction tui;
  ASSERT_TRUE(openRecordFile(*t, target, tui));
  EXPECT_EQ(t->recordCount, 5);
  ASSERT_TRUE(gotoRecord(*t, 3, tui));
  for (int k = 3; k <= 5; ++k) {
    if (k > 3) {
      ASSERT_TRUE(stepRecord(*t, +1, tui));
    }
    expectRecord(*t, f, recs[k], k, false);  // records 4, 5, 6 of the source
  }
}

TEST_F(OpenFixture, AppendCurrentAndIntoTheOpenFile) {
  open({10, 20, 30});
  const std::string target = dir.file("target.cad");
  test::writeBytes(target, buildFile(f, makeRecs(f, {7})));
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  s->channelData[0][0] = 4321;
  s->recordModified = 1;
  ui.choiceScript = {2};
  ASSERT_TRUE(saveRecords(*s, target, ui));
  EXPECT_EQ(get16(test::readBytes(target), 434), 2);
  EXPECT_EQ(s->channelData[0][0], 4321);  // the record in memory stays as it is
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 2));
  // appending to the open file itself: its count in memory follows
  ui.choiceScript = {2};
  ASSERT_TRUE(saveRecords(*s, path, ui));
  EXPECT_EQ(s->recordCount, 4);
  EXPECT_EQ(get16(test::readBytes(path), 434), 4);
  ASSERT_TRUE(gotoRecord(*s, 4, ui));
  EXPECT_EQ(s->channelData[0][0], 4321);
  EXPECT_EQ(s->storedLength, 20);
}

TEST_F(OpenFixture, AppendRefusedForMismatchOrDamage) {
  open({10, 20});
  struct Case {
    const char* what;
    std::string bytes;
  };
  FileSpec twoChannels = f;
  twoChannels.channels = 2;
  FileSpec noMarks = f;
  noMarks.markByte = 0;
  FileSpec old = standardSpec("CA15", 3, 1);
  std::string truncated = buildFile(f, makeRecs(f, {7, 9}));
  truncated.resize(truncated.size() - 3);
  const Case cases[] = {
      {"channel count", buildFile(twoChannels, makeRecs(twoChannels, {7}))},
      {"mark channel", buildFile(noMarks, makeRecs(noMarks, {7}))},
      {"old format", buildFile(old, makeRecs(old, {7}))},
      {"truncated last record", truncated},
      {"not a record file", std::string(2000, 'x')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string target = dir.file("t.cad");
    test::writeBytes(target, c.bytes);
    ui.messages.clear();
    EXPECT_FALSE(appendRecords(*s, target, 2, ui));
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(test::readBytes(target), c.bytes);
  }
}

TEST_F(OpenFixture, FailedAppendTruncatesTheTarget) {
  open({1000, 1000, 1000});
  const std::string target = dir.file("target.cad");
  const std::string original = buildFile(f, makeRecs(f, {7}));
  test::writeBytes(target, original);
  // the file size limit lets the first appended record through and stops the second
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit lim = old;
  lim.rlim_cur = original.size() + recSize(f, 1000) + 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lim), 0);
  const bool ok = appendRecords(*s, target, 3, ui);
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(ok);
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(test::readBytes(target), original);
  expectRecord(*s, f, recs[0], 1);
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 1));
}

TEST_F(OpenFixture, ReplaceAnotherFileKeepsTheOpenOne) {
  open({10, 20, 30});
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  const std::string target = dir.file("target.cad");
  test::writeBytes(target, buildFile(f, makeRecs(f, {7, 8, 9})));
  ui.choiceScript = {1};
  ASSERT_TRUE(saveRecords(*s, target, ui));
  EXPECT_EQ(s->recordCount, 3);
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 2));
  const std::string b = test::readBytes(target);
  EXPECT_EQ(get16(b, 434), 1);
  EXPECT_EQ(b.size(), 1087u + recSize(f, 20));
  auto t = freshState();
  ScriptedInteraction tui;
  ASSERT_TRUE(openRecordFile(*t, target, tui));
  expectRecord(*t, f, recs[1], 1, false);
}

TEST_F(OpenFixture, ReplaceTheOpenFileOfFiveRecords) {
  open({10, 20, 30, 40, 50});
  ASSERT_TRUE(gotoRecord(*s, 3, ui));
  const std::string before = test::readBytes(path);
  ui.choiceScript = {1, 1};
  ui.yesNoScript = {false, true};
  EXPECT_FALSE(saveRecords(*s, path, ui));  // No: nothing happens
  EXPECT_EQ(ui.questions.back(), "Файл открыт и включает несколько записей, заменить все текущей?");
  EXPECT_EQ(test::readBytes(path), before);
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 3));
  ASSERT_TRUE(saveRecords(*s, path, ui));  // Yes
  EXPECT_EQ(s->recordCount, 1);
  EXPECT_EQ(s->currentRecord, 1);
  const std::string after = test::readBytes(path);
  EXPECT_EQ(get16(after, 434), 1);
  EXPECT_EQ(static_cast<long long>(after.size()), 1087 + recSize(f, 30));
  EXPECT_EQ(filePos(*s), 1087 + recSize(f, 30) - 2);
  EXPECT_FALSE(stepRecord(*s, +1, ui));
  ASSERT_TRUE(rereadRecord(*s, ui));
  expectRecord(*s, f, recs[2], 1, false);
  // and the write-back works on the new file
  s->channelData[0][0] = 11;
  s->recordModified = 1;
  ui.yesNoScript = {true};
  ASSERT_TRUE(confirmWriteBack(*s, ui));
  ASSERT_TRUE(rereadRecord(*s, ui));
  EXPECT_EQ(s->channelData[0][0], 11);
}

TEST_F(OpenFixture, FailedReplaceOfTheOpenFileLeavesItWhole) {
  open({1000, 1000});
  const std::string before = test::readBytes(path);
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit lim = old;
  lim.rlim_cur = 2000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lim), 0);
  ui.choiceScript = {1};
  ui.yesNoScript = {true};
  const bool ok = saveRecords(*s, path, ui);
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(ok);
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(test::readBytes(path), before);
  EXPECT_EQ(s->recordCount, 2);
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  EXPECT_EQ(filePos(*s), invariantPos(f, recs, 2));
  // no temporary file is left behind
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST(RecordFileSave, OldMultiRecordFile) {
  TempDir dir;
  FileSpec f = standardSpec("CA15", 3, 1);
  const auto recs = makeRecs(f, {40, 50, 60, 70});
  const std::string path = dir.file("old.cad");
  test::writeBytes(path, buildFile(f, recs));
  auto s = freshState();
  Recorder ui;
  ASSERT_TRUE(openRecordFile(*s, path, ui));
  ASSERT_TRUE(gotoRecord(*s, 2, ui));
  // over an existing file: refused
  const std::string existing = dir.file("exists.cad");
  test::writeBytes(existing, "anything");
  EXPECT_FALSE(saveRecords(*s, existing, ui));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "Ошибка! Повторите операцию с другим именем файла записи!");
  EXPECT_EQ(test::readBytes(existing), "anything");
  // a new file gets records 2..4 converted to 16-bit codes
  const std::string target = dir.file("new.cad");
  ASSERT_TRUE(saveRecords(*s, target, ui));
  EXPECT_EQ(ui.messages.size(), 1u);
  expectRecord(*s, f, recs[1], 2);
  auto t = freshState();
  ScriptedInteraction tui;
  ASSERT_TRUE(openRecordFile(*t, target, tui));
  EXPECT_TRUE(tui.messages.empty());
  EXPECT_EQ(t->recordFileVersion, kVersionCA30);
  EXPECT_EQ(t->recordCount, 3);
  EXPECT_EQ(t->zeroLevel[1], 2016);
  FileSpec converted = f;
  converted.sig = "CA30";
  for (int k = 1; k <= 3; ++k) {
    if (k > 1) {
      ASSERT_TRUE(stepRecord(*t, +1, tui));
    }
    Rec r = recs[k];
    r.time = 0;
    SCOPED_TRACE(k);
    EXPECT_EQ(t->currentRecord, k);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(std::vector<std::int16_t>(t->channelData[c], t->channelData[c] + r.n), r.ch[c]);
    EXPECT_EQ(std::vector<std::int16_t>(t->markChannel, t->markChannel + r.n), r.mark);
  }
}

TEST(RecordFileSave, NewFileWithoutAnOpenRecordFile) {
  TempDir dir;
  auto s = freshState();
  fillState(*s, 2, 50, 1);
  s->recordCount = 0;
  ScriptedInteraction ui;
  const std::string target = dir.file("n.cad");
  ASSERT_TRUE(saveRecords(*s, target, ui));
  const std::string b = test::readBytes(target);
  EXPECT_EQ(b.substr(0, 4), "CA40");
  EXPECT_EQ(get16(b, 434), 1);  // a file of one record says so
  auto t = freshState();
  ASSERT_TRUE(openRecordFile(*t, target, ui));
  EXPECT_EQ(t->channelNames[0], "ЭКГ");
  EXPECT_EQ(t->examHeader, s->examHeader);
  EXPECT_EQ(t->channelData[1][49], sampleOf(9, 1, 49));
  EXPECT_EQ(t->markChannel[0], markOf(9, 0));
}

// --- hostile files ------------------------------------------------------------------------------

struct Corruption {
  const char* name;
  std::function<std::string()> bytes;
  bool silent;  // unknown signature: no message
};

std::vector<Corruption> corruptions() {
  const FileSpec f = standardSpec("CA40", 3, 1);
  const FileSpec f30 = standardSpec("CA30", 3, 0);
  auto good = [f](const std::vector<int>& lengths) { return buildFile(f, makeRecs(f, lengths)); };
  auto with = [](std::string b, std::size_t at, int v) {
    put16(b, at, v);
    return b;
  };
  const std::size_t r1 = 1087;
  return {
      {"stored length above 32767", [=] { return with(good({20}), r1, 40000); }, false},
      {"stored length above the file", [=] { return with(good({20}), r1, 21); }, false},
      {"channel count 0", [=] {
         std::string b = good({20});
         b[430] = 0;
         return b;
       }, false},
      {"channel count above the slotCount", [=] {
         std::string b = buildFile(f30, makeRecs(f30, {20}));
         b[302] = 33;
         return b;
       }, false},
      {"channel count 65", [=] {
         std::string b = good({20});
         b[430] = 65;
         return b;
       }, false},
      {"data offset inside the header", [=] { return with(good({20}), 426, 500); }, false},
      {"data offset past the end", [=] { return with(good({20}), 426, 60000); }, false},
      {"truncated record", [=] {
         std::string b = good({20});
         b.resize(b.size() - 1);
         return b;
       }, false},
      {"trailing length mismatch", [=] {
         std::string b = good({20});
         put16(b, b.size() - 2, 19);
         return b;
       }, false},
      {"header cut short", [=] { return good({20}).substr(0, 700); }, false},
      {"header only", [=] { return buildHeader(f, 1); }, false},
      {"sampling rate 0", [=] { return with(good({20}), 431, 0); }, false},
      {"mark channel count 5", [=] {
         std::string b = good({20});
         b[433] = 5;
         return b;
       }, false},
      {"lead pairs above the slotCount", [=] {
         std::string b = good({20});
         b[953] = 200;
         return b;
       }, false},
      {"unknown signature", [=] {
         std::string b = good({20});
         b[2] = 'X';
         return b;
       }, true},
      {"empty file", [] { return std::string(); }, true},
      {"two bytes", [] { return std::string("CA"); }, true},
  };
}

using Snapshot = test::StudySnapshot;

TEST_F(OpenFixture, HostileFilesLeaveTheStateAsItWas) {
  open({100, 200});
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  const Snapshot before(*s);
  for (const auto& c : corruptions()) {
    SCOPED_TRACE(c.name);
    const std::string bad = dir.file("bad.cad");
    test::writeBytes(bad, c.bytes());
    ui.messages.clear();
    EXPECT_FALSE(openRecordFile(*s, bad, ui));
    EXPECT_EQ(ui.messages.size(), c.silent ? 0u : 1u);
    EXPECT_TRUE(Snapshot(*s) == before);
  }
  ASSERT_TRUE(stepRecord(*s, -1, ui));
  expectRecord(*s, f, recs[0], 1);
}

TEST(RecordFileHostile, SoundButOddFilesOpen) {
  TempDir dir;
  const FileSpec f = standardSpec("CA40", 2, 0);
  struct Case {
    const char* name;
    std::optional<int> count;
    std::vector<int> lengths;
    bool cut;  // last record truncated
    int expectedCount;
    bool message;
  };
  const Case cases[] = {
      {"count beyond the records", 9, {10, 20, 30}, false, 3, true},
      {"count 0 as left by an unfinished recording", 0, {10, 20}, false, 2, true},
      {"last record truncated", 3, {10, 20, 30}, true, 2, true},
      {"count below the records", 2, {10, 20, 30}, false, 2, false},
      {"negative count", -4, {10}, false, -4, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FileSpec g = f;
    g.count = c.count;
    auto recs = makeRecs(g, c.lengths);
    recs[0].lengthField = 60000;  // above the stored length: read as the stored length
    std::string bytes = buildFile(g, recs);
    if (c.cut) bytes.resize(bytes.size() - 5);
    const std::string path = dir.file("odd.cad");
    test::writeBytes(path, bytes);
    auto s = freshState();
    ScriptedInteraction ui;
    ASSERT_TRUE(openRecordFile(*s, path, ui));
    EXPECT_EQ(ui.messages.size(), c.message ? 1u : 0u);
    EXPECT_EQ(s->recordCount, c.expectedCount);
    EXPECT_EQ(s->recordLength, 10);
    EXPECT_TRUE(gotoRecord(*s, 100, ui));
    const int last = c.expectedCount < 0 ? 1 : c.expectedCount;
    EXPECT_EQ(s->currentRecord, last);
    EXPECT_EQ(filePos(*s), invariantPos(g, recs, last));
    EXPECT_EQ(ui.messages.size(), c.message ? 1u : 0u);
  }
}

TEST_F(OpenFixture, DamagedRecordOnTheWayLeavesTheCurrentOne) {
  open({100, 200, 300, 400});
  ASSERT_TRUE(gotoRecord(*s, 2, ui));
  const Snapshot before(*s);
  // the file changes under the open descriptor: record 3's trailing length, then record 1's
  const int w = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(w, 0);
  const unsigned char bad[2] = {1, 0};
  ASSERT_EQ(::pwrite(w, bad, 2, invariantPos(f, recs, 3)), 2);
  ASSERT_EQ(::pwrite(w, bad, 2, invariantPos(f, recs, 1)), 2);
  for (int target : {3, 4}) {
    ui.messages.clear();
    EXPECT_FALSE(gotoRecord(*s, target, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("Запись 3"), std::string::npos) << ui.messages[0];
    EXPECT_TRUE(Snapshot(*s) == before);
  }
  ui.messages.clear();
  EXPECT_FALSE(stepRecord(*s, -1, ui));
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(Snapshot(*s) == before);
  // truncation behind the current record
  ASSERT_EQ(::ftruncate(w, recStart(f, recs, 3) + 10), 0);
  ::close(w);
  EXPECT_FALSE(stepRecord(*s, +1, ui));
  EXPECT_TRUE(Snapshot(*s) == before);
  ASSERT_TRUE(rereadRecord(*s, ui));
  expectRecord(*s, f, recs[1], 2);
}

TEST(RecordFileHostile, ReadOnlyFileOpens) {
  TempDir dir;
  const FileSpec f = standardSpec("CA30", 2, 0);
  const std::string path = dir.file("ro.cad");
  test::writeBytes(path, buildFile(f, makeRecs(f, {10, 20})));
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const int probe = ::open(path.c_str(), O_RDWR);
  if (probe >= 0) {
    ::close(probe);
    GTEST_SKIP() << "running with the right to write any file";
  }
  auto s = freshState();
  ScriptedInteraction ui;
  ASSERT_TRUE(openRecordFile(*s, path, ui));
  s->recordModified = 1;
  ui.yesNoScript = {true};
  EXPECT_FALSE(stepRecord(*s, +1, ui));
  EXPECT_EQ(ui.messages.size(), 1u);
  ui.yesNoScript = {false};
  EXPECT_TRUE(stepRecord(*s, +1, ui));
}

// --- dispatch ---------------------------------------------------------------------------------------

TEST_F(OpenFixture, DispatchByKindAndExtension) {
  open({10, 20});
  const Snapshot before(*s);
  struct Case {
    FileKind kind;
    const char* file;
    bool save;
  };
  // (the foreign record formats are dispatched in interchange_foreign_test)
  const Case cases[] = {{FileKind::Records, "a.bmp", true}, {FileKind::ExamPlans, "a.cap", false},
                        {FileKind::Notebook, "a.cab", true}, {FileKind::Averages, "a.cav", false},
                        {FileKind::PairGrid, "a.csg", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.save ? " save" : " open") + " kind " + std::to_string(fileKindNumber(c.kind)));
    const std::string p = dir.file(c.file);
    test::writeBytes(p, "data");
    ui.messages.clear();
    EXPECT_FALSE(c.save ? saveFile(*s, c.kind, p, ui) : openFile(*s, c.kind, p, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("пока недоступно в этой версии"), std::string::npos) << ui.messages[0];
    EXPECT_TRUE(Snapshot(*s) == before);
    EXPECT_EQ(test::readBytes(p), "data");
  }
  // kind 0 ".cad" opens, kind 15 takes only the examination header
  FileSpec g = standardSpec("CA30", 2, 0);
  g.header = "Other header";
  const std::string other = dir.file("OTHER.CAD");
  test::writeBytes(other, buildFile(g, makeRecs(g, {5})));
  ASSERT_TRUE(openFile(*s, FileKind::ExamHeader, other, ui));
  EXPECT_EQ(s->examHeader, utf8Fit("Other header", 162));
  EXPECT_EQ(s->recordFileName, "OTHER.CAD");
  EXPECT_EQ(s->recordCount, 2);
  EXPECT_EQ(s->recordFileHandle, before.fd);
  ASSERT_TRUE(openFile(*s, FileKind::Records, other, ui));
  EXPECT_EQ(s->recordCount, 1);
  EXPECT_EQ(s->channelCount, 2);  // kind 2: channel settings
  s->programDir = dir.path() + "/";
  const std::string cai = dir.file("x.cai");
  s->channelPosX[1] = 44;
  ASSERT_TRUE(saveFile(*s, FileKind::ChannelSettings, cai, ui));
  s->channelPosX[1] = 1;
  ASSERT_TRUE(openFile(*s, FileKind::ChannelSettings, cai, ui));
  EXPECT_EQ(s->channelPosX[1], 44);
}

}  // namespace
}  // namespace velor
