// The main window as a person sees it: title, menus and panel, keys, the
// close question, the settings written at close, the header dialog.
#include <gtest/gtest.h>

#include "core/record_file.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <memory>

#include "core/binio.h"
#include "core/header_dialog_texts.h"
#include "core/interaction.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "core/text.h"
#include "core/ui/qt_interaction.h"
#include "core/ui/header_dialog.h"
#include "interchange/ui/file_window.h"
#include "results/ui/text_results_window.h"
#include "shell/commands.h"
#include "shell/main_window_texts.h"
#include "shell/ui/help_window.h"
#include "shell/ui/splash.h"
#include "shell/ui/main_window.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"
#include "viewer/ui/monitor_widget.h"

namespace velor::shell {
namespace {

using namespace velor::shell_text;
using test::TempDir;

QString qs(const char* s) { return QString::fromUtf8(s); }

// Typing as a keyboard does it, letters of any alphabet.
void typeText(QWidget* w, const QString& text) {
  for (const QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &release);
  }
}

int crlfLineCount(const std::string& bytes) {
  int n = 0;
  for (std::size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at + 2)) ++n;
  return n;
}

// A record file of `channels` sines written by the production writer.
void writeRecordFile(const std::string& path, int channels, int length, const std::string& header = {}) {
  StudyState s;
  ScriptedInteraction ui;
  s.channelCount = channels;
  s.recordLength = length;
  s.sampleRate = 250;
  if (!header.empty()) s.examHeader = utf8Fit(header, kHeaderChars);
  for (int c = 0; c < channels; ++c) {
    s.channelNames[static_cast<std::size_t>(c)] = "E" + std::to_string(c + 1);
    for (int i = 0; i < length; ++i) s.channel(c)[i] = static_cast<std::int16_t>(2048 + ((i * (c + 3)) % 400) - 200);
  }
  ASSERT_TRUE(saveRecords(s, path, ui));
}

using test::ScriptedChooser;

class MainWindowGui : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    window = std::make_unique<MainWindow>(s, ui);
    window->setFileChooser(&chooser);
  }

  void showWindow() {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->activateWindow();
    QApplication::processEvents();
  }

  QStringList menuBarCaptions() const {
    QStringList out;
    for (QAction* a : window->menuBar()->actions())
      if (a->isVisible()) out << a->text();
    return out;
  }

  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  ScriptedChooser chooser;
  std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowGui, TitleMenusAndPanelShowTheirCaptions) {
  showWindow();
  EXPECT_EQ(window->windowTitle(), qs(kMainTitle));
  const QStringList expected{qs(kMenuFiles),   qs(kMenuAnalysis), qs(kMenuRecords),
                             qs(kMenuCompute), qs(kMenuSettings), qs(kMenuMacros),
                             qs(kMenuDesigner), qs(kMenuExam),    qs(kMenuHelp)};
  EXPECT_EQ(menuBarCaptions(), expected);

  QStringList panel;
  for (QToolBar* row : window->toolPanels()) {
    EXPECT_TRUE(row->isVisible());
    for (QAction* a : row->actions())
      if (a->isVisible())
        if (auto* b = qobject_cast<QToolButton*>(row->widgetForAction(a))) {
          panel << b->text();
          // Every button is on the screen, none hidden in an overflow menu.
          EXPECT_TRUE(b->isVisible()) << b->text().toStdString();
        }
  }
  ASSERT_EQ(panel.size(), static_cast<int>(panelButtons().size()) + 1);
  for (std::size_t i = 0; i < panelButtons().size(); ++i) EXPECT_EQ(panel[static_cast<int>(i)], qs(panelButtons()[i].caption));
  EXPECT_EQ(panel.back(), qs(kPanelInstruction));
  // The macro indicator is there but shows only while a macro is recorded.
  EXPECT_EQ(window->macroIndicator()->text(), qs(kPanelMacro));
  EXPECT_FALSE(window->macroIndicator()->isVisible());

  // The file menu lists its entries with their keys.
  QAction* open = window->action(Cmd::Open);
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->text(), qs(kFileOpen));
  EXPECT_EQ(open->shortcut(), QKeySequence(Qt::Key_F3));
  EXPECT_TRUE(open->isEnabled());
  EXPECT_EQ(window->action(Cmd::Exit)->shortcut(), QKeySequence(Qt::Key_F10));
  // Hidden at first show; the device menu is hidden altogether.
  EXPECT_FALSE(window->action(Cmd::MacroFinish)->isVisible());
  EXPECT_FALSE(window->action(Cmd::DeviceK2)->isVisible());
  EXPECT_TRUE(window->action(Cmd::Placement1)->isVisible());
  EXPECT_FALSE(window->action(Cmd::Placement4)->isVisible());
}

