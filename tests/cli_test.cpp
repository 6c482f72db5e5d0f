// velor-cli as a user runs it: record files are built here byte by byte from
// the stored layout, independently of the engine's writers, and the tool's
// output is checked against what was written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "core/text.h"
#include "test_support.h"

namespace {

using velor::test::readBytes;
using velor::test::runCommand;
using velor::test::TempDir;
using velor::test::writeBytes;
using nlohmann::json;

// --- a record file written from its byte layout ------------------------------------

struct Chan {
  std::string name;  // UTF-8, written as 4 code page 1251 bytes
  std::uint16_t zero = 2048, units = 2047, value = 100;
  std::uint8_t x = 0, y = 0;
};

struct Rec {
  int lengthField = -1;  // second length field; -1: the stored length
  std::vector<std::vector<std::int16_t>> data;  // per channel
  std::vector<std::int16_t> mark;               // used when the file has a mark channel
  std::int32_t time = 0;
};

struct Cad {
  std::string signature = "CA40";          // "CA30", "CA31", "CA40" or "CA15"
  std::string header;                       // UTF-8; CA15: the three texts joined by '|'
  std::vector<Chan> ch;
  int rate = 250, mark = 0, reference = 0, leadPairs = 0, date = 45000;
  int countField = -1000;  // -1000: the number of records
  std::vector<Rec> recs;
};

class Bytes {
 public:
  void u8(unsigned v) { s_.push_back(static_cast<char>(v & 0xFF)); }
  void u16(unsigned v) { u8(v), u8(v >> 8); }
  void u32(std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
  void text(const std::string& utf8, std::size_t width) {
    std::string t = velor::utf8ToCp1251(utf8).substr(0, width);
    t.resize(width, ' ');
    s_ += t;
  }
  std::string s_;
};

std::string build(const Cad& f) {
  const bool old = f.signature == "CA15";
  const int slots = f.signature == "CA40" ? 64 : 32;
  Bytes b;
  b.s_ = f.signature;
  if (old) {
    std::stringstream ss(f.header);
    std::string part;
    for (int i = 0; i < 3; ++i) {
      std::getline(ss, part, '|');
      b.text(part, 54);
    }
  } else {
    b.text(f.header, 162);
  }
  for (int i = 0; i < slots; ++i) b.text(i < static_cast<int>(f.ch.size()) ? f.ch[i].name : "", 4);
  if (old) {
    b.u8(0), b.u8(0), b.u8(0);
  } else {
    b.u32(static_cast<std::uint32_t>(f.date));
  }
  const std::size_t offsetAt = b.s_.size();
  b.u16(0);  // data offset, patched below
  b.u8(f.reference), b.u8(f.reference), b.u8(static_cast<unsigned>(f.ch.size()));
  b.u16(f.rate);
  b.u8(f.mark);
  b.u16(static_cast<unsigned>(f.countField == -1000 ? static_cast<int>(f.recs.size()) : f.countField));
  const int div = old ? 16 : 1;
  const auto slot = [&](int i) { return i < static_cast<int>(f.ch.size()) ? f.ch[i] : Chan{}; };
  for (int i = 0; i < slots; ++i) b.u16(slot(i).zero / div);
  for (int i = 0; i < slots; ++i) b.u16(slot(i).units / div);
  for (int i = 0; i < slots; ++i) b.u8(slot(i).x), b.u8(slot(i).y), b.u8(0), b.u8(0);
  b.u8(1), b.u8(1), b.u16(256), b.u8(0), b.u8(f.leadPairs), b.u8(0), b.u8(0), b.u8(0), b.u16(0);
  for (int i = 0; i < (old ? 16 : slots); ++i) b.u16(slot(i).value);
  const std::size_t dataOffset = b.s_.size();
  b.s_[offsetAt] = static_cast<char>(dataOffset & 0xFF);
  b.s_[offsetAt + 1] = static_cast<char>(dataOffset >> 8);
  for (const Rec& r : f.recs) {
    const unsigned n = static_cast<unsigned>(r.data.at(0).size());
    b.u16(n), b.u16(r.lengthField < 0 ? n : static_cast<unsigned>(r.lengthField));
    for (const auto& c : r.data)
      for (std::int16_t v : c) old ? b.u8(static_cast<unsigned>(v)) : b.u16(static_cast<std::uint16_t>(v));
    if (f.mark == 1) {
      if (old) {
        for (std::int16_t v : r.mark) b.u8(static_cast<std::uint16_t>(v) & 0xFF);
        for (std::int16_t v : r.mark) b.u8(static_cast<std::uint16_t>(v) >> 8);
      } else {
        for (std::int16_t v : r.mark) b.u16(static_cast<std::uint16_t>(v));
      }
    }
    b.u32(static_cast<std::uint32_t>(r.time));
    b.u16(n);
  }
  return b.s_;
}

std::vector<std::int16_t> ramp(int n, int start, int step) {
  std::vector<std::int16_t> v;
  for (int i = 0; i < n; ++i) v.push_back(static_cast<std::int16_t>((start + i * step) % 4096));
  return v;
}

// A CA30 file of 19 EEG leads with a mark channel and two records.
Cad ca30WithMarks() {
  Cad f;
  f.signature = "CA30";
  f.header = "Фоновая запись";
  const char* names[] = {"Fp1", "Fp2", "F7", "F3", "Fz", "F4", "F8", "T3", "C3", "Cz",
                         "C4",  "T4",  "T5", "P3", "Pz", "P4", "T6", "O1", "O2"};
  for (int i = 0; i < 19; ++i) {
    f.ch.push_back({names[i], static_cast<std::uint16_t>(2040 + i), 2047, static_cast<std::uint16_t>(50 + i),
                    static_cast<std::uint8_t>(i * 3), static_cast<std::uint8_t>(62 - i * 3)});
  }
  f.rate = 200;
  f.mark = 1;
  f.reference = 1;
  f.leadPairs = 3;
  f.date = 36526;  // 2000-01-01
  for (int r = 0; r < 2; ++r) {
    Rec rec;
    for (int c = 0; c < 19; ++c) rec.data.push_back(ramp(40, c * 100 + r * 7, 13 + c));
    rec.mark.assign(40, 0);
    for (int i = 10; i < 40; ++i) rec.mark[i] = static_cast<std::int16_t>(3 * 256 + r);
    rec.time = r == 0 ? 4270833 : -5;  // 10:15:00 less a tick; negative: unknown
    f.recs.push_back(rec);
  }
  return f;
}

// A CA40 file with Cyrillic names and header and records of different lengths.
Cad ca40Mixed() {
  Cad f;
  f.signature = "CA40";
  std::string h(162, ' ');
  velor::utf8PutField(h, 0, 30, "Фотостимуляция");
  velor::utf8PutField(h, 60, 30, "Иванов Иван Иванович");
  velor::utf8PutField(h, 108, 1, "М");
  velor::utf8PutField(h, 161, 1, "Я");  // the very last character counts too
  f.header = h;
  f.ch = {{"ЭКГ", 2048, 2047, 2000, 255, 0},
          {"ФПГ1", 1000, 0, 5, 249, 0},  // four letters: the fourth is dropped; units 0 count as 1
          {"X,Y", 2048, 2047, 100, 31, 31},
          {"Дых", 0, 4095, 1, 250, 7}};
  f.rate = 1000;
  f.reference = 6;
  f.date = 45000;  // 2023-03-15
  const int lengths[] = {300, 1, 17};
  for (int r = 0; r < 3; ++r) {
    Rec rec;
    for (int c = 0; c < 4; ++c) rec.data.push_back(ramp(lengths[r], 5 + c * 1000 + r, 7 * (c + 1)));
    rec.time = 100000 * (r + 1);
    f.recs.push_back(rec);
  }
  f.recs[0].data[0][0] = 4095;
  f.recs[0].data[0][1] = 0;
  f.recs[0].data[0][2] = 4096;  // a user mark in a signal channel
  f.recs[0].data[0][3] = -300;
  return f;
}

std::string cli() { return VELOR_CLI_PATH; }
std::string q(const std::string& s) { return "'" + s + "'"; }

struct Outcome {
  int status;
  std::string out, err;
};
Outcome run(const std::string& args) {
  Outcome r;
  r.status = runCommand(q(cli()) + " " + args, &r.out, &r.err);
  return r;
}

// A failure says why in exactly one line.
void expectOneLine(const Outcome& r) {
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.back(), '\n') << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

json info(const std::string& path) {
  const Outcome r = run("info --json " + q(path));
  EXPECT_EQ(r.status, 0) << r.err;
  return json::parse(r.out);
}

std::vector<std::vector<std::string>> csv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string cell;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') cell += '"', ++i;
      else if (c == '"') quoted = false;
      else cell += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(cell), cell.clear();
    } else if (c == '\n') {
      row.push_back(cell), cell.clear();
      rows.push_back(row), row.clear();
    } else {
      cell += c;
    }
    any = true;
  }
  if (any && (!cell.empty() || !row.empty())) row.push_back(cell), rows.push_back(row);
  return rows;
}

