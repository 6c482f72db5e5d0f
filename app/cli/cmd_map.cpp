// velor-cli map FILE --png OUT.png [--record N] [--measure amplitude|spectrum|band]
// [--band B] [--epoch E] [--size PIXELS]: the head map of one record drawn by
// the map window's own drawing into a square PNG picture:
//   amplitude  the instantaneous amplitude at --sample (default: the cursor
//              as after opening the file);
//   spectrum   the spectral amplitude at --frequency Hz of epoch E;
//   band       band B (number from 1 or name, default the alpha band of
//              the default table, or --bands FILE.dia) of epoch E.
// Epochs are --epoch-length samples (256 by default, as the settings start).
#include "app/cli/cmd_map.h"

#include <memory>
#include <string>

#include "app/cli/commands.h"

#ifdef VELOR_CLI_PRINT
#include <QBuffer>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/checked_write.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "eeg/band_table.h"
#include "eeg/maps.h"
#include "eeg/spectral.h"
#include "eeg/ui/map_render.h"
#endif

namespace velor::cli {

namespace {

struct MapOptions {
  std::string file;
  std::string png;
  std::string measure = "band";
  std::string band = "3";  // alpha in the default table
  std::string bands;       // a ".dia" file
  int record = 1;
  int epoch = 0;
  int epochLength = 256;
  int size = 400;
  int sample = -1;
  double frequency = 10.0;
};

#ifdef VELOR_CLI_PRINT
bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Band by number from 1 or by name (trimmed, exact).
int bandIndex(const StudyState& s, const std::string& text) {
  if (const auto n = parseInteger(text); n && *n >= 1 && *n <= s.bandCount) return *n - 1;
  for (int b = 0; b < std::min(s.bandCount, kBandRows); ++b)
    if (trimSpaces(s.bandTable[static_cast<std::size_t>(b)].name) == trimSpaces(text)) return b;
  return -1;
}

int runMap(const MapOptions& o) {
  std::string reason;
  if (!checkInputFile(o.file, reason)) {
    reportFailure(reason);
    return kExitFile;
  }
  if (o.measure != "amplitude" && o.measure != "spectrum" && o.measure != "band") {
    reportFailure("--measure must be amplitude, spectrum or band");
    return kExitUsage;
  }
  if (o.size < 64 || o.size > 4096) {
    reportFailure("--size must lie within 64 .. 4096");
    return kExitUsage;
  }
  if (!std::isfinite(o.frequency) || o.frequency < 0) {
    reportFailure("--frequency must be a number of Hz from 0 to half the sampling rate");
    return kExitUsage;
  }
  if (!isPowerOfTwo(o.epochLength) || o.epochLength < 32 || o.epochLength > 8192) {
    reportFailure("--epoch-length must be a power of two from 32 to 8192");
    return kExitUsage;
  }
  // No display is needed; Qt's own notices would break the one-line stderr.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  int argc = 1;
  char name[] = "velor-cli";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);

