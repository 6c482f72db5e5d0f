// The file window as a person sees it: its caption, the files and the header
// column it lists, and what choosing, Enter and Esc leave behind.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "core/binio.h"
#include "core/settings.h"
#include "core/text.h"
#include "interchange/file_browser.h"
#include "interchange/ui/file_window.h"
#include "tests/test_support.h"

namespace velor {
namespace {

// A sound "CA40" file of one record of two channels with the given patient.
std::string cadWithPatient(const std::string& patient, const std::string& test) {
  std::string header(kHeaderChars, ' ');
  setHeaderField(header, false, 1, test);
  setHeaderField(header, false, 3, patient);
  ByteWriter w;
  w.bytes("CA40");
  w.text(utf8ToCp1251(header), kHeaderChars);
  for (int i = 0; i < 64; ++i) w.text(i < 2 ? "Fp1" : "", 4);
  w.i32(45000);
  w.u16(1087);
  w.u8(0);
  w.u8(0);
  w.u8(2);
  w.u16(100);
  w.u8(0);
  w.i16(1);
  for (int i = 0; i < 128; ++i) w.u16(2048);
  w.zeros(256);
  w.u8(1);
  w.u8(1);
  w.u16(4);
  w.u8(4);
  w.u8(0);
  w.zeros(5);
  for (int i = 0; i < 64; ++i) w.u16(100);
  w.u16(4);
  w.u16(4);
  for (int i = 0; i < 8; ++i) w.i16(2048);
  w.i32(0);
  w.u16(4);
  return w.data();
}

void press(QWidget* w, int key, const QString& text = QString()) {
  QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &down);
  QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &up);
}

void type(QWidget* w, const QString& text) {
  for (const QChar c : text) press(w, 0, QString(c));
}

struct FileWindowGui : ::testing::Test {
  test::TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  std::unique_ptr<FileWindow> window;

  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = dir.path() + "/";
    test::writeBytes(dir.file("ivanov.cad"), cadWithPatient("Иванов", "Фон"));
    test::writeBytes(dir.file("abramov.cad"), cadWithPatient("Абрамов", "ГВ"));
    test::writeBytes(dir.file("notes.txt"), "text");
    window = std::make_unique<FileWindow>(s, ui);
  }

  QTreeWidget* list() { return window->findChild<QTreeWidget*>("fileList"); }
  std::vector<QString> columnTexts(int c) {
    std::vector<QString> out;
    for (int i = 0; i < list()->topLevelItemCount(); ++i) out.push_back(list()->topLevelItem(i)->text(c));
    return out;
  }
  QPushButton* button(const QString& text) {
    for (auto* b : window->findChildren<QPushButton*>())
      if (b->text() == text) return b;
    return nullptr;
  }
  void showFor(int mode, const std::string& filter, const std::string& defaultName = "") {
    window->initialise(mode, filter, defaultName);
    window->show();
    QApplication::processEvents();
  }
};

const std::string kRecords = fileKindFilter(FileKind::Records, false);

TEST_F(FileWindowGui, ReadModeListsRecordFilesWithTheirHeaderField) {
  showFor(0, kRecords);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Чтение файла"));
  EXPECT_EQ(columnTexts(0), (std::vector<QString>{"abramov", "ivanov"}));
  EXPECT_FALSE(window->findChild<QLineEdit*>("nameEdit")->isVisible());
  ASSERT_NE(button(QStringLiteral("OK")), nullptr);
  EXPECT_FALSE(button(QStringLiteral("Запись"))->isVisible());
  EXPECT_TRUE(button(QStringLiteral(" Меню"))->isEnabled());

  // the menu panel offers the header fields; choosing "ФИО" shows the patients
  auto* menuPanel = window->findChild<QWidget*>("menuPanel");
  EXPECT_FALSE(menuPanel->isVisible());
  button(QStringLiteral(" Меню"))->click();
  EXPECT_TRUE(menuPanel->isVisible());
  auto* selection = window->findChild<QComboBox*>("selectionBox");
  ASSERT_EQ(selection->count(), 8);
  EXPECT_EQ(selection->itemText(3), QStringLiteral("ФИО"));
  selection->setCurrentIndex(3);
  EXPECT_EQ(list()->headerItem()->text(1), QStringLiteral("ФИО"));
  EXPECT_EQ(columnTexts(1), (std::vector<QString>{"Абрамов", "Иванов"}));

  // a search narrows the list to the headers holding the text
  auto* search = window->findChild<QComboBox*>("searchBox");
  search->setEditText(QStringLiteral("Иван"));
  press(search->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(columnTexts(0), (std::vector<QString>{"ivanov"}));
  search->setEditText(QString());
  press(search->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(columnTexts(0).size(), 2u);

  // clicking a file shows its header in the comment
  list()->setCurrentItem(list()->topLevelItem(1));
  EXPECT_EQ(window->findChild<QLineEdit*>("commentEdit")->text(), QStringLiteral("Фон  Иванов "));
  EXPECT_TRUE(window->findChild<QLabel*>("filePanel")->text().startsWith("ivanov.cad"));

  // another filter item lists the text files with their extension hidden and no menu
  window->findChild<QComboBox*>("filterBox")->setCurrentIndex(1);
  EXPECT_EQ(columnTexts(0), (std::vector<QString>{"notes"}));
  EXPECT_FALSE(button(QStringLiteral(" Меню"))->isEnabled());
  EXPECT_FALSE(menuPanel->isVisible());
}

TEST_F(FileWindowGui, EnterOnAFileChoosesIt) {
  showFor(0, kRecords);
  list()->setCurrentItem(list()->topLevelItem(1));
  press(list(), Qt::Key_Return);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->result(), QDialog::Accepted);
  EXPECT_EQ(s.dialogResult, 1);
  EXPECT_EQ(s.chosenFilePath, dir.file("ivanov.cad"));
  EXPECT_EQ(s.dataDir, dir.path() + "/");
}

TEST_F(FileWindowGui, EscChoosesNothing) {
  s.chosenFilePath = "unchanged";
  showFor(0, kRecords);
  press(list(), Qt::Key_Escape);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->result(), QDialog::Rejected);
  EXPECT_EQ(s.dialogResult, 0);
  EXPECT_EQ(s.chosenFilePath, "unchanged");
}

