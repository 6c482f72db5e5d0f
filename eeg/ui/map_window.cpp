#include "eeg/ui/map_window.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/text.h"
#include "eeg/map_texts.h"

namespace velor {

namespace {

QString qs(const char* text) { return QString::fromUtf8(text); }
QString qs(const std::string& text) { return QString::fromStdString(text); }

int wrap(int value, int count) {
  if (count <= 0) return 0;
  return ((value % count) + count) % count;
}

}  // namespace

// --- MapWindow ----------------------------------------------------------------------

MapWindow::MapWindow(StudyState& s, SpectralEngine& engine, Interaction& ui, QWidget* parent)
    : QWidget(parent), s_(s), engine_(engine), ui_(ui) {
  setObjectName("mapWindow");
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setWindowTitle(qs(mapCaption(s_, settings_, mappingMode_)));
}

MapWindow::~MapWindow() {
  // the tool and card windows belong to the main window but act on this one
  delete tools_;
  delete cards_;
  if (s_.sideWindow == this) s_.sideWindow = nullptr;
}

void MapWindow::setMappingMode(int mode) {
  mappingMode_ = std::clamp(mode, 0, 2);
  // the series starts where the cursor (or the current epoch) is
  seriesStart_ = slicesAreEpochs(s_.viewMode) ? std::max(0, s_.currentEpoch) : std::max(0, s_.cursorPos);
  drawMaps();
}

bool MapWindow::animating() const { return animation_ && animation_->isActive(); }

void MapWindow::startAnimation() {
  if (!animation_) {
    animation_ = new QTimer(this);
    animation_->setInterval(200);
    connect(animation_, &QTimer::timeout, this, [this] {
      if (!animationStep()) animation_->stop();
    });
  }
  if (slicesAreEpochs(s_.viewMode)) {
    // each epoch, then three frames on the way to the next
    animationItem_ = 0;
    animationEnd_ = (epochColumns() - 1) * 4 + 1;
  } else {
    animationItem_ = std::max(0, s_.cursorPos);
    animationEnd_ = std::min(animationItem_ + 250, std::clamp(s_.recordLength, 0, kMaxSamples));
  }
  animation_->start();
}

bool MapWindow::animationStep() {
  if (animationItem_ >= animationEnd_) {
    mappingMode_ = 0;
    drawMaps();
    if (tools_) tools_->refresh();
    return false;
  }
  MapView v = currentView();
  v.seriesStart = -1;
  std::vector<MapElectrode> frame;
  if (slicesAreEpochs(s_.viewMode)) {
    const int epoch = animationItem_ / 4, k = animationItem_ % 4;
    frame = epochFrameElectrodes(s_, settings_, s_.currentBand, epoch, k);
    v.electrodes = &frame;
    v.slice = epoch;
    v.label = padLeft(formatNumber((epoch + 1.0) * s_.epochStep / std::max(1, s_.sampleRate)), 3);
    v.labelX = std::min(380, std::max(10, width() - 60));
  } else {
    v.sample = animationItem_;
    v.label = seriesLabel(s_, animationItem_);
  }
  picture_ = renderMapPicture(s_, settings_, v, size());
  update();
  ++animationItem_;
  return true;
}

int MapWindow::epochColumns() const { return std::max(1, s_.epochCount - std::max(0, engine_.averagedEpochs)); }

MapView MapWindow::currentView() const {
  MapView v = windowMapView(s_, size());
  v.epochs = epochColumns();
  if (mappingMode_ == 2) v.seriesStart = seriesStart_;
  return v;
}

void MapWindow::drawMaps() {
  cardShown_ = false;
  picture_ = renderMapPicture(s_, settings_, currentView(), size());
  setWindowTitle(qs(mapCaption(s_, settings_, mappingMode_)));
  update();
  if (hooks_.redrawn) hooks_.redrawn();
}

void MapWindow::showCardStatistics(const MapCard& card, const std::optional<std::vector<double>>& other) {
  picture_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32);
  paintCardStatistics(picture_, s_, settings_, card, other ? &*other : nullptr);
  cardShown_ = true;
  update();
}

void MapWindow::copyPicture() { QGuiApplication::clipboard()->setImage(picture_); }

void MapWindow::cutPicture() {
  copyPicture();
  picture_.fill(Qt::white);
  update();
}

bool MapWindow::pastePicture() {
  const QImage pasted = QGuiApplication::clipboard()->image();
  if (pasted.isNull()) return false;
  QPainter p(&picture_);
  p.drawImage(0, 0, pasted);
  p.end();
  update();
  return true;
}

