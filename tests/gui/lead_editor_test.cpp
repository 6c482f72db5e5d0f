// The lead editor as a person uses it: opened from the main window's menu,
// names typed into the grid, pairs built on the head scheme, kinds chosen
// from the pick list, electrodes dragged and moved by keys, the channel order
// panel and the pair files; what it stores shows in the monitor's name strip.
#include <gtest/gtest.h>

#include "core/record_file.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "core/binio.h"
#include "core/interaction.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "core/text.h"
#include "shell/commands.h"
#include "shell/ui/main_window.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"
#include "viewer/leads.h"
#include "viewer/leads_texts.h"
#include "viewer/monitor.h"
#include "viewer/monitor_texts.h"
#include "viewer/ui/monitor_widget.h"
#include "viewer/ui/lead_editor_dialog.h"
#include "viewer/ui/pick_list_dialog.h"

namespace velor {
namespace {

using namespace velor::leads_text;
using test::TempDir;

QString qs(const char* s) { return QString::fromUtf8(s); }

// Types into a grid cell through its editor, as the keyboard does, and commits with Enter.
void typeIntoCell(QTableWidget* grid, int row, int column, const QString& text) {
  QTableWidgetItem* item = grid->item(row, column);
  ASSERT_NE(item, nullptr);
  grid->setCurrentItem(item);
  grid->editItem(item);
  auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(grid->model()->index(row, column)));
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  for (const QChar ch : text) {  // letters of any alphabet, as a keyboard sends them
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(editor, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(editor, &release);
  }
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();  // the view commits the editor's text after the key
}

// A left-button drag of a widget by `delta` pixels.
void drag(QWidget* w, QPoint delta) {
  const QPoint from = w->rect().center();
  const QPoint gFrom = w->mapToGlobal(from);
  QMouseEvent press(QEvent::MouseButtonPress, from, gFrom, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QMouseEvent move(QEvent::MouseMove, from + delta, gFrom + delta, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &move);
  QMouseEvent release(QEvent::MouseButtonRelease, from + delta, gFrom + delta, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(w, &release);
}

// Press, release, double click and release, as a mouse sends them.
void doubleClick(QWidget* w, QPoint at) {
  const QPoint g = w->mapToGlobal(at);
  for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                          QEvent::MouseButtonRelease}) {
    const bool down = type != QEvent::MouseButtonRelease;
    QMouseEvent e(type, at, g, Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  }
}

void keyRelease(QWidget* w, Qt::Key key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(w, &release);
}

QStringList headers(QTableWidget* grid) {
  QStringList out;
  for (int c = 0; c < grid->columnCount(); ++c) out << grid->horizontalHeaderItem(c)->text();
  return out;
}

// A record file of `channels` named channels with electrodes across the head.
void writeRecordFile(const std::string& path, int channels) {
  StudyState s;
  ScriptedInteraction ui;
  s.channelCount = channels;
  s.recordLength = 400;
  s.sampleRate = 200;
  for (int c = 0; c < channels; ++c) {
    const auto at = static_cast<std::size_t>(c);
    s.channelNames[at] = "E" + std::to_string(c + 1);
    s.channelPosX[at] = static_cast<std::uint8_t>(10 + 12 * c);
    s.channelPosY[at] = 31;
    for (int i = 0; i < s.recordLength; ++i) s.channel(c)[i] = static_cast<std::int16_t>(2048 + (i * (c + 2)) % 300 - 150);
  }
  ASSERT_TRUE(saveRecords(s, path, ui));
}

// --- from the main window -----------------------------------------------------------------

class LeadEditorFromMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    window = std::make_unique<shell::MainWindow>(s, ui);
    window->setFileChooser(&chooser);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QApplication::processEvents();
    const std::string record = dir.file("four.cad");
    writeRecordFile(record, 4);
    chooser.answer = record;
    window->runCommand(shell::Cmd::Open);
    ASSERT_EQ(s.channelCount, 4);
  }

  QImage strip() const {
    const QImage& surface = window->monitor()->surface();
    return surface.copy(s.monitorWidth - kStripWidth, 0, kStripWidth, s.monitorHeight);
  }

