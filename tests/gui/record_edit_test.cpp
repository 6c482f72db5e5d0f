// Record navigation and editing in the running main window: every command
// from its menu entry and from its key, checked on the study state and on
// what the monitor then draws; the editing windows; the clipboard; an edited
// record written back and read again; the lead names fitting their strip.
#include <gtest/gtest.h>

#include "core/record_file.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

#include "core/binio.h"
#include "core/interaction.h"
#include "core/study_state.h"
#include "shell/commands.h"
#include "shell/main_commands.h"
#include "shell/ui/main_window.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"
#include "viewer/monitor.h"
#include "viewer/monitor_texts.h"
#include "viewer/record_edit.h"
#include "viewer/record_edit_texts.h"
#include "viewer/ui/edit_dialogs.h"
#include "viewer/ui/monitor_widget.h"
#include "viewer/ui/record_edit_commands.h"

namespace velor {
namespace {

using shell::Cmd;
using test::TempDir;

std::int16_t codeAt(int rec, int ch, int i) {
  return static_cast<std::int16_t>(2048 + ((i * (ch + 3) + rec * 50) % 400) - 200);
}

// Three records of four channels with a mark channel, written by the production writer.
void writeStudy(const std::string& path, int records = 3, int length = 1000) {
  StudyState s;
  ScriptedInteraction ui;
  s.channelCount = 4;
  s.recordLength = length;
  s.sampleRate = 250;
  s.markChannelCount = 1;
  for (int c = 0; c < 4; ++c) s.channelNames[static_cast<std::size_t>(c)] = "E" + std::to_string(c + 1);
  for (int r = 0; r < records; ++r) {
    for (int c = 0; c < 4; ++c)
      for (int i = 0; i < length; ++i) s.channel(c)[i] = codeAt(r, c, i);
    if (r == 0) {
      ASSERT_TRUE(saveRecords(s, path, ui));
    } else {
      ASSERT_TRUE(appendRecords(s, path, 2, ui));
    }
  }
}

using test::ScriptedChooser;

struct ScriptedDialogs : EditDialogs {
  int deleteChoice = kDeleteInside;
  bool deleteAll = true;
  int calibChoice = 1;
  CalibrationSettings calib;
  int deleteDialog(DeleteSettings& settings) override {
    settings.allChannels = deleteAll;
    return deleteChoice;
  }
  int calibrationDialog(CalibrationSettings& settings) override {
    settings = calib;
    return calibChoice;
  }
  bool reorganisationDialog(ReorganisationSettings&) override { return false; }
};

// Calls `act` with the modal window of type D once it is up.
template <typename D>
void whenModal(std::function<void(D*)> act) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, act, tries] {
    if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(d);
    } else if (++*tries > 500) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no modal window appeared";
    }
  });
  timer->start(5);
}

class RecordEditGui : public ::testing::Test {
 public:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    path = dir.file("study.cad");
    writeStudy(path);
    window = std::make_unique<shell::MainWindow>(s, ui);
    window->setFileChooser(&chooser);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->activateWindow();
    QApplication::processEvents();
    ASSERT_NE(window->editCommands(), nullptr);
    window->editCommands()->setDialogs(&dialogs);
    openStudy();
  }
  void TearDown() override {
    if (window) window->editCommands()->setDialogs(nullptr);
    ui.answerYes = true;  // the close question
    window.reset();
  }
  void openStudy() {
    chooser.answer = path;
    window->action(Cmd::Open)->trigger();
    ASSERT_EQ(s.recordCount, 3);
    ASSERT_EQ(s.currentRecord, 1);
  }
  MonitorWidget* monitor() { return window->monitor(); }
  QImage drawing() { return monitor()->surface().copy(monitor()->drawingRect()); }
  QString caption() { return window->monitorCaption()->text(); }
  // Puts the cursor (and an anchor) and the current row as a click would leave them.
  void place(int cursor, int anchor = -1, int row = 0) {
    s.cursorPos = cursor;
    s.selectionAnchor = anchor;
    s.currentChannelRow = row;
    window->refreshMonitor(false);
  }
  // Pixel columns where two drawings differ, and in how many rows.
  static std::vector<int> changedColumns(const QImage& a, const QImage& b) {
    std::vector<int> cols;
    for (int x = 0; x < std::min(a.width(), b.width()); ++x)
      for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        if (a.pixel(x, y) != b.pixel(x, y)) {
          cols.push_back(x);
          break;
        }
    return cols;
  }
  void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(monitor(), static_cast<Qt::Key>(k), mods); }

  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  ScriptedChooser chooser;
  ScriptedDialogs dialogs;
  std::string path;
  std::unique_ptr<shell::MainWindow> window;
};