TEST_F(MainWindowGui, CommandsOfModulesNotBuiltAreDisabledAndSaySo) {
  showWindow();
  int checked = 0;
  for (const auto& e : menuEntries()) {
    QAction* a = window->action(e.cmd);
    ASSERT_NE(a, nullptr) << e.caption;
    if (a->isVisible()) {
      EXPECT_EQ(a->isEnabled(), commandEnabled(e.module)) << e.caption;
    }
    if (!commandEnabled(e.module)) {
      EXPECT_TRUE(a->toolTip().contains(QStringLiteral("недоступно"))) << e.caption;
      EXPECT_TRUE(a->statusTip().contains(QStringLiteral("недоступно"))) << e.caption;
      ++checked;
    }
  }
  // Some entries are still of modules not built; their number falls as modules land.
  EXPECT_GT(checked, 0);
  // A panel button of a module not built yet, whichever that is now (once
  // every panel module is built there is none left to check).
  QToolButton* off = nullptr;
  for (const auto& b : panelButtons())
    if (!commandEnabled(b.module) && !off) off = window->panelButton(b.cmd);
  if (off) {
    EXPECT_FALSE(off->isEnabled());
    EXPECT_TRUE(off->toolTip().contains(QStringLiteral("недоступно")));
  }

  // Its key is not silently swallowed: the status line tells why nothing
  // happens (the key of a command not built yet, whichever that is now).
  const MenuEntry* keyed = nullptr;
  for (const auto& e : menuEntries())
    if (!commandEnabled(e.module) && std::string_view(e.shortcut).size() > 0 && !keyed) keyed = &e;
  ASSERT_NE(keyed, nullptr);
  const QKeyCombination combo = QKeySequence(QString::fromUtf8(keyed->shortcut))[0];
  QTest::keyClick(window->monitor(), combo.key(), combo.keyboardModifiers());
  EXPECT_TRUE(window->statusBar()->currentMessage().contains(QStringLiteral("недоступно")))
      << window->statusBar()->currentMessage().toStdString();
}

TEST_F(MainWindowGui, FirstShowOfAFreshInstallationIsQuietAndHostsTheMonitor) {
  showWindow();
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_NE(window->monitor(), nullptr);
  EXPECT_TRUE(window->monitor()->isVisible());
  EXPECT_GT(window->monitor()->width(), 100);
  EXPECT_EQ(s.helpContext, 3);
}

TEST_F(MainWindowGui, F10AsksAndNoKeepsTheWindowOpen) {
  showWindow();
  ui.answerYes = false;
  QTest::keyClick(window->monitor(), Qt::Key_F10);
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0], kCloseQuestion);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(fileExists(dir.file("Vlr.ini")));
}