  // Opens the editor from its menu entry and lets `work` drive it while it is modal.
  void runEditor(const std::function<void(LeadEditorDialog&)>& work) {
    QAction* leads = window->action(shell::Cmd::Leads);
    ASSERT_NE(leads, nullptr);
    ASSERT_TRUE(leads->isEnabled());
    bool ran = false;
    auto* poll = new QTimer(window.get());
    QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
      auto* editor = qobject_cast<LeadEditorDialog*>(QApplication::activeModalWidget());
      if (!editor || ran) return;
      ran = true;
      poll->stop();
      // Its keys (Ins, Del) reach it only while it is the active window.
      editor->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(editor));
      work(*editor);
      if (editor->isVisible()) editor->reject();  // never leave the modal loop hanging
    });
    poll->start(10);
    leads->trigger();
    delete poll;
    EXPECT_TRUE(ran);
  }

  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  test::ScriptedChooser chooser;
  std::unique_ptr<shell::MainWindow> window;
};

TEST_F(LeadEditorFromMenu, TypedNamesAreStoredByOkAndShownInTheNameStrip) {
  const QImage before = strip();
  s.helpContext = 3;
  runEditor([&](LeadEditorDialog& e) {
    EXPECT_EQ(e.windowTitle(), qs(kEditorTitle));
    EXPECT_EQ(s.helpContext, kLeadEditorHelpContext);
    QTableWidget* grid = e.channelGrid();
    EXPECT_EQ(headers(grid), (QStringList{qs(kColumnNumber), qs(kColumnKind), qs(kColumnName)}));
    ASSERT_EQ(grid->rowCount(), 4);
    EXPECT_EQ(grid->item(2, 1)->text(), qs("ЭЭГ"));
    typeIntoCell(grid, 0, 2, QStringLiteral("Fp1x"));  // four letters: the first three stay
    typeIntoCell(grid, 1, 2, QStringLiteral("Ц"));     // one letter: padded
    EXPECT_EQ(grid->item(0, 2)->text(), QStringLiteral("Fp1"));
    EXPECT_EQ(e.electrode(0)->text(), QStringLiteral("Fp1"));
    // Nothing is stored before "Утвердить".
    EXPECT_EQ(s.channelNames[0], "E1");
    e.referenceList()->setCurrentIndex(1);
    QTest::mouseClick(e.button(LeadEditorDialog::Button::Accept), Qt::LeftButton);
  });
  EXPECT_EQ(s.channelNames[0], "Fp1");
  EXPECT_EQ(s.channelNames[1], "Ц  ");
  EXPECT_EQ(s.referenceKind, 1);
  EXPECT_EQ(s.dialogResult, 0);  // the main window clears it afterwards
  EXPECT_EQ(s.helpContext, 3);
  EXPECT_EQ(leadText(s, 0), std::string("Fp1") + monitor_text::kSuffixAA);
  EXPECT_NE(strip(), before);
  // The editor left its settings beside the program.
  const auto order = readTextLines(s.programDir + kOrderSettingsFile);
  ASSERT_TRUE(order);
  EXPECT_EQ(order->size(), static_cast<std::size_t>(kOrderFileLines));
}