// --- every command from its menu entry and its key ------------------------------------------

// Del of the monitor has no menu entry: its popup's "Удалить" stands in for it.
constexpr Cmd kMonitorDelete = static_cast<Cmd>(-1);

struct CommandCase {
  const char* name;
  Cmd cmd;
  int key;  // 0: menu only
  Qt::KeyboardModifiers mods;
  std::function<void(RecordEditGui&, StudyState&)> setup;
  std::function<void(StudyState&, const QImage& before, const QImage& after, const QString& caption)> check;
};

class EveryCommand : public RecordEditGui, public ::testing::WithParamInterface<bool> {};

TEST_P(EveryCommand, ChangesTheRecordAndTheDrawing) {
  const bool byKey = GetParam();
  const auto markSpikeAt = [](int x) {
    return [x](StudyState& st, const QImage& before, const QImage& after, const QString&) {
      EXPECT_EQ(st.channel(0)[x], kMarkCode);
      const auto cols = RecordEditGui::changedColumns(before, after);
      ASSERT_FALSE(cols.empty());
      for (int c : cols) EXPECT_LE(std::abs(c - x), 2) << c;  // the spike, nothing else
    };
  };
  const CommandCase cases[] = {
      {"insert mark", Cmd::MarkInsert, Qt::Key_F6, Qt::NoModifier,
       [](RecordEditGui& t, StudyState&) { t.place(300); }, markSpikeAt(300)},
      {"remove mark", Cmd::MarkRemove, 0, Qt::NoModifier,
       [](RecordEditGui& t, StudyState& st) {
         st.channel(0)[300] = kMarkCode;
         t.place(300);
       },
       [](StudyState& st, const QImage& before, const QImage& after, const QString&) {
         EXPECT_EQ(st.channel(0)[300], st.channel(0)[301]);
         EXPECT_FALSE(changedColumns(before, after).empty());
       }},
      {"remove all marks", Cmd::MarkRemoveAll, 0, Qt::NoModifier,
       [](RecordEditGui& t, StudyState& st) {
         st.channel(0)[100] = st.channel(0)[500] = kMarkCode;
         t.place(300);
       },
       [](StudyState& st, const QImage& before, const QImage& after, const QString&) {
         EXPECT_TRUE(userMarkSamples(st, 0, 0, st.recordLength).empty());
         const auto cols = changedColumns(before, after);
         ASSERT_FALSE(cols.empty());
         for (int c : cols) EXPECT_TRUE(std::abs(c - 100) <= 2 || std::abs(c - 500) <= 2) << c;
       }},
      {"next mark", Cmd::MarkNext, Qt::Key_Greater, Qt::ControlModifier,
       [](RecordEditGui& t, StudyState& st) {
         st.channel(0)[700] = kMarkCode;
         t.place(100);
       },
       [](StudyState& st, const QImage& before, const QImage& after, const QString&) {
         EXPECT_EQ(st.cursorPos, 700);
         EXPECT_EQ(st.viewStart, 700);
         EXPECT_GT(changedColumns(before, after).size(), 100u);  // the view moved
       }},
      {"previous mark", Cmd::MarkPrev, Qt::Key_Less, Qt::ControlModifier,
       [](RecordEditGui& t, StudyState& st) {
         st.channel(0)[40] = kMarkCode;
         t.place(400);
       },
       [](StudyState& st, const QImage&, const QImage&, const QString&) {
         EXPECT_EQ(st.cursorPos, 40);
         EXPECT_EQ(st.viewStart, 40);
       }},
      {"insert channel", Cmd::ChannelInsert, Qt::Key_Insert, Qt::ControlModifier,
       [](RecordEditGui& t, StudyState&) { t.place(100, -1, 1); },
       [](StudyState& st, const QImage&, const QImage&, const QString&) {
         EXPECT_EQ(st.channelCount, 5);
         EXPECT_EQ(monitorRows(st), 5);
         EXPECT_EQ(st.channel(2)[10], st.channel(1)[10]);
         EXPECT_EQ(leadText(st, 2), "E2");
       }},
      {"insert channel, the monitor's Shift+Ins", Cmd::ChannelInsert, Qt::Key_Insert, Qt::ShiftModifier,
       [](RecordEditGui& t, StudyState&) { t.place(100, -1, 3); },
       [](StudyState& st, const QImage&, const QImage&, const QString&) {
         EXPECT_EQ(st.channelCount, 5);
         EXPECT_EQ(leadText(st, 4), "E4");
         EXPECT_EQ(st.selectionAnchor, -1);  // not the anchor toggle of a plain Ins
       }},
      {"delete channel", Cmd::ChannelDelete, Qt::Key_Delete, Qt::ControlModifier,
       [](RecordEditGui& t, StudyState&) { t.place(100, -1, 1); },
       [](StudyState& st, const QImage&, const QImage&, const QString&) {
         EXPECT_EQ(st.channelCount, 3);
         EXPECT_EQ(monitorRows(st), 3);
         EXPECT_EQ(leadText(st, 1), "E3");
         EXPECT_LT(st.recordModified, 0);
       }},
      {"zero, all channels", Cmd::ZeroAll, Qt::Key_A, Qt::ControlModifier,
       [](RecordEditGui& t, StudyState& st) {
         for (int c = 0; c < 4; ++c) std::fill_n(st.channel(c), 1000, std::int16_t{2448});
         t.place(10, 60);
       },
       [](StudyState& st, const QImage& before, const QImage& after, const QString&) {
         for (int c = 0; c < 4; ++c) EXPECT_EQ(st.channel(c)[500], 2048) << c;
         EXPECT_GT(changedColumns(before, after).size(), 500u);  // every trace moved to its zero line
       }},
      {"zero, current channel", Cmd::ZeroCurrent, Qt::Key_B, Qt::ControlModifier,
       [](RecordEditGui& t, StudyState& st) {
         for (int c = 0; c < 4; ++c) std::fill_n(st.channel(c), 1000, std::int16_t{2448});
         t.place(10, 60, 2);
       },
       [](StudyState& st, const QImage&, const QImage&, const QString&) {
         EXPECT_EQ(st.channel(2)[500], 2048);
         EXPECT_EQ(st.channel(1)[500], 2448);
       }},
      {"delete, interval", kMonitorDelete, Qt::Key_Delete, Qt::NoModifier,
       [](RecordEditGui& t, StudyState&) { t.place(300, 100); },
       [](StudyState& st, const QImage&, const QImage&, const QString&) {
         EXPECT_EQ(st.recordLength, 800);
         EXPECT_EQ(st.recordModified, 1);
       }},
      {"calibration", Cmd::Calibration, 0, Qt::NoModifier,
       [](RecordEditGui& t, StudyState& st) {
         st.channel(0)[200] = static_cast<std::int16_t>(st.zeroLevel[0] + 500);
         t.place(200);
       },
       [](StudyState& st, const QImage&, const QImage&, const QString&) {
         EXPECT_EQ(st.calibValue[0], static_cast<std::uint16_t>(std::trunc(20.0 / 500 * st.calibUnits[0])));
       }},
      {"merge", Cmd::MergeRecords, 0, Qt::NoModifier, [](RecordEditGui&, StudyState&) {},
       [](StudyState& st, const QImage&, const QImage&, const QString& caption) {
         EXPECT_EQ(st.recordLength, 3000);
         EXPECT_TRUE(caption.contains(QStringLiteral(" Зап:1/1"))) << caption.toStdString();
       }},
      {"next record", Cmd::NextRecord, 0, Qt::NoModifier, [](RecordEditGui&, StudyState&) {},
       [](StudyState& st, const QImage& before, const QImage& after, const QString& caption) {
         EXPECT_EQ(st.currentRecord, 2);
         EXPECT_EQ(st.channel(1)[5], codeAt(1, 1, 5));
         EXPECT_TRUE(caption.contains(QStringLiteral(" Зап:2/3"))) << caption.toStdString();
         EXPECT_FALSE(changedColumns(before, after).empty());
       }},
      {"next epoch", Cmd::NextEpoch, 0, Qt::NoModifier,
       [](RecordEditGui& t, StudyState& st) {
         st.epochLength = st.epochStep = 256;
         t.place(0);
       },
       [](StudyState& st, const QImage&, const QImage&, const QString& caption) {
         EXPECT_EQ(st.cursorPos, 256);
         EXPECT_EQ(st.currentEpoch, 1);
         EXPECT_TRUE(caption.contains(QStringLiteral(" Эпо:2/"))) << caption.toStdString();
       }},
  };
  dialogs.calib.amplitude = "20";
  for (const CommandCase& c : cases) {
    if (byKey && c.key == 0) continue;
    SCOPED_TRACE(c.name);
    openStudy();
    c.setup(*this, s);
    window->refreshMonitor(false);
    const QImage before = drawing();
    if (byKey) {
      key(c.key, c.mods);
    } else if (c.cmd == kMonitorDelete) {
      Q_EMIT monitor()->commandRequested(MonitorCommand::Delete);
    } else if (QAction* a = window->action(c.cmd)) {
      ASSERT_TRUE(a->isEnabled());
      a->trigger();
    } else {
      QToolButton* b = window->panelButton(c.cmd);
      ASSERT_NE(b, nullptr);
      ASSERT_TRUE(b->isEnabled());
      b->click();
    }
    QApplication::processEvents();
    c.check(s, before, drawing(), caption());
  }
}

