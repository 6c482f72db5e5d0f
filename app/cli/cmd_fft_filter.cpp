// velor-cli fft-filter IN OUT --mode remove|keep|gauss --low F --high F:
// every channel of every record of IN (a ".cad" record file or an
// EDF-family file, whose pages are the records) through one FFT filter,
// written to OUT as a "CA40" record file. F in Hz; the filters take them as
// fractions of the file's sampling rate.
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/cmd_edf.h"
#include "app/cli/cmd_fft_filter.h"
#include "app/cli/commands.h"
#include "core/binio.h"
#include "core/study_state.h"
#include "eeg/fft_filter.h"
#include "eeg/spectral.h"
#include "interchange/edf.h"

namespace velor::cli {

namespace {

struct FftFilterOptions {
  std::string in, out, mode;
  double low = 0, high = 0;
};

std::string hz(double v) {
  std::ostringstream o;
  o << v;
  return o.str() + " Hz";
}

// The frequencies as given, before the file is known.
bool checkBand(const FftFilterOptions& o) {
  if (!std::isfinite(o.low) || !std::isfinite(o.high)) {
    reportFailure("--low and --high take finite frequencies in Hz");
    return false;
  }
  if (o.low < 0 || o.high < 0) {
    reportFailure("--low and --high cannot be negative");
    return false;
  }
  if (o.low >= o.high) {
    reportFailure("--low (" + hz(o.low) + ") must be below --high (" + hz(o.high) + ")");
    return false;
  }
  return true;
}

int runFftFilter(const FftFilterOptions& o) {
  if (!checkBand(o)) return kExitUsage;
  const std::string outExt = extensionLower(o.out);
  if (outExt != ".cad") {
    reportFailure("the output is written as a record file; give it the extension .cad");
    return kExitUsage;
  }
  if (samePath(o.in, o.out)) {
    reportFailure("the output must be another file than the input");
    return kExitFile;
  }

  EngineInteraction ui;
  OpenedInput input;
  RecordFileHeader h;
  std::vector<RecordInfo> records;
  const bool edf = isEdfPath(o.in);
  if (edf) {
    if (!openEdfInput(o.in, ui, input, h, records)) return kExitFile;
  } else {
    const std::string inExt = extensionLower(o.in);
    if (inExt != ".cad") {
      reportFailure((inExt.empty() ? std::string("files without an extension") : "\"" + inExt + "\" files") +
                    " cannot be filtered yet; only .cad and EDF-family files");
      return kExitFile;
    }
    // The record table first: a damaged file is refused before anything is
    // written, and the stored time fields are carried over exactly.
    if (const int st = inspectSignalRecords(o.in, h, records); st != kExitOk) return st;
    if (!openInputRecordFile(o.in, ui, input)) return kExitFile;
  }
  StudyState* s = input.state.get();

  const double rate = s->sampleRate;
  if (rate <= 0) {
    reportFailure(o.in + " states no sampling rate");
    return kExitFile;
  }
  if (o.high > rate / 2) {
    reportFailure("--high (" + hz(o.high) + ") is above the Nyquist frequency of " + o.in + " (" + hz(rate / 2) + ")");
    return kExitUsage;
  }
  const int total = std::max(1, s->recordCount);
  if (static_cast<int>(records.size()) < total) {
    reportFailure(o.in + ": the header counts " + std::to_string(total) + " records but the file holds " +
                  std::to_string(records.size()));
    return kExitFile;
  }

  const double low = o.low / rate, high = o.high / rate;
  auto engine = std::make_unique<SpectralEngine>();
  return writeRecordsAsCA40(*s, ui, o.out, h, records, total, "Filtering", [&](StudyState& st) {
    const int last = st.channelCount - 1;
    if (o.mode == "remove")
      fftBandStop(*engine, st, 0, last, high, low);
    else if (o.mode == "keep")
      fftBandPass(*engine, st, 0, last, high, low);
    else
      fftGauss(*engine, st, 0, last, high, low);
    if (edf) {
      const std::size_t k = static_cast<std::size_t>(st.currentRecord - 1);
      if (k < records.size()) records[k].timeField = encodeTimeOfDay(st.recordTime);
    }
  });
}

}  // namespace

// Opens an EDF-family input; its pages are the records. The record table
// the writer wants is made here, and each record's time is taken as the page
// is filtered.
bool openEdfInput(const std::string& path, EngineInteraction& ui, OpenedInput& input, RecordFileHeader& h,
                  std::vector<RecordInfo>& records) {
  std::string reason;
  if (!checkInputFile(path, reason)) {
    reportFailure(reason);
    return false;
  }
  auto s = std::make_unique<StudyState>();
  s->programDir = "./";
  if (!openEdf(*s, path, edfSampleWidthFor(path), ui)) {
    reportFailure(ui.reason(path + ": cannot be read"));
    return false;
  }
  h.version = kVersionCA40;
  h.fileDate = static_cast<int>(s->recordDate);
  h.markChannelCount = 0;
  records.assign(static_cast<std::size_t>(std::max(1, s->recordCount)), RecordInfo{});
  input.state = std::move(s);
  return true;
}

void addFftFilterCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<FftFilterOptions>();
  CLI::App* cmd = app.add_subcommand(
      "fft-filter", "Remove or keep a frequency band in every channel of every record (FFT filters); output as CA40");
  cmd->add_option("IN", o->in, "Input record file (.cad), or EDF/EDF32/UDF/BDF (pages are records)")->required();
  cmd->add_option("OUT", o->out, "Output record file (.cad)")->required();
  cmd->add_option("--mode", o->mode, "remove: band-stop; keep: band-pass; gauss: Gaussian weighting around the band")
      ->required()
      ->check(CLI::IsMember({"remove", "keep", "gauss"}));
  cmd->add_option("--low", o->low, "Lower band edge in Hz")->required();
  cmd->add_option("--high", o->high, "Upper band edge in Hz (at most half the sampling rate)")->required();
  cmd->callback([o, &status] { status = runFftFilter(*o); });
}

}  // namespace velor::cli