TEST_F(MainWindowGui, F10YesClosesAndWritesTheSettings) {
  showWindow();
  s.displayFlags = 0x13;
  ui.answerYes = true;
  QTest::keyClick(window->monitor(), Qt::Key_F10);
  EXPECT_EQ(ui.questions.size(), 1u);
  EXPECT_FALSE(window->isVisible());
  const std::string vlr = test::readBytes(dir.file("Vlr.ini"));
  EXPECT_EQ(crlfLineCount(vlr), 21);
  EXPECT_EQ(test::readBytes(dir.file("cai.ini")).size(), 1058u);

  // The next start finds them: no interrupt message, the same flags.
  StudyState next;
  next.programDir = s.programDir;
  ScriptedInteraction nextUi;
  MainWindow again(next, nextUi);
  again.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
  EXPECT_TRUE(nextUi.messages.empty()) << nextUi.messages.front();
  EXPECT_EQ(next.displayFlags, 0x13);
}

TEST_F(MainWindowGui, F3OpensTheChosenRecordOnceAndTheCaptionSummarisesIt) {
  const std::string path = dir.file("alpha.cad");
  writeRecordFile(path, 5, 1000, "Фон");
  showWindow();
  chooser.answer = path;
  // Keys reach the monitor, which has the focus.
  ASSERT_EQ(QApplication::focusWidget(), window->monitor());
  QTest::keyClick(window->monitor(), Qt::Key_F3);
  EXPECT_EQ(chooser.calls, 1);
  EXPECT_EQ(chooser.lastKind, 0);
  EXPECT_EQ(s.recordFileName, "alpha.cad");
  EXPECT_EQ(s.channelCount, 5);
  EXPECT_EQ(s.shownChannelCount, 5);
  const QString caption = window->monitorCaption()->text();
  EXPECT_TRUE(caption.startsWith(QStringLiteral("alpha: "))) << caption.toStdString();
  EXPECT_TRUE(caption.contains(QStringLiteral("Фон"))) << caption.toStdString();

  // The panel button does the same.
  chooser.answer.clear();
  QTest::mouseClick(window->panelButton(Cmd::Open), Qt::LeftButton);
  EXPECT_EQ(chooser.calls, 2);
  EXPECT_EQ(s.recordFileName, "alpha.cad");
}

// "Сохранить" of records as ".bmp" writes the monitor's picture.
TEST_F(MainWindowGui, SavingRecordsAsBmpWritesTheMonitorPicture) {
  const std::string path = dir.file("alpha.cad");
  writeRecordFile(path, 3, 1000, "Фон");
  showWindow();
  chooser.answer = path;
  window->runCommand(Cmd::Open);
  ASSERT_EQ(s.channelCount, 3);
  const std::string bmp = dir.file("screen.bmp");
  chooser.answer = bmp;
  EXPECT_EQ(window->runCommand(Cmd::Save).status, CommandStatus::Done);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
  const QImage saved(QString::fromStdString(bmp));
  ASSERT_FALSE(saved.isNull());
  const QImage& shown = window->monitor()->surface();
  EXPECT_EQ(saved.size(), shown.size());
  EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), shown.convertToFormat(QImage::Format_RGB32));
  // a folder that is not there: a message, no file
  chooser.answer = dir.file("none/screen.bmp");
  EXPECT_EQ(window->runCommand(Cmd::Save).status, CommandStatus::Refused);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("не удалось записать"), std::string::npos) << ui.messages[0];
}

