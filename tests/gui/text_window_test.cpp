// The text result window and the print settings dialog as a person uses them:
// reports accumulate in the window, keys and the popup menu save, read,
// convert and print, and the print settings survive in "qprs.ini".
#include <gtest/gtest.h>

#include "core/record_file.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

#include "core/binio.h"
#include "core/settings.h"
#include "core/text.h"
#include "results/print_settings.h"
#include "results/text_results.h"
#include "results/ui/print_host.h"
#include "results/ui/text_results_window.h"
#include "results/ui/print_settings_dialog.h"
#include "shell/ui/main_window.h"
#include "shell/ui/results_wiring.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"

namespace velor {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

QString qs(const char* s) { return QString::fromUtf8(s); }

using test::ScriptedChooser;

void press(QWidget* w, int key) {
  QTest::keyClick(w, static_cast<Qt::Key>(key));
  QApplication::processEvents();
}

class TextWindowGui : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    s.institutionName = "Клиника";
    s.departmentName = "ФД";
    s.recordDate = daysFromCivil(2024, 3, 5);
    s.recordTime = 0.5;
    s.recordFileName = "rec1.cad";
    s.currentRecord = 2;
    s.examHeader = fitHeader("");
    setHeaderField(s.examHeader, false, 3, "Сидоров");
    main = std::make_unique<QWidget>();
  }
  void TearDown() override {
    if (TextResultsWindow* w = textWindowOf(main.get())) w->close();
    QApplication::processEvents();
  }

  TextResultsWindow* report(const std::vector<std::string>& lines, int mode = kWithHeader) {
    const TextFileActions files = shell::textFileActions(s, chooser, ui);
    TextResultsWindow* w = beginTextResults(main.get(), s, ui, &files, mode);
    for (const auto& l : lines) textResultsOf(s)->addResultLine(l);
    QApplication::processEvents();
    return w;
  }

  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  ScriptedChooser chooser;
  std::unique_ptr<QWidget> main;
};

std::string header(const char* name) {
  return utf8ToCp1251(std::string("Клиника - ФД\r\n") + "Дата: 05.03.2024,  время: 12:00:00\r\n" + "Пациент: " +
                     name + ", г.р.: \r\n" + "Группа: , Проба: \r\n" + "Диагноз: \r\n" +
                     "Файл: rec1.cad, дата=05.03.2024, запись=2\r\n" + std::string(58, '-') + "\r\n");
}