std::vector<std::vector<std::string>> dump(const std::string& args) {
  const Outcome r = run("dump " + args);
  EXPECT_EQ(r.status, 0) << r.err;
  return csv(r.out);
}

// The codes of a record as dump --raw gives them, column by column.
std::vector<std::vector<int>> rawColumns(const std::string& path, int record) {
  const auto rows = dump("--raw --record " + std::to_string(record) + " " + q(path));
  std::vector<std::vector<int>> cols;
  if (rows.empty()) return cols;
  cols.resize(rows[0].size());
  for (std::size_t i = 1; i < rows.size(); ++i)
    for (std::size_t c = 0; c < rows[i].size() && c < cols.size(); ++c) cols[c].push_back(std::stoi(rows[i][c]));
  return cols;
}

std::vector<int> toInts(const std::vector<std::int16_t>& v) { return {v.begin(), v.end()}; }

// --- info ------------------------------------------------------------------------------

TEST(CliInfo, Ca30WithMarkChannelGivesEveryFieldAsWritten) {
  TempDir dir;
  const Cad f = ca30WithMarks();
  writeBytes(dir.file("a.cad"), build(f));
  const json j = info(dir.file("a.cad"));
  EXPECT_EQ(j["format"], "cad");
  EXPECT_EQ(j["signature"], "CA30");
  EXPECT_EQ(j["channelCount"], 19);
  EXPECT_EQ(j["sampleRate"], 200);
  EXPECT_EQ(j["recordCount"], 2);
  EXPECT_EQ(j["markChannelCount"], 1);
  EXPECT_EQ(j["referenceKind"], 1);
  EXPECT_EQ(j["leadPairCount"], 3);
  EXPECT_EQ(j["recordDate"], "2000-01-01");
  EXPECT_EQ(j["examHeader"], velor::utf8Fit("Фоновая запись", 162));
  ASSERT_EQ(j["channels"].size(), 19u);
  for (int i = 0; i < 19; ++i) {
    const json& c = j["channels"][i];
    EXPECT_EQ(c["name"], f.ch[i].name);
    EXPECT_EQ(c["zeroLevel"], f.ch[i].zero);
    EXPECT_EQ(c["calibUnits"], f.ch[i].units);
    EXPECT_EQ(c["calibValue"], f.ch[i].value);
    EXPECT_EQ(c["channelPosX"], f.ch[i].x);
    EXPECT_EQ(c["channelPosY"], f.ch[i].y);
  }
  ASSERT_EQ(j["records"].size(), 2u);
  EXPECT_EQ(j["records"][0]["storedLength"], 40);
  EXPECT_EQ(j["records"][0]["recordLength"], 40);
  EXPECT_NEAR(j["records"][0]["recordTime"].get<double>(), 4270833 * 0.00864, 1e-6);
  EXPECT_EQ(j["records"][1]["recordTime"].get<double>(), 0.0);

  // The readable form carries the same facts.
  const Outcome t = run("info " + q(dir.file("a.cad")));
  EXPECT_EQ(t.status, 0);
  for (const char* s : {"CA30", "2000-01-01", "200 Hz", "Фоновая запись", "O2", "10:14:59"})
    EXPECT_NE(t.out.find(s), std::string::npos) << s << "\n" << t.out;
}