INSTANTIATE_TEST_SUITE_P(MenuAndKeys, EveryCommand, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Key" : "Menu"; });

TEST_F(RecordEditGui, RecordsAndEpochsFromThePanelAndTheMenu) {
  window->panelButton(Cmd::NextRecord)->click();
  window->panelButton(Cmd::NextRecord)->click();
  EXPECT_EQ(s.currentRecord, 3);
  window->panelButton(Cmd::PrevRecord)->click();
  EXPECT_EQ(s.currentRecord, 2);
  ui.inputScript = {std::string("3")};
  window->action(Cmd::RecordByNumber)->trigger();
  EXPECT_EQ(s.currentRecord, 3);
  EXPECT_TRUE(caption().contains(QStringLiteral(" Зап:3/3")));
  s.epochLength = s.epochStep = 256;
  place(300);
  window->panelButton(Cmd::NextEpoch)->click();
  EXPECT_EQ(s.cursorPos, 512);
  window->panelButton(Cmd::PrevEpoch)->click();
  EXPECT_EQ(s.cursorPos, 256);
  EXPECT_EQ(cursorColumn(s), 256);

  // While an examination records nothing moves, and the status line says why.
  s.acquisitionActive = 1;
  window->panelButton(Cmd::PrevRecord)->click();
  EXPECT_EQ(s.currentRecord, 3);
  EXPECT_FALSE(window->statusBar()->currentMessage().isEmpty());
  s.acquisitionActive = 0;
}

TEST_F(RecordEditGui, TheMonitorsPopupRunsTheEditingCommands) {
  place(250);
  auto popup = [this](const QString& path) {
    // The entry is found by its captions, as the person sees it; the menu
    // is closed whatever happens, so that a failure cannot hang the test.
    QString failure;
    QTimer::singleShot(50, [path, &failure] {
      QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      const QStringList parts = path.split('/');
      for (int i = 0; menu && i < parts.size(); ++i) {
        QAction* found = nullptr;
        for (QAction* a : menu->actions())
          if (a->text().section('\t', 0, 0) == parts[i]) found = a;
        if (!found || !found->isEnabled()) {
          failure = "no enabled entry " + parts[i];
          break;
        }
        if (i + 1 < parts.size()) {
          menu = found->menu();
        } else {
          found->trigger();
        }
      }
      if (!menu) failure = "no popup menu";
      while (QApplication::activePopupWidget()) QApplication::activePopupWidget()->close();
    });
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(100, 100), monitor()->mapToGlobal(QPoint(100, 100)));
    QApplication::sendEvent(monitor(), &e);
    QApplication::processEvents();
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
  };
  using namespace monitor_text;
  popup(QString::fromUtf8(kMenuMarks) + '/' + QString::fromUtf8(kMenuInsert));
  EXPECT_EQ(s.channel(0)[250], kMarkCode);
  popup(QString::fromUtf8(kMenuMarks) + '/' + QString::fromUtf8(kMenuRemoveAll));
  EXPECT_NE(s.channel(0)[250], kMarkCode);
  place(0, 2);
  popup(QString::fromUtf8(kMenuSignalsToClipboard));
  const QString text = QGuiApplication::clipboard()->text();
  EXPECT_EQ(text.count('\n'), 3);
  EXPECT_EQ(text.section('\n', 0, 0).split(' ', Qt::SkipEmptyParts).size(), 4);
  popup(QString::fromUtf8(kMenuChannels) + '/' + QString::fromUtf8(kMenuInsert));
  EXPECT_EQ(s.channelCount, 5);
  popup(QString::fromUtf8(kMenuRecords) + '/' + QString::fromUtf8(kMenuMerge));
  EXPECT_EQ(s.recordCount, 1);  // the inserted channel went back first: the merge reads the file
  EXPECT_EQ(s.channelCount, 4);
  EXPECT_EQ(s.recordLength, 3000);
}