bool MapWindow::readSubjectTable() {
  if (!hooks_.pickSubjectTable) return false;
  const auto path = hooks_.pickSubjectTable();
  if (!path) return false;
  std::string bytes, problem;
  if (!readWholeFile(*path, bytes, 16u << 20)) {
    ui_.message(std::string(map_text::kInterrupted) + "не удалось прочитать " + *path);
    return false;
  }
  if (!readSubjectMaps(s_, cp1251ToUtf8(bytes), problem)) {
    ui_.message(problem);
    return false;
  }
  engine_.averagedEpochs = 0;  // every line is an epoch of its own
  if (hooks_.analysisChanged) hooks_.analysisChanged();
  drawMaps();
  return true;
}

bool MapWindow::saveValues(const std::string& path) { return writeTextRecord(s_, path, ui_, mapTextExtras(s_, settings_)); }

bool MapWindow::saveCard(const std::string& path) {
  std::string problem;
  if (writeMapCard(path, savedMapCard(s_, epochColumns()), problem)) return true;
  ui_.message(problem);
  return false;
}

MapToolsWindow* MapWindow::tools() {
  if (!tools_) tools_ = new MapToolsWindow(*this, s_, engine_, ui_, window());
  return tools_;
}

MapCardsWindow* MapWindow::cards() {
  if (!cards_) cards_ = new MapCardsWindow(*this, s_, ui_, window());
  return cards_;
}

bool MapWindow::event(QEvent* e) {
  // The map's own keys win over the main window's shortcuts of the same
  // keys (F2 print, F4 save, F10 close) while the map has the focus.
  if (e->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(e);
    if (key->modifiers() == Qt::ControlModifier &&
        (key->key() == Qt::Key_C || key->key() == Qt::Key_X || key->key() == Qt::Key_V)) {
      e->accept();
      return true;
    }
    if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
      switch (key->key()) {
        case Qt::Key_Escape:
        case Qt::Key_F2:
        case Qt::Key_F4:
        case Qt::Key_F10:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_0:
          e->accept();
          return true;
        default:
          break;
      }
    }
  }
  return QWidget::event(e);
}

void MapWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.drawImage(0, 0, picture_);
}

void MapWindow::resizeEvent(QResizeEvent*) {
  if (!cardShown_) drawMaps();
}

void MapWindow::keyPressEvent(QKeyEvent* e) {
  if (s_.acquisitionActive) return;
  const bool bands = s_.viewMode == ViewMode::BandDiagrams;
  const bool epochs = slicesAreEpochs(s_.viewMode);
  const int bandCount = std::clamp(s_.bandCount, 0, kBandRows);
  switch (e->key()) {
    case Qt::Key_Escape:
      if (cardShown_) {
        cards()->show();
      } else {
        tools()->refresh();
        tools()->show();
        setMappingMode(0);
      }
      return;
    case Qt::Key_Left:
    case Qt::Key_Right: {
      const int step = e->key() == Qt::Key_Left ? -1 : 1;
      if (bands) {
        s_.currentBand = wrap(s_.currentBand + step, bandCount);
      } else if (mappingMode_ == 2) {
        // the series moves by half a page: Left on, Right back
        const MapView v = currentView();
        const int page = std::max(1, static_cast<int>((width() - 10) / (128.0 / 3 + 10)) * std::max(1, (height() - 30) / 74));
        const int end = epochs ? epochColumns() : std::clamp(s_.recordLength, 0, kMaxSamples);
        seriesStart_ = step < 0 ? std::min(seriesStart_ + page / 2, std::max(0, end - page / 2))
                                : std::max(0, seriesStart_ - page / 2);
        (void)v;
      } else if (epochs) {
        s_.currentEpoch = wrap(s_.currentEpoch + step, epochColumns());
      } else {
        break;
      }
      drawMaps();
      return;
    }
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
      if (!epochs) break;
      s_.currentBand = wrap(s_.currentBand + (e->key() == Qt::Key_PageUp ? -1 : 1), bandCount);
      drawMaps();
      return;
    case Qt::Key_Up:
    case Qt::Key_Down:
      if (!showsBandMeasures(s_.viewMode)) break;
      s_.currentChannelRow = wrap(s_.currentChannelRow + (e->key() == Qt::Key_Up ? -1 : 1), mapRowCount(s_));
      drawMaps();
      return;
    case Qt::Key_0:
      if (s_.viewMode == ViewMode::Transform) {
        s_.leaveTransformView();
        if (hooks_.analysisChanged) hooks_.analysisChanged();
        drawMaps();
      }
      return;
    case Qt::Key_F2:
      if (hooks_.print) hooks_.print();
      return;
    case Qt::Key_F4:
      if (hooks_.exportValues) hooks_.exportValues();
      return;
    case Qt::Key_F10:
      if (tools_) tools_->hide();
      if (hooks_.closeRequested) hooks_.closeRequested();
      return;
    case Qt::Key_C:
    case Qt::Key_X:
    case Qt::Key_V:
      if (e->modifiers() != Qt::ControlModifier) break;
      if (e->key() == Qt::Key_C) copyPicture();
      else if (e->key() == Qt::Key_X) cutPicture();
      else pastePicture();
      return;
    default:
      break;
  }
  // the other keys act on the monitor (epoch and record steps, gain, cursor)
  if (hooks_.forwardKey && !cardShown_) {
    hooks_.forwardKey(e);
    return;
  }
  QWidget::keyPressEvent(e);
}