TEST(CliInfo, Ca40WithCyrillicNamesAndRecordsOfDifferentLengths) {
  TempDir dir;
  Cad f = ca40Mixed();
  f.recs[2].lengthField = 11;  // shortened in place: stored 17, valid 11
  writeBytes(dir.file("b.cad"), build(f));
  const json j = info(dir.file("b.cad"));
  EXPECT_EQ(j["signature"], "CA40");
  EXPECT_EQ(j["channelCount"], 4);
  EXPECT_EQ(j["sampleRate"], 1000);
  EXPECT_EQ(j["markChannelCount"], 0);
  EXPECT_EQ(j["referenceKind"], 6);
  EXPECT_EQ(j["recordDate"], "2023-03-15");
  EXPECT_EQ(j["examHeader"], f.header);
  std::vector<std::string> names;
  for (const json& c : j["channels"]) names.push_back(c["name"]);
  EXPECT_EQ(names, (std::vector<std::string>{"ЭКГ", "ФПГ", "X,Y", "Дых"}));
  EXPECT_EQ(j["channels"][1]["calibUnits"], 0);
  EXPECT_EQ(j["channels"][3]["channelPosY"], 7);
  // The table shows the reference scheme and each channel's kind by name.
  const Outcome text = run("info " + q(dir.file("b.cad")));
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("6 БП-биполярн"), std::string::npos) << text.out;
  std::vector<std::string> kinds;
  std::istringstream lines(text.out);
  for (std::string line; std::getline(lines, line) && kinds.size() < 4;) {
    std::istringstream row(line);
    std::string number, name, kind;
    if (row >> number >> name >> kind && number == std::to_string(kinds.size())) kinds.push_back(kind);
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"ЭКГ", "ФПГ", "ЭЭГ", "Дых"})) << text.out;
  ASSERT_EQ(j["records"].size(), 3u);
  const int stored[] = {300, 1, 17}, length[] = {300, 1, 11};
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(j["records"][r]["storedLength"], stored[r]);
    EXPECT_EQ(j["records"][r]["recordLength"], length[r]);
    EXPECT_NEAR(j["records"][r]["recordTime"].get<double>(), 100000 * (r + 1) * 0.00864, 1e-6);
  }
}