TEST_F(RecordEditGui, PictureClipboardCopyCutAndPaste) {
  place(100);
  const QImage shown = drawing();
  window->panelButton(Cmd::Copy)->click();
  EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), shown);
  window->panelButton(Cmd::Cut)->click();
  const QImage cut = drawing();
  for (int y = 0; y < cut.height(); y += 7)
    for (int x = 0; x < cut.width(); x += 7) ASSERT_EQ(cut.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;
  window->panelButton(Cmd::Paste)->click();
  EXPECT_EQ(drawing(), shown);
  EXPECT_TRUE(ui.messages.empty());

  QGuiApplication::clipboard()->setText("not a picture");
  window->panelButton(Cmd::Paste)->click();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].rfind("Прерывание: ", 0), 0u) << ui.messages[0];
}

TEST_F(RecordEditGui, AnEditedRecordWrittenBackReadsBackAsEdited) {
  place(321, -1, 2);
  key(Qt::Key_F6);
  place(100, 150, 1);
  dialogs.deleteChoice = kDeleteInside;
  dialogs.deleteAll = true;
  key(Qt::Key_Delete);
  ASSERT_EQ(s.recordLength, 950);
  const std::vector<std::int16_t> edited(s.channel(2), s.channel(2) + 950);
  ui.answerYes = true;
  window->panelButton(Cmd::NextRecord)->click();
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(s.currentRecord, 2);

  // Open the file again: record 1 is the edited one.
  openStudy();
  ASSERT_EQ(s.recordLength, 950);
  for (int i = 0; i < 950; ++i) ASSERT_EQ(s.channel(2)[i], edited[static_cast<std::size_t>(i)]) << i;
  EXPECT_EQ(s.channel(2)[271], kMarkCode);  // 321 less the 50 deleted before it
}

