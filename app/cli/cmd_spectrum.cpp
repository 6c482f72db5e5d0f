// velor-cli spectrum FILE: the spectra of one epoch of one record as CSV, one
// row per bin, one column per channel (or lead pair), in the units the
// transform view shows.
// velor-cli bands FILE: the band measures of every epoch of one record as
// CSV, one row per epoch and band.
// FILE is a record file (".cad") or an EDF-family file, whose pages are the records.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/cmd_spectrum.h"
#include "app/cli/commands.h"
#include "core/study_state.h"
#include "eeg/band_table.h"
#include "eeg/spectral.h"

namespace velor::cli {

namespace {

std::string number(double v) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

// FILE opened in a fresh study at record `record`. The epoch length is the
// settings' one whatever the reader chose for its file.
struct OpenStudy {
  OpenedInput in;
  EngineInteraction ui;
  int settingsEpochLength = 256;
};

bool openAt(OpenStudy& o, const std::string& path, int record, int& status) {
  status = openInputAt(path, record, o.ui, o.in);
  return status == kExitOk;
}

std::string rowName(const StudyState& s, int row, bool pairs) {
  if (!pairs) return s.channelNames[static_cast<std::size_t>(row)];
  const auto& p = s.leadPairs[static_cast<std::size_t>(row)];
  auto name = [&](int number) {
    return number >= 1 && number <= s.channelCount ? s.channelNames[static_cast<std::size_t>(number - 1)]
                                                   : std::to_string(number);
  };
  return name(p[0]) + "-" + name(p[1]);
}

bool pairKind(const StudyState& s) {
  return isCrossSpectral(s.transformKind) && !(s.transformKind == TransformKind::CrossPhase && s.leadPairCount == 0);
}

// --kind is typed as a number; it becomes a kind here, and only the spectra
// these commands compute are taken.
std::optional<TransformKind> spectrumKind(int number, const StudyState& s, int& status) {
  const std::optional<TransformKind> kind = knownTransformKind(number);
  if (!kind || *kind > TransformKind::CoherentPower) {
    reportFailure("--kind takes 0..5 (amplitude, power, cross-spectrum, phase, coherence, coherent power)");
    status = kExitUsage;
    return std::nullopt;
  }
  if (isPairMeasure(*kind) && *kind != TransformKind::CrossPhase && s.leadPairCount <= 0) {
    reportFailure("--kind " + std::to_string(number) + " needs lead pairs, and the file defines none");
    status = kExitUsage;
    return std::nullopt;
  }
  return kind;
}

// A bin amplitude is kept in 16 bits: a spectrum of full 16-bit codes (an
// EDF page) with a strong rhythm can reach the limit, and its largest bins are
// then cut. That is said (one line on stderr) rather than passed off as a value.
constexpr int kSpectrumCodeLimit = 32767;

std::string limitNote(const std::string& where) {
  return "note: in " + where + " a bin amplitude reaches the 16-bit limit of the spectrum (32767 codes); "
         "the largest bins there are cut, and their powers and band measures are too low";
}

// --- spectrum ----------------------------------------------------------------------------------

struct SpectrumOptions {
  std::string file;
  int record = 1;
  int epoch = 1;
  int epochLength = 0;  // 0: the study's start value
  int window = 0;
  int averaged = 0;
  int kind = 0;
  bool raw = false;
};

int runSpectrum(const SpectrumOptions& o) {
  int status = kExitOk;
  if (o.window < 0 || o.window >= kWindowKinds) {
    reportFailure("--window takes 0..10");
    return kExitUsage;
  }
  if (o.averaged < 0 || o.averaged > 999) {
    reportFailure("--averaged takes 0..999 extra epochs");
    return kExitUsage;
  }
  if (o.epochLength < 0 || o.epoch < 1) {
    reportFailure(o.epoch < 1 ? "--epoch counts from 1" : "--epoch-length must be positive");
    return kExitUsage;
  }
  OpenStudy study;
  if (!openAt(study, o.file, o.record, status)) return status;
  StudyState& s = *study.in.state;
  const std::optional<TransformKind> kind = spectrumKind(o.kind, s, status);
  if (!kind) return status;

  s.epochLength = o.epochLength > 0 ? o.epochLength : study.settingsEpochLength;
  s.epochStep = s.epochLength;
  s.normaliseEpochGrid();
  s.transformKind = *kind;
  s.currentEpoch = o.epoch - 1;

  SpectralEngine engine;
  engine.buildWindow(o.window);
  engine.averagedEpochs = o.averaged;
  const long start = static_cast<long>(o.epoch - 1) * s.epochStep;
  if (start > kMaxSamples) {
    reportFailure("--epoch " + std::to_string(o.epoch) + " lies outside the record");
    return kExitUsage;
  }
  const std::string problem = engine.epochProblem(s, static_cast<int>(start));
  if (!problem.empty()) {
    reportFailure(problem);
    return kExitUsage;
  }
  if (*kind == TransformKind::Coherence && o.averaged < 4)
    reportFailure("note: coherence of fewer than 5 epochs is close to 1 at every bin (use --averaged 4 or more)");
  const int peak = engine.epochSpectra(s, static_cast<int>(start), s.currentEpoch);

  const bool pairs = pairKind(s);
  if (!pairs && peak >= kSpectrumCodeLimit) reportFailure(limitNote("epoch " + std::to_string(o.epoch)));
  const int rows = pairs ? s.leadPairCount : s.channelCount;
  const int length = s.epochLength;
  const int bins = length / 2;
  const int rate = s.sampleRate;
  // A power spectrum is printed in µV², the square of each bin's amplitude
  // in physical units, taken before the transform view squares and shifts
  // the codes into 12 bits (its codes lose the small bins, and stand 2^powerShift
  // below the power).
  std::vector<double> power;
  if (*kind == TransformKind::Power && !o.raw) {
    power.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(bins + 1));
    for (int r = 0; r < rows; ++r) {
      const double perCode = s.microvoltsPerCode(r);
      for (int i = 1; i <= bins; ++i) {
        const double a = s.parkedChannelData[static_cast<std::size_t>(r)][i] * perCode;
        power[static_cast<std::size_t>(r) * static_cast<std::size_t>(bins + 1) + static_cast<std::size_t>(i)] = a * a;
      }
    }
  }
  // The transform view converts the codes (a power spectrum is squared and
  // scaled there); bin L/2 is taken in as well so that every row is shown alike.
  s.enterTransformView(*kind, bins + 1, s.monitorWidth);

