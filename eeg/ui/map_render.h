// The one drawing of the map window's picture: the interpolated head map (or
// the connection lines of lead-pair measures), the electrodes with their
// names and the frame of the current one, the title, the colour scale and,
// in the band modes, the bar diagrams by band or by epoch. It paints into a
// QImage and needs no window, so the map window and `velor-cli map` show
// the same pixels.
#pragma once

#include <QImage>
#include <QSize>
#include <string>

#include "core/study_state.h"
#include "eeg/maps.h"

namespace velor {

// Where and what the picture shows besides the study state.
struct MapView {
  int mapSize = 256;  // head height in pixels; the head is mapSize × 3 / 4 wide
  int mapLeft = 5;
  int mapTop = 0;
  int sample = 0;      // cursor sample (or frequency bin) for signals and the transform view
  int currentRow = 0;  // channel (or lead pair) whose electrode is framed
  int epochs = 1;      // epoch columns of the epoch diagram
  bool diagrams = true;  // bar diagrams at the left in the band modes
  int band = -1;       // band of the band modes (−1: currentBand)
  int slice = -1;      // result slice of the band modes (−1: as the view mode reads it)
  int seriesStart = -1;  // ≥ 0: the series ("Серия") from this sample or epoch
  const std::vector<MapElectrode>* electrodes = nullptr;  // given values (animation frames)
  std::string label;     // the animation's time, written at (labelX, 5)
  int labelX = 10;
};

// Time, frequency or epoch time of series item `item` as the labels show it.
std::string seriesLabel(const StudyState& s, int item);

// The view the map window uses for a picture of `size`: mapSize 256 when
// it fits (else 128, else 64), left 5 (215 with diagrams), top
// (height − 256) / 4 but at least 20 so the title stays visible. A head
// that would reach into the colour bar's area (mapScaleArea) starts at 20
// and is made short enough to end above it.
MapView windowMapView(const StudyState& s, QSize size);
// A picture of `size` given wholly to the head map (the command-line map):
// the largest head that fits below the title.
MapView fittedMapView(const StudyState& s, QSize size);

// Paints the picture of the current view mode into `image` (its whole size).
void paintMapPicture(QImage& image, const StudyState& s, const MapSettings& m, const MapView& v);
// A new ARGB32 picture of `size` painted as above.
QImage renderMapPicture(const StudyState& s, const MapSettings& m, const MapView& v, QSize size);

// The card statistics: per band a column of three small maps (E, S, V for
// one card; T, E, Z when `other` holds the means compared with), the band
// names, "n=", the scale with its labels and, when comparing, the tests of
// each band. Electrode positions come from the channel table of `s`.
void paintCardStatistics(QImage& image, const StudyState& s, const MapSettings& m, const MapCard& card,
                         const std::vector<double>* other);

// What the colour bar of a picture of `size` takes: the bar, its value
// labels and its unit.
QRect mapScaleArea(QSize size);

// The electrode's pixel position on a head of the view.
QPoint electrodePixel(const MapView& v, int x, int y);

}  // namespace velor