// --- the windows themselves --------------------------------------------------------------------

TEST_F(RecordEditGui, DeleteWindowKeepsItsCheckBoxInQdelIni) {
  window->editCommands()->setDialogs(nullptr);  // the real windows
  place(300, 100, 1);
  whenModal<DeleteDialog>([](DeleteDialog* d) {
    EXPECT_EQ(d->windowTitle(), QString::fromUtf8(edit_text::kDeleteTitle));
    EXPECT_TRUE(d->allChannelsBox()->isChecked());  // no file yet: the default
    d->allChannelsBox()->setChecked(false);
    QTest::mouseClick(d->button(kDeleteOutside), Qt::LeftButton);
  });
  key(Qt::Key_Delete);
  EXPECT_EQ(s.recordLength, 1000);  // the current channel only
  for (int i = 0; i < 200; ++i) ASSERT_EQ(s.channel(1)[i], codeAt(0, 1, 100 + i));
  EXPECT_EQ(s.channel(1)[500], s.zeroLevel[1]);
  EXPECT_EQ(test::readBytes(dir.file(edit_text::kDeleteSettingsFile)), "1\r\n");

  whenModal<DeleteDialog>([](DeleteDialog* d) {
    EXPECT_FALSE(d->allChannelsBox()->isChecked());  // as the file says
    QTest::keyClick(d, Qt::Key_Escape);
  });
  const std::int16_t kept = s.channel(0)[0];
  key(Qt::Key_Delete);
  EXPECT_EQ(s.channel(0)[0], kept);
}