// --- dump ------------------------------------------------------------------------------

TEST(CliDump, RawGivesTheStoredCodesOfTheChosenRecordAndChannels) {
  TempDir dir;
  const Cad a = ca30WithMarks();
  writeBytes(dir.file("a.cad"), build(a));
  const auto rows = dump("--raw --record 2 " + q(dir.file("a.cad")));
  ASSERT_EQ(rows.size(), 41u);
  ASSERT_EQ(rows[0].size(), 20u);
  EXPECT_EQ(rows[0][0], "Fp1");
  EXPECT_EQ(rows[0][18], "O2");
  EXPECT_EQ(rows[0][19], "mark");
  const auto cols = rawColumns(dir.file("a.cad"), 2);
  for (int c = 0; c < 19; ++c) EXPECT_EQ(cols[c], toInts(a.recs[1].data[c])) << c;
  EXPECT_EQ(cols[19], toInts(a.recs[1].mark));

  const Cad b = ca40Mixed();
  writeBytes(dir.file("b.cad"), build(b));
  const auto sub = dump("--raw --record 3 --channels 3,0,3 " + q(dir.file("b.cad")));
  ASSERT_EQ(sub.size(), 18u);
  EXPECT_EQ(sub[0], (std::vector<std::string>{"Дых", "ЭКГ", "Дых"}));
  for (int i = 0; i < 17; ++i) {
    EXPECT_EQ(sub[i + 1][0], std::to_string(b.recs[2].data[3][i]));
    EXPECT_EQ(sub[i + 1][1], std::to_string(b.recs[2].data[0][i]));
  }
  // A name holding the separator is quoted and still reads back whole.
  EXPECT_EQ(dump("--channels 2 " + q(dir.file("b.cad")))[0][0], "X,Y");
}

// A record number below 1 is told with the real record count, as one above it.
TEST(CliDump, RecordBelowOneGivesTheRecordCount) {
  TempDir dir;
  const Cad a = ca30WithMarks();
  writeBytes(dir.file("a.cad"), build(a));
  const std::string count = std::to_string(a.recs.size());
  for (const char* record : {"0", "-2"}) {
    const Outcome r = run("dump --record " + std::string(record) + " " + q(dir.file("a.cad")));
    EXPECT_EQ(r.status, 2) << record;
    EXPECT_NE(r.err.find("record " + std::string(record) + " does not exist: " + dir.file("a.cad") + " holds " + count +
                         " record(s)"),
              std::string::npos)
        << r.err;
    expectOneLine(r);
  }
}

TEST(CliDump, PhysicalValuesFollowZeroLevelAndCalibration) {
  TempDir dir;
  const Cad b = ca40Mixed();
  writeBytes(dir.file("b.cad"), build(b));
  const auto rows = dump(q(dir.file("b.cad")));
  ASSERT_EQ(rows.size(), 301u);
  for (int i = 0; i < 300; ++i) {
    for (int c = 0; c < 4; ++c) {
      const Chan& ch = b.ch[c];
      const double units = ch.units == 0 ? 1.0 : ch.units;
      const double want = (b.recs[0].data[c][i] - ch.zero) / units * ch.value;
      const double got = std::stod(rows[i + 1][c]);
      EXPECT_NEAR(got, want, 1e-6 * std::max(1.0, std::fabs(want))) << "sample " << i << " channel " << c;
    }
  }
  EXPECT_EQ(std::stod(rows[1][0]), 2000.0);  // full scale of the ECG lead
  EXPECT_NEAR(std::stod(rows[2][0]), -2000.0 * 2048 / 2047, 1e-5);
}

// --- convert ---------------------------------------------------------------------------

// Everything info shows, and every sample, is the same after conversion; only
// the signature becomes CA40.
void expectSameStudy(const std::string& in, const std::string& out, json expected) {
  json got = info(out);
  EXPECT_EQ(got["signature"], "CA40");
  got.erase("signature");
  expected.erase("signature");
  for (json& c : expected["channels"])  // stored files never hold 0 units
    if (c["calibUnits"] == 0) c["calibUnits"] = 1;
  EXPECT_EQ(got, expected);
  for (std::size_t r = 1; r <= expected["records"].size(); ++r) {
    EXPECT_EQ(rawColumns(out, static_cast<int>(r)), rawColumns(in, static_cast<int>(r))) << "record " << r;
  }
}

TEST(CliConvert, Ca30AndCa40FilesReadBackIdentical) {
  TempDir dir;
  for (const Cad& f : {ca30WithMarks(), ca40Mixed()}) {
    const std::string in = dir.file(f.signature + ".cad"), out = dir.file(f.signature + "-out.cad");
    writeBytes(in, build(f));
    const Outcome r = run("convert " + q(in) + " " + q(out));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    expectSameStudy(in, out, info(in));
  }
}