TEST_F(FileWindowGui, WriteModeSavesUnderTheTypedName) {
  s.examHeader = utf8Fit("Заголовок записи", kHeaderChars);
  showFor(1, fileKindFilter(FileKind::Records, true), "current.cad");
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Запись файла"));
  auto* name = window->findChild<QLineEdit*>("nameEdit");
  ASSERT_TRUE(name->isVisible());
  EXPECT_EQ(name->text(), QStringLiteral("current"));
  EXPECT_EQ(window->findChild<QLineEdit*>("commentEdit")->text(), QStringLiteral("Заголовок записи"));
  EXPECT_TRUE(button(QStringLiteral("Запись"))->isVisible());
  EXPECT_FALSE(button(QStringLiteral(" Меню"))->isVisible());

  // Enter on a listed file only copies its name
  list()->setCurrentItem(list()->topLevelItem(0));
  press(list(), Qt::Key_Return);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(name->text(), QStringLiteral("abramov"));

  name->clear();
  type(name, QStringLiteral("новая"));
  button(QStringLiteral("Запись"))->click();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(s.dialogResult, 1);
  EXPECT_EQ(s.chosenFilePath, dir.file("новая.cad"));
}

TEST_F(FileWindowGui, WriteModeWithoutANameSaysSo) {
  showFor(1, kRecords);
  window->findChild<QLineEdit*>("nameEdit")->clear();
  button(QStringLiteral("OK"))->click();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(s.dialogResult, 0);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"!НЕ УКАЗАН ФАЙЛ!"});
}

TEST_F(FileWindowGui, DeleteKeyAsksAndRemovesTheFile) {
  showFor(0, kRecords);
  ui.yesNoScript = {true};
  list()->setCurrentItem(list()->topLevelItem(0));
  press(list(), Qt::Key_Delete);
  EXPECT_EQ(ui.questions, std::vector<std::string>{"Удалить файл abramov.cad ?"});
  EXPECT_EQ(columnTexts(0), (std::vector<QString>{"ivanov"}));
  EXPECT_TRUE(window->isVisible());
  press(list(), Qt::Key_Escape);
  EXPECT_EQ(s.dialogResult, -1);
}

TEST_F(FileWindowGui, DispatchRunsTheWindowModallyAndReturnsThePath) {
  test::TempDir settingsDir;
  s.programDir = settingsDir.path() + "/";
  test::writeBytes(settingsDir.file("main.cai"), "x");
  const std::string before = s.dataDir;

  // a settings kind starts in programDir and leaves dataDir where it was
  QTimer::singleShot(0, [this] {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Чтение файла"));
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    EXPECT_EQ(list()->topLevelItem(0)->text(0), QStringLiteral("main"));
    list()->setCurrentItem(list()->topLevelItem(0));
    press(list(), Qt::Key_F3);
  });
  const auto chosen = chooseFileForKind(*window, FileKind::ChannelSettings, false);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, settingsDir.file("main.cai"));
  EXPECT_EQ(s.helpContext, 11);
  EXPECT_EQ(s.dataDir, before);

  // a record kind cancelled gives nothing
  QTimer::singleShot(0, [this] { window->findChild<QPushButton*>("CancelBtn")->click(); });
  EXPECT_FALSE(chooseFileForKind(*window, FileKind::Records, false).has_value());
  EXPECT_EQ(s.dialogResult, 0);

  EXPECT_FALSE(chooseFileForKind(*window, FileKind::SideWindow, false).has_value());  // kind 10 saves only
}

}  // namespace
}  // namespace velor