TEST_F(TextWindowGui, TwoReportsAccumulateAndSaveAsCodePage1251WithCrLf) {
  TextResultsWindow* w = report({"Альфа=10.5"});
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle(), qs(kTextWindowCaption));
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->size(), QSize(640, 246));
  EXPECT_EQ(w->textBox()->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(s.textWindow, &w->journal());

  setHeaderField(s.examHeader, false, 3, "Петров");
  EXPECT_EQ(report({"Бета=3"}), w);  // the same window takes the second report

  // what the window shows is the journal
  const QStringList shown = w->textBox()->toPlainText().split('\n');
  ASSERT_EQ(shown.size(), 7 + 1 + 1 + 7 + 1);
  EXPECT_EQ(shown[8], QString(68, '*'));
  EXPECT_EQ(shown[11], qs("Пациент: Петров, г.р.: "));

  // the person adds a line of their own at the end
  QTextCursor c = w->textBox()->textCursor();
  c.movePosition(QTextCursor::End);
  w->textBox()->setTextCursor(c);
  QTest::keyClick(w->textBox(), Qt::Key_Return);
  QTest::keyClicks(w->textBox(), "ok");
  // an analysis reporting now keeps what was typed
  textResultsOf(s)->addResultLine("после");

  // F4 saves through the file window, kind 7
  chooser.answer = dir.file("journal.txt");
  press(w->textBox(), Qt::Key_F4);
  EXPECT_EQ(chooser.lastKind, fileKindNumber(FileKind::Text));
  EXPECT_TRUE(chooser.lastWrite);
  const std::string expected = header("Сидоров") + utf8ToCp1251("Альфа=10.5\r\n") + std::string(68, '*') + "\r\n" +
                               header("Петров") + utf8ToCp1251("Бета=3\r\n") + "ok\r\n" +
                               utf8ToCp1251("после\r\n");
  EXPECT_EQ(readBytes(dir.file("journal.txt")), expected);
  EXPECT_FALSE(w->journal().modified());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TextWindowGui, KeysAndPopupReadConvertClearAndClose) {
  TextResultsWindow* w = report({"Альфа50 = 12"});
  report({"Альфа50 = 8"});

  // F3 appends a text file's lines
  writeBytes(dir.file("more.txt"), utf8ToCp1251("Доп 1\r\nДоп 2\r\n"));
  chooser.answer = dir.file("more.txt");
  press(w->textBox(), Qt::Key_F3);
  EXPECT_EQ(chooser.lastKind, fileKindNumber(FileKind::Text));
  EXPECT_FALSE(chooser.lastWrite);
  EXPECT_TRUE(w->textBox()->toPlainText().endsWith(qs("Альфа50 = 8\nДоп 1\nДоп 2")));

  // F6: one row per run
  press(w->textBox(), Qt::Key_F6);
  EXPECT_EQ(w->textBox()->toPlainText(), qs("Сидоров 1 50 12 \nСидоров 1 50 8 1 2 "));

  // "Очистить" from the popup menu; the next report still gets its separator
  QAction* clear = w->popupMenu()->findChild<QAction*>(qs(kMenuClear));
  ASSERT_NE(clear, nullptr);
  clear->trigger();
  EXPECT_TRUE(w->textBox()->toPlainText().isEmpty());
  EXPECT_FALSE(w->journal().modified());
  report({});
  EXPECT_TRUE(w->textBox()->toPlainText().startsWith(QString(68, '*') + "\n" + qs("Клиника - ФД")));

  // F10 closes; the next report opens a fresh window that starts with its header
  QPointer<TextResultsWindow> old = w;
  press(w->textBox(), Qt::Key_F10);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(old.isNull());
  EXPECT_EQ(s.textWindow, nullptr);
  EXPECT_EQ(textWindowOf(main.get()), nullptr);
  TextResultsWindow* fresh = report({"x"});
  EXPECT_TRUE(fresh->textBox()->toPlainText().startsWith(qs("Клиника - ФД")));
}

TEST_F(TextWindowGui, F2PrintsEveryLineOnPagesOfAPdf) {
  std::vector<std::string> lines;
  for (int i = 0; i < 300; ++i) lines.push_back("Строка " + std::to_string(i));
  TextResultsWindow* w = report(lines);
  const std::string pdf = dir.file("out.pdf");
  w->setPrinterChooser([&](QPrinter& p) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(QString::fromStdString(pdf));
    return true;
  });
  press(w->textBox(), Qt::Key_F2);
  const std::string bytes = readBytes(pdf);
  ASSERT_EQ(bytes.rfind("%PDF", 0), 0u);
  int pages = 0;
  for (std::size_t at = bytes.find("/Type /Page"); at != std::string::npos; at = bytes.find("/Type /Page", at + 1))
    if (bytes.compare(at, 12, "/Type /Pages") != 0) ++pages;
  EXPECT_GE(pages, 2);  // 307 lines do not fit one page
  EXPECT_LE(pages, 20);

  // a printer dialog that is cancelled prints nothing
  std::remove(pdf.c_str());
  w->setPrinterChooser([](QPrinter&) { return false; });
  EXPECT_FALSE(w->print());
  EXPECT_FALSE(fileExists(pdf));
}

TEST_F(TextWindowGui, DiagnosisCommandOfTheMainWindowLoadsTheDiagnosesFile) {
  writeBytes(dir.file("rec1.cac"), utf8ToCp1251("Заключение: норма\r\n"));
  shell::MainWindow window(s, ui);
  window.setFileChooser(&chooser);
  window.runCommand(shell::Cmd::Diagnosis);
  TextResultsWindow* w = textWindowOf(&window);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->textBox()->toPlainText(), qs("Заключение: норма"));
  EXPECT_EQ(w->journal().mode(), kDiagnoses);

  // an analysis that knows only the opener reports into the same window,
  // and the window still saves through the main window's file chooser
  MainWindowTextOpener opener(&window, ui);
  opener.beginTextResults(s, kWithoutHeader).addResultLine("ещё");
  EXPECT_EQ(textWindowOf(&window), w);
  EXPECT_EQ(w->textBox()->toPlainText(), qs("Заключение: норма\n") + QString(68, '*') + qs("\nещё"));
  chooser.answer = dir.file("diag.txt");
  press(w->textBox(), Qt::Key_F4);
  EXPECT_EQ(readBytes(dir.file("diag.txt")), utf8ToCp1251("Заключение: норма\r\n") + std::string(68, '*') +
                                                  utf8ToCp1251("\r\nещё\r\n"));
  w->close();
}