// The panel's clipboard buttons and F4 act on the window that last had the
// focus: the text window's text, a graph window's picture, the monitor's.
TEST_F(MainWindowGui, ClipboardAndSaveActOnTheWindowInFront) {
  const std::string path = dir.file("alpha.cad");
  writeRecordFile(path, 3, 1000, "Фон");
  showWindow();
  chooser.answer = path;
  window->runCommand(Cmd::Open);
  ASSERT_EQ(s.channelCount, 3);
  auto focusOn = [](QWidget* w) {
    w->window()->show();
    w->window()->activateWindow();
    w->setFocus();
    QApplication::processEvents();
    return QApplication::focusWidget() == w;
  };

  window->runCommand(Cmd::Diagnosis);
  TextResultsWindow* text = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* t = qobject_cast<TextResultsWindow*>(w); t && t->isVisible()) text = t;
  ASSERT_NE(text, nullptr);
  text->textBox()->setPlainText(QStringLiteral("строка заключения"));
  text->textBox()->selectAll();
  ASSERT_TRUE(focusOn(text->textBox()));
  QApplication::clipboard()->clear();
  QTest::mouseClick(window->panelButton(Cmd::Copy), Qt::LeftButton);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("строка заключения"));
  // F4 is the text window's "Запись": the text file kind
  chooser.answer = dir.file("conclusion.txt");
  window->runCommand(Cmd::Save);
  EXPECT_EQ(chooser.lastKind, static_cast<int>(FileKind::Text));
  EXPECT_TRUE(fileExists(dir.file("conclusion.txt")));

  // back on the monitor: its picture
  ASSERT_TRUE(focusOn(window->monitor()));
  QApplication::clipboard()->clear();
  QTest::mouseClick(window->panelButton(Cmd::Copy), Qt::LeftButton);
  EXPECT_FALSE(QApplication::clipboard()->image().isNull());
  EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
  text->close();
}

TEST_F(MainWindowGui, F3ThroughTheFileWindowDrawsEveryChannelWithItsName) {
  writeRecordFile(dir.file("alpha.cad"), 4, 2000);
  window->setFileChooser(nullptr);  // the real file window
  showWindow();
  QString title;
  QTimer::singleShot(0, [&] {
    auto* fileWindow = window->findChild<FileWindow*>();
    ASSERT_NE(fileWindow, nullptr);
    title = fileWindow->windowTitle();
    auto* list = fileWindow->findChild<QTreeWidget*>("fileList");
    ASSERT_NE(list, nullptr);
    const auto found = list->findItems(QStringLiteral("alpha"), Qt::MatchExactly, 0);
    ASSERT_EQ(found.size(), 1);
    list->setCurrentItem(found[0]);
    QTest::keyClick(list, Qt::Key_Return);
  });
  QTest::keyClick(window->monitor(), Qt::Key_F3);
  EXPECT_EQ(title, qs(kFileWindowRead));
  ASSERT_EQ(s.recordFileName, "alpha.cad");
  ASSERT_EQ(s.shownChannelCount, 4);

  QApplication::processEvents();
  const QImage image = window->monitor()->surface();
  const int traceRight = s.monitorWidth - 60;
  for (int row = 0; row < 4; ++row) {
    const int top = s.rowBaseY[static_cast<std::size_t>(row)] - s.rowHeight / 2;
    const int bottom = s.rowBaseY[static_cast<std::size_t>(row)] + s.rowHeight / 2;
    int trace = 0, name = 0;
    for (int y = std::max(0, top); y < std::min(image.height(), bottom); ++y) {
      for (int x = 0; x < traceRight; ++x)
        if (image.pixelColor(x, y) == QColor(0, 0, 0)) ++trace;
      for (int x = traceRight; x < s.monitorWidth; ++x)
        if (image.pixelColor(x, y) == QColor(0, 0, 128)) ++name;
    }
    EXPECT_GT(trace, traceRight / 2) << "row " << row;
    EXPECT_GT(name, 5) << "row " << row;
  }
}

TEST_F(MainWindowGui, AFileGivenAtStartIsOpenAfterTheFirstShow) {
  const std::string path = dir.file("start.cad");
  writeRecordFile(path, 3, 500);
  window->openAtStart(path);
  showWindow();
  EXPECT_EQ(s.recordFileName, "start.cad");
  EXPECT_EQ(s.channelCount, 3);
  EXPECT_EQ(s.currentRecord, 1);
  EXPECT_TRUE(window->monitorCaption()->text().startsWith(QStringLiteral("start: ")));
  EXPECT_EQ(chooser.calls, 0);
}