TEST_F(LeadEditorFromMenu, PairsBuiltOnTheHeadLabelTheRowsOfABipolarMontage) {
  const QImage before = strip();
  runEditor([&](LeadEditorDialog& e) {
    QTest::mouseClick(e.button(LeadEditorDialog::Button::Pairs), Qt::LeftButton);
    ASSERT_TRUE(e.pairMode());
    EXPECT_EQ(e.windowTitle(), qs(kPairTitle));
    EXPECT_EQ(e.button(LeadEditorDialog::Button::Pairs)->text(), qs(kPairsOff));
    EXPECT_FALSE(e.button(LeadEditorDialog::Button::ReadPairs)->isHidden());
    EXPECT_EQ(headers(e.channelGrid()), (QStringList{qs(kColumnNumber), qs(kColumnPairFirst), qs(kColumnPairSecond)}));
    EXPECT_EQ(e.channelGrid()->rowCount(), kMaxEditorPairs);

    QTest::keyClick(&e, Qt::Key_Insert);  // the first two channels
    ASSERT_EQ(s.leadPairCount, 1);
    EXPECT_EQ(e.channelGrid()->item(0, 2)->text(), QStringLiteral("E2"));
    // Electrode 2 dragged onto electrode 4: the pair now ends there.
    QPushButton* e2 = e.electrode(1);
    QPushButton* e4 = e.electrode(3);
    drag(e2, e4->geometry().center() - e2->geometry().center());
    EXPECT_EQ(pairName(s, 0), "E1-E4");
    EXPECT_EQ(e.channelGrid()->item(0, 2)->text(), QStringLiteral("E4"));
    // Dragging in pair mode moves no electrode: it goes back to its place.
    EXPECT_EQ(s.channelPosX[1], 22);
    EXPECT_EQ(e2->pos().x(), pixelFromGrid(22, LeadEditorDialog::kButtonWidth, LeadEditorDialog::kImageLeft, LeadEditorDialog::kImageWidth));
    // A row beyond the pairs selects the last pair.
    e.channelGrid()->setCurrentCell(10, 1);
    EXPECT_EQ(e.selectedPair(), 0);

    QTest::mouseClick(e.button(LeadEditorDialog::Button::Pairs), Qt::LeftButton);
    ASSERT_FALSE(e.pairMode());
    EXPECT_EQ(e.windowTitle(), qs(kEditorTitle));
    e.referenceList()->setCurrentIndex(6);
    QTest::mouseClick(e.button(LeadEditorDialog::Button::Accept), Qt::LeftButton);
  });
  EXPECT_EQ(s.referenceKind, 6);
  EXPECT_EQ(leadText(s, 0), "E1-E4");
  EXPECT_NE(strip(), before);
}

// --- the editor on its own ------------------------------------------------------------------

class LeadEditorGui : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.channelCount = 4;
    for (int c = 0; c < 4; ++c) {
      const auto at = static_cast<std::size_t>(c);
      s.channelNames[at] = "E" + std::to_string(c + 1);
      s.channelPosX[at] = static_cast<std::uint8_t>(10 + 12 * c);
      s.channelPosY[at] = 31;
      for (int i = 0; i < s.recordLength; ++i) s.channel(c)[i] = static_cast<std::int16_t>(c + 1);
    }
  }

  std::unique_ptr<LeadEditorDialog> open(int mode = 1) {
    auto e = std::make_unique<LeadEditorDialog>(
        s, ui,
        [this](FileKind kind, bool save) -> std::optional<std::string> {
          pickedKind = kind;
          pickedSave = save;
          if (pickAnswer.empty()) return std::nullopt;
          return pickAnswer;
        });
    e->setPickListRunner([this](const QString& title, const QStringList& items) {
      listTitle = title;
      listItems = items;
      return listAnswer;
    });
    e->initialise(mode);
    e->show();
    e->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(e.get()));
    EXPECT_TRUE(QTest::qWaitForWindowActive(e.get()));
    QApplication::processEvents();
    return e;
  }

  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  std::string pickAnswer;
  std::optional<FileKind> pickedKind;
  bool pickedSave = false;
  QString listTitle;
  QStringList listItems;
  int listAnswer = -1;
};

