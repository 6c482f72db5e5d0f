// The graph windows of the program: the series table every analysis fills,
// the six window slots with the current one, createGraphWindow, tiling, and the ties to
// the main window (file dispatch, monitor, screen copy, printing). The main
// window owns one GraphHost; analyses reach the table and createGraphWindow through it.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "core/file_kinds.h"
#include "core/interaction.h"
#include "core/study_state.h"
#include "results/graph.h"
#include "results/ui/print_target.h"

class QWidget;

namespace velor {

class GraphWindow;

class GraphHost final : public QObject {
  Q_OBJECT
 public:
  GraphHost(StudyState& s, Interaction& ui, QWidget* mainWindow);
  ~GraphHost() override;

  StudyState& state() { return s_; }
  Interaction& interaction() { return ui_; }
  GraphTable& table() { return table_; }

  // Opens a graph window in the first free slot (the current one is replaced
  // when all six are open): bottomReserve pixels stay free below the plot (a
  // negative value makes a blank canvas), extraHeight is added to the
  // window's height. The new window is current and shown.
  GraphWindow* createGraphWindow(int bottomReserve, int extraHeight);
  // The current graph window, or nullptr. Only the windows ask for it, so the
  // study state does not carry it.
  GraphWindow* current() const { return current_; }
  int currentGraphSlot() const { return currentSlot_; }
  // The window in slot 1..6, or nullptr.
  GraphWindow* window(int slot) const;
  int openCount() const;
  bool creating() const { return creating_; }
  // "Закрыть все": closes slots 1..6, currentGraphSlot becomes 0.
  void closeAll();

  // --- ties to the main window -------------------------------------------------
  // The open or save dispatch for a file kind with the file window; true
  // when a file was chosen and read or written.
  std::function<bool(FileKind kind, bool save)> runFileKind;
  // Top of the tiled windows (main window top + 4 × tool panel height − 10).
  std::function<int()> tileTop;
  // The monitor moved to a linked point: redraw it.
  std::function<void()> monitorMoved;
  // The main window's screen copy (the monitor's drawing).
  std::function<QImage()> screenCopy;
  PrintHooks print;

  // --- called by the windows ------------------------------------------------------
  void windowActivated(GraphWindow* w);
  void windowClosed(GraphWindow* w);
  void drawingFinished(GraphWindow* w);
  // Windows lay out in slot order, a window already in place stays.
  void tile();

 private:
  bool openPicture(const std::string& path);
  bool savePicture(const std::string& path);
  bool exportSeries(const std::string& path);

  StudyState& s_;
  Interaction& ui_;
  QWidget* mainWindow_;
  GraphTable table_;
  std::array<QPointer<GraphWindow>, kGraphSlots + 1> slots_{};
  QPointer<GraphWindow> current_;
  int currentSlot_ = 0;
  bool creating_ = false;
  std::unique_ptr<FileKindRegistration> openPictureKind_, savePictureKind_, exportKind_;
};

}  // namespace velor