  EngineInteraction ui;
  OpenedInput in;
  if (const int status = openInputAt(o.file, o.record, ui, in); status != kExitOk) return status;
  StudyState& s = *in.state;
  // A record none of whose channels sits on the head (every channel of a
  // non-EEG kind, or no positions known) has no map: an empty head would
  // look like a map of silence.
  bool placed = false;
  for (int c = 0; c < std::min(s.channelCount, kMaxChannels); ++c)
    placed = placed || s.channelPosX[static_cast<std::size_t>(c)] < kMapNoPosition;
  if (!placed) {
    reportFailure(o.file + ": no channel has a position on the head (all are of non-EEG kinds), so there is no map");
    return kExitFile;
  }
  s.epochLength = s.epochStep = o.epochLength;
  s.normaliseEpochGrid();
  s.transformKind = TransformKind::Amplitude;
  s.bandMode = 0;
  SpectralEngine engine;
  MapSettings m;
  if (o.measure != "amplitude" && (o.epoch < 0 || o.epoch >= s.epochCount)) {
    reportFailure("the record has " + std::to_string(s.epochCount) + " epoch(s) of " +
                  std::to_string(o.epochLength) + " samples; there is no epoch " + std::to_string(o.epoch));
    return kExitUsage;
  }
  s.currentEpoch = std::max(0, o.epoch);
  if (o.measure == "amplitude") {
    s.viewMode = ViewMode::Signals;
    if (o.sample >= 0) s.cursorPos = std::min(o.sample, std::max(0, s.recordLength - 1));
    s.selectionAnchor = -1;
  } else if (o.measure == "spectrum") {
    const double nyquist = s.sampleRate / 2.0;
    if (o.frequency > nyquist) {
      reportFailure("--frequency must lie within 0 .. " + formatNumber(nyquist) + " Hz, half the sampling rate of " + o.file);
      return kExitUsage;
    }
    std::string problem;
    if (!showEpochSpectra(engine, s, s.monitorWidth, problem)) {
      reportFailure(problem);
      return kExitFile;
    }
    s.cursorPos = static_cast<int>(std::lround(o.frequency * s.epochLength / std::max(1, s.sampleRate)));
  } else {
    if (!o.bands.empty()) {
      if (!refuseNonRegularFile(o.bands, reason)) {
        reportFailure(reason);
        return kExitFile;
      }
      if (!readBandFile(o.bands, s, ui)) {
        reportFailure(ui.reason(o.bands + ": not a band table"));
        return kExitFile;
      }
    } else {
      installDefaultBands(s);
    }
    const int band = bandIndex(s, o.band);
    if (band < 0) {
      reportFailure("no band " + o.band + " in the band table");
      return kExitUsage;
    }
    const int epoch = s.currentEpoch;
    if (!runBandDiagrams(engine, s, ViewMode::BandDiagrams, ui, m)) {
      reportFailure(ui.reason("the band measures cannot be computed"));
      return kExitFile;
    }
    s.currentEpoch = epoch;
    s.currentBand = band;
  }
  const QSize size(o.size, o.size);
  const MapView view = fittedMapView(s, size);
  const QImage picture = renderMapPicture(s, m, view, size);
  // Encoded in memory and written through a fresh temporary name that is
  // renamed into place: every write is checked, a planted link is never
  // followed and no half-written picture keeps the name.
  QBuffer encoded;
  encoded.open(QIODevice::WriteOnly);
  if (!picture.save(&encoded, "PNG")) {
    reportFailure("cannot write " + o.png + ": the picture cannot be encoded");
    return kExitFile;
  }
  const QByteArray& bytes = encoded.data();
  std::string why;
  if (!writeFileAtomically(o.png, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), why)) {
    reportFailure("cannot write " + o.png + ": " + why);
    return kExitFile;
  }
  return kExitOk;
}

#endif  // VELOR_CLI_PRINT

}  // namespace

void addMapCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<MapOptions>();
  CLI::App* cmd = app.add_subcommand("map", "Draw the head map of a record into a PNG picture as the map window does");
  cmd->add_option("FILE", o->file, "Record file (.cad, EDF)")->required();
  cmd->add_option("--png", o->png, "The PNG file to write")->required();
  cmd->add_option("--record", o->record, "Record number, from 1")->capture_default_str();
  cmd->add_option("--measure", o->measure, "amplitude, spectrum or band")->capture_default_str();
  cmd->add_option("--band", o->band, "Band number from 1, or its name")->capture_default_str();
  cmd->add_option("--bands", o->bands, "Band table (.dia); the default bands without it");
  cmd->add_option("--epoch", o->epoch, "Epoch, from 0")->capture_default_str();
  cmd->add_option("--epoch-length", o->epochLength, "Epoch length in samples")->capture_default_str();
  cmd->add_option("--sample", o->sample, "Sample of the amplitude map (default: the opening cursor)");
  cmd->add_option("--frequency", o->frequency, "Frequency of the spectrum map in Hz")->capture_default_str();
  cmd->add_option("--size", o->size, "Picture width and height in pixels")->capture_default_str();
#ifdef VELOR_CLI_PRINT
  cmd->callback([o, &status] { status = runMap(*o); });
#else
  // the options write into *o as they are parsed: it lives as long as the callback
  cmd->callback([o, &status] {
    (void)o;
    status = runPictureProgram();
  });
#endif
}

}  // namespace velor::cli