TEST_F(LeadEditorGui, KindsFromThePickListHideAndShowElectrodes) {
  auto e = open();
  e->selectChannel(2);
  listAnswer = 1;  // "ЭКГ"
  e->menuAction(LeadEditorDialog::MenuItem::Kind)->trigger();
  EXPECT_EQ(listTitle, qs(kKindTitle));
  ASSERT_EQ(listItems.size(), kKindChoiceCount);
  EXPECT_EQ(listItems.front(), qs("ЭЭГ"));
  EXPECT_TRUE(listItems.back().isEmpty());
  EXPECT_EQ(s.channelPosX[2], 255);
  EXPECT_TRUE(e->electrode(2)->isHidden());
  EXPECT_EQ(e->channelGrid()->item(2, 1)->text(), qs("ЭКГ"));

  listAnswer = 0;  // back to EEG: an electrode again, inside the head area
  e->menuAction(LeadEditorDialog::MenuItem::Kind)->trigger();
  EXPECT_EQ(s.channelPosX[2], 0);
  ASSERT_FALSE(e->electrode(2)->isHidden());
  const QPoint at = e->electrode(2)->pos();
  EXPECT_GE(at.x(), 144);
  EXPECT_GE(at.y(), 32);
  EXPECT_LE(at.x(), 355);
  EXPECT_LE(at.y(), 275);

  listAnswer = -1;  // cancelled: nothing changes
  e->menuAction(LeadEditorDialog::MenuItem::Kind)->trigger();
  EXPECT_EQ(s.channelPosX[2], 0);

  // A double click on a row asks for that row's kind.
  listAnswer = 9;  // "Акс"
  const QRect r = e->channelGrid()->visualItemRect(e->channelGrid()->item(3, 1));
  doubleClick(e->channelGrid()->viewport(), r.center());
  EXPECT_EQ(s.channelPosX[3], 247);
  EXPECT_TRUE(e->electrode(3)->isHidden());

  // Pick list itself: Enter returns the row and its text.
  PickListDialog list(s, qs(kKindTitle), listItems);
  list.list()->setCurrentRow(2);
  list.show();
  QTest::keyClick(list.list(), Qt::Key_Return);
  EXPECT_EQ(list.chosenRow(), 2);
  EXPECT_EQ(s.dialogResult, 1);
  EXPECT_EQ(s.chosenFilePath, "РГ");
}

TEST_F(LeadEditorGui, ElectrodesMoveByKeysAndByDraggingAndTheLabelFollows) {
  auto e = open();
  EXPECT_EQ(e->positionLabel()->text(), QStringLiteral("1: x=-21; y=0"));
  QTest::mouseClick(e->electrode(1), Qt::LeftButton);
  EXPECT_EQ(e->selectedChannel(), 1);
  EXPECT_TRUE(e->electrode(1)->font().italic());
  EXPECT_FALSE(e->electrode(0)->font().italic());
  EXPECT_TRUE(e->electrode(0)->font().bold());

  QWidget* grid = e->channelGrid();
  keyRelease(grid, Qt::Key_Right);
  keyRelease(grid, Qt::Key_Up);
  EXPECT_EQ(s.channelPosX[1], 23);
  EXPECT_EQ(s.channelPosY[1], 30);
  EXPECT_EQ(e->positionLabel()->text(), QStringLiteral("2: x=-8; y=1"));
  keyRelease(grid, Qt::Key_PageDown);
  EXPECT_EQ(e->selectedChannel(), 2);
  keyRelease(grid, Qt::Key_PageUp);
  keyRelease(grid, Qt::Key_PageUp);
  keyRelease(grid, Qt::Key_PageUp);  // stays on the first channel
  EXPECT_EQ(e->selectedChannel(), 0);

  // Dragged to where grid position (40, 20) is drawn.
  QPushButton* b = e->electrode(0);
  const QPoint target(pixelFromGrid(40, LeadEditorDialog::kButtonWidth, LeadEditorDialog::kImageLeft, LeadEditorDialog::kImageWidth),
                      pixelFromGrid(20, LeadEditorDialog::kButtonHeight, LeadEditorDialog::kImageTop, LeadEditorDialog::kImageHeight));
  drag(b, target - b->pos());
  EXPECT_EQ(s.channelPosX[0], 40);
  EXPECT_EQ(s.channelPosY[0], 20);
  EXPECT_EQ(b->pos(), target);
  // Dragged far off the head: it stops at the edge of the grid.
  drag(b, QPoint(-1000, 2000));
  EXPECT_EQ(s.channelPosX[0], 0);
  EXPECT_EQ(s.channelPosY[0], kPositionGridMax);
}

