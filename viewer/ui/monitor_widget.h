// MonitorWidget: the signal monitor window. It draws the current record of the study
// state into an off-screen surface and shows it; geometry, ticks, traces,
// caption and the key and mouse rules come from viewer/monitor.h. The main
// window places it, and reacts to its signals.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <map>

#include "core/study_state.h"
#include "viewer/monitor.h"

class QScrollBar;

namespace velor {

// Commands of the monitor's keys and popup menu that other windows carry out.
enum class MonitorCommand {
  OpenFile,
  SaveFile,
  PrintScreen,
  ScreenToClipboard,
  SignalsToClipboard,
  Header,
  Maps,
  Delete,
  NextRecord,
  PreviousRecord,
  RecordByNumber,
  Merge,
  Restore,
  InsertChannel,
  DeleteChannel,
  InsertMark,
  RemoveMark,
  RemoveAllMarks,
  Transforms,
  NewExamination,
  EegAnalysis,
  BatchAllBlinks,
  BatchAks,
  BatchBlinks,
  BatchEnv,
};

class MonitorWidget : public QWidget {
  Q_OBJECT

 public:
  explicit MonitorWidget(StudyState& state, QWidget* parent = nullptr);
  ~MonitorWidget() override;

  // One-time initialisation: channel table defaults, ruler, layout, drawing.
  void initialise();
  // Sizes the monitor inside the main window's client area.
  void fitToClient(int clientWidth, int clientHeight, int toolPanelHeight);
  // Recomputes scroll bars and rows after the view state changed (channel
  // counts, zoom, record length); redraw() draws.
  void relayout();
  // Redraws everything that is visible.
  void redraw();
  void drawRange(int left, int width);
  void fillBackground(int left, int width);
  void drawNameStrip();
  // Rebuilds the caption and announces it.
  QString refreshCaption();
  void scrollBy(int pixels);
  // Inverts the cursor and anchor lines (twice erases).
  void flipCursorLines(bool repaint);
  void Click(bool toggle);
  void zoomTimeIn();
  void zoomTimeOut();
  void gainUp();
  void gainDown();
  void showMoreChannels();
  void showFewerChannels();
  void timeAxis(double rate);

  // Live sweep display during an examination.
  void drawSweepAxes();
  void drawSweepColumn(int column, int index, int lag);
  void drawSweepNames();
  // One sweep column from values handed over by the acquisition side
  // (`values` and `previous` hold `channels` codes each), so that drawing
  // never reads the channel buffers the acquisition side is writing.
  void drawSweepValues(int column, const std::int16_t* previous, const std::int16_t* values, int channels);

  // The drawing as a picture on the clipboard (copy; cut also paints it
  // white), and a clipboard picture drawn at its top-left corner; Paste gives
  // the reason when there is no picture to draw.
  void copyPicture();
  void Cut();
  bool Paste(QString* failure);

  // Popup-menu commands stay disabled until the window that does them says so.
  void setCommandAvailable(MonitorCommand command, bool available);

  const MonitorView& view() const { return view_; }
  MonitorView& view() { return view_; }
  // The drawing as shown (monitorWidth × monitorHeight of it are valid).
  const QImage& surface() const { return surface_; }
  // The annotation texts the drawing shows, with their columns.
  std::vector<AnnotationLabel> shownAnnotations() const { return annotationLabels(s_, 0, s_.monitorWidth); }
  QRect drawingRect() const;
  bool horizontalBarShown() const;
  bool verticalBarShown() const;
  QString caption() const { return caption_; }

 Q_SIGNALS:
  void captionChanged(const QString& caption);
  // The cursor, anchor or current row changed (scoreboard, map window).
  void cursorMoved();
  // Zoom or gain changed (map window following the monitor).
  void viewChanged();
  void commandRequested(velor::MonitorCommand command);
  // A key during an examination, as the acquisition engine's code.
  void acquisitionKey(int code);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void layoutBars();
  void syncBars();
  void drawTraces(int left, int width);
  void drawStrip();
  void xorColumn(int x, quint32 mask, bool dashed);
  void xorRowMark();
  void showCursorLines();
  void hideCursorLines();
  void cursorChanged();
  void afterZoom();
  void handleKey(int virtualKey, bool big);
  // The overlays (cursor, anchor, row mark) taken off the drawing.
  void clearOverlays();

  StudyState& s_;
  MonitorView view_;
  QImage surface_;
  QImage strip_;
  QScrollBar* hbar_ = nullptr;
  QScrollBar* vbar_ = nullptr;
  bool syncing_ = false;
  int shownCursorX_ = -1;
  int shownAnchorX_ = -1;
  int shownRowMarkY_ = -1;
  bool rowMarkShown_ = false;
  int sweepTick_ = 0;
  QString caption_;
  std::map<MonitorCommand, bool> available_;
};

}  // namespace velor
