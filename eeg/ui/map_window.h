// MapWindow "Карта": the map window docked at the right of the main window beside
// the monitor. It shows the picture paintMapPicture makes for the current
// view mode and redraws it whenever the cursor or the analysis changes;
// the tool window MapToolsWindow "Карты" chooses mode and measure, the card file
// window MapCardsWindow "Картотека" keeps ".cam" cards.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "core/interaction.h"
#include "core/study_state.h"
#include "eeg/maps.h"
#include "eeg/spectral.h"
#include "eeg/ui/map_render.h"

class QCheckBox;
class QKeyEvent;
class QTimer;
class QComboBox;
class QPushButton;

namespace velor {

class MapToolsWindow;
class MapCardsWindow;

class MapWindow final : public QWidget {
  Q_OBJECT
 public:
  // What the window asks of the program around it.
  struct Hooks {
    std::function<bool()> print;                          // F2
    std::function<void()> exportValues;                   // F4 and "Экспорт": the save dispatch
    std::function<std::optional<std::string>(bool save)> pickCard;  // a ".cam" file
    std::function<void()> closeRequested;                 // F10
    std::function<void()> analysisChanged;                // the monitor must redraw
    std::function<std::optional<std::string>()> pickSubjectTable;  // "R": a text table
    std::function<void(QKeyEvent*)> forwardKey;           // keys the monitor handles
    std::function<void()> redrawn;                        // the scoreboard reads the new row, band, epoch
    std::function<bool()> importParameters;               // "Импорт": the open dispatch of SpectralParameters
  };

  MapWindow(StudyState& s, SpectralEngine& engine, Interaction& ui, QWidget* parent = nullptr);
  ~MapWindow() override;

  Hooks& hooks() { return hooks_; }
  MapSettings& settings() { return settings_; }
  const QImage& picture() const { return picture_; }
  // Mapping mode of the tool window: 0 "Карта", 1 "Мульти", 2 "Серия".
  int mappingMode() const { return mappingMode_; }
  void setMappingMode(int mode);
  // The view the picture is drawn with (the window's size).
  MapView currentView() const;
  // Epoch columns of the epoch diagrams (epochCount less the averaged ones).
  int epochColumns() const;
  // The caption of the mode and title.
  QString caption() const { return windowTitle(); }

  // Rebuilds the whole picture for the current view mode.
  void drawMaps();
  // "&Start" of "Мульти": the map of each following sample (at most 250,
  // not beyond the record) or epoch, one every 200 ms; the mode returns to
  // "Карта" afterwards.
  void startAnimation();
  bool animating() const;
  // One animation step at once (what the 200 ms timer does); false at the end.
  bool animationStep();
  // Card statistics in place of the map until the next drawMaps.
  void showCardStatistics(const MapCard& card, const std::optional<std::vector<double>>& other);
  bool showsCardStatistics() const { return cardShown_; }

  // "Копировать", "Вырезать" (then the picture is white) and "Вставить"
  // (a clipboard picture at the top left corner).
  void copyPicture();
  void cutPicture();
  bool pastePicture();
  // "R": reads a table of subjects chosen through pickSubjectTable.
  bool readSubjectTable();

  // F4: the map's values as text in code page 1251; false with a message.
  bool saveValues(const std::string& path);
  // "Сохранить" of the card window: the current map as a card.
  bool saveCard(const std::string& path);

  MapToolsWindow* tools();
  MapCardsWindow* cards();

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  StudyState& s_;
  SpectralEngine& engine_;
  Interaction& ui_;
  Hooks hooks_;
  MapSettings settings_;
  int mappingMode_ = 0;
  int seriesStart_ = 0;
  QTimer* animation_ = nullptr;  // child
  int animationItem_ = 0;
  int animationEnd_ = 0;
  QImage picture_;
  bool cardShown_ = false;
  QPointer<MapToolsWindow> tools_;
  QPointer<MapCardsWindow> cards_;
};

// "Карты": mode, measure, band, asymmetry and colour, and the analyses.
class MapToolsWindow final : public QDialog {
  Q_OBJECT
 public:
  MapToolsWindow(MapWindow& map, StudyState& s, SpectralEngine& engine, Interaction& ui, QWidget* parent = nullptr);
  QComboBox* modeList() const { return mode_; }
  QComboBox* measureList() const { return measure_; }
  QComboBox* bandList() const { return band_; }
  QCheckBox* asymmetryBox() const { return asym_; }
  QCheckBox* colourBox() const { return colour_; }
  QPushButton* button(const char* caption) const;
  QPushButton* startButton() const { return start_; }
  // Fills the lists from the state (bands, measure, enabled commands).
  void refresh();
  // "&2=Диапазоны" and "&3=Эпохи".
  bool runDiagrams(ViewMode mode);

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  MapWindow& map_;
  StudyState& s_;
  SpectralEngine& engine_;
  Interaction& ui_;
  QComboBox* mode_ = nullptr;
  QComboBox* measure_ = nullptr;
  QComboBox* band_ = nullptr;
  QCheckBox* asym_ = nullptr;
  QCheckBox* colour_ = nullptr;
  QPushButton* start_ = nullptr;
  bool filling_ = false;
};

// "Картотека": cards read, averaged, compared and saved.
class MapCardsWindow final : public QDialog {
  Q_OBJECT
 public:
  MapCardsWindow(MapWindow& map, StudyState& s, Interaction& ui, QWidget* parent = nullptr);
  QPushButton* button(const char* caption) const;
  // The buttons; the paths are asked through the map's pickCard hook.
  bool readCard();
  bool averageWithCurrent();
  bool averageFiles();
  bool compareWithCurrent();
  bool compareFiles();
  bool saveCurrent();

 private:
  std::optional<MapCard> askCard();
  MapWindow& map_;
  StudyState& s_;
  Interaction& ui_;
};

}  // namespace velor