TEST_F(MainWindowGui, OversizeWarningIsShownOncePerRun) {
  showWindow();
  const std::size_t before = ui.messages.size();
  window->resize(2000, 800);
  QApplication::processEvents();
  window->resize(2100, 800);
  QApplication::processEvents();
  ASSERT_EQ(ui.messages.size(), before + 1);
  EXPECT_EQ(ui.messages.back(), kSizeWarning);
}

TEST_F(MainWindowGui, AxisButtonsChangeTheDisplayFlags) {
  showWindow();
  s.displayFlags = 0x03;
  QTest::mouseClick(window->panelButton(Cmd::TimeAxes), Qt::LeftButton);
  EXPECT_EQ(s.displayFlags, 0x13);
  QTest::mouseClick(window->panelButton(Cmd::AmplitudeAxes), Qt::LeftButton);
  EXPECT_EQ(s.displayFlags, 0x10);
}

TEST_F(MainWindowGui, PlacementAndHiddenDeviceCommandsCarryTheirChoice) {
  showWindow();
  window->runCommand(Cmd::Placement3);
  EXPECT_EQ(s.monitorPlacement, 3);
  EXPECT_EQ(window->action(Cmd::Placement3)->text(), QStringLiteral("+") + qs(kPlacement3));
  EXPECT_EQ(window->action(Cmd::Placement1)->text(), qs(kPlacement1));
  window->runCommand(Cmd::Placement4);  // hidden in the menu, still a valid choice
  EXPECT_EQ(s.monitorPlacement, 4);
  EXPECT_EQ(window->action(Cmd::Placement3)->text(), qs(kPlacement3));

  const std::size_t before = ui.messages.size();
  window->runCommand(Cmd::DeviceK2);
  EXPECT_EQ(s.deviceKind, 1);
  ASSERT_EQ(ui.messages.size(), before + 1);
  EXPECT_EQ(ui.messages.back(), kRestartNotice);
}

TEST_F(MainWindowGui, F1OpensTheHelpTopicOfTheWindowInFront) {
  showWindow();
  QTest::keyClick(window->monitor(), Qt::Key_F1);
  HelpWindow* help = window->helpWindow();
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(help->shownContext(), 3);
  EXPECT_FALSE(help->textView()->toPlainText().isEmpty());
}

TEST_F(MainWindowGui, HeaderCommandComposesTheHeaderAndTheCaptionShowsIt) {
  const std::string path = dir.file("rec.cad");
  writeRecordFile(path, 2, 300);
  window->openAtStart(path);
  showWindow();
  window->setHeaderDialogRunner([](HeaderDialog& d) {
    d.setFieldText(1, QStringLiteral("Гипервентиляция"));
    d.setFieldText(3, QStringLiteral("Смирнова А.В."));
    d.acceptHeader();
  });
  window->runCommand(Cmd::Header);
  EXPECT_EQ(headerField(s, 1), "Гипервентиляция");
  EXPECT_EQ(headerField(s, 3), "Смирнова А.В.");
  EXPECT_TRUE(window->monitorCaption()->text().contains(QStringLiteral("Гипервентиляция")));
}

TEST_F(MainWindowGui, F1InsideTheHeaderDialogOpensItsTopic) {
  showWindow();
  int shown = -1;
  window->setHeaderDialogRunner([&](HeaderDialog& d) {
    QTimer::singleShot(0, [&] {
      QTest::keyClick(QApplication::activeModalWidget() ? QApplication::activeModalWidget() : &d, Qt::Key_F1);
      if (window->helpWindow()) shown = window->helpWindow()->shownContext();
      d.reject();
    });
    d.exec();
  });
  window->runCommand(Cmd::Header);
  EXPECT_EQ(shown, kHeaderDialogHelpContext);
  EXPECT_EQ(s.helpContext, 3);  // the monitor's topic again once the dialog is closed
}

// --- the header dialog ----------------------------------------------------------------

class HeaderDialogGui : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.examHeader = std::string(kHeaderChars, ' ');
  }
  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
};