TEST(CliConvert, Ca31IsUpgradedLikeCa30) {
  TempDir dir;
  Cad f = ca30WithMarks();
  f.signature = "CA31";
  writeBytes(dir.file("in.cad"), build(f));
  ASSERT_EQ(run("convert " + q(dir.file("in.cad")) + " " + q(dir.file("out.cad"))).status, 0);
  expectSameStudy(dir.file("in.cad"), dir.file("out.cad"), info(dir.file("in.cad")));
}

TEST(CliConvert, RecordShortenedInPlaceKeepsItsValidSamples) {
  TempDir dir;
  Cad f = ca40Mixed();
  f.recs[2].lengthField = 11;
  writeBytes(dir.file("in.cad"), build(f));
  ASSERT_EQ(run("convert " + q(dir.file("in.cad")) + " " + q(dir.file("out.cad"))).status, 0);
  const json j = info(dir.file("out.cad"));
  EXPECT_EQ(j["records"][2]["storedLength"], 11);
  EXPECT_EQ(j["records"][2]["recordLength"], 11);
  const auto cols = rawColumns(dir.file("out.cad"), 3);
  for (int c = 0; c < 4; ++c)
    EXPECT_EQ(cols[c], std::vector<int>(f.recs[2].data[c].begin(), f.recs[2].data[c].begin() + 11));
}

TEST(CliConvert, Ca15FileIsDecodedAndUpgraded) {
  TempDir dir;
  Cad f;
  f.signature = "CA15";
  f.header = "  Проба с гипервентиляцией  |Петров П.П.|Без особенностей" + std::string(10, ' ');
  f.ch = {{"Fp1", 2048, 2032, 150, 22, 4}, {"ЭКГ", 1600, 160, 1000, 255, 0}};
  f.rate = 128;
  f.mark = 1;
  for (int r = 0; r < 2; ++r) {
    Rec rec;
    rec.data = {{0, 255, 255, 10, 0, static_cast<std::int16_t>(255 - r)}, {128, 1, 2, 3, 4, 5}};
    rec.mark = {0, 0x0102, 0x0102, static_cast<std::int16_t>(0x7F00), 3, 0};
    rec.time = 123456;  // present in the file, but old files carry no time
    f.recs.push_back(rec);
  }
  writeBytes(dir.file("old.cad"), build(f));
  const Outcome r = run("convert " + q(dir.file("old.cad")) + " " + q(dir.file("new.cad")));
  ASSERT_EQ(r.status, 0) << r.err;

  const json j = info(dir.file("new.cad"));
  EXPECT_EQ(j["signature"], "CA40");
  EXPECT_EQ(j["channelCount"], 2);
  EXPECT_EQ(j["sampleRate"], 128);
  EXPECT_EQ(j["markChannelCount"], 1);
  EXPECT_EQ(j["recordCount"], 2);
  std::string header = velor::utf8Fit("Проба с гипервентиляцией", 30) + std::string(30, ' ') +
                       velor::utf8Fit("Петров П.П.", 30) + std::string(19, ' ') + "Без особенностей";
  EXPECT_EQ(j["examHeader"], velor::utf8Fit(header, 162));
  EXPECT_EQ(j["channels"][0]["zeroLevel"], 2048);
  EXPECT_EQ(j["channels"][0]["calibUnits"], 2032);
  EXPECT_EQ(j["channels"][0]["calibValue"], 150);
  EXPECT_EQ(j["channels"][1]["name"], "ЭКГ");
  EXPECT_EQ(j["channels"][1]["zeroLevel"], 1600);
  EXPECT_EQ(j["channels"][1]["channelPosX"], 255);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(j["records"][k - 1]["recordTime"].get<double>(), 0.0);
    const auto cols = rawColumns(dir.file("new.cad"), k);
    // Bytes × 16, and 255 right after a zero code is the mark code.
    EXPECT_EQ(cols[0], (std::vector<int>{0, 4096, 4080, 160, 0, k == 1 ? 4096 : 254 * 16}));
    EXPECT_EQ(cols[1], (std::vector<int>{2048, 16, 32, 48, 64, 80}));
    EXPECT_EQ(cols[2], (std::vector<int>{0, 0x0102, 0x0102, 0x7F00, 3, 0}));
  }
}

TEST(CliConvert, OtherFormatsAreRefusedClearly) {
  TempDir dir;
  writeBytes(dir.file("a.cad"), build(ca30WithMarks()));
  for (const std::string& args : {"convert " + q(dir.file("a.cad")) + " " + q(dir.file("b.e32")),
                                 "convert " + q(dir.file("a.cad")) + " " + q(dir.file("b"))}) {
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 1) << args;
    expectOneLine(r);
    EXPECT_NE(r.err.find("not available"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("b.cad")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("b.e32")));
}

