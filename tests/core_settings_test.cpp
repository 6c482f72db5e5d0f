#include <gtest/gtest.h>

#include <filesystem>

#include "core/binio.h"
#include "core/settings.h"
#include "core/text.h"
#include "test_support.h"

namespace velor {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

std::string repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

std::string cwdWithSlash() {
  std::string d = std::filesystem::current_path().string();
  if (d.back() != '/') d += '/';
  return d;
}

// A complete "Vlr.ini" as a list of 21 lines, lines given by number.
std::vector<std::string> goodMainLines() {
  std::vector<std::string> l(kMainSettingsLines);
  l[0] = "не трогать";
  l[1] = "Courier New";
  l[2] = "12";
  l[3] = "1";
  l[4] = "1";
  l[5] = "Terminal";
  l[6] = "9";
  l[7] = "Городская больница №2";
  l[8] = "Отделение функциональной диагностики";
  l[9] = "";
  l[10] = "1";
  l[11] = "-8";
  l[12] = "20";
  l[13] = "1280";
  l[14] = "900";
  l[15] = "51";
  l[16] = "0";
  l[17] = "0";
  l[18] = "0";
  l[19] = "3";
  l[20] = "2";
  return l;
}

std::string joinLines(const std::vector<std::string>& lines, const char* eol) {
  std::string t;
  for (const auto& l : lines) t += utf8ToCp1251(l) + eol;
  return t;
}

// ---------------------------------------------------------------- text lines

TEST(SettingsTextLines, LineEndsOfEveryKind) {
  TempDir d;
  struct Case {
    const char* bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\r\n\r\nc\rd\n", {"a", "", "c", "d"}},
      {"\xCF\xF0\xEE\xE1\xE0\r\n", {"Проба"}},
  };
  for (const auto& c : cases) {
    writeBytes(d.file("t.ini"), c.bytes);
    const auto got = readTextLines(d.file("t.ini"));
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, c.lines) << c.bytes;
  }
  EXPECT_FALSE(readTextLines(d.file("missing.ini")).has_value());
}

// ---------------------------------------------------------------- "Vlr.ini"

TEST(MainSettings, FreshInstallWritesCompleteFileThatReadsBack) {
  TempDir d;
  const std::string path = d.file(kMainSettingsFile);
  StudyState s;
  WindowSettings w{15, 30, 1100, 800, true};
  s.textFont = {"Arial", 11, true};
  s.monitorFont = {"Consolas", 8, false};
  s.institutionName = "Поликлиника №1";
  s.departmentName = "ЭЭГ-кабинет";
  s.scoreboardVisible = true;
  s.groupMode = 2;
  s.displayFlags = 49;
  s.monitorPlacement = 4;
  s.deviceKind = -1;
  ASSERT_TRUE(writeMainSettings(path, s, w));

  const std::string raw = readBytes(path);
  const auto lines = readTextLines(path);
  ASSERT_TRUE(lines.has_value());
  ASSERT_EQ(lines->size(), 21u);
  EXPECT_EQ((*lines)[0], "");
  EXPECT_EQ((*lines)[4], "0");  // the macro switch is always stored off
  EXPECT_EQ((*lines)[17], "0");
  EXPECT_EQ((*lines)[18], "0");
  EXPECT_EQ(raw.substr(raw.size() - 2), "\r\n");
  EXPECT_NE(raw.find("\r\n\xCF\xEE\xEB\xE8\xEA\xEB\xE8\xED\xE8\xEA\xE0 \xB9" "1\r\n"), std::string::npos)
      << "institution must be stored in code page 1251";

  StudyState r;
  WindowSettings rw;
  EXPECT_EQ(readMainSettings(path, r, rw), std::nullopt);
  EXPECT_EQ(rw.left, 15);
  EXPECT_EQ(rw.top, 30);
  EXPECT_EQ(rw.width, 1100);
  EXPECT_EQ(rw.height, 800);
  EXPECT_FALSE(rw.macroSwitch);
  EXPECT_EQ(r.textFont.name, "Arial");
  EXPECT_EQ(r.textFont.size, 11);
  EXPECT_TRUE(r.textFont.bold);
  EXPECT_EQ(r.monitorFont.name, "Consolas");
  EXPECT_EQ(r.monitorFont.size, 8);
  EXPECT_FALSE(r.monitorFont.bold);
  EXPECT_EQ(r.institutionName, "Поликлиника №1");
  EXPECT_EQ(r.departmentName, "ЭЭГ-кабинет");
  EXPECT_TRUE(r.scoreboardVisible);
  EXPECT_EQ(r.groupMode, 2);
  EXPECT_EQ(r.displayFlags, 49);
  EXPECT_EQ(r.monitorPlacement, 4);
  EXPECT_EQ(r.deviceKind, -1);
}