void MapWindow::mousePressEvent(QMouseEvent* e) {
  const QPoint at = e->position().toPoint();
  if (e->button() == Qt::RightButton) {
    MapToolsWindow* t = tools();
    t->refresh();
    t->show();
    t->move(mapToGlobal(at) - QPoint(t->width() / 2, t->height() / 2));
    return;
  }
  if (e->button() != Qt::LeftButton || cardShown_ || at.x() >= 210) return;
  if (!showsBandDiagrams(s_.viewMode) || (s_.viewMode == ViewMode::EpochMaps && mappingMode_ == 2)) return;
  // the rows and columns as the diagram draws them
  std::vector<int> rows;
  for (int r = 0; r < mapRowCount(s_); ++r)
    if (mapShowsPairs(s_) || s_.channelPosX[static_cast<std::size_t>(r)] < kMapNoPosition) rows.push_back(r);
  if (rows.empty()) return;
  const int h = std::max(1, (height() - 40) / static_cast<int>(rows.size()));
  const int row = std::clamp(at.y() / h, 0, static_cast<int>(rows.size()) - 1);
  s_.currentChannelRow = rows[static_cast<std::size_t>(row)];
  const int columns =
      std::max(1, s_.viewMode == ViewMode::EpochMaps ? epochColumns() : std::clamp(s_.bandCount, 0, kBandRows));
  const int column = std::clamp(static_cast<int>((at.x() - 40) / (160.0 / columns)), 0, columns - 1);
  if (s_.viewMode == ViewMode::BandDiagrams) s_.currentBand = column;
  else s_.currentEpoch = column;
  drawMaps();
}

// --- MapToolsWindow -----------------------------------------------------------------

