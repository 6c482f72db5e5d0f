#include <gtest/gtest.h>

#include <sys/stat.h>

#include "core/settings.h"
#include "core/text.h"
#include "results/text_results.h"
#include "test_support.h"

namespace velor {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

const std::string kStars(68, '*');
const std::string kMinus(58, '-');

// A record with a filled standard header: 5 March 2024, 14:30:15, record 3 of "ivanov12.cad".
void fillRecord(StudyState& s) {
  s.institutionName = "Больница №1";
  s.departmentName = "ЭЭГ-кабинет";
  s.recordDate = daysFromCivil(2024, 3, 5);
  s.recordTime = (14 * 3600 + 30 * 60 + 15) / 86400.0;
  s.recordFileName = "ivanov12.cad";
  s.currentRecord = 3;
  s.groupMode = 0;
  s.examHeader = fitHeader("");
  setHeaderField(s.examHeader, false, 1, "Фон");
  setHeaderField(s.examHeader, false, 2, "Норма");
  setHeaderField(s.examHeader, false, 3, "Иванов И.И.");
  setHeaderField(s.examHeader, false, 5, "01.02.1980");
  setHeaderField(s.examHeader, false, 7, "Здоров");
}

const std::vector<std::string> kHeader = {
    "Больница №1 - ЭЭГ-кабинет",
    "Дата: 05.03.2024,  время: 14:30:15",
    "Пациент: Иванов И.И., г.р.: 01.02.1980",
    "Группа: Норма, Проба: Фон",
    "Диагноз: Здоров",
    "Файл: ivanov12.cad, дата=05.03.2024, запись=3",
    kMinus,
};

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> r;
  for (const auto& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

TEST(TextResults, ReportsAccumulateEachHeadedByTheExaminationHeader) {
  TempDir d;
  StudyState s;
  fillRecord(s);
  TextResults t(d.path() + "/");
  t.beginTextResults(s, kWithHeader);
  EXPECT_FALSE(t.modified());  // the header alone is not a change
  t.addResultLine("Альфа=12.5");
  t.addResultLine("Бета=3");
  EXPECT_TRUE(t.modified());
  t.beginTextResults(s, kWithHeader);
  t.addResultLine("Тета=7");
  t.beginTextResults(s, kWithoutHeader);  // a second part of the same run
  t.addResultLine("Дельта=1");
  EXPECT_EQ(t.mode(), kWithoutHeader);
  EXPECT_EQ(t.lines(), concat({kHeader, {"Альфа=12.5", "Бета=3", kStars}, kHeader, {"Тета=7", kStars, "Дельта=1"}}));

  // a fresh window begins with its header; a cleared one still separates
  TextResults fresh(d.path() + "/");
  fresh.beginTextResults(s, kWithoutHeader);
  EXPECT_TRUE(fresh.lines().empty());
  t.clear();
  EXPECT_FALSE(t.modified());
  t.beginTextResults(s, kWithHeader);
  EXPECT_EQ(t.lines(), concat({{kStars}, kHeader}));
}

TEST(TextResults, GroupHeaderNamesTheSubjectOfTheCurrentChannel) {
  TempDir d;
  StudyState s;
  fillRecord(s);
  s.groupMode = 1;
  s.examHeader = fitHeader("");
  setHeaderField(s.examHeader, true, 2, "Петров");
  setHeaderField(s.examHeader, true, 7, "Гипервентиляция");
  s.firstShownChannel = 1;
  s.currentChannelRow = 0;
  const std::vector<std::string> expected = {"Гипервентиляция", "Петров",
                                             "Файл: ivanov12.cad, дата=05.03.2024, запись=3", kMinus};
  EXPECT_EQ(examHeaderLines(s), expected);
  // channels past the six subjects have none (not the test field 7)
  s.firstShownChannel = 6;
  EXPECT_EQ(examHeaderLines(s)[1], "");
}

TEST(TextResults, DiagnosisModeLoadsTheRecordsDiagnosesFile) {
  TempDir d;
  StudyState s;
  fillRecord(s);
  s.dataDir = d.path() + "/";
  s.recordFileName = "pat.v2.cad";  // the name up to its first point
  TextResults t(d.path() + "/");
  t.beginTextResults(s, kWithHeader);
  t.addResultLine("до");
  // missing file: the text stays as it was
  t.beginTextResults(s, kDiagnoses);
  EXPECT_EQ(t.lines().back(), kStars);
  writeBytes(d.file("pat.cac"), utf8ToCp1251("Заключение:\r\nнорма\r\n"));
  t.beginTextResults(s, kDiagnoses);
  EXPECT_EQ(t.lines(), (std::vector<std::string>{"Заключение:", "норма"}));
  EXPECT_FALSE(t.modified());
  EXPECT_EQ(t.mode(), kDiagnoses);
}

TEST(TextResults, SavesCodePage1251WithCrLfAndReadsAnyLineEnds) {
  TempDir d;
  TextResults t(d.path() + "/");
  t.addResultLine("Частота=10.5 Гц");
  t.addResultLine("");
  t.addResultLine("a\r\nb");  // a line break inside a line would split it on reading
  ASSERT_TRUE(t.saveFile(d.file("out.txt")));
  EXPECT_EQ(readBytes(d.file("out.txt")), "\xD7\xE0\xF1\xF2\xEE\xF2\xE0=10.5 \xC3\xF6\r\n\r\na  b\r\n");

  ScriptedInteraction ui;
  writeBytes(d.file("in.txt"), std::string("\xC0\r\nb\nc\rd\0e", 10));
  ASSERT_TRUE(t.appendFile(d.file("in.txt"), ui));
  EXPECT_EQ(t.lines(), (std::vector<std::string>{"Частота=10.5 Гц", "", "a  b", "А", "b", "c", "d e"}));
  EXPECT_FALSE(t.appendFile(d.file("missing.txt"), ui));
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(t.lines().size(), 7u);
}

TEST(TextResults, FullTextGoesToRezTxtAndTheReportContinues) {
  TempDir d;
  int notices = 0;
  TextResults t(d.path() + "/", 40);
  t.setEvents({.overflow = [&] { ++notices; }});
  t.addResultLine("первая строка");       // 25 bytes + line end
  t.addResultLine("second");              // 33
  t.addResultLine("third line here");     // would pass 40
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(t.lines(), (std::vector<std::string>{"third line here"}));
  EXPECT_EQ(readBytes(d.file(kOverflowFile)), utf8ToCp1251("первая строка") + "\r\nsecond\r\n");
  // a line longer than the whole capacity still lands, the older text saved first
  t.addResultLine(std::string(100, 'x'));
  EXPECT_EQ(notices, 2);
  EXPECT_EQ(t.lines().size(), 1u);
  EXPECT_EQ(readBytes(d.file(kOverflowFile)), "third line here\r\n");
}

TEST(TextResults, OverflowThatCannotBeSavedKeepsTheText) {
  TempDir d;
  std::vector<std::string> failures;
  TextResults t(d.path() + "/no/such/dir/", 10);
  t.setEvents({.failure = [&](const std::string& m) { failures.push_back(m); }});
  t.addResultLine("12345678");
  t.addResultLine("abc");
  EXPECT_EQ(t.lines(), (std::vector<std::string>{"12345678", "abc"}));
  EXPECT_EQ(failures.size(), 1u);
}

// A journal as the analyses write it: three runs.
std::vector<std::string> threeRuns() {
  std::vector<std::string> h2 = kHeader;
  h2[2] = "Пациент: Петров П.П., г.р.: 1975";
  h2[5] = "Файл: petrov7.cad, дата=06.03.2024, запись=1";
  return concat({kHeader,
                 {"  Альфа50 = 12.5 мкВ  ", "Бета: -3.25E-2; Тета 7"},
                 {kStars},
                 h2,
                 {"Альфа50 = 8"},
                 {kStars},
                 kHeader,
                 {"Индекс - 40 %", "Частота 9.5-10.5"}});
}

TEST(TextTable, OneRowPerRunWithNameFileNumberAndEveryNumber) {
  const std::vector<std::string> expected = {
      "Иванов И.И. 12 50 12.5 -3.25E-2 7 ",
      "Петров П.П. 7 50 8 ",
      "Иванов И.И. 12 40 9.5-10.5 ",
  };
  EXPECT_EQ(journalToTable(threeRuns()), expected);

  TempDir d;
  TextResults t(d.path() + "/");
  for (const auto& l : threeRuns()) t.addResultLine(l);
  t.toTable();
  EXPECT_EQ(t.lines(), expected);
}

TEST(TextTable, IrregularJournals) {
  // a patient line without a comma leaves only a blank for the name
  auto j = kHeader;
  j[2] = "Пациент: без запятой";
  j.push_back("x=1");
  EXPECT_EQ(journalToTable(j), (std::vector<std::string>{" 12 1 "}));

  // a run written without a header (mode 1) keeps its numbers instead of
  // losing its first seven lines
  const auto withoutHeader = concat({kHeader, {"a=1", kStars, "b=2", "c=3"}});
  EXPECT_EQ(journalToTable(withoutHeader), (std::vector<std::string>{"Иванов И.И. 12 1 ", "2 3 "}));

  // a journal that begins after "Очистить" has no empty first row
  EXPECT_EQ(journalToTable(concat({{kStars}, kHeader, {"v 5"}})), (std::vector<std::string>{"Иванов И.И. 12 5 "}));

  // a group header: the subject and the file number
  EXPECT_EQ(journalToTable({"Проба 2", "Петров", "Файл: gr15.cad, дата=01.01.2024, запись=2", kMinus, "z=4"}),
            (std::vector<std::string>{"Петров 15 4 "}));

  // a header cut short at the end, and junk, never read past the lines
  EXPECT_EQ(journalToTable({"Больница", "Дата", "Пациент: Х, г"}), (std::vector<std::string>{}));
  std::vector<std::string> junk;
  for (int i = 0; i < 200; ++i) junk.push_back(std::string(static_cast<std::size_t>(i % 13), "*-,5E.\xD0"[i % 7]));
  (void)journalToTable(junk);
  EXPECT_TRUE(journalToTable({}).empty());
}

TEST(TextResults, EditsInTheWindowReplaceTheText) {
  TempDir d;
  TextResults t(d.path() + "/");
  t.setText("a\nb\r\nc");
  EXPECT_EQ(t.lines(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(t.text(), "a\nb\nc");
  EXPECT_TRUE(t.modified());
  t.setText("");
  EXPECT_TRUE(t.lines().empty());
}

TEST(TextResults, HeaderDateAndTimeTexts) {
  EXPECT_EQ(headerDateText(daysFromCivil(1999, 12, 31)), "31.12.1999");
  EXPECT_EQ(headerTimeText(0), "0:00:00");
  EXPECT_EQ(headerTimeText((9 * 3600 + 5 * 60) / 86400.0), "9:05:00");
  EXPECT_EQ(headerTimeText(0.9999999), "23:59:59");
  EXPECT_EQ(headerTimeText(-1), "0:00:00");
  EXPECT_EQ(headerDateText(1e300), "");
}

}  // namespace
}  // namespace velor
