#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "core/text.h"
#include "interchange/file_browser.h"
#include "test_support.h"

namespace velor {
namespace {

using test::TempDir;

struct HeaderSpec {
  std::string test, group, name, code, birth, diagnosis;
};

std::string standardHeader(const HeaderSpec& h) {
  std::string header(kHeaderChars, ' ');
  setHeaderField(header, false, 1, h.test);
  setHeaderField(header, false, 2, h.group);
  setHeaderField(header, false, 3, h.name);
  setHeaderField(header, false, 4, h.code);
  setHeaderField(header, false, 5, h.birth);
  setHeaderField(header, false, 7, h.diagnosis);
  return header;
}

// A sound "CA40" record file of one record, byte by byte, so that the date
// of writing can be chosen.
std::string cadBytes(const std::string& headerUtf8, int fileDate, int channels = 2, int n = 4) {
  ByteWriter w;
  w.bytes("CA40");
  w.text(utf8ToCp1251(headerUtf8), kHeaderChars);
  for (int i = 0; i < 64; ++i) w.text(i < channels ? "C" + std::to_string(i) : "", 4);
  w.i32(fileDate);
  w.u16(1087);
  w.u8(0);
  w.u8(0);
  w.u8(static_cast<unsigned>(channels));
  w.u16(100);
  w.u8(0);
  w.i16(1);
  for (int i = 0; i < 64; ++i) w.u16(2048);
  for (int i = 0; i < 64; ++i) w.u16(2047);
  w.zeros(256);
  w.u8(1);
  w.u8(1);
  w.u16(static_cast<unsigned>(n));
  w.u8(static_cast<unsigned>(n));
  w.u8(0);
  w.zeros(5);
  for (int i = 0; i < 64; ++i) w.u16(100);
  EXPECT_EQ(w.size(), 1087u);
  w.u16(static_cast<unsigned>(n));
  w.u16(static_cast<unsigned>(n));
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < n; ++i) w.i16(2048 + i);
  w.i32(0);
  w.u16(static_cast<unsigned>(n));
  return w.data();
}

// An old "CA15" file: three 54-byte texts (test, patient, diagnosis), one
// byte per sample.
std::string ca15Bytes(const std::string& test, const std::string& patient, const std::string& diagnosis) {
  ByteWriter w;
  w.bytes("CA15");
  for (const auto& t : {test, patient, diagnosis}) w.text(utf8ToCp1251(t), 54);
  for (int i = 0; i < 32; ++i) w.text(i < 1 ? "O1" : "", 4);
  w.zeros(3);  // date
  w.u16(606);
  w.u8(0);
  w.u8(0);
  w.u8(1);
  w.u16(100);
  w.u8(0);
  w.i16(1);
  for (int i = 0; i < 32; ++i) w.u16(128);
  for (int i = 0; i < 32; ++i) w.u16(128);
  w.zeros(128);
  w.u8(1);
  w.u8(1);
  w.u16(4);
  w.u8(4);
  w.u8(0);
  w.zeros(5);
  for (int i = 0; i < 16; ++i) w.u16(100);
  EXPECT_EQ(w.size(), 606u);
  w.u16(4);
  w.u16(4);
  for (int i = 0; i < 4; ++i) w.u8(128);
  w.i32(0);
  w.u16(4);
  return w.data();
}

void writeCad(const std::string& path, const HeaderSpec& h, int fileDate, int channels = 2) {
  test::writeBytes(path, cadBytes(standardHeader(h), fileDate, channels));
}

std::vector<std::string> column(const FileBrowser& b, std::size_t c) {
  std::vector<std::string> out;
  for (const auto& r : b.rows()) out.push_back(c < r.cells.size() ? r.cells[c] : std::string("<none>"));
  return out;
}

// A study state whose settings and data live in one temporary directory.
struct Fixture {
  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  Fixture() {
    s.programDir = dir.path() + "/";
    s.dataDir = dir.path() + "/";
  }
  std::string file(const std::string& name) const { return dir.file(name); }
};

const std::string kRecordFilter = fileKindFilter(FileKind{0}, false);

// --- filters -----------------------------------------------------------------------

TEST(FileFilters, ParsesCaptionsAndMasks) {
  const auto items = parseFilter(kRecordFilter);
  ASSERT_EQ(items.size(), 10u);
  EXPECT_EQ(items[0].caption, "Записи (*.cad)");
  EXPECT_EQ(items[0].masks, std::vector<std::string>{"*.cad"});
  EXPECT_EQ(items[4].caption, "Текстовые (*.*)");
  EXPECT_EQ(items[4].masks, std::vector<std::string>{"*.*"});
  EXPECT_EQ(items[7].masks, std::vector<std::string>{"*.cnt"});
  // every format the readers take has an item
  EXPECT_EQ(items[8].caption, "BDF (*.bdf)");
  EXPECT_EQ(items[8].masks, std::vector<std::string>{"*.bdf"});
  EXPECT_EQ(items[9].masks, std::vector<std::string>{"*.udf"});

  struct Case {
    std::string filter;
    std::size_t count;
    std::string firstCaption;
    std::vector<std::string> firstMasks;
  };
  const Case cases[] = {
      {fileKindFilter(FileKind{15}, false), 1, "Записи (*.cad)", {"*.cad"}},  // trailing "|"
      {fileKindFilter(FileKind{22}, true), 1, " Сетка пар отведений(*.csg)", {"*.csg"}},
      {"Обе (*.eeg;*.ee)|*.eeg;*.ee", 1, "Обе (*.eeg;*.ee)", {"*.eeg", "*.ee"}},
      {"Без маски", 1, "Без маски", {"*.*"}},
      {"", 0, "", {}},
      {"||||", 0, "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    const auto got = parseFilter(c.filter);
    ASSERT_EQ(got.size(), c.count);
    if (c.count == 0) continue;
    EXPECT_EQ(got[0].caption, c.firstCaption);
    EXPECT_EQ(got[0].masks, c.firstMasks);
  }
}

TEST(FileFilters, MasksMatchAndGiveExtensions) {
  struct Case {
    const char* mask;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*.cad", "a.cad", true},     {"*.cad", "A.CAD", true},     {"*.cad", "a.cad.txt", false},
      {"*.cad", "cad", false},      {"*.cad", "x.cadx", false},   {"*.*", "README", true},
      {"*.*", "a.b.c", true},       {"*.e?", "x.ee", true},       {"*.e?", "x.e", false},
      {"st*.mc", "St12.mc", true},  {"*.ee", "a.eeg", false},     {"*", "", true},
  };
  for (const auto& c : cases) EXPECT_EQ(maskMatches(c.mask, c.name), c.match) << c.mask << " " << c.name;

  EXPECT_EQ(maskExtension("*.cad"), ".cad");
  EXPECT_EQ(maskExtension("*.ee"), ".ee");
  EXPECT_EQ(maskExtension("*.*"), "");
  EXPECT_EQ(maskExtension("*"), "");
}

// What the file window lists for a kind, in the folder a person keeps every
// kind of file in: each filter item shows only its own files, the transform
// view saves only transform results, and a kind that can only be opened (or
// only saved) shows no window the other way.
TEST(FileFilters, EachKindListsOnlyItsOwnFiles) {
  Fixture f;
  for (const char* n : {"a.cad", "b.edf", "c.cam", "d.bmp", "e.txt", "f.cai", "g.dia", "h.cab"})
    test::writeBytes(f.file(n), "x");
  auto listed = [&](FileKind kind, bool save, bool transformView, int item) {
    FileBrowser b(f.s, f.ui);
    b.ini(save ? 1 : 0, fileKindFilter(kind, save, transformView), "");
    b.setFilterItem(item);
    std::vector<std::string> names;
    for (const auto& r : b.rows()) names.push_back(r.fileName);
    return names;
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(listed(FileKind::Records, false, false, 0), Names{"a.cad"});
  EXPECT_EQ(listed(FileKind::Records, false, false, 2), Names{"b.edf"});
  EXPECT_EQ(listed(FileKind::Maps, false, false, 0), Names{"c.cam"});
  EXPECT_EQ(listed(FileKind::Maps, true, false, 1), Names{"d.bmp"});  // a map is also saved as a picture
  EXPECT_EQ(listed(FileKind::ChannelSettings, false, false, 0), Names{"f.cai"});
  EXPECT_EQ(listed(FileKind::FrequencyBands, true, false, 0), Names{"g.dia"});
  EXPECT_EQ(listed(FileKind::Notebook, false, false, 0), Names{"h.cab"});
  EXPECT_EQ(listed(FileKind::SpectralParameters, false, false, 0), Names{"e.txt"});

  // The transform view saves its results, never a recording in another format.
  const auto saveItems = parseFilter(fileKindFilter(FileKind::Records, true, true));
  for (const auto& item : saveItems)
    for (const auto& mask : item.masks) EXPECT_NE(mask, "*.edf") << item.caption;
  EXPECT_LT(saveItems.size(), parseFilter(fileKindFilter(FileKind::Records, true)).size());
  EXPECT_EQ(fileKindFilter(FileKind::Maps, true, true), fileKindFilter(FileKind::Maps, true));

  // No window for a direction the kind does not have, nor for an unknown kind.
  for (const auto& [kind, save] : {std::pair{FileKind::SideWindow, false}, std::pair{FileKind::GraphText, false},
                                   std::pair{FileKind::ExamHeader, true}, std::pair{FileKind::SpectralParameters, true},
                                   std::pair{FileKind{14}, false}})  // 14 names no kind
    EXPECT_EQ(fileKindFilter(kind, save), "") << fileKindNumber(kind) << (save ? " save" : " open");
}

// --- listing -----------------------------------------------------------------------------

TEST(FileListing, FilterMaskHidesExtensionsExceptForAllFiles) {
  TempDir d;
  for (const char* n : {"b.cad", "A.CAD", "notes.txt", "README"}) test::writeBytes(d.file(n), "x");
  std::filesystem::create_directory(d.file("sub.cad"));

  auto cad = listFiles(d.path() + "/", {"*.cad"});
  ASSERT_EQ(cad.size(), 2u);
  EXPECT_EQ(cad[0].fileName, "A.CAD");
  EXPECT_EQ(cad[0].shown, "A");
  EXPECT_EQ(cad[1].shown, "b");

  auto all = listFiles(d.path() + "/", {"*.*"});
  std::vector<std::string> shown;
  for (const auto& e : all) shown.push_back(e.shown);
  EXPECT_EQ(shown, (std::vector<std::string>{"A.CAD", "b.cad", "notes.txt", "README"}));

  EXPECT_TRUE(listFiles(d.file("missing") + "/", {"*.*"}).empty());
}

TEST(FileListing, MountTableKeepsVolumesOnly) {
  const std::string mounts =
      "proc /proc proc rw 0 0\n"
      "sysfs /sys sysfs rw 0 0\n"
      "/dev/sda1 / ext4 rw 0 0\n"
      "tmpfs /run/user/1000 tmpfs rw 0 0\n"
      "/dev/sda2 /home ext4 rw 0 0\n"
      "/dev/sdb1 /media/user/My\\040Stick vfat rw 0 0\n"
      "server:/eeg /mnt/archive nfs4 rw 0 0\n"
      "/dev/sdc1 /run/media/user/DISK exfat rw 0 0\n"
      "/dev/loop0 /snap/core/1 squashfs ro 0 0\n"
      "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
      "broken-line\n";
  const auto drives = parseMountTable(mounts);
  ASSERT_EQ(drives.size(), 4u);
  EXPECT_EQ(drives[0].path, "/home/");
  EXPECT_EQ(drives[0].kind, Drive::Fixed);
  EXPECT_EQ(drives[1].path, "/media/user/My Stick/");
  EXPECT_EQ(drives[1].label, "My Stick");
  EXPECT_EQ(drives[1].kind, Drive::Removable);
  EXPECT_EQ(drives[2].kind, Drive::Network);
  EXPECT_EQ(drives[3].path, "/run/media/user/DISK/");
  EXPECT_EQ(drives[3].kind, Drive::Removable);

  const auto real = listDrives();
  ASSERT_FALSE(real.empty());
  EXPECT_EQ(real[0].path, "/");
  EXPECT_EQ(driveOf(drives, "/media/user/My Stick/eeg"), 1);
  EXPECT_EQ(driveOf(drives, "/media/user/My Sticky"), -1);
}

// --- header column and search ---------------------------------------------------------

struct ThreeRecords : Fixture {
  ThreeRecords() {
    writeCad(file("r1.cad"), {"Фон", "Норма", "Сидоров", "17", "01.02.1990", "Здоров"}, 45000);
    writeCad(file("r2.cad"), {"Гипервентиляция", "Эпилепсия", "Абрамов", "3", "05.06.1970", "G40"}, 44000);
    writeCad(file("r3.cad"), {"Фон", "Норма", "Петров", "9", "", "Астения"}, 45500);
    test::writeBytes(file("broken.cad"), "CA40 not really a record file");
    test::writeBytes(file("other.txt"), "Текст");
  }
};

TEST(FileWindowEngine, HeaderColumnShowsChosenFieldSortedByIt) {
  ThreeRecords f;
  FileBrowser b(f.s, f.ui);
  b.ini(0, kRecordFilter, "");
  EXPECT_STREQ(b.caption(), "Чтение файла");
  EXPECT_EQ(column(b, 0), (std::vector<std::string>{"broken", "r1", "r2", "r3"}));
  EXPECT_EQ(column(b, 1), (std::vector<std::string>{"<none>", "<none>", "<none>", "<none>"}));

  struct Case {
    int field;
    std::vector<std::string> names, values;
  };
  const Case cases[] = {
      {3, {"broken", "r2", "r3", "r1"}, {"", "Абрамов", "Петров", "Сидоров"}},
      {1, {"broken", "r2", "r1", "r3"}, {"", "Гипервентиляция", "Фон", "Фон"}},
      // "Диагн" is field 7; Latin letters come before Cyrillic ones
      {6, {"broken", "r2", "r3", "r1"}, {"", "G40", "Астения", "Здоров"}},
      // the date column runs by date, not by the day of the month
      {7, {"broken", "r2", "r1", "r3"}, {"", dayCountText(44000), dayCountText(45000), dayCountText(45500)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    b.setSelectionField(c.field);
    EXPECT_EQ(column(b, 0), c.names);
    EXPECT_EQ(column(b, 1), c.values);
  }
  EXPECT_EQ(dayCountText(45000), "15.03.2023");
  EXPECT_EQ(b.columnCaptions(), (std::vector<std::string>{"Файл", "Дата"}));

  // other masks show no column
  b.setFilterItem(1);
  EXPECT_EQ(column(b, 0), std::vector<std::string>{"other"});
  EXPECT_EQ(b.rows()[0].cells.size(), 1u);
}

TEST(FileWindowEngine, HeaderColumnOfFilesFromTheProductionWriter) {
  Fixture f;
  f.s.examHeader = standardHeader({"Проба с ритмом", "", "Кузнецова", "", "", "Норма"});
  f.s.recordFileVersion = kVersionCA40;
  f.s.channelCount = 2;
  f.s.recordLength = 16;
  f.s.recordCount = 1;
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 16; ++i) f.s.channel(c)[i] = static_cast<std::int16_t>(2048 + i);
  {
    AtomicFile out(f.file("written.cad"));
    ASSERT_TRUE(out.ok());
    ASSERT_TRUE(writeHeader(f.s, out.fd()));
    ASSERT_TRUE(writeRecord(f.s, out.fd()));
    ASSERT_TRUE(out.commit());
  }
  FileBrowser b(f.s, f.ui);
  b.ini(0, kRecordFilter, "");
  b.setSelectionField(3);
  ASSERT_EQ(b.rows().size(), 1u);
  EXPECT_EQ(b.rows()[0].cells, (std::vector<std::string>{"written", "Кузнецова"}));
  b.setSelectionField(7);
  EXPECT_EQ(b.rows()[0].cells[1], dayCountText(todayAsDays()));
  b.clickRow(0);
  EXPECT_EQ(b.comment, "Проба с ритмом  Кузнецова Норма");
}

TEST(FileWindowEngine, SearchKeepsFilesWhoseHeaderHoldsTheText) {
  ThreeRecords f;
  FileBrowser b(f.s, f.ui);
  b.ini(0, kRecordFilter, "");
  struct Case {
    std::string text;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"Фон", {"r1", "r3"}},
      {"  Норма ", {"r1", "r3"}},  // the text is trimmed
      {"норма", {}},               // case matters
      {"Абрамов", {"r2"}},
      {"нет такого", {}},
      {"", {"broken", "r1", "r2", "r3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    b.setSearch(c.text, 0);
    EXPECT_EQ(column(b, 0), c.names);
  }
}

TEST(FileWindowEngine, CommentShowsHeaderOrLeadingTextAndBecomesTheHeader) {
  ThreeRecords f;
  test::writeBytes(f.file("plan.cap"), utf8ToCp1251("Мой план") + std::string("\0\x01\xFF", 3) + std::string(300, 'z'));
  FileBrowser b(f.s, f.ui);
  b.ini(0, "Все (*.*)|*.*", "");
  const auto names = column(b, 0);
  const auto at = [&](const std::string& n) {
    return static_cast<int>(std::find(names.begin(), names.end(), n) - names.begin());
  };
  b.clickRow(at("r2.cad"));
  EXPECT_EQ(b.comment, "Гипервентиляция Эпилепсия Абрамов G40");
  EXPECT_NE(b.filePanel.find("r2.cad"), std::string::npos);
  b.clickRow(at("broken.cad"));
  EXPECT_EQ(b.comment, "");
  b.clickRow(at("plan.cap"));
  EXPECT_EQ(utf8Length(b.comment), static_cast<std::size_t>(kHeaderChars));
  EXPECT_EQ(b.comment.rfind("Мой план", 0), 0u);
  EXPECT_EQ(b.comment.find('\0'), std::string::npos);

  // an edited comment becomes the header when a file other than a record file is chosen
  b.comment = "Новый комментарий";
  b.commentEdited = true;
  ASSERT_TRUE(b.activateRow(at("other.txt")));
  EXPECT_EQ(f.s.dialogResult, 1);
  EXPECT_EQ(f.s.chosenFilePath, f.file("other.txt"));
  EXPECT_EQ(utf8Length(f.s.examHeader), static_cast<std::size_t>(kHeaderChars));
  EXPECT_EQ(trimSpaces(f.s.examHeader), "Новый комментарий");
}

// --- choosing ---------------------------------------------------------------------------------

TEST(FileWindowEngine, ChoosingGivesTheFullPath) {
  ThreeRecords f;
  test::writeBytes(f.file("two.dots.cad"), cadBytes(standardHeader({}), 45000));
  FileBrowser b(f.s, f.ui);

  // read mode: the file under the cursor, whatever its name holds
  b.ini(0, kRecordFilter, "");
  const auto names = column(b, 0);
  const int twoDots = static_cast<int>(std::find(names.begin(), names.end(), "two.dots") - names.begin());
  ASSERT_LT(twoDots, static_cast<int>(names.size()));
  EXPECT_TRUE(b.accept(twoDots));
  EXPECT_EQ(f.s.dialogResult, 1);
  EXPECT_EQ(f.s.chosenFilePath, f.file("two.dots.cad"));
  b.close();
  EXPECT_EQ(f.s.dataDir, f.dir.path() + "/");

  // write mode: the name field, with the mask's extension when it has none
  struct Case {
    std::string filter, name, path;
  };
  const Case cases[] = {
      {kRecordFilter, "new", f.file("new.cad")},
      {kRecordFilter, " spaced ", f.file("spaced.cad")},
      {kRecordFilter, "out.txt", f.file("out.txt")},
      {"Все (*.*)|*.*", "plain", f.file("plain")},
      {fileKindFilter(FileKind{21}, true), "bands", f.file("bands.dia")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    b.ini(1, c.filter, "default.cad");
    EXPECT_STREQ(b.caption(), "Запись файла");
    EXPECT_EQ(b.nameField, "default");
    b.nameField = c.name;
    EXPECT_TRUE(b.accept(-1));
    EXPECT_EQ(f.s.dialogResult, 1);
    EXPECT_EQ(f.s.chosenFilePath, c.path);
  }

  // write mode: a file under the cursor only fills the name field
  b.ini(1, kRecordFilter, "");
  EXPECT_FALSE(b.activateRow(twoDots));
  EXPECT_EQ(b.nameField, "two.dots.cad");
  EXPECT_FALSE(b.activateRow(1));
  EXPECT_EQ(b.nameField, "r1");
  EXPECT_EQ(b.comment, "Фон Норма Сидоров Здоров");
  EXPECT_TRUE(f.ui.messages.empty());
}

TEST(FileWindowEngine, NoNameIsRefusedAndNothingIsChosen) {
  ThreeRecords f;
  FileBrowser b(f.s, f.ui);
  for (const std::string name : {"", "   ", ".cad"}) {
    f.s.chosenFilePath = "before";
    b.ini(1, kRecordFilter, "");
    b.nameField = name;
    EXPECT_TRUE(b.accept(-1));  // the window closes
    EXPECT_EQ(f.s.dialogResult, 0);
    EXPECT_EQ(f.s.chosenFilePath, "before");
  }
  b.ini(0, kRecordFilter, "");
  EXPECT_TRUE(b.accept(-1));
  EXPECT_EQ(f.s.dialogResult, 0);
  ASSERT_EQ(f.ui.messages.size(), 4u);
  EXPECT_EQ(f.ui.messages[0], "!НЕ УКАЗАН ФАЙЛ!");
}

// --- deleting ------------------------------------------------------------------------------------

TEST(FileWindowEngine, DeletingAsksFirst) {
  ThreeRecords f;
  FileBrowser b(f.s, f.ui);
  b.ini(0, kRecordFilter, "");
  f.ui.yesNoScript = {false, true};
  EXPECT_FALSE(b.deleteRow(1));
  EXPECT_TRUE(fileExists(f.file("r1.cad")));
  EXPECT_EQ(f.s.dialogResult, 0);
  EXPECT_TRUE(b.deleteRow(1));
  EXPECT_FALSE(fileExists(f.file("r1.cad")));
  EXPECT_EQ(f.ui.questions, (std::vector<std::string>{"Удалить файл r1.cad ?", "Удалить файл r1.cad ?"}));
  EXPECT_EQ(column(b, 0), (std::vector<std::string>{"broken", "r2", "r3"}));
  EXPECT_EQ(f.s.dialogResult, -1);
  b.cancel();  // leaving afterwards still tells the caller a record file went
  EXPECT_EQ(f.s.dialogResult, -1);
  EXPECT_FALSE(b.deleteRow(99));
}

TEST(FileWindowEngine, DeletingTheOpenRecordFileClosesIt) {
  ThreeRecords f;
  ASSERT_TRUE(openRecordFile(f.s, f.file("r2.cad"), f.ui)) << (f.ui.messages.empty() ? "" : f.ui.messages[0]);
  ASSERT_GE(f.s.recordFileHandle, 0);
  FileBrowser b(f.s, f.ui);
  b.ini(0, kRecordFilter, "");
  f.ui.answerYes = true;

  ASSERT_TRUE(b.deleteRow(3));  // r3: the open file stays open
  EXPECT_GE(f.s.recordFileHandle, 0);
  ASSERT_EQ(column(b, 0)[2], "r2");
  ASSERT_TRUE(b.deleteRow(2));
  EXPECT_LT(f.s.recordFileHandle, 0);
  EXPECT_FALSE(fileExists(f.file("r2.cad")));
}

// --- "fmn.ini" ---------------------------------------------------------------------------------------

TEST(FileWindowEngine, ChoicesSurviveInFmnIni) {
  ThreeRecords f;
  {
    FileBrowser b(f.s, f.ui);
    b.ini(0, kRecordFilter, "");
    b.setSelectionField(3);
    b.setSearch("Фон", 2);
    b.close();
    b.ini(1, kRecordFilter, "");
    b.setFilterItem(1);
    b.close();
  }
  const auto lines = readTextLines(f.file("fmn.ini"));
  ASSERT_TRUE(lines.has_value());
  ASSERT_EQ(lines->size(), 25u);
  EXPECT_EQ((*lines)[2], "Фон");
  EXPECT_EQ((*lines)[20], "Фон");
  EXPECT_EQ((*lines)[21], "3");
  EXPECT_EQ((*lines)[22], "0");
  EXPECT_EQ((*lines)[23], "1");
  EXPECT_EQ((*lines)[24], "0");

  FileBrowser fresh(f.s, f.ui);
  fresh.ini(0, kRecordFilter, "");
  EXPECT_EQ(fresh.selectionField(), 3);
  EXPECT_EQ(fresh.searchPattern(), "Фон");
  EXPECT_EQ(fresh.searchItems()[2], "Фон");
  EXPECT_EQ(column(fresh, 0), (std::vector<std::string>{"r3", "r1"}));  // by patient name
  fresh.ini(1, kRecordFilter, "");
  EXPECT_EQ(fresh.filterItem(), 1);
}

TEST(FileWindowEngine, DamagedFmnIniKeepsDefaults) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"short", "a\r\nb\r\n"},
      {"garbage numbers", std::string(21, '\n') + "99\n-5\n1e99\n999999999999\n"},
      {"binary", std::string("\0\xFF\x01\r\r\n", 6) + std::string(5000, '\xC0')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ThreeRecords f;
    test::writeBytes(f.file("fmn.ini"), c.bytes);
    FileBrowser b(f.s, f.ui);
    b.ini(0, kRecordFilter, "");
    EXPECT_GE(b.selectionField(), 0);
    EXPECT_LE(b.selectionField(), 7);
    EXPECT_EQ(b.filterItem(), 0);
    EXPECT_EQ(b.cardMode(), kCardOff);
    EXPECT_EQ(b.rows().size(), 4u);
    b.close();
    EXPECT_EQ(readTextLines(f.file("fmn.ini"))->size(), 25u);
  }
}

// --- card index ---------------------------------------------------------------------------------------

std::vector<std::string> ctgLines(const std::string& path) {
  std::string bytes = test::readBytes(path);
  std::vector<std::string> out;
  std::size_t p = 0;
  while (p < bytes.size()) {
    const auto e = bytes.find("\r\n", p);
    EXPECT_NE(e, std::string::npos) << "lines end with CR LF";
    if (e == std::string::npos) break;
    out.push_back(cp1251ToUtf8(bytes.substr(p, e - p)));
    p = e + 2;
  }
  return out;
}

struct Archive : Fixture {
  Archive() {
    writeCad(file("b_late.cad"), {"Фон", "Дети", "Иванов Иван", "12", "01.01.2010", "Норма"}, 45100);
    writeCad(file("a_early.cad"), {"ГВ", "Дети", "Иванов Иван", "12", "01.01.2010", "Эпилепсия"}, 45000);
    writeCad(file("c.cad"), {"Фон", "Взрослые", "Иванова Анна", "7", "02.02.1980", ""}, 44900);
    writeCad(file("a_very_long_file_name.cad"), {"Сон", "", "Абрамов", "", "", ""}, 44000);
    test::writeBytes(file("junk.cad"), "CA40");
    test::writeBytes(file("old.cad"), ca15Bytes("Фон", "Старый Пациент", "Норма"));
  }
};

TEST(CardIndexFiles, LayoutOfBothFiles) {
  Archive f;
  CardIndex index;
  const auto files = listFiles(f.dir.path() + "/", {"*.cad"});
  std::vector<std::string> names;
  for (const auto& e : files) names.push_back(e.fileName);
  ASSERT_TRUE(buildCardIndex(f.dir.path(), names, false, f.ui, index));

  const auto base1 = ctgLines(f.file("base1.ctg"));
  const auto base0 = ctgLines(f.file("base0.ctg"));
  ASSERT_EQ(base0.size(), 3u);
  ASSERT_EQ(base1.size(), 4u);
  auto fit = [](const std::string& s, int w) { return utf8Fit(s, static_cast<std::size_t>(w)); };
  // patients by name; one patient's records by date
  EXPECT_EQ(base1[0], fit("Сон", 30) + fit("", 30) + "a_very_long_44000  1a_very_long_file_name");
  EXPECT_EQ(base1[1], fit("ГВ", 30) + fit("Эпилепсия", 30) + "a_early     45000  2");
  EXPECT_EQ(base1[2], fit("Фон", 30) + fit("Норма", 30) + "b_late      45100  2");
  EXPECT_EQ(base1[3], fit("Фон", 30) + fit("", 30) + "c           44900  3");
  EXPECT_EQ(base0[0], fit("", 30) + fit("Абрамов", 30) + fit("", 19) + "  1  1");
  EXPECT_EQ(base0[1], fit("Дети", 30) + fit("Иванов Иван", 30) + fit("12", 8) + "01.01.2010" + " " + "  2  2");
  EXPECT_EQ(base0[2], fit("Взрослые", 30) + fit("Иванова Анна", 30) + fit("7", 8) + "02.02.1980" + " " + "  4  1");

  ASSERT_EQ(index.patients.size(), 3u);
  EXPECT_EQ(index.patients[1].name, "Иванов Иван");
  EXPECT_EQ(index.patients[1].birth, "01.01.2010");
  EXPECT_EQ(index.patients[1].recordCountText, "2");
  EXPECT_EQ(index.recordsOf(1), (std::vector<int>{1, 2}));
  EXPECT_EQ(index.records[0].fileName, "a_very_long_file_name");
  EXPECT_EQ(index.records[1].dateNumber, 45000);
  // the old file shows its patient in the header column but stays out of the card index
  EXPECT_EQ(selectionValue(readFileHeaderInfo(f.file("old.cad")), false, 3), "Старый Пациент");

  // a directory with a single record file has no card index
  TempDir lonely;
  writeCad(lonely.file("one.cad"), {"Фон", "", "Один", "", "", ""}, 45000);
  CardIndex none;
  EXPECT_FALSE(buildCardIndex(lonely.path(), {"one.cad"}, false, f.ui, none));
  EXPECT_FALSE(fileExists(lonely.file("base0.ctg")));
}

TEST(CardIndexFiles, GroupLayoutHasOneLinePerPatientChannel) {
  Fixture f;
  std::string header(kHeaderChars, ' ');
  setHeaderField(header, true, 1, "Петров");
  setHeaderField(header, true, 2, "Сидоров");
  setHeaderField(header, true, 3, "Лишний");  // beyond the file's two channels
  setHeaderField(header, true, 7, "Тест группы");
  test::writeBytes(f.file("g1.cad"), cadBytes(header, 45000, 2));
  std::string other(kHeaderChars, ' ');
  setHeaderField(other, true, 1, "Петров");
  test::writeBytes(f.file("g2.cad"), cadBytes(other, 45001, 1));
  CardIndex index;
  ASSERT_TRUE(buildCardIndex(f.dir.path(), {"g1.cad", "g2.cad"}, true, f.ui, index));
  const auto base0 = ctgLines(f.file("base0.ctg"));
  const auto base1 = ctgLines(f.file("base1.ctg"));
  ASSERT_EQ(base0.size(), 2u);
  ASSERT_EQ(base1.size(), 3u);
  EXPECT_EQ(base0[0], utf8Fit("", 30) + utf8Fit("Петров", 30) + utf8Fit("", 19) + "  1  2");
  EXPECT_EQ(base0[1], utf8Fit("", 30) + utf8Fit("Сидоров", 30) + utf8Fit("", 19) + "  3  1");
  EXPECT_EQ(base1[0], utf8Fit("Тест группы", 60) + "g1          45000  1");
  EXPECT_EQ(base1[1], utf8Fit("", 60) + "g2          45001  1");
}

TEST(CardIndexFiles, OverTheLimitWarnsAndKeepsTheFirst) {
  Fixture f;
  std::string header(kHeaderChars, ' ');
  setHeaderField(header, true, 1, "П");
  const std::string bytes = cadBytes(header, 45000, 1);
  std::vector<std::string> names;
  for (int i = 0; i < kCardGroupFileLimit + 3; ++i) {
    names.push_back("f" + std::to_string(1000 + i) + ".cad");
    test::writeBytes(f.file(names.back()), bytes);
  }
  CardIndex index;
  ASSERT_TRUE(buildCardIndex(f.dir.path(), names, true, f.ui, index));
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"Файлов в архиве > 170!"});
  EXPECT_EQ(index.records.size(), static_cast<std::size_t>(kCardGroupFileLimit));
  ASSERT_EQ(index.patients.size(), 1u);
  EXPECT_EQ(index.patients[0].recordCountText, "170");
}

TEST(CardIndexFiles, DamagedCardFilesNeverLeaveTheDirectory) {
  const std::string cases[] = {
      "",
      std::string(5000, '\xFF'),
      "short\r\n\r\n\n\n",
      std::string(60, ' ') + "../../../etc  45000  1\r\n" + std::string(60, ' ') + "x" + std::string(19, ' ') +
          "/etc/passwd\r\n" + std::string(60, ' ') + "ok            4x000abc\r\n",
      std::string("\0\0\0\r\n", 5) + std::string(100000, 'A') + "\n",
  };
  for (const auto& bytes : cases) {
    Fixture f;
    test::writeBytes(f.file("base0.ctg"), bytes);
    test::writeBytes(f.file("base1.ctg"), bytes);
    CardIndex index;
    ASSERT_TRUE(loadCardIndex(f.dir.path(), false, index));
    for (const auto& r : index.records) {
      EXPECT_EQ(r.fileName.find('/'), std::string::npos);
      EXPECT_NE(r.fileName, "..");
    }
    EXPECT_LE(index.records.size(), static_cast<std::size_t>(kCardLineLimit));
    for (int p = 0; p < static_cast<int>(index.patients.size()); ++p) index.recordsOf(p);
  }
  Fixture missing;
  CardIndex index;
  EXPECT_FALSE(loadCardIndex(missing.dir.path(), false, index));
}

TEST(FileWindowEngine, CardIndexWalkThroughPatientsAndRecords) {
  Archive f;
  FileBrowser b(f.s, f.ui);
  b.ini(0, kRecordFilter, "");
  ASSERT_EQ(b.cardMode(), kCardOff);
  b.toggleCardIndex();
  ASSERT_EQ(b.cardMode(), kCardPatients);
  EXPECT_EQ(column(b, 0), (std::vector<std::string>{"Абрамов", "Иванов Иван", "Иванова Анна"}));
  EXPECT_EQ(column(b, 1), (std::vector<std::string>{"1-", "2-01.01.2010", "1-02.02.1980"}));
  EXPECT_EQ(column(b, 2), (std::vector<std::string>{"", "Дети", "Взрослые"}));
  const auto status = readCardStatus(f.dir.path());
  EXPECT_FALSE(status.stale);
  EXPECT_EQ(status.fileCount, 6);

  EXPECT_FALSE(b.activateRow(1));
  ASSERT_EQ(b.cardMode(), kCardRecords);
  EXPECT_EQ(column(b, 0), (std::vector<std::string>{"..", "ГВ", "Фон"}));
  EXPECT_EQ(column(b, 2)[1], dayCountText(45000) + "-a_early");
  EXPECT_FALSE(b.activateRow(0));
  EXPECT_EQ(b.cardMode(), kCardPatients);
  EXPECT_EQ(b.patientRowToRestore(), 1);

  b.activateRow(0);
  ASSERT_EQ(column(b, 0).size(), 2u);
  EXPECT_TRUE(b.activateRow(1));
  EXPECT_EQ(f.s.dialogResult, 1);
  EXPECT_EQ(f.s.chosenFilePath, f.file("a_very_long_file_name.cad"));
  b.close();

  // the card index is on again at the next showing, and a saved record file
  // makes it rebuild
  b.ini(1, kRecordFilter, "");
  EXPECT_EQ(b.cardMode(), kCardPatients);
  b.toggleCardIndex();
  b.nameField = "newone";
  b.accept(-1);
  EXPECT_TRUE(readCardStatus(f.dir.path()).stale);
  EXPECT_TRUE(cardIndexNeedsRebuild(f.dir.path(), 6));
}

TEST(FileWindowEngine, DeletingFromThePatientsRecords) {
  Archive f;
  FileBrowser b(f.s, f.ui);
  b.ini(0, kRecordFilter, "");
  b.toggleCardIndex();
  b.activateRow(1);
  f.ui.answerYes = true;
  ASSERT_TRUE(b.deleteRow(2));
  EXPECT_EQ(f.ui.questions.back(), "Удалить файл b_late.cad ?");
  EXPECT_FALSE(fileExists(f.file("b_late.cad")));
  EXPECT_EQ(column(b, 0), (std::vector<std::string>{"..", "ГВ"}));
  EXPECT_TRUE(readCardStatus(f.dir.path()).stale);
  EXPECT_EQ(f.s.dialogResult, -1);
}

}  // namespace
}  // namespace velor