MapToolsWindow::MapToolsWindow(MapWindow& map, StudyState& s, SpectralEngine& engine, Interaction& ui, QWidget* parent)
    : QDialog(parent), map_(map), s_(s), engine_(engine), ui_(ui) {
  setObjectName("mapTools");
  setWindowTitle(qs(map_text::kToolTitle));
  setModal(false);
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(qs(map_text::kModeLabel), this), 0, 0);
  mode_ = new QComboBox(this);
  mode_->addItems({qs(map_text::kMapTitle), qs(map_text::kModeMulti), qs(map_text::kModeSeries)});
  grid->addWidget(mode_, 0, 1);
  grid->addWidget(new QLabel(qs(map_text::kMeasureLabel), this), 1, 0);
  measure_ = new QComboBox(this);
  for (const char* name : map_text::kMeasureNames) measure_->addItem(qs(name));
  grid->addWidget(measure_, 1, 1);
  band_ = new QComboBox(this);
  band_->setToolTip(qs(map_text::kBandHint));
  grid->addWidget(band_, 2, 0, 1, 2);
  asym_ = new QCheckBox(qs(map_text::kAsym), this);
  asym_->setToolTip(qs(map_text::kAsymHint));
  colour_ = new QCheckBox(qs(map_text::kColour), this);
  colour_->setToolTip(qs(map_text::kColourHint));
  colour_->setChecked(true);
  grid->addWidget(asym_, 3, 0);
  grid->addWidget(colour_, 3, 1);
  start_ = new QPushButton(qs(map_text::kStart), this);
  start_->setObjectName(map_text::kStart);
  start_->setToolTip(qs(map_text::kStartHint));
  grid->addWidget(start_, 0, 2);
  connect(start_, &QPushButton::clicked, this, [this] { map_.startAnimation(); });
  const char* buttons[] = {map_text::kSpectrumButton, map_text::kBandsButton, map_text::kEpochsButton,
                           map_text::kCardButton,     map_text::kExport,      map_text::kImport,
                           map_text::kReadTable,      map_text::kClose};
  int row = 4;
  for (const char* caption : buttons) {
    auto* b = new QPushButton(qs(caption), this);
    b->setObjectName(caption);
    grid->addWidget(b, row++, 0, 1, 2);
  }
  connect(mode_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (filling_) return;
    map_.setMappingMode(i);
    start_->setVisible(i == 1);
  });
  connect(measure_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (filling_ || i < 0) return;
    s_.bandMode = i;
    if (showsBandDiagrams(s_.viewMode)) runDiagrams(s_.viewMode);
    map_.drawMaps();
  });
  connect(band_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (filling_ || i < 0) return;
    s_.currentBand = i;
    map_.drawMaps();
  });
  connect(asym_, &QCheckBox::toggled, this, [this](bool on) {
    map_.settings().asymmetry = on;
    map_.drawMaps();
  });
  connect(colour_, &QCheckBox::toggled, this, [this](bool on) {
    map_.settings().colour = on;
    map_.drawMaps();
  });
  connect(button(map_text::kSpectrumButton), &QPushButton::clicked, this, [this] {
    if (s_.viewMode != ViewMode::Transform) {
      if (showsBandMeasures(s_.viewMode)) s_.viewMode = ViewMode::Signals;
      std::string problem;
      if (!showEpochSpectra(engine_, s_, s_.monitorWidth, problem)) ui_.message(problem);
      if (map_.hooks().analysisChanged) map_.hooks().analysisChanged();
    }
    map_.drawMaps();
  });
  connect(button(map_text::kBandsButton), &QPushButton::clicked, this, [this] { runDiagrams(ViewMode::BandDiagrams); });
  connect(button(map_text::kEpochsButton), &QPushButton::clicked, this, [this] { runDiagrams(ViewMode::EpochMaps); });
  connect(button(map_text::kCardButton), &QPushButton::clicked, this, [this] { map_.cards()->show(); });
  connect(button(map_text::kExport), &QPushButton::clicked, this, [this] {
    if (map_.hooks().exportValues) map_.hooks().exportValues();
  });
  connect(button(map_text::kImport), &QPushButton::clicked, this, [this] {
    // band diagrams of single channels only
    if (s_.viewMode != ViewMode::BandDiagrams || mapShowsPairs(s_) || !map_.hooks().importParameters) return;
    if (map_.hooks().importParameters()) map_.drawMaps();
  });
  button(map_text::kReadTable)->setToolTip(qs(map_text::kReadTableHint));
  connect(button(map_text::kReadTable), &QPushButton::clicked, this, [this] {
    map_.readSubjectTable();
    refresh();
  });
  connect(button(map_text::kClose), &QPushButton::clicked, this, [this] {
    if (s_.viewMode == ViewMode::Transform) s_.leaveTransformView();
    if (map_.hooks().analysisChanged) map_.hooks().analysisChanged();
    map_.drawMaps();
    hide();
  });
  refresh();
}

QPushButton* MapToolsWindow::button(const char* caption) const { return findChild<QPushButton*>(caption); }

void MapToolsWindow::refresh() {
  filling_ = true;
  mode_->setCurrentIndex(map_.mappingMode());
  start_->setVisible(map_.mappingMode() == 1);
  measure_->setCurrentIndex(std::clamp(s_.bandMode, 0, 3));
  band_->clear();
  for (int b = 0; b < std::clamp(s_.bandCount, 0, kBandRows); ++b)
    band_->addItem(qs(trimSpaces(s_.bandTable[static_cast<std::size_t>(b)].name)));
  band_->setCurrentIndex(std::clamp(s_.currentBand, -1, band_->count() - 1));
  const bool ownMeasures = isBandOnlyMeasure(s_.transformKind);
  measure_->setEnabled(!ownMeasures);
  button(map_text::kSpectrumButton)->setEnabled(!ownMeasures);
  button(map_text::kCardButton)->setEnabled(!ownMeasures);
  const bool correlation = s_.transformKind == TransformKind::Correlation;
  button(map_text::kBandsButton)->setEnabled(!correlation);
  button(map_text::kEpochsButton)->setEnabled(!correlation);
  asym_->setChecked(map_.settings().asymmetry);
  colour_->setChecked(map_.settings().colour);
  filling_ = false;
}

bool MapToolsWindow::runDiagrams(ViewMode mode) {
  const bool done = runBandDiagrams(engine_, s_, mode, ui_, map_.settings());
  if (map_.hooks().analysisChanged) map_.hooks().analysisChanged();
  refresh();
  map_.drawMaps();
  return done;
}

void MapToolsWindow::closeEvent(QCloseEvent* e) {
  // kept for the next use: closing only hides it
  e->ignore();
  hide();
}