TEST_F(RecordEditGui, CalibrationWindowConfirmsForAllChannels) {
  window->editCommands()->setDialogs(nullptr);
  for (int c = 0; c < 4; ++c) s.channel(c)[50] = static_cast<std::int16_t>(s.zeroLevel[c] + 250);
  place(50);
  whenModal<CalibrationDialog>([](CalibrationDialog* d) {
    EXPECT_EQ(d->windowTitle(), QString::fromUtf8(edit_text::kCalibTitle));
    EXPECT_EQ(d->amplitudeEdit()->text(), "1");
    d->amplitudeEdit()->setText("50");
    d->allChannelsBox()->setChecked(true);
    d->zeroButton(kZeroKindNone)->setChecked(true);
    QTest::mouseClick(d->confirmButton(), Qt::LeftButton);
  });
  window->action(Cmd::Calibration)->trigger();
  for (int c = 0; c < 4; ++c) EXPECT_EQ(s.calibValue[c], static_cast<std::uint16_t>(std::trunc(50.0 / 250 * s.calibUnits[c]))) << c;
  EXPECT_EQ(test::readBytes(dir.file(edit_text::kCalibSettingsFile)), "50\r\n0\r\n2\r\n");
  EXPECT_EQ(s.helpContext, 3);  // the window's own topic only while it was open
}

TEST_F(RecordEditGui, ReorganisationWindowShowsAndGivesItsValues) {
  ReorganisationSettings in{"-0,1", "0,4", "", "M2"};
  ReorganisationDialog d(in, window.get());
  EXPECT_EQ(d.windowTitle(), QString::fromUtf8(edit_text::kReorgTitle));
  EXPECT_EQ(d.referenceBox()->count(), 8);
  EXPECT_EQ(d.referenceBox()->itemText(1), QString::fromUtf8(edit_text::kRefS));
  EXPECT_EQ(d.referenceBox()->currentText(), "M2");
  EXPECT_FALSE(d.editorButton()->isEnabled());
  d.endEdit()->setText("0,5");
  d.referenceBox()->setEditText("S1");
  const ReorganisationSettings out = d.settings();
  EXPECT_EQ(out.epochStart, "-0,1");
  EXPECT_EQ(out.epochEnd, "0,5");
  EXPECT_EQ(out.referencePoint, "S1");
}

// --- names in their strip ---------------------------------------------------------------------------

TEST(MonitorNames, TheWholeLeadTextFitsTheStrip) {
  StudyState s;
  MonitorWidget m(s);
  s.channelCount = s.shownChannelCount = 3;
  s.recordLength = 2000;
  s.sampleRate = 250;
  s.displayFlags = 0;
  m.resize(800, 431);
  m.initialise();
  m.show();
  const char* names[] = {"Fp1", "Fpz", "O2"};
  for (int c = 0; c < 3; ++c) {
    s.channelNames[static_cast<std::size_t>(c)] = names[c];
    std::fill_n(s.channel(c), kMaxSamples, std::int16_t{0});  // the traces run along the row tops
  }
  for (int kind : {1, 5, 6}) {
    s.referenceKind = kind;
    s.leadPairs[0] = {1, 2};
    s.leadPairs[1] = {2, 3};
    s.leadPairs[2] = {3, 1};
    s.cursorPos = 10;
    m.redraw();
    const QImage img = m.surface();
    const int left = s.monitorWidth - kStripWidth;
    for (int row = 0; row < 3; ++row) {
      SCOPED_TRACE(leadText(s, row));
      const int y0 = s.rowBaseY[static_cast<std::size_t>(row)] - 12;
      const int y1 = s.rowBaseY[static_cast<std::size_t>(row)] + 12;
      int first = -1, last = -1;
      for (int x = left; x < s.monitorWidth - 20; ++x)  // right of this is the row mark
        for (int y = y0; y < y1; ++y)
          if (img.pixel(x, y) != qRgb(255, 255, 255)) {
            if (first < 0) first = x;
            last = x;
            break;
          }
      ASSERT_GE(first, 0) << "no name drawn";
      // The ink starts inside the strip: nothing of the text lies cut off at its left edge.
      EXPECT_GT(first, left) << "kind " << kind;
      for (int y = y0; y < y1; ++y) EXPECT_EQ(img.pixel(left, y), qRgb(255, 255, 255)) << y;
      EXPECT_LE(last, s.monitorWidth - 1);
    }
  }
}

}  // namespace
}  // namespace velor
