// velor-cli generate OUT.cad --wave sine|square|saw|triangle|uniform|gauss|
// morlet|formula [--rate HZ] [--samples N] [--amplitude PERCENT]
// [--frequency HZ] [--scale W] [--formula TEXT] [--calib VALUE] [--seed S]:
// a one-channel test record written by the signal generator of the
// transformations window ("Генератор"). The channel "GEN" spans ±VALUE
// (default 100) over its full scale. A refused frequency or scale is a wrong
// command line (status 2, as map's --frequency), a faulting formula a
// refusal of the data (status 1, as calc); either is told on stderr and
// nothing is written.
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "app/cli/commands.h"
#include "core/binio.h"
#include "core/formula.h"
#include "core/formula_files.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "tools/signal_generator.h"
#include "tools/signal_generator_texts.h"

namespace velor::cli {

namespace {

struct Options {
  std::string out;
  std::string wave;
  int rate = 1000;
  int samples = 1000;
  int amplitude = 100;
  double frequency = 10;
  double scale = 1;
  std::string formula;
  int calib = 100;
  unsigned long long seed = 1;
};

int run(const Options& o) {
  const std::optional<Waveform> w = waveformFromName(o.wave);
  if (!w) {
    reportFailure("--wave must be sine, square, saw, triangle, uniform, gauss, morlet or formula");
    return kExitUsage;
  }
  if (*w == Waveform::Formula && o.formula.empty()) {
    reportFailure("--wave formula needs --formula TEXT");
    return kExitUsage;
  }
  auto state = std::make_unique<StudyState>();
  StudyState& s = *state;
  s.channelCount = 1;
  s.markChannelCount = 0;
  s.sampleRate = o.rate;
  s.recordLength = s.storedLength = s.plannedRecordLength = o.samples;
  s.recordCount = 1;
  s.currentRecord = 1;
  s.channelNames[0] = "GEN";
  s.zeroLevel[0] = 2048;
  s.calibUnits[0] = 2047;
  s.calibValue[0] = static_cast<std::uint16_t>(o.calib);
  for (int n = 0; n < o.samples; ++n) s.channelData[0][n] = 2048;

  GeneratorSettings g;
  g.amplitudeText = std::to_string(o.amplitude);
  g.frequencyText = formatNumber(o.frequency, 15);
  g.morletScale = o.scale;
  g.seed = o.seed;
  CompiledFormula formula;
  FormulaContext context;
  context.study = &s;
  context.seedRandom(o.seed);
  if (*w == Waveform::Formula) {
    std::string message;
    if (!compileFormula(o.formula, FunctionNames::fromLines(functionListOrDefault("./")), formula, message)) {
      reportFailure(message);
      return kExitFile;
    }
  }
  std::string reason;
  if (!generateSignal(s, 0, *w, g, &formula, &context, reason)) {
    reportFailure(reason);
    const bool option = reason == generator_texts::kFrequencyNotPositive || reason == generator_texts::kFrequencyTooHigh ||
                        reason == generator_texts::kScaleBad;
    return option ? kExitUsage : kExitFile;
  }
  AtomicFile file(o.out);
  if (!file.ok()) {
    reportFailure("cannot create " + o.out + ": " + std::strerror(errno));
    return kExitFile;
  }
  if (!writeHeader(s, file.fd()) || !writeRecord(s, file.fd()) || !file.commit()) {
    reportFailure("cannot write " + o.out + ": " + std::strerror(errno));
    return kExitFile;
  }
  return kExitOk;
}

}  // namespace

void addGenerateCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<Options>();
  CLI::App* c = app.add_subcommand("generate", "write a one-channel test record from the signal generator");
  c->add_option("OUT", o->out, "record file to write (.cad)")->required();
  c->add_option("--wave", o->wave, "sine, square, saw, triangle, uniform, gauss, morlet or formula")->required();
  c->add_option("--rate", o->rate, "sampling rate in Hz (default 1000)")->check(CLI::Range(1, 32767));
  c->add_option("--samples", o->samples, "record length in samples (default 1000)")->check(CLI::Range(1, 32767));
  c->add_option("--amplitude", o->amplitude, "amplitude in per cent of full scale (default 100)")
      ->check(CLI::Range(0, 100));
  c->add_option("--frequency", o->frequency, "frequency in Hz (default 10; at most rate / 10)");
  c->add_option("--scale", o->scale, "Morlet scale (default 1)");
  c->add_option("--formula", o->formula, "formula of the sample value (i = 1, j = sample from 1)");
  c->add_option("--calib", o->calib, "physical value of full scale (default 100)")->check(CLI::Range(1, 65535));
  c->add_option("--seed", o->seed, "seed of the noises and the random function (default 1)");
  c->callback([o, &status] { status = run(*o); });
}

}  // namespace velor::cli