// --- MapCardsWindow -----------------------------------------------------------------

MapCardsWindow::MapCardsWindow(MapWindow& map, StudyState& s, Interaction& ui, QWidget* parent)
    : QDialog(parent), map_(map), s_(s), ui_(ui) {
  setObjectName("mapCards");
  setWindowTitle(qs(map_text::kCardTitle));
  setModal(false);
  auto* column = new QVBoxLayout(this);
  const char* captions[] = {map_text::kCardRead,    map_text::kCardAverage,      map_text::kCardAverageFiles,
                            map_text::kCardCompare, map_text::kCardCompareFiles, map_text::kCardSave,
                            map_text::kCardPrint,   map_text::kClose};
  for (const char* caption : captions) {
    auto* b = new QPushButton(qs(caption), this);
    b->setObjectName(caption);
    column->addWidget(b);
  }
  connect(button(map_text::kCardRead), &QPushButton::clicked, this, [this] { readCard(); });
  connect(button(map_text::kCardAverage), &QPushButton::clicked, this, [this] { averageWithCurrent(); });
  connect(button(map_text::kCardAverageFiles), &QPushButton::clicked, this, [this] { averageFiles(); });
  connect(button(map_text::kCardCompare), &QPushButton::clicked, this, [this] { compareWithCurrent(); });
  connect(button(map_text::kCardCompareFiles), &QPushButton::clicked, this, [this] { compareFiles(); });
  connect(button(map_text::kCardSave), &QPushButton::clicked, this, [this] { saveCurrent(); });
  connect(button(map_text::kCardPrint), &QPushButton::clicked, this, [this] {
    if (map_.hooks().print) map_.hooks().print();
  });
  connect(button(map_text::kClose), &QPushButton::clicked, this, [this] {
    hide();
    map_.drawMaps();
  });
}

QPushButton* MapCardsWindow::button(const char* caption) const { return findChild<QPushButton*>(caption); }

std::optional<MapCard> MapCardsWindow::askCard() {
  if (!map_.hooks().pickCard) return std::nullopt;
  const auto path = map_.hooks().pickCard(false);
  if (!path) return std::nullopt;
  MapCard c;
  std::string problem;
  if (!readMapCard(*path, c, problem)) {
    ui_.message(problem);
    return std::nullopt;
  }
  s_.chosenFilePath = *path;
  return c;
}

bool MapCardsWindow::readCard() {
  const auto c = askCard();
  if (!c) return false;
  map_.showCardStatistics(*c, std::nullopt);
  return true;
}

bool MapCardsWindow::averageWithCurrent() {
  auto c = askCard();
  if (!c) return false;
  const std::string path = s_.chosenFilePath;
  if (!averageMapCards(*c, currentMapCard(s_))) {
    ui_.message(map_text::kCardMismatch);
    return false;
  }
  std::string problem;
  if (!writeMapCard(path, *c, problem)) {
    ui_.message(problem);
    return false;
  }
  map_.showCardStatistics(*c, std::nullopt);
  return true;
}

bool MapCardsWindow::averageFiles() {
  auto a = askCard();
  if (!a) return false;
  const auto b = askCard();
  if (!b) return false;
  if (!averageMapCards(*a, *b)) {
    ui_.message(map_text::kCardMismatch);
    return false;
  }
  const auto path = map_.hooks().pickCard ? map_.hooks().pickCard(true) : std::nullopt;
  if (path) {
    std::string problem;
    if (!writeMapCard(*path, *a, problem)) {
      ui_.message(problem);
      return false;
    }
  }
  map_.showCardStatistics(*a, std::nullopt);
  return true;
}

bool MapCardsWindow::compareWithCurrent() {
  const auto c = askCard();
  if (!c) return false;
  const MapCard current = currentMapCard(s_);
  if (!mapCardsCompatible(*c, current)) {
    ui_.message(map_text::kCardMismatch);
    return false;
  }
  map_.showCardStatistics(*c, current.mean);
  return true;
}

bool MapCardsWindow::compareFiles() {
  const auto a = askCard();
  if (!a) return false;
  const auto b = askCard();
  if (!b) return false;
  if (!mapCardsCompatible(*a, *b)) {
    ui_.message(map_text::kCardMismatch);
    return false;
  }
  map_.showCardStatistics(*a, b->mean);
  return true;
}

bool MapCardsWindow::saveCurrent() {
  if (!map_.hooks().pickCard) return false;
  const auto path = map_.hooks().pickCard(true);
  if (!path) return false;
  return map_.saveCard(*path);
}

}  // namespace velor