// --- hostile input ---------------------------------------------------------------------

TEST(CliHostile, DamagedFilesAreRefusedInOneLineAndLeaveNothingBehind) {
  Cad one = ca30WithMarks();
  one.recs.resize(1);
  const std::string good = build(one);
  const std::size_t rec = 639;  // first record of a CA30 file
  struct Case {
    const char* what;
    std::string bytes;
  };
  const auto patched = [&](std::size_t at, std::initializer_list<unsigned char> b) {
    std::string s = good;
    for (unsigned char c : b) s[at++] = static_cast<char>(c);
    return s;
  };
  const std::vector<Case> cases = {
      {"empty", ""},
      {"signature only", "CA3"},
      {"unknown signature", "XX30" + good.substr(4)},
      {"header cut short", good.substr(0, 300)},
      {"no channels", patched(302, {0})},
      {"more channels than slots", patched(302, {33})},
      {"data offset past the end", patched(298, {0xFF, 0xFF})},
      {"data offset inside the header", patched(298, {10, 0})},
      {"record cut short", good.substr(0, good.size() - 7)},
      {"only the length fields", good.substr(0, rec + 4)},
      {"stored length beyond the buffers", patched(rec, {0x40, 0x9C})},  // 40000
      {"stored length beyond the file", patched(rec, {0x00, 0x10})},
      {"trailing length differs", patched(good.size() - 2, {41, 0})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string in = dir.file("bad.cad"), out = dir.file("out.cad");
    writeBytes(in, c.bytes);
    for (const std::string& args : {"info --json " + q(in), "info " + q(in), "dump " + q(in),
                                   "dump --raw --record 1 " + q(in), "convert " + q(in) + " " + q(out)}) {
      const Outcome r = run(args);
      EXPECT_EQ(r.status, 1) << args << "\n" << r.err;
      EXPECT_TRUE(r.out.empty()) << args;
      expectOneLine(r);
    }
    // Nothing but the input is left in the folder (no output, no temporary).
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
  }
}

// A file whose last record is cut short: every command gives the same
// verdict as the workstation (the records before the fault, with a notice);
// only the damaged record itself is refused.
TEST(CliHostile, ADamagedLastRecordGetsOneVerdictFromEveryCommand) {
  TempDir dir;
  const std::string full = dir.file("full.cad"), in = dir.file("cut.cad");
  ASSERT_EQ(run("demo " + q(full) + " --records 3 --seconds 4").status, 0);
  const std::string bytes = readBytes(full);
  writeBytes(in, bytes.substr(0, bytes.size() - 1));
  for (const std::string& args : {"info " + q(in), "info --json " + q(in), "dump --record 1 --channels 0 " + q(in),
                                  "dump --record 2 --channels 0 " + q(in),
                                  "convert " + q(in) + " " + q(dir.file("out.cad"))}) {
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
    EXPECT_FALSE(r.out.empty() && args.rfind("convert", 0) != 0) << args;
    EXPECT_NE(r.err.find("1..2"), std::string::npos) << args << ": " << r.err;
  }
  EXPECT_NE(run("info " + q(in)).out.find("3 in the header, 2 found"), std::string::npos);
  const Outcome last = run("dump --record 3 " + q(in));
  EXPECT_EQ(last.status, 1);
  expectOneLine(last);
}

TEST(CliHostile, MissingFilesAndFoldersAreRefused) {
  TempDir dir;
  for (const std::string& path : {dir.file("none.cad"), dir.path()}) {
    for (const std::string& args : {"info " + q(path), "dump " + q(path), "convert " + q(path) + " " + q(dir.file("o.cad"))}) {
      const Outcome r = run(args);
      EXPECT_EQ(r.status, 1) << args;
      expectOneLine(r);
    }
  }
  writeBytes(dir.file("a.cad"), build(ca30WithMarks()));
  const Outcome r = run("convert " + q(dir.file("a.cad")) + " " + q(dir.file("no/such/dir/o.cad")));
  EXPECT_EQ(r.status, 1);
  expectOneLine(r);
}

// A FIFO named as input is refused at once: opening it for reading must not
// wait for a writer that never comes.
TEST(CliHostile, FifoInputIsRefusedWithoutWaiting) {
  TempDir dir;
  const std::string fifo = dir.file("pipe.cad");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& args : {"info " + q(fifo), "dump " + q(fifo), "convert " + q(fifo) + " " + q(dir.file("o.cad"))}) {
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.err.find("is not a regular file"), std::string::npos) << args << ": " << r.err;
    expectOneLine(r);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("o.cad")));
  // a FIFO given as the band table too
  const std::string bands = dir.file("pipe.dia");
  ASSERT_EQ(::mkfifo(bands.c_str(), 0600), 0);
  ASSERT_EQ(run("demo " + q(dir.file("d.cad")) + " --records 1 --seconds 4").status, 0);
  for (const std::string& args : {"eeg-report " + q(dir.file("d.cad")) + " --bands " + q(bands),
                                  "map " + q(dir.file("d.cad")) + " --png " + q(dir.file("m.png")) + " --bands " + q(bands)}) {
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.err.find(bands + " is not a regular file"), std::string::npos) << args << ": " << r.err;
    expectOneLine(r);
  }
}