// --- print settings --------------------------------------------------------------------

class PrintDialogGui : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.monitorWidth = 1000;
    s.monitorHeight = 600;
  }
  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  PrintSettings settings;
};

TEST_F(PrintDialogGui, TypedFieldsRoundTripThroughQprsIni) {
  {
    PrintSettingsDialog d(s, ui, settings, nullptr);
    d.load();  // no "qprs.ini": the form's defaults, both boxes checked
    EXPECT_EQ(d.windowTitle(), qs(kPrintDialogCaption));
    EXPECT_EQ(d.leftEdit()->text(), "2.5");
    EXPECT_TRUE(d.alongLengthBox()->isChecked());
    EXPECT_TRUE(d.maxSizeBox()->isChecked());
    EXPECT_FALSE(d.widthEdit()->isEnabled());
    d.maxSizeBox()->click();
    EXPECT_TRUE(d.widthEdit()->isEnabled());
    d.alongLengthBox()->click();
    d.leftEdit()->setText("25");  // off the 20 cm sheet: moved to 1 cm, stored as typed
    d.topEdit()->setText("1,5");
    d.widthEdit()->setText("12");
    d.heightEdit()->setText("8");
    d.printButton()->click();
    EXPECT_EQ(s.dialogResult, 1);
    EXPECT_EQ(d.result(), QDialog::Accepted);
  }
  EXPECT_EQ(readBytes(dir.file(kPrintSettingsFile)), "25\r\n1,5\r\n12\r\n8\r\n0\r\n0\r\n");
  EXPECT_EQ(settings.printLeftCm, 1.0);
  EXPECT_EQ(settings.printTopCm, 1.5);
  EXPECT_EQ(settings.printWidthCm, 12);
  EXPECT_EQ(settings.paperWidthCm, 20.0);
  EXPECT_FALSE(settings.printMaxSize);

  PrintSettingsDialog again(s, ui, settings, nullptr);
  again.load();
  EXPECT_EQ(s.dialogResult, 0);
  EXPECT_EQ(again.leftEdit()->text(), "25");
  EXPECT_EQ(again.topEdit()->text(), "1,5");
  EXPECT_FALSE(again.alongLengthBox()->isChecked());
  EXPECT_FALSE(again.maxSizeBox()->isChecked());
  EXPECT_TRUE(again.leftEdit()->isEnabled());
}

TEST_F(PrintDialogGui, BadFieldStaysInTheDialogAndCancelKeepsTheSettings) {
  const PrintSettings before = settings;
  PrintSettingsDialog d(s, ui, settings, nullptr);
  d.load();
  d.maxSizeBox()->click();
  d.widthEdit()->setText("десять");
  EXPECT_FALSE(d.printClicked());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("десять"), std::string::npos);
  EXPECT_EQ(s.dialogResult, 0);
  EXPECT_FALSE(fileExists(dir.file(kPrintSettingsFile)));
  d.cancelButton()->click();
  EXPECT_EQ(s.dialogResult, 0);
  EXPECT_EQ(settings.printWidthCm, before.printWidthCm);
}

TEST_F(PrintDialogGui, ModalDialogOfTheMainWindowGivesTheMaximalSize) {
  QWidget mainWindow;
  QTimer::singleShot(0, [&] {
    auto* d = qobject_cast<PrintSettingsDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    d->printButton()->click();
  });
  EXPECT_TRUE(askPrintSettings(&mainWindow, s, ui));
  const PrintSettings& p = printSettingsOf(&mainWindow, s);
  EXPECT_TRUE(p.printMaxSize);
  EXPECT_NEAR(p.printHeightCm, 16.6, 1e-9);
  EXPECT_EQ(readBytes(dir.file(kPrintSettingsFile)), "2.5\r\n1\r\n10\r\n7\r\n1\r\n1\r\n");
}

}  // namespace
}  // namespace velor