TEST_F(LeadEditorGui, PairModeRefusalsAndPairFiles) {
  // Only ECG channels: no pair mode.
  for (int c = 0; c < 4; ++c) s.channelPosX[static_cast<std::size_t>(c)] = 255;
  {
    auto e = open();
    QTest::mouseClick(e->button(LeadEditorDialog::Button::Pairs), Qt::LeftButton);
    EXPECT_FALSE(e->pairMode());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], kNoEegLeads);
  }
  // One EEG channel: pair mode, but no pair can be formed.
  s.channelPosX[0] = 30;
  ui.messages.clear();
  {
    auto e = open();
    e->togglePairs();
    ASSERT_TRUE(e->pairMode());
    QTest::keyClick(e.get(), Qt::Key_Insert);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], kNeedTwoLeads);
    EXPECT_EQ(s.leadPairCount, 0);
    EXPECT_FALSE(e->button(LeadEditorDialog::Button::SavePairs)->isEnabled());
  }
  // Pairs saved and read back through the file window of kind 22.
  for (int c = 0; c < 4; ++c) s.channelPosX[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(10 + 12 * c);
  ui.messages.clear();
  auto e = open();
  e->togglePairs();
  e->insertPair();
  e->insertPair();
  e->selectPair(1);
  e->dropElectrode(1, e->electrode(2)->pos());  // pair 2: E1-E3
  ASSERT_EQ(pairName(s, 1), "E1-E3");
  pickAnswer = dir.file("pairs.csg");
  QTest::mouseClick(e->button(LeadEditorDialog::Button::SavePairs), Qt::LeftButton);
  EXPECT_EQ(pickedKind, FileKind::PairGrid);
  EXPECT_TRUE(pickedSave);
  QTest::keyClick(e.get(), Qt::Key_Delete);
  QTest::keyClick(e.get(), Qt::Key_Delete);
  EXPECT_EQ(s.leadPairCount, 0);
  QTest::mouseClick(e->button(LeadEditorDialog::Button::ReadPairs), Qt::LeftButton);
  EXPECT_FALSE(pickedSave);
  EXPECT_EQ(s.leadPairCount, 2);
  EXPECT_EQ(pairName(s, 1), "E1-E3");
  EXPECT_EQ(e->channelGrid()->item(1, 2)->text(), QStringLiteral("E3"));
  EXPECT_TRUE(ui.messages.empty());
  // "<Esc>=Отменить" opens the popup menu.
  QTest::mouseClick(e->button(LeadEditorDialog::Button::Cancel), Qt::LeftButton);
  EXPECT_TRUE(e->popupMenu()->isVisible());
  e->popupMenu()->hide();
}

TEST_F(LeadEditorGui, ChannelOrderPanelReordersTheRecordOnlyForAPermutation) {
  auto e = open(1);
  EXPECT_TRUE(e->orderPanel()->isHidden());
  e->menuAction(LeadEditorDialog::MenuItem::Order)->trigger();
  ASSERT_FALSE(e->orderPanel()->isHidden());
  EXPECT_EQ(e->orderPanel()->title(), qs(kOrderPanel));
  QTableWidget* order = e->orderGrid();
  ASSERT_EQ(order->rowCount(), 4);
  EXPECT_EQ(order->item(0, 1)->text(), QStringLiteral("1"));

  // A repeated number is refused and nothing moves.
  typeIntoCell(order, 0, 1, QStringLiteral("2"));
  QTest::mouseClick(e->button(LeadEditorDialog::Button::OrderApply), Qt::LeftButton);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(s.channel(0)[0], 1);
  EXPECT_EQ(s.channelNames[0], "E1");
  EXPECT_FALSE(e->orderPanel()->isHidden());
  // Saving it is refused as well.
  pickAnswer = dir.file("order.nch");
  QTest::mouseClick(e->button(LeadEditorDialog::Button::OrderSave), Qt::LeftButton);
  EXPECT_EQ(ui.messages.size(), 2u);
  EXPECT_FALSE(fileExists(pickAnswer));

  // Channels 1 and 2 exchanged: samples, names and grid follow.
  typeIntoCell(order, 1, 1, QStringLiteral("1"));
  QTest::mouseClick(e->button(LeadEditorDialog::Button::OrderSave), Qt::LeftButton);
  EXPECT_EQ(pickedKind, FileKind::NewChannelOrder);
  EXPECT_TRUE(fileExists(pickAnswer));
  QTest::mouseClick(e->button(LeadEditorDialog::Button::OrderApply), Qt::LeftButton);
  EXPECT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(s.channel(0)[0], 2);
  EXPECT_EQ(s.channel(1)[0], 1);
  EXPECT_EQ(s.channelNames[0], "E2");
  EXPECT_EQ(e->channelGrid()->item(0, 2)->text(), QStringLiteral("E2"));
  EXPECT_EQ(s.recordModified, 1);
  EXPECT_TRUE(e->orderPanel()->isHidden());

  // "Читать   " loads the saved order into the column and the channel order map.
  e->menuAction(LeadEditorDialog::MenuItem::Order)->trigger();
  QTest::mouseClick(e->button(LeadEditorDialog::Button::OrderRead), Qt::LeftButton);
  EXPECT_EQ(order->item(0, 1)->text(), QStringLiteral("2"));
  EXPECT_EQ(s.channelOrder[0], 1);
  EXPECT_EQ(s.channelOrder[1], 0);
  QTest::mouseClick(e->button(LeadEditorDialog::Button::OrderClose), Qt::LeftButton);
  EXPECT_TRUE(e->orderPanel()->isHidden());
}