TEST_F(HeaderDialogGui, AcceptComposesTheHeaderFromTheFieldsAndKeepsTheLists) {
  s.institutionName = "Больница";
  HeaderDialog d(s, ui, nullptr);
  EXPECT_EQ(d.windowTitle(), qs(header_text::kHeaderTitle));
  EXPECT_FALSE(d.groupLayout());
  EXPECT_EQ(d.institutionEdit()->text(), QStringLiteral("Больница"));
  d.setFieldText(1, QStringLiteral("Фотостимуляция"));
  d.setFieldText(2, QStringLiteral("Контроль"));
  d.setFieldText(3, QStringLiteral("Иванов И.И."));
  d.setFieldText(4, QStringLiteral("0042"));
  d.setFieldText(5, QStringLiteral("12.03.1975"));
  d.setFieldText(6, qs(header_text::kSexFemale));
  d.setFieldText(7, QStringLiteral("Мигрень"));
  d.departmentEdit()->setText(QStringLiteral("Отделение функциональной диагностики №1, корпус 2"));
  d.findChild<QPushButton*>("accept")->click();

  EXPECT_EQ(s.dialogResult, 1);
  EXPECT_EQ(utf8Length(s.examHeader), static_cast<std::size_t>(kHeaderChars));
  EXPECT_EQ(headerField(s, 1), "Фотостимуляция");
  EXPECT_EQ(headerField(s, 2), "Контроль");
  EXPECT_EQ(headerField(s, 3), "Иванов И.И.");
  EXPECT_EQ(headerField(s, 4), "0042");
  EXPECT_EQ(headerField(s, 5), "12.03.1975");
  EXPECT_EQ(headerField(s, 6), header_text::kSexFemale);
  EXPECT_EQ(headerField(s, 7), "Мигрень");
  EXPECT_EQ(utf8Length(s.departmentName), 40u);
  // The lists are written when the dialog closes.
  EXPECT_TRUE(fileExists(dir.file("qhead.ini")));
  EXPECT_TRUE(fileExists(dir.file("head-sp.ini")));
}

TEST_F(HeaderDialogGui, EscapeLeavesTheHeaderAsItWas) {
  setHeaderField(s.examHeader, false, 1, "Фон");
  const std::string before = s.examHeader;
  HeaderDialog d(s, ui, nullptr);
  d.show();
  EXPECT_EQ(d.fieldText(1), QStringLiteral("Фон"));
  d.setFieldText(1, QStringLiteral("Другое"));
  QTest::keyClick(&d, Qt::Key_Escape);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(s.examHeader, before);
  EXPECT_EQ(s.dialogResult, 0);
}

TEST_F(HeaderDialogGui, TypingInAListReplacesTheChosenItemAndTheListsComeBack) {
  {
    HeaderDialog d(s, ui, nullptr);
    auto* test = qobject_cast<QComboBox*>(d.fieldWidget(1));
    ASSERT_NE(test, nullptr);
    ASSERT_GT(test->count(), 1);
    test->setCurrentIndex(1);
    test->lineEdit()->selectAll();
    typeText(test->lineEdit(), QStringLiteral("Ортостаз"));
    EXPECT_EQ(test->itemText(1), QStringLiteral("Ортостаз"));
    d.reject();
  }
  HeaderDialog again(s, ui, nullptr);
  auto* test = qobject_cast<QComboBox*>(again.fieldWidget(1));
  EXPECT_EQ(test->itemText(1), QStringLiteral("Ортостаз"));
}

