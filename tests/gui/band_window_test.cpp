// The band table window as a person uses it: the grid, editing names and
// edges, and ".dia" files written and read through the file chooser.
#include <gtest/gtest.h>

#include "core/record_file.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <memory>
#include <optional>
#include <string>

#include "core/interaction.h"
#include "core/study_state.h"
#include "core/text.h"
#include "eeg/band_table.h"
#include "eeg/ui/band_window.h"
#include "tests/test_support.h"

namespace velor {
namespace {

using test::TempDir;

struct BandWindow {
  std::unique_ptr<StudyState> s = std::make_unique<StudyState>();
  ScriptedInteraction ui;
  std::optional<std::string> nextPath;
  std::vector<bool> asked;  // save flags the picker was called with
  std::unique_ptr<BandTableDialog> window;

  BandWindow() { make(); }
  void make() {
    window = std::make_unique<BandTableDialog>(*s, ui, [this](bool save) {
      asked.push_back(save);
      return nextPath;
    });
  }
  QString cell(int row, int column) const {
    const QTableWidgetItem* item = window->grid()->item(row, column);
    return item ? item->text() : QString();
  }
  void edit(int row, int column, const QString& text) { window->grid()->item(row, column)->setText(text); }
};

TEST(BandWindow, ShowsThirtyRowsWithTheirHeadsAndStartsWithTheDefaultBands) {
  BandWindow w;
  EXPECT_EQ(w.window->windowTitle(), QString::fromUtf8("Частотные диапазоны"));
  QTableWidget* g = w.window->grid();
  ASSERT_EQ(g->rowCount(), 30);
  ASSERT_EQ(g->columnCount(), 4);
  const char* heads[] = {" N", "Наименов", "  НЧ", "  ВЧ"};
  for (int c = 0; c < 4; ++c) EXPECT_EQ(g->horizontalHeaderItem(c)->text(), QString::fromUtf8(heads[c]));
  EXPECT_EQ(w.window->writeButton()->text(), QString::fromUtf8("Запись параметров в архив"));
  EXPECT_EQ(w.window->readButton()->text(), QString::fromUtf8("Чтение параметров из архива"));
  EXPECT_EQ(w.cell(0, 0), "1");
  EXPECT_EQ(w.cell(29, 0), "30");
  EXPECT_FALSE(g->item(3, 0)->flags() & Qt::ItemIsEditable);
  EXPECT_EQ(w.s->bandCount, 5);
  EXPECT_EQ(w.cell(2, 1), QString::fromUtf8("Альфа"));
  EXPECT_EQ(w.cell(2, 2), "8");
  EXPECT_EQ(w.cell(2, 3), "13");
}

TEST(BandWindow, EditingCellsChangesTheTableAndTheBandCount) {
  BandWindow w;
  w.edit(5, 1, QString::fromUtf8("Гамма"));
  w.edit(5, 2, "30,5");
  w.edit(5, 3, "45");
  EXPECT_EQ(w.s->bandCount, 6);
  EXPECT_EQ(w.s->bandTable[5].name, "Гамма");
  EXPECT_EQ(w.s->bandTable[5].low, "30,5");
  w.s->currentBand = 4;
  w.edit(2, 1, "   ");  // a blank name ends the table
  EXPECT_EQ(w.s->bandCount, 2);
  EXPECT_EQ(w.s->currentBand, 0);
  w.s->bandCount = 99;  // closing settles the count again
  w.window->reject();
  EXPECT_EQ(w.s->bandCount, 2);
}

TEST(BandWindow, WritesAndReadsBandFiles) {
  TempDir dir;
  BandWindow w;
  w.nextPath = dir.file("five.dia");
  w.window->writeBands();
  ASSERT_EQ(w.asked, std::vector<bool>{true});
  EXPECT_EQ(test::readBytes(dir.file("five.dia")).substr(0, 14), utf8ToCp1251("Дельта\r\n0.5\r\n4"));

  test::writeBytes(dir.file("two.dia"), utf8ToCp1251("Альфа\r\n8\r\n13\r\nБета\r\n13\r\n30\r\n"));
  w.nextPath = dir.file("two.dia");
  w.window->readBands();
  EXPECT_EQ(w.asked.back(), false);
  EXPECT_EQ(w.s->bandCount, 2);
  EXPECT_EQ(w.cell(1, 1), QString::fromUtf8("Бета"));
  EXPECT_EQ(w.cell(2, 1), "") << "the grid is cleared before reading";

  // Cancelling the file window changes nothing.
  w.nextPath.reset();
  w.window->readBands();
  EXPECT_EQ(w.s->bandCount, 2);
  EXPECT_TRUE(w.ui.messages.empty());
}

TEST(BandWindow, OversizedAndUnwritableFilesAreReported) {
  TempDir dir;
  BandWindow w;
  std::string many;
  for (int i = 1; i <= 31; ++i) many += "b" + std::to_string(i) + "\r\n1\r\n2\r\n";
  test::writeBytes(dir.file("many.dia"), many);
  w.nextPath = dir.file("many.dia");
  w.window->readBands();
  EXPECT_EQ(w.s->bandCount, 30);
  EXPECT_EQ(w.cell(29, 1), "b30");
  ASSERT_EQ(w.ui.messages.size(), 1u);

  w.nextPath = dir.file("no/such/dir/x.dia");
  w.window->writeBands();
  ASSERT_EQ(w.ui.messages.size(), 2u);
  EXPECT_NE(w.ui.messages[1].find("x.dia"), std::string::npos);
}

}  // namespace
}  // namespace velor