TEST(MainSettings, RewriteKeepsLineZeroAndAcceptsLfInput) {
  TempDir d;
  const std::string path = d.file(kMainSettingsFile);
  writeBytes(path, joinLines(goodMainLines(), "\n"));
  StudyState s;
  WindowSettings w;
  ASSERT_EQ(readMainSettings(path, s, w), std::nullopt);
  EXPECT_EQ(s.institutionName, "Городская больница №2");
  EXPECT_TRUE(w.macroSwitch);
  s.departmentName = "две\r\nстроки";  // a line break inside a value must not shift the lines
  ASSERT_TRUE(writeMainSettings(path, s, w));
  const auto lines = readTextLines(path);
  ASSERT_EQ(lines->size(), 21u);
  EXPECT_EQ((*lines)[0], "не трогать");
  EXPECT_EQ((*lines)[20], "2");
  EXPECT_NE(readBytes(path).find("\r\n"), std::string::npos);
}

TEST(MainSettings, FileNotOfTwentyOneLinesIsNeverRewritten) {
  for (int count : {0, 1, 20, 22}) {
    TempDir d;
    const std::string path = d.file(kMainSettingsFile);
    auto lines = goodMainLines();
    lines.resize(static_cast<std::size_t>(count), "7");
    const std::string before = joinLines(lines, "\r\n");
    writeBytes(path, before);
    StudyState s;
    WindowSettings w;
    EXPECT_FALSE(writeMainSettings(path, s, w)) << count;
    EXPECT_EQ(readBytes(path), before) << count;
  }
}

TEST(MainSettings, TwentyLineFileIsReadAsFarAsItGoes) {
  TempDir d;
  const std::string path = d.file(kMainSettingsFile);
  auto lines = goodMainLines();
  lines.resize(20);
  writeBytes(path, joinLines(lines, "\r\n"));
  StudyState s;
  WindowSettings w;
  const auto failure = readMainSettings(path, s, w);
  ASSERT_TRUE(failure.has_value());
  EXPECT_NE(failure->find("20"), std::string::npos) << *failure;
  // the values before line 20 in start-up order are applied ...
  EXPECT_EQ(w.width, 1280);
  EXPECT_EQ(s.displayFlags, 51);
  EXPECT_EQ(s.monitorPlacement, 3);
  // ... and everything after it keeps its default
  EXPECT_EQ(s.deviceKind, 0);
  EXPECT_EQ(s.textFont.size, 10);
  EXPECT_EQ(s.groupMode, 0);
  EXPECT_TRUE(s.institutionName.empty());
}

TEST(MainSettings, LineNineDecidesTheScoreboardOverLineSixteen) {
  struct Case {
    const char* line9;
    const char* line16;
    bool visible;
  } cases[] = {{"1", "0", true}, {"", "1", false}, {"1", "1", true}, {"", "0", false}};
  for (const auto& c : cases) {
    TempDir d;
    auto lines = goodMainLines();
    lines[9] = c.line9;
    lines[16] = c.line16;
    writeBytes(d.file("v.ini"), joinLines(lines, "\r\n"));
    StudyState s;
    WindowSettings w;
    ASSERT_EQ(readMainSettings(d.file("v.ini"), s, w), std::nullopt);
    EXPECT_EQ(s.scoreboardVisible, c.visible) << c.line9 << "/" << c.line16;
  }
}

