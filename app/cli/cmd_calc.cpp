// velor-cli calc "FORMULA" [--file F --record N --channel C --sample I]
// [--seed S]: the calculator's "Вычислить". Prints the value as the
// calculator shows it (4 significant digits), or the formula's message on
// stderr with status 1. The context holds i = C and j = I (both 0 unless
// given); with a file, the record N of it is the record the formula reads.
// The functions are those of "StFn.ini" in the working directory, or the
// shipped list when there is none.
#include <iostream>
#include <memory>
#include <string>

#include "app/cli/commands.h"
#include "core/formula.h"
#include "core/formula_files.h"
#include "core/study_state.h"

namespace velor::cli {

namespace {

struct Options {
  std::string formula;
  std::string file;
  int record = 1;
  int channel = 0;
  int sample = 0;
  unsigned long long seed = 1;
};

int run(const Options& o) {
  EngineInteraction ui;
  OpenedInput in;
  if (!o.file.empty()) {
    if (const int status = openInputAt(o.file, o.record, ui, in); status != kExitOk) return status;
  } else {
    in.state = std::make_unique<StudyState>();
  }
  const FunctionNames names = FunctionNames::fromLines(functionListOrDefault("./"));
  CompiledFormula f;
  std::string message;
  if (!compileFormula(o.formula, names, f, message)) {
    reportFailure(message);
    return kExitFile;
  }
  FormulaContext ctx;
  ctx.study = in.state.get();
  ctx.i = o.channel;
  ctx.j = o.sample;
  ctx.seedRandom(o.seed);
  const FormulaValue v = evaluateFormula(f, ctx);
  if (!v.ok()) {
    reportFailure(formulaFaultText(v.fault));
    return kExitFile;
  }
  std::cout << formatCalculatorValue(v.value) << '\n';
  std::cout.flush();
  return std::cout ? kExitOk : kExitFile;
}

}  // namespace

void addCalcCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<Options>();
  CLI::App* c = app.add_subcommand("calc", "evaluate a formula as the calculator does");
  c->add_option("FORMULA", o->formula, "the formula")->required();
  c->add_option("--file", o->file, "record file (.cad) or EDF-family file the formula reads");
  c->add_option("--record", o->record, "record (page) number, from 1");
  c->add_option("--channel", o->channel, "the context value i (the channel number)");
  c->add_option("--sample", o->sample, "the context value j (the sample number, from 1)");
  c->add_option("--seed", o->seed, "seed of the random function (default 1)");
  c->callback([o, &status] { status = run(*o); });
}

}  // namespace velor::cli
