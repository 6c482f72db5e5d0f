// GraphWindow "Графики": one graph window. It draws the series its host's table
// names into a picture of 1680 × 1120 pixels, keeps its own series in its
// state file "Gra<slot>.tmp" and gives them back to the shared table when it
// becomes active, and offers redraw, print, clipboard, picture files, text
// export and the cursor linked to the record monitor.
#pragma once

#include <QImage>
#include <QWidget>
#include <string>

#include "core/study_state.h"
#include "results/graph.h"

class QAction;
class QMenu;

namespace velor {

class GraphHost;

class GraphWindow final : public QWidget {
  Q_OBJECT
 public:
  GraphWindow(GraphHost& host, int slot, QWidget* parent = nullptr);
  ~GraphWindow() override;

  // Outer size as the size rules count it: the client area and a 20-pixel caption.
  int windowWidth() const { return width(); }
  int windowHeight() const { return height() + kGraphCaptionHeight; }
  void setWindowSize(int windowWidth, int windowHeight);

  void initialise(int bottomReserve);
  void layOutPlot(int reserve);
  void fillBackground();
  // Draws series 0..lastSeries of the host's table; a negative argument
  // marks the two-panel form, which always draws as drawTwoPanels.
  void drawSeries(int lastSeries);
  // Series 0 above, series 1 below, each with its own axes, both with the
  // point count of series 0.
  void drawTwoPanels();
  // A text into the picture, clipped to boxWidth × 20; it is gone when the
  // window redraws itself.
  void drawTextAt(int x, int y, const std::string& text, int boxWidth);

  // Popup menu commands.
  bool Print();
  void copyPicture();
  void Cut();
  bool Paste();
  void pasteScreen();
  bool readPicture();
  bool savePicture();
  bool exportValues();
  void exportToClipboard();
  void closeAllWindows();
  // The linked cursor: one point left or right, a click at a picture
  // column, and "Монитор".
  void moveCursor(int delta);
  void clickAt(int x);
  bool monitorToCursor();

  // The picture file (FileKind::Picture) drawn at the picture origin, and the shown
  // part saved as a bitmap; false with a message when it cannot be done.
  bool loadPictureFile(const std::string& path);
  bool savePictureFile(const std::string& path);

  const QImage& picture() const { return picture_; }
  const GraphGeometry& graphGeometry() const { return geo_; }
  const GraphSnapshot& snapshot() const { return snapshot_; }
  const GraphDrawing& lastDrawing() const { return drawing_; }
  int graphSlot() const { return slot_; }
  int linkMode() const { return linkMode_; }
  int cursorIndex() const { return cursorIndex_; }
  int seriesCountCode() const { return snapshot_.seriesCountCode; }
  int bottomReserve() const { return bottomReserve_; }
  int scatterScale() const { return scatterScale_; }
  bool hasDrawn() const { return drawn_; }
  QAction* monitorAction() const { return monitorAction_; }
  // The items of the popup menu (for the tests and the Esc key).
  QMenu* popupMenu() const { return menu_; }
  // Reads the state file back into the host's table and floatStore; false
  // (nothing changed) when there is none from this window or it is unsound.
  bool restoreState();

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool event(QEvent* e) override;

 private:
  void buildMenu();
  // Draws the window's own series (snapshot_) into the picture.
  void draw();
  void paintItems(const std::vector<GraphItem>& items);
  void endOfDrawing();
  void drawCursor();
  void xorCursorLine(int x);
  void drawCursorBox();
  std::string statePath() const;
  bool writeState();
  // Runs `work` with this window hidden, as file dialogs and prints do.
  template <typename F>
  auto hiddenWhile(F work);

  GraphHost& host_;
  StudyState& s_;
  QImage picture_;
  GraphGeometry geo_;
  int bottomReserve_ = 0;
  int slot_ = 0;
  int linkMode_ = 0;
  int cursorIndex_ = 0;
  int cursorX_ = -1;  // column of the drawn cursor line, −1 when none
  int resizing_ = 0;
  int gridLines_ = 1;
  int scatterScale_ = 0;
  bool drawn_ = false;
  bool stateWritten_ = false;
  GraphSnapshot snapshot_;
  GraphDrawing drawing_;
  CursorScale cursorScale_;
  QMenu* menu_ = nullptr;
  QAction* monitorAction_ = nullptr;
  QAction* leftAction_ = nullptr;
  QAction* rightAction_ = nullptr;
};

}  // namespace velor