TEST(MainSettings, BadNumberStopsWithFailureText) {
  struct Case {
    int line;
    const char* text;
  } cases[] = {{15, "abc"}, {2, "12pt"}, {19, "7"}, {10, ""}, {13, "0"}};
  for (const auto& c : cases) {
    TempDir d;
    auto lines = goodMainLines();
    lines[static_cast<std::size_t>(c.line)] = c.text;
    writeBytes(d.file("v.ini"), joinLines(lines, "\r\n"));
    StudyState s;
    WindowSettings w;
    const auto failure = readMainSettings(d.file("v.ini"), s, w);
    ASSERT_TRUE(failure.has_value()) << c.line;
    EXPECT_NE(failure->find(std::to_string(c.line)), std::string::npos) << *failure;
    // line 12 comes before every bad line in start-up order; line 10 is always last
    EXPECT_EQ(w.top, 20) << c.line;
    EXPECT_EQ(s.groupMode, 0) << c.line;
  }
  // the order of application: a bad line 15 leaves the device kind (line 20)
  // alone, a bad line 2 comes after it
  for (const auto& [line, deviceApplied] : {std::pair{15, false}, std::pair{2, true}}) {
    TempDir d;
    auto lines = goodMainLines();
    lines[static_cast<std::size_t>(line)] = "x";
    writeBytes(d.file("v.ini"), joinLines(lines, "\r\n"));
    StudyState s;
    WindowSettings w;
    ASSERT_TRUE(readMainSettings(d.file("v.ini"), s, w).has_value());
    EXPECT_EQ(s.deviceKind, deviceApplied ? 2 : 0) << line;
    EXPECT_EQ(s.textFont.name, deviceApplied ? "Courier New" : "") << line;
  }
}

TEST(MainSettings, MissingFileFailsAndLongTextsAreCut) {
  TempDir d;
  StudyState s;
  WindowSettings w;
  EXPECT_TRUE(readMainSettings(d.file("none.ini"), s, w).has_value());
  EXPECT_EQ(w.width, WindowSettings{}.width);

  auto lines = goodMainLines();
  lines[7] = std::string(10, 'x') + repeat("Ж", 25) + "ОБРЕЗАТЬ";
  writeBytes(d.file("v.ini"), joinLines(lines, "\r\n"));
  ASSERT_EQ(readMainSettings(d.file("v.ini"), s, w), std::nullopt);
  EXPECT_EQ(s.institutionName, std::string(10, 'x') + repeat("Ж", 25) + "ОБРЕЗ");
}

// ---------------------------------------------------------------- "cai.ini" / ".cai"