TEST(CliHostile, HeaderCountingMoreRecordsThanStored) {
  TempDir dir;
  Cad f = ca30WithMarks();
  for (int claimed : {5, 0}) {  // 0: a recording that never wrote its count
    SCOPED_TRACE(claimed);
    f.countField = claimed;
    writeBytes(dir.file("a.cad"), build(f));
    // Inspection shows the claim beside what is there.
    const json j = info(dir.file("a.cad"));
    EXPECT_EQ(j["recordCount"], claimed);
    EXPECT_EQ(j["records"].size(), 2u);
    // A conversion keeps the records present, counts them right, and says so.
    const Outcome r = run("convert " + q(dir.file("a.cad")) + " " + q(dir.file("o.cad")));
    EXPECT_EQ(r.status, 0);
    expectOneLine(r);
    const json o = info(dir.file("o.cad"));
    EXPECT_EQ(o["recordCount"], 2);
    EXPECT_EQ(o["records"], j["records"]);
  }
}

TEST(CliHostile, BytesAfterTheCountedRecordsAreLeftBehind) {
  TempDir dir;
  writeBytes(dir.file("a.cad"), build(ca30WithMarks()) + "\x05\x00\x05");
  // Inspection reports the fault in its one-line notice and shows the
  // records, as dump, convert and the workstation read them.
  const Outcome i = run("info " + q(dir.file("a.cad")));
  EXPECT_EQ(i.status, 0);
  expectOneLine(i);
  EXPECT_NE(i.err.find("records 1..2 can be read"), std::string::npos) << i.err;
  EXPECT_NE(i.out.find("2 found"), std::string::npos) << i.out;
  EXPECT_EQ(dump("--raw --record 2 " + q(dir.file("a.cad"))).size(), 41u);
  // A conversion keeps the counted records and says what it left out.
  const Outcome r = run("convert " + q(dir.file("a.cad")) + " " + q(dir.file("o.cad")));
  EXPECT_EQ(r.status, 0);
  expectOneLine(r);
  EXPECT_EQ(info(dir.file("o.cad"))["records"].size(), 2u);
  EXPECT_EQ(rawColumns(dir.file("o.cad"), 2), rawColumns(dir.file("a.cad"), 2));
}

// --- usage -----------------------------------------------------------------------------

TEST(CliUsage, WrongCommandLinesExitWithTwo) {
  TempDir dir;
  const std::string a = q(dir.file("a.cad"));
  writeBytes(dir.file("a.cad"), build(ca30WithMarks()));
  const std::string out = q(dir.file("d.cad"));
  for (const std::string& args : {std::string(""), std::string("frobnicate"), std::string("info"),
                                 "info --bogus " + a, "dump --record 0 " + a, "dump --record abc " + a,
                                 "dump --record 3 " + a, "dump --channels 0,19 " + a, "dump --channels -1 " + a,
                                 "dump --channels x " + a, "convert " + a, std::string("demo"), "demo " + out + " --records 0",
                                 "demo " + out + " --records 1001", "demo " + out + " --seconds 0",
                                 "demo " + out + " --seconds 200", "demo " + out + " --seconds nan",
                                 "demo " + out + " --seed x"}) {
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
    expectOneLine(r);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("d.cad")));
  const Outcome help = run("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* c : {"info", "dump", "convert", "demo"}) EXPECT_NE(help.out.find(c), std::string::npos);
}

// --- demo --------------------------------------------------------------------------------

// Mean power of a signal over a frequency band (plain DFT at 0.25 Hz steps).
double bandPower(const std::vector<double>& x, double rate, double lo, double hi) {
  double mean = 0;
  for (double v : x) mean += v;
  mean /= static_cast<double>(x.size());
  double sum = 0;
  int count = 0;
  for (double f = lo; f <= hi + 1e-9; f += 0.25, ++count) {
    std::complex<double> acc = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
      acc += (x[i] - mean) * std::polar(1.0, -2 * std::numbers::pi * f * static_cast<double>(i) / rate);
    sum += std::norm(acc);
  }
  return sum / count;
}