// The order column the editor saved in "qchn.ini" is offered when it opens
// again; an unfit file leaves the record's own order.
TEST_F(LeadEditorGui, OrderColumnComesBackFromTheSettingsFile) {
  std::vector<std::string> lines(kOrderFileLines);
  for (int i = 0; i < 64; ++i) {
    lines[static_cast<std::size_t>(i)] = std::to_string(i + 1);
    lines[static_cast<std::size_t>(64 + i)] = std::to_string(i + 1);
  }
  lines[64] = "2";
  lines[65] = "1";
  ASSERT_TRUE(writeTextLines(s.programDir + kOrderSettingsFile, lines));
  {
    auto e = open(1);
    e->menuAction(LeadEditorDialog::MenuItem::Order)->trigger();
    EXPECT_EQ(e->orderGrid()->item(0, 1)->text(), QStringLiteral("2"));
    EXPECT_EQ(e->orderGrid()->item(1, 1)->text(), QStringLiteral("1"));
    EXPECT_EQ(s.channelNames[0], "E1");  // offered, not applied
  }
  lines[65] = "2";  // not a permutation any more
  ASSERT_TRUE(writeTextLines(s.programDir + kOrderSettingsFile, lines));
  auto e = open(1);
  e->menuAction(LeadEditorDialog::MenuItem::Order)->trigger();
  EXPECT_EQ(e->orderGrid()->item(0, 1)->text(), QStringLiteral("1"));
}

TEST_F(LeadEditorGui, F10ClosesWithoutStoringNamesAndSystem1020FillsTheTable) {
  {
    auto e = open();
    typeIntoCell(e->channelGrid(), 0, 2, QStringLiteral("Zz"));
    e->referenceList()->setCurrentIndex(3);
    QTest::keyClick(e.get(), Qt::Key_F10);
    EXPECT_FALSE(e->isVisible());
    EXPECT_EQ(s.channelNames[0], "E1");
    EXPECT_EQ(s.referenceKind, 0);
    EXPECT_EQ(s.dialogResult, 0);
  }
  // Twelve channels take the template for sixteen (built in: no file beside the program).
  s.channelCount = 12;
  auto e = open();
  e->menuAction(LeadEditorDialog::MenuItem::System1020)->trigger();
  const LeadTemplate t = builtinLeadTemplate(16);
  ASSERT_EQ(e->channelGrid()->rowCount(), 12);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(trimSpaces(s.channelNames[static_cast<std::size_t>(i)]), t.channels[static_cast<std::size_t>(i)].name);
    EXPECT_EQ(e->channelGrid()->item(i, 2)->text().trimmed(), qs(t.channels[static_cast<std::size_t>(i)].name.c_str()));
    EXPECT_FALSE(e->electrode(i)->isHidden());
  }
  EXPECT_GT(s.leadPairCount, 0);
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace velor