  std::string out = "bin,freq";
  for (int r = 0; r < rows; ++r) out += "," + csvField(rowName(s, r, pairs));
  out += '\n';
  for (int i = 1; i <= bins; ++i) {
    out += std::to_string(i) + "," + number(static_cast<double>(i) * rate / length);
    for (int r = 0; r < rows; ++r) {
      out += ',';
      if (o.raw)
        out += std::to_string(s.channelData[static_cast<std::size_t>(r)][i]);
      else if (!power.empty())
        out += number(power[static_cast<std::size_t>(r) * static_cast<std::size_t>(bins + 1) + static_cast<std::size_t>(i)]);
      else
        out += number(s.physicalValue(i, r));
    }
    out += '\n';
  }
  std::cout << out;
  s.leaveTransformView(true);
  return kExitOk;
}

// --- bands -------------------------------------------------------------------------------------

struct BandsOptions {
  std::string file;
  int record = 1;
  std::string dia;
  int measure = 0;
  int kind = 0;
};

int runBands(const BandsOptions& o) {
  int status = kExitOk;
  if (o.measure < 0 || o.measure > 3) {
    reportFailure("--measure takes 0 (mean amplitude), 1 (largest), 2 (mean frequency) or 3 (peak frequency)");
    return kExitUsage;
  }
  OpenStudy study;
  if (!openAt(study, o.file, o.record, status)) return status;
  StudyState& s = *study.in.state;
  const std::optional<TransformKind> kind = spectrumKind(o.kind, s, status);
  if (!kind) return status;

  if (o.dia.empty()) {
    installDefaultBands(s);
  } else {
    std::string reason;
    if (!checkInputFile(o.dia, reason)) {
      reportFailure(reason);
      return kExitFile;
    }
    EngineInteraction bandUi;
    if (!readBandFile(o.dia, s, bandUi)) {
      reportFailure(o.dia + ": " + bandUi.reason("cannot be read"));
      return kExitFile;
    }
    if (!bandUi.messages.empty()) reportFailure(bandUi.reason(""));
  }
  if (s.bandCount <= 0) {
    reportFailure(std::string(o.dia.empty() ? "" : o.dia + ": ") + "Не установлены частотные диапазоны!");
    return kExitFile;
  }

  s.epochLength = s.epochStep = study.settingsEpochLength;
  s.normaliseEpochGrid();
  s.transformKind = *kind;
  s.bandMode = o.measure;
  const int epochs = s.epochCount;
  SpectralEngine engine;
  const std::string problem = engine.epochProblem(s, 0);
  if (epochs <= 0 || !problem.empty()) {
    reportFailure(epochs <= 0 ? "the record is shorter than one epoch of " + std::to_string(s.epochLength) +
                                    " samples"
                              : problem);
    return kExitFile;
  }

  const bool pairs = pairKind(s);
  std::string out = "epoch,band";
  std::vector<std::string> names;
  int rows = 0;
  std::string limited;
  for (int e = 0; e < epochs; ++e) {
    // Each epoch goes to slice 0, so no record is too long for the result store.
    const int peak = engine.epochSpectra(s, e * s.epochStep, 0);
    if (!pairs && peak >= kSpectrumCodeLimit) limited += (limited.empty() ? "" : ",") + std::to_string(e + 1);
    if (pairs) {
      // Pair measures are kept per lead pair, as the transform view keeps them.
      s.viewMode = ViewMode::Transform;
      engine.bandMeasures(s, 0);
    }
    if (e == 0) {
      rows = s.resultChannels();
      for (int r = 0; r < rows; ++r) out += "," + csvField(rowName(s, r, pairs));
      out += '\n';
    }
    for (int b = 0; b < s.bandCount; ++b) {
      out += std::to_string(e + 1) + "," + csvField(s.bandTable[static_cast<std::size_t>(b)].name);
      for (int r = 0; r < rows; ++r) out += "," + number(s.resultValue(b, r, 0));
      out += '\n';
    }
    s.viewMode = ViewMode::Signals;
  }
  if (!limited.empty()) reportFailure(limitNote("epochs " + limited));
  std::cout << out;
  return kExitOk;
}

}  // namespace

void addSpectrumCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<SpectrumOptions>();
  CLI::App* cmd = app.add_subcommand("spectrum", "Spectra of one epoch of a record file as CSV, one row per bin");
  cmd->add_option("FILE", o->file, "Record file (.cad), or EDF/EDF32/UDF/BDF (pages are records)")->required();
  cmd->add_option("--record", o->record, "Record number, from 1")->capture_default_str();
  cmd->add_option("--epoch", o->epoch, "Epoch number, from 1 (epochs follow each other without overlap)")
      ->capture_default_str();
  cmd->add_option("--epoch-length", o->epochLength,
                  "Samples per epoch: a power of two up to 8192, or 16384 (default: the settings' 256)");
  cmd->add_option("--window", o->window, "Time window 0..10 (0 none, 1 Hann, 2 Hamming, 3..6 Blackman, 7..10 Kaiser)")
      ->capture_default_str();
  cmd->add_option("--averaged", o->averaged, "Extra epochs averaged into the spectrum (A + 1 epochs in all)")
      ->capture_default_str();
  cmd->add_option("--kind", o->kind,
                  "0 amplitude, 1 power, 2 cross-spectrum, 3 phase, 4 coherence, 5 coherent power "
                  "(2, 4, 5 and 3 with lead pairs are per lead pair)")
      ->capture_default_str();
  cmd->add_flag("--raw", o->raw, "Print the codes instead of physical values");
  cmd->callback([o, &status] { status = runSpectrum(*o); });
}

void addBandsCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<BandsOptions>();
  CLI::App* cmd = app.add_subcommand("bands", "Band measures of every epoch of a record file as CSV");
  cmd->add_option("FILE", o->file, "Record file (.cad), or EDF/EDF32/UDF/BDF (pages are records)")->required();
  cmd->add_option("--record", o->record, "Record number, from 1")->capture_default_str();
  cmd->add_option("--dia", o->dia, "Band table (.dia); default: delta, theta, alpha, beta 1 and 2");
  cmd->add_option("--measure", o->measure,
                  "0 mean amplitude, 1 largest amplitude, 2 mean frequency, 3 frequency of the largest (Hz)")
      ->capture_default_str();
  cmd->add_option("--kind", o->kind, "Spectrum kind as for spectrum --kind")->capture_default_str();
  cmd->callback([o, &status] { status = runBands(*o); });
}

}  // namespace velor::cli