TEST_F(HeaderDialogGui, ReadingAHeaderFromAFileShowsItButChangesNothingUntilAccepted) {
  const std::string path = dir.file("other.cad");
  std::string header(kHeaderChars, ' ');
  setHeaderField(header, false, 1, "Фотостимуляция");
  setHeaderField(header, false, 3, "Петров П.П.");
  writeRecordFile(path, 2, 100, header);
  const std::string before = s.examHeader;
  s.recordFileName = "current.cad";
  HeaderDialog d(s, ui, [&]() -> std::optional<std::string> { return path; });
  d.findChild<QPushButton*>("readFromFile")->click();
  EXPECT_EQ(d.fieldText(1), QStringLiteral("Фотостимуляция"));
  EXPECT_EQ(d.fieldText(3), QStringLiteral("Петров П.П."));
  EXPECT_EQ(s.examHeader, before);
  EXPECT_EQ(s.recordFileName, "current.cad");
  d.acceptHeader();
  EXPECT_EQ(headerField(s, 3), "Петров П.П.");

  // A file that is not a record file is reported and the fields stay.
  const std::string junk = dir.file("junk.cad");
  test::writeBytes(junk, "not a record");
  HeaderDialog e(s, ui, [&]() -> std::optional<std::string> { return junk; });
  const std::size_t messages = ui.messages.size();
  e.findChild<QPushButton*>("readFromFile")->click();
  EXPECT_EQ(ui.messages.size(), messages + 1);
  EXPECT_EQ(e.fieldText(3), QStringLiteral("Петров П.П."));
}

TEST_F(HeaderDialogGui, GroupLayoutCopiesAChosenNameIntoTheTargetField) {
  s.groupMode = 1;
  s.channelCount = 3;
  HeaderDialog d(s, ui, nullptr);
  ASSERT_TRUE(d.groupLayout());
  ASSERT_NE(d.patientList(), nullptr);
  ASSERT_GT(d.patientList()->count(), 0);
  EXPECT_TRUE(d.fieldWidget(2)->toolTip().contains(QLatin1Char('2')));
  d.show();
  auto* second = qobject_cast<QLineEdit*>(d.fieldWidget(2));
  ASSERT_NE(second, nullptr);
  QTest::mouseClick(second, Qt::LeftButton);
  EXPECT_EQ(d.targetPatient(), 1);
  const QString name = d.patientList()->itemText(0);
  Q_EMIT d.patientList()->activated(0);
  EXPECT_EQ(second->text(), name);
  d.setFieldText(7, QStringLiteral("Нагрузка"));
  d.acceptHeader();
  EXPECT_EQ(QString::fromStdString(headerField(s, 2)), name.left(20).trimmed());
  EXPECT_EQ(headerField(s, 7), "Нагрузка");
  EXPECT_EQ(QString::fromStdString(s.channelNames[1]), name.left(3));
}

TEST(Splash, ClosesAndReleasesItselfAfterShowing) {
  QPointer<SplashScreen> splash = new SplashScreen;
  splash->show();
  EXPECT_EQ(splash->size(), QSize(kSplashWidth, kSplashHeight));
  EXPECT_TRUE(splash->timerArmed());
  EXPECT_TRUE(QTest::qWaitFor([&] { return splash.isNull(); }, 10000));
}

// --- the choice window every engine question with several answers uses ----------------

TEST(ChoiceWindow, AButtonGivesItsCodeAndEscapeGivesZero) {
  const std::vector<Interaction::Choice> choices{{"&1=Первый", 1}, {"&2=Второй", 2}, {"<Esc>=Отменить", 0}};
  {
    ChoiceDialog d(nullptr, "Окно", "Подпись", "Что делать?", choices);
    d.show();
    QPushButton* second = nullptr;
    for (auto* b : d.findChildren<QPushButton*>())
      if (b->text() == QStringLiteral("&2=Второй")) second = b;
    ASSERT_NE(second, nullptr);
    QTest::mouseClick(second, Qt::LeftButton);
    EXPECT_EQ(d.chosenCode(), 2);
    EXPECT_EQ(d.result(), QDialog::Accepted);
  }
  {
    ChoiceDialog d(nullptr, "Окно", "Подпись", "", choices);
    d.show();
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_EQ(d.chosenCode(), 0);
    EXPECT_EQ(d.result(), QDialog::Rejected);
  }
}

}  // namespace
}  // namespace velor::shell