void fillChannelSettings(StudyState& s, const std::string& dataDir) {
  s.dataDir = dataDir;
  for (int i = 0; i < kMaxChannels; ++i) {
    s.channelNames[static_cast<std::size_t>(i)] = "C" + std::to_string(i % 100);
    s.channelPosX[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 3);
    s.channelPosY[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(200 - i);
    s.leadPairs[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(64 - i)};
  }
  s.channelNames[5] = "ЭКГ";
  s.leadPairCount = 12;
  s.epochLength = 512;
  s.epochStep = 128;
  s.epochCount = 13;
  s.bandCount = 3;
  s.bandTable[0] = {"Дельта", "0.5", "4"};
  s.bandTable[1] = {"Тета", "4", "8"};
  s.bandTable[2] = {"Альфа", "8", "13"};
  s.bandTable[15] = {"Последний", "30,5", "45"};
  s.displayFlags = 0x1234;
}

TEST(ChannelSettings, RoundTripOfSixtyFourSlots) {
  TempDir d;
  StudyState s;
  fillChannelSettings(s, d.path() + "/");
  const std::string path = d.file("mine.cai");
  ASSERT_TRUE(writeChannelSettings(path, s));
  const std::string raw = readBytes(path);
  ASSERT_EQ(raw.size(), 1058u);
  EXPECT_EQ(raw.substr(56 + 4 * 5, 4), "\xDD\xCA\xC3 ");  // "ЭКГ" in code page 1251, padded
  EXPECT_EQ(raw.substr(576, 10), "\xC4\xE5\xEB\xFC\xF2\xE0    ");  // "Дельта"
  EXPECT_EQ(getU16(reinterpret_cast<const unsigned char*>(raw.data()) + 1056), 0x1234);

  StudyState r;
  ScriptedInteraction ui;
  ASSERT_TRUE(readChannelSettings(path, r, ui));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(r.dataDir, d.path() + "/");
  for (int i = 0; i < kMaxChannels; ++i) {
    const auto k = static_cast<std::size_t>(i);
    EXPECT_EQ(r.channelNames[k], s.channelNames[k]) << i;
    EXPECT_EQ(r.channelPosX[k], s.channelPosX[k]) << i;
    EXPECT_EQ(r.channelPosY[k], s.channelPosY[k]) << i;
    EXPECT_EQ(r.leadPairs[k], s.leadPairs[k]) << i;
  }
  EXPECT_EQ(r.leadPairCount, 12);
  EXPECT_EQ(r.epochLength, 512);
  EXPECT_EQ(r.epochStep, 128);
  EXPECT_EQ(r.epochCount, 13);
  EXPECT_EQ(r.bandCount, 3);
  for (int b : {0, 1, 2, 15}) {
    const auto k = static_cast<std::size_t>(b);
    EXPECT_EQ(r.bandTable[k].name, s.bandTable[k].name);
    EXPECT_EQ(r.bandTable[k].low, s.bandTable[k].low);
    EXPECT_EQ(r.bandTable[k].high, s.bandTable[k].high);
  }
  EXPECT_EQ(r.displayFlags, 0x1234);
}

TEST(ChannelSettings, NamesKeepThreeCharacters) {
  TempDir d;
  StudyState s;
  fillChannelSettings(s, d.path() + "/");
  s.channelNames[0] = "Fp1z";
  s.channelNames[1] = "O1";
  ASSERT_TRUE(writeChannelSettings(d.file("n.cai"), s));
  StudyState r;
  ScriptedInteraction ui;
  ASSERT_TRUE(readChannelSettings(d.file("n.cai"), r, ui));
  EXPECT_EQ(r.channelNames[0], "Fp1");
  EXPECT_EQ(r.channelNames[1], "O1");
}

// An 802-byte file of the 32-slot layout, built byte by byte.
std::string thirtyTwoSlotFile(const std::string& dataDir) {
  std::string f(802, ' ');
  auto put16 = [&f](std::size_t at, unsigned v) {
    f[at] = static_cast<char>(v & 0xFF);
    f[at + 1] = static_cast<char>(v >> 8);
  };
  f[0] = '\x11';
  f[1] = '\x22';
  f.replace(2, dataDir.size(), dataDir);
  for (int i = 0; i < 32; ++i) f.replace(56 + 4 * static_cast<std::size_t>(i), 2, "K" + std::string(1, char('A' + i)));
  f[184] = 5;       // leadPairCount
  put16(185, 1024);  // epochLength
  put16(187, 512);   // epochStep
  put16(189, 7);     // epochCount
  for (int i = 0; i < 32; ++i) {
    const std::size_t q = 191 + 4 * static_cast<std::size_t>(i);
    f[q] = static_cast<char>(i + 1);
    f[q + 1] = static_cast<char>(i + 2);
    f[q + 2] = static_cast<char>(i + 3);
    f[q + 3] = static_cast<char>(i + 4);
  }
  auto put = [&f](std::size_t at, const std::string& text) { f.replace(at, text.size(), text); };
  f[319] = 2;                          // bandCount
  put(320, "\xC0\xEB\xFC\xF4\xE0");  // "Альфа"
  put(330, "8.");
  put(340, "13.");
  put(350, "Beta");
  put16(800, 17);  // displayFlags
  return f;
}

TEST(ChannelSettings, ThirtyTwoSlotFileIsReadAndWrittenBackWithSixtyFour) {
  TempDir d;
  const std::string path = d.file("old.cai");
  writeBytes(path, thirtyTwoSlotFile(d.path()));
  StudyState s;
  s.channelNames[40] = "Zz";  // not in a 32-slot file: stays
  ScriptedInteraction ui;
  ASSERT_TRUE(readChannelSettings(path, s, ui));
  EXPECT_EQ(s.dataDir, d.path() + "/");
  EXPECT_EQ(s.channelNames[0], "KA");
  EXPECT_EQ(s.channelNames[31], "K" + std::string(1, char('A' + 31)));
  EXPECT_EQ(s.channelNames[40], "Zz");
  EXPECT_EQ(s.leadPairCount, 5);
  EXPECT_EQ(s.epochLength, 1024);
  EXPECT_EQ(s.epochStep, 512);
  EXPECT_EQ(s.epochCount, 7);
  EXPECT_EQ(s.channelPosX[31], 32);
  EXPECT_EQ(s.channelPosY[31], 33);
  EXPECT_EQ(s.leadPairs[31][0], 34);
  EXPECT_EQ(s.leadPairs[31][1], 35);
  EXPECT_EQ(s.bandCount, 2);
  EXPECT_EQ(s.bandTable[0].name, "Альфа");
  EXPECT_EQ(s.bandTable[0].low, "8.");
  EXPECT_EQ(s.bandTable[0].high, "13.");
  EXPECT_EQ(s.bandTable[1].name, "Beta");
  EXPECT_EQ(s.displayFlags, 17);

  ASSERT_TRUE(writeChannelSettings(path, s));
  EXPECT_EQ(readBytes(path).size(), 1058u);
  StudyState r;
  ASSERT_TRUE(readChannelSettings(path, r, ui));
  EXPECT_EQ(r.channelNames[31], s.channelNames[31]);
  EXPECT_EQ(r.channelNames[40], "Zz");
  EXPECT_EQ(r.leadPairs[31], s.leadPairs[31]);
  EXPECT_EQ(r.bandTable[0].name, "Альфа");
  EXPECT_EQ(r.displayFlags, 17);
  EXPECT_TRUE(ui.messages.empty());
}

TEST(ChannelSettings, ZeroEpochValueSetsBothTo256) {
  struct Case {
    int length, step;
  } cases[] = {{512, 0}, {0, 128}, {0, 0}};
  for (const auto& c : cases) {
    TempDir d;
    StudyState s;
    fillChannelSettings(s, d.path() + "/");
    s.epochLength = c.length;
    s.epochStep = c.step;
    ASSERT_TRUE(writeChannelSettings(d.file("e.cai"), s));
    StudyState r;
    ScriptedInteraction ui;
    ASSERT_TRUE(readChannelSettings(d.file("e.cai"), r, ui));
    EXPECT_EQ(r.epochLength, 256) << c.length << "/" << c.step;
    EXPECT_EQ(r.epochStep, 256) << c.length << "/" << c.step;
  }
}

TEST(ChannelSettings, ReservedBytes) {
  TempDir d;
  StudyState s;
  fillChannelSettings(s, d.path() + "/");
  s.programDir = d.path() + "/";
  const std::string main = d.file(kChannelSettingsFile);

  // a missing "cai.ini" is created, with zero reserved bytes
  ASSERT_TRUE(writeChannelSettings(main, s));
  EXPECT_EQ(readBytes(main).substr(0, 2), std::string(2, '\0'));
  // a new file takes them from programDir's "cai.ini"
  std::string raw = readBytes(main);
  raw[0] = '\xAB';
  raw[1] = '\xCD';
  writeBytes(main, raw);
  ASSERT_TRUE(writeChannelSettings(d.file("copy.cai"), s));
  EXPECT_EQ(readBytes(d.file("copy.cai")).substr(0, 2), "\xAB\xCD");
  // rewriting "cai.ini" (any letter case, any folder) keeps its own
  TempDir other;
  writeBytes(other.file("CAI.INI"), "\x01\x02" + raw.substr(2));
  s.epochCount = 99;
  ASSERT_TRUE(writeChannelSettings(other.file("CAI.INI"), s));
  const std::string again = readBytes(other.file("CAI.INI"));
  EXPECT_EQ(again.substr(0, 2), "\x01\x02");
  EXPECT_EQ(again.size(), 1058u);
  ASSERT_TRUE(writeChannelSettings(main, s));
  EXPECT_EQ(readBytes(main).substr(0, 2), "\xAB\xCD");
  // without any "cai.ini" a new file gets zeros
  std::filesystem::remove(main);
  ASSERT_TRUE(writeChannelSettings(d.file("fresh.cai"), s));
  EXPECT_EQ(readBytes(d.file("fresh.cai")).substr(0, 2), std::string(2, '\0'));
}

TEST(ChannelSettings, DataDirFallsBackToCurrentDirectory) {
  TempDir d;
  std::filesystem::create_directory(d.file("data"));
  writeBytes(d.file("plain"), "x");
  const std::string longDir = d.path() + "/" + std::string(60, 'x');
  std::filesystem::create_directory(longDir);
  struct Case {
    std::string stored;
    std::string expected;
  } cases[] = {
      {d.file("data"), d.file("data") + "/"},
      {d.file("data") + "/", d.file("data") + "/"},
      {d.file("gone") + "/", cwdWithSlash()},
      {d.file("plain"), cwdWithSlash()},  // a file, not a directory
      {"C:\\VELOR\\DATA\\", cwdWithSlash()},
      {"", cwdWithSlash()},
      {longDir + "/", cwdWithSlash()},  // would be cut: stored blank
  };
  for (const auto& c : cases) {
    StudyState s;
    fillChannelSettings(s, c.stored);
    ASSERT_TRUE(writeChannelSettings(d.file("dir.cai"), s));
    StudyState r;
    ScriptedInteraction ui;
    ASSERT_TRUE(readChannelSettings(d.file("dir.cai"), r, ui));
    EXPECT_EQ(r.dataDir, c.expected) << c.stored;
  }
}

TEST(ChannelSettings, FileTooShortForItsLayoutChangesNothing) {
  TempDir d;
  StudyState good;
  fillChannelSettings(good, d.path() + "/");
  ASSERT_TRUE(writeChannelSettings(d.file("good.cai"), good));
  const std::string full = readBytes(d.file("good.cai"));
  for (std::size_t size : {0u, 2u, 801u, 811u, 1057u}) {
    writeBytes(d.file("bad.cai"), full.substr(0, size));
    StudyState s;
    const std::string dirBefore = s.dataDir;
    ScriptedInteraction ui;
    EXPECT_FALSE(readChannelSettings(d.file("bad.cai"), s, ui)) << size;
    ASSERT_EQ(ui.messages.size(), 1u) << size;
    EXPECT_EQ(ui.messages[0].rfind(kInterruptPrefix, 0), 0u) << ui.messages[0];
    EXPECT_EQ(s.dataDir, dirBefore);
    EXPECT_EQ(s.epochLength, 256);
    EXPECT_EQ(s.epochCount, 4);
    EXPECT_EQ(s.channelNames[0], "");
    EXPECT_EQ(s.displayFlags, 3);
  }
  // longer than its layout is fine: the rest is not part of it
  writeBytes(d.file("long.cai"), full + "tail");
  StudyState s;
  ScriptedInteraction ui;
  EXPECT_TRUE(readChannelSettings(d.file("long.cai"), s, ui));
  EXPECT_EQ(s.epochLength, 512);
  // a missing file is no failure to report, a directory is
  EXPECT_FALSE(readChannelSettings(d.file("none.cai"), s, ui));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(readChannelSettings(d.path(), s, ui));
  EXPECT_EQ(ui.messages.size(), 1u);
}

TEST(ChannelSettings, ValuesBeyondTheStateAreLimited) {
  TempDir d;
  StudyState good;
  fillChannelSettings(good, d.path() + "/");
  ASSERT_TRUE(writeChannelSettings(d.file("h.cai"), good));
  std::string raw = readBytes(d.file("h.cai"));
  raw[312] = '\xFF';                       // leadPairCount
  raw[313] = '\xFF', raw[314] = '\xFF';   // epochLength 65535
  raw[315] = '\x00', raw[316] = '\x90';   // epochStep 36864
  raw[575] = '\xC8';                       // bandCount 200
  raw.replace(576, 6, std::string("ab\0cd ", 6));  // a code 0 ends a cell
  writeBytes(d.file("h.cai"), raw);
  StudyState s;
  s.currentBand = 40;
  ScriptedInteraction ui;
  ASSERT_TRUE(readChannelSettings(d.file("h.cai"), s, ui));
  EXPECT_EQ(s.leadPairCount, kMaxLeadPairs);
  EXPECT_EQ(s.epochLength, kMaxSamples);
  EXPECT_EQ(s.epochStep, kMaxSamples);
  EXPECT_EQ(s.bandCount, kBandRows);
  EXPECT_EQ(s.currentBand, 0);
  EXPECT_EQ(s.bandTable[0].name, "ab");
}

// ---------------------------------------------------------------- examination header

TEST(ExamHeader, FieldsAreCutPaddedAndTrimmed) {
  std::string h(kHeaderChars, ' ');
  setHeaderField(h, false, 1, "Проба с открыванием глаз номер 5");  // 32 characters
  setHeaderField(h, false, 2, "  Норма ");
  EXPECT_EQ(headerField(h, false, 1), "Проба с открыванием глаз номер");
  EXPECT_EQ(headerField(h, false, 2), "Норма");
  EXPECT_EQ(utf8Length(h), static_cast<std::size_t>(kHeaderChars));

  const std::string test35 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ123456789";
  setHeaderField(h, false, 1, test35);
  EXPECT_EQ(headerField(h, false, 1), test35.substr(0, 30));
  EXPECT_EQ(headerField(h, false, 2), "Норма");  // the neighbour is untouched

  // an empty or odd-sized header becomes exactly 162 characters
  std::string e;
  setHeaderField(e, true, 7, "Фон");
  EXPECT_EQ(utf8Length(e), static_cast<std::size_t>(kHeaderChars));
  EXPECT_EQ(headerField(e, true, 7), "Фон");
  std::string longer(200, 'x');
  setHeaderField(longer, false, 6, "Ж");
  EXPECT_EQ(utf8Length(longer), static_cast<std::size_t>(kHeaderChars));
  EXPECT_EQ(headerField("short", false, 3), "");
  EXPECT_EQ(headerField(h, false, 8), "");
  EXPECT_EQ(headerField(h, true, 0), "");
}

TEST(ExamHeader, LayoutsTileTheHeaderInOrder) {
  // every field filled to its width with its own letter: the header must read
  // as the fields one after another, then blanks
  for (bool group : {false, true}) {
    std::string h;
    std::string expected;
    for (int f = 1; f <= headerFieldCount(group); ++f) {
      const HeaderFieldSpan span = headerFieldSpan(group, f);
      const std::string letter = utf8Substr("АБВГДЕЖ", static_cast<std::size_t>(f - 1), 1);
      std::string value;
      for (int k = 0; k < span.width + 5; ++k) value += letter;
      setHeaderField(h, group, f, value);
      EXPECT_EQ(static_cast<int>(utf8Length(expected)), span.first - 1) << group << f;
      expected += utf8Substr(value, 0, static_cast<std::size_t>(span.width));
    }
    EXPECT_EQ(utf8Length(expected), group ? 160u : 139u);
    expected = utf8Fit(expected, kHeaderChars);
    EXPECT_EQ(h, expected) << group;
  }
}

TEST(ExamHeader, GroupModeReinterpretsTheSameCharacters) {
  StudyState s;
  const std::string name = "Константинопольский Аристарх И";  // 30 characters
  ASSERT_EQ(utf8Length(name), 30u);
  setHeaderField(s.examHeader, false, 3, name);
  EXPECT_EQ(headerField(s, 3), name);
  s.groupMode = 1;
  EXPECT_EQ(headerField(s, 4), "Константинопольский");
  EXPECT_EQ(headerField(s, 5), "Аристарх И");
  EXPECT_EQ(utf8Length(s.examHeader), static_cast<std::size_t>(kHeaderChars));
}

TEST(ExamHeader, PatientNameEndsAtCodeZero) {
  std::string h(kHeaderChars, ' ');
  setHeaderField(h, false, 3, "Иванов");
  setHeaderField(h, false, 7, "Диагноз");
  // a file may carry a code 0 inside the name
  h = utf8Substr(h, 0, 62) + std::string(1, '\0') + "мусор" + utf8Substr(h, 68);
  ASSERT_EQ(utf8Length(h), static_cast<std::size_t>(kHeaderChars));
  EXPECT_EQ(headerField(h, false, 3), "Ив");
  EXPECT_EQ(headerField(h, false, 7), "Диагноз");
  // a code 0 put in by a caller is stored as a blank
  setHeaderField(h, false, 3, std::string("Пе") + '\0' + "тров");
  EXPECT_EQ(headerField(h, false, 3), "Пе тров");
}

// ---------------------------------------------------------------- header history

TEST(HeaderHistoryFiles, RoundTripInterleavesTheLists) {
  TempDir d;
  HeaderHistory h = defaultHeaderHistory();
  for (int k = 0; k < 4; ++k) h.lists[static_cast<std::size_t>(k)][1] = "пункт " + std::to_string(k);
  h.lists[3][49] = "Последний Пациент";
  h.groupTests[19] = "Последняя проба";
  h.groupPatients = {"Антонов", "Борисова"};
  ASSERT_TRUE(writeHeaderHistory(d.path(), h));

  const auto q = readTextLines(d.file("qhead.ini"));
  ASSERT_TRUE(q.has_value());
  ASSERT_EQ(q->size(), 220u);
  for (int k = 0; k < 4; ++k) EXPECT_EQ((*q)[static_cast<std::size_t>(4 + k)], "пункт " + std::to_string(k));
  EXPECT_EQ((*q)[199], "Последний Пациент");
  EXPECT_EQ((*q)[219], "Последняя проба");
  EXPECT_EQ(readBytes(d.file("head-sp.ini")), "\xC0\xED\xF2\xEE\xED\xEE\xE2\r\n\xC1\xEE\xF0\xE8\xF1\xEE\xE2\xE0\r\n");

  HeaderHistory r = defaultHeaderHistory();
  r.groupPatients.clear();
  ASSERT_TRUE(readHeaderHistory(d.path(), r));
  EXPECT_EQ(r.lists, h.lists);
  EXPECT_EQ(r.groupTests, h.groupTests);
  EXPECT_EQ(r.groupPatients, h.groupPatients);
}

TEST(HeaderHistoryFiles, MissingOrShortFilesKeepPlaceholders) {
  TempDir d;
  const HeaderHistory def = defaultHeaderHistory();
  for (const auto& list : def.lists) EXPECT_EQ(list.size(), static_cast<std::size_t>(kHistoryItems));
  EXPECT_EQ(def.groupTests.size(), static_cast<std::size_t>(kGroupTestItems));
  EXPECT_FALSE(def.lists[0][0].empty());

  HeaderHistory h = def;
  EXPECT_FALSE(readHeaderHistory(d.path(), h));
  EXPECT_EQ(h.lists, def.lists);
  EXPECT_EQ(h.groupTests, def.groupTests);
  EXPECT_EQ(h.groupPatients, def.groupPatients);

  // a short "qhead.ini" fills what it has; head-sp.ini keeps at most 50 names
  writeBytes(d.file("qhead.ini"), "T0\r\nG0\r\nD0\r\nP0\r\nT1\r\n");
  std::string many;
  for (int i = 0; i < 60; ++i) many += "N" + std::to_string(i) + "\r\n";
  writeBytes(d.file("head-sp.ini"), many);
  EXPECT_FALSE(readHeaderHistory(d.path(), h));
  EXPECT_EQ(h.lists[0][0], "T0");
  EXPECT_EQ(h.lists[3][0], "P0");
  EXPECT_EQ(h.lists[0][1], "T1");
  EXPECT_EQ(h.lists[1][1], def.lists[1][1]);
  EXPECT_EQ(h.groupTests, def.groupTests);
  ASSERT_EQ(h.groupPatients.size(), 50u);
  EXPECT_EQ(h.groupPatients[49], "N49");
}

}  // namespace
}  // namespace velor
