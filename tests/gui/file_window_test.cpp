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
#include <QFileSystemModel>
#include <QTreeView>
#include <QTreeWidget>
#include <sys/stat.h>

#include "core/binio.h"
#include "core/settings.h"
#include "core/text.h"
#include "interchange/edf.h"
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

  // another filter item lists the text files with their extension hidden; the
  // menu stays for the folder tree, without the header column and the search
  window->findChild<QComboBox*>("filterBox")->setCurrentIndex(1);
  EXPECT_EQ(columnTexts(0), (std::vector<QString>{"notes"}));
  EXPECT_EQ(list()->columnCount(), 1);
  EXPECT_TRUE(button(QStringLiteral(" Меню"))->isEnabled());
  EXPECT_FALSE(selection->isEnabled());
  EXPECT_FALSE(search->isEnabled());
  EXPECT_FALSE(button(QStringLiteral("Картотека"))->isEnabled());
}

TEST_F(FileWindowGui, EveryFilterChangesFoldersAndEdfAndBdfFilesShowTheirHeader) {
  const std::string edf = test::sharedData("eegmat/Subject00_2.edf");
  const std::string bdf = test::sharedData("mne-python/test_bdf_stim_channel.bdf");
  if (edf.empty() || bdf.empty()) GTEST_SKIP() << "shared recordings not present";
  const std::string sub = dir.file("sub");
  ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
  test::writeBytes(sub + "/subject.edf", test::readBytes(edf));
  test::writeBytes(sub + "/stim.bdf", test::readBytes(bdf));
  test::writeBytes(sub + "/other.txt", "text");
  showFor(0, kRecords);
  auto* filters = window->findChild<QComboBox*>("filterBox");
  auto* tree = window->findChild<QTreeView*>("dirTree");
  auto* label = window->findChild<QLabel*>("dirLabel");
  ASSERT_GE(filters->count(), 10);
  EXPECT_EQ(filters->itemText(8), QStringLiteral("BDF (*.bdf)"));
  EXPECT_EQ(filters->itemText(9), QStringLiteral("Universal (*.udf)"));

  // with every filter the folder tree is there and a click in it changes the folder
  for (int i = 0; i < filters->count(); ++i) {
    SCOPED_TRACE(filters->itemText(i).toStdString());
    filters->setCurrentIndex(i);
    ASSERT_TRUE(button(QStringLiteral(" Меню"))->isEnabled());
    auto* menuPanel = window->findChild<QWidget*>("menuPanel");
    if (!menuPanel->isVisible()) button(QStringLiteral(" Меню"))->click();
    ASSERT_TRUE(menuPanel->isVisible());
    ASSERT_TRUE(button(QStringLiteral("Дерево архивов"))->isEnabled());
    if (!tree->isVisible()) button(QStringLiteral("Дерево архивов"))->click();
    ASSERT_TRUE(tree->isVisible());
    auto* model = static_cast<QFileSystemModel*>(tree->model());
    const std::string target = (i % 2 == 0) ? sub : dir.path();
    Q_EMIT tree->clicked(model->index(QString::fromStdString(target)));
    QApplication::processEvents();
    EXPECT_EQ(label->text().toStdString(), target + "/");
    EXPECT_EQ(window->browser().directory(), target + "/");
  }

  // BDF and EDF files with the header column: "ФИО" shows the patient of each
  Q_EMIT tree->clicked(static_cast<QFileSystemModel*>(tree->model())->index(QString::fromStdString(sub)));
  auto* selection = window->findChild<QComboBox*>("selectionBox");
  for (const auto& [item, name] : {std::pair{8, QStringLiteral("stim")}, std::pair{2, QStringLiteral("subject")}}) {
    filters->setCurrentIndex(item);
    EXPECT_TRUE(selection->isEnabled());
    selection->setCurrentIndex(3);
    ASSERT_EQ(columnTexts(0), (std::vector<QString>{name}));
    ASSERT_EQ(list()->columnCount(), 2);
    EXPECT_EQ(list()->headerItem()->text(1), QStringLiteral("ФИО"));
    const QString patient = columnTexts(1)[0];
    std::string header;
    int days = 0;
    ASSERT_TRUE(edfFileExamHeader(sub + "/" + name.toStdString() + (item == 8 ? ".bdf" : ".edf"), header, days));
    EXPECT_EQ(patient.trimmed(), QString::fromStdString(headerField(header, false, 3)).trimmed());
    if (item == 2) EXPECT_EQ(patient.trimmed(), QStringLiteral("Subject0"));
    // "Дата": the recording's start date
    selection->setCurrentIndex(7);
    if (item == 2) EXPECT_EQ(columnTexts(1)[0], QStringLiteral("01.01.2011"));
  }
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