// Excursions of the 0.2 s moving average above `level`, at least 1 s apart.
int slowExcursions(const std::vector<double>& x, double rate, double level, double* peak) {
  const int w = static_cast<int>(0.2 * rate);
  int count = 0;
  double last = -1e9, s = 0;
  *peak = 0;
  for (int i = 0; i < static_cast<int>(x.size()); ++i) {
    s += x[i];
    if (i >= w) s -= x[i - w];
    if (i < w - 1) continue;
    const double avg = s / w;
    *peak = std::max(*peak, std::fabs(avg));
    if (avg > level && i / rate - last > 1.0) ++count, last = i / rate;
    if (avg > level) last = i / rate;
  }
  return count;
}

TEST(CliDemo, StudyLooksLikeAnEegWithEcg) {
  TempDir dir;
  const std::string path = dir.file("demo.cad");
  const Outcome r = run("demo " + q(path) + " --records 2");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;

  const json j = info(path);
  EXPECT_EQ(j["signature"], "CA40");
  EXPECT_EQ(j["channelCount"], 20);
  EXPECT_EQ(j["sampleRate"], 250);
  EXPECT_EQ(j["recordCount"], 2);
  EXPECT_EQ(j["markChannelCount"], 1);
  ASSERT_EQ(j["records"].size(), 2u);
  EXPECT_EQ(j["records"][0]["storedLength"], 5000);
  EXPECT_LT(j["records"][0]["recordTime"].get<double>(), j["records"][1]["recordTime"].get<double>());
  EXPECT_EQ(j["channels"][19]["name"], "ЭКГ");
  EXPECT_EQ(j["channels"][19]["channelPosX"], 255);
  EXPECT_NE(j["examHeader"].get<std::string>().find("Ж"), std::string::npos);

  const auto rows = dump(q(path));
  ASSERT_EQ(rows.size(), 5001u);
  std::vector<std::string> names = rows[0];
  const auto column = [&](const std::string& name) {
    const auto at = std::find(names.begin(), names.end(), name);
    EXPECT_NE(at, names.end()) << name;
    std::vector<double> v;
    for (std::size_t i = 1; i < rows.size(); ++i) v.push_back(std::stod(rows[i][static_cast<std::size_t>(at - names.begin())]));
    return v;
  };
  const std::vector<double> o1 = column("O1"), fp1 = column("Fp1"), ecg = column("ЭКГ"), mark = column("mark");

  // Posterior alpha dominates the occipital spectrum.
  const double alpha = bandPower(o1, 250, 8.5, 11.5);
  EXPECT_GT(alpha, 4 * bandPower(o1, 250, 3, 7));
  EXPECT_GT(alpha, 4 * bandPower(o1, 250, 14, 30));
  EXPECT_GT(alpha, 2 * bandPower(fp1, 250, 8.5, 11.5));

  // Blinks: large slow deflections at Fp1, none at O1.
  double fpPeak = 0, oPeak = 0;
  EXPECT_GE(slowExcursions(fp1, 250, 60, &fpPeak), 2);
  EXPECT_EQ(slowExcursions(o1, 250, 60, &oPeak), 0);
  EXPECT_GT(fpPeak, 3 * oPeak);

  // ECG: R waves of about 1 mV at about 70 per minute.
  int beats = 0;
  double rMax = 0;
  for (std::size_t i = 1, last = 0; i + 1 < ecg.size(); ++i) {
    if (ecg[i] > 500 && ecg[i] >= ecg[i - 1] && ecg[i] > ecg[i + 1] && (beats == 0 || i - last > 75)) {
      ++beats, last = i;
      rMax = std::max(rMax, ecg[i]);
    }
  }
  EXPECT_GE(beats, 19);
  EXPECT_LE(beats, 27);
  EXPECT_GT(rMax, 700);
  EXPECT_LT(rMax, 1500);

  // A few user marks: the mark channel changes, always to code × 256.
  int changes = 0;
  for (std::size_t i = 1; i < mark.size(); ++i) {
    if (mark[i] != mark[i - 1]) ++changes;
    EXPECT_EQ(std::fmod(mark[i], 256.0), 0.0);
  }
  EXPECT_GE(changes, 1);
}

TEST(CliDemo, SeedDecidesTheBytes) {
  TempDir dir;
  for (const char* name : {"a.cad", "b.cad"})
    ASSERT_EQ(run("demo " + q(dir.file(name)) + " --records 1 --seconds 4 --seed 7").status, 0);
  ASSERT_EQ(run("demo " + q(dir.file("c.cad")) + " --records 1 --seconds 4 --seed 8").status, 0);
  EXPECT_EQ(readBytes(dir.file("a.cad")), readBytes(dir.file("b.cad")));
  EXPECT_NE(readBytes(dir.file("a.cad")), readBytes(dir.file("c.cad")));
  EXPECT_EQ(info(dir.file("a.cad"))["records"][0]["storedLength"], 1000);
}

}  // namespace
