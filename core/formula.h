// The formula language: small arithmetic and logical expressions over the
// record in memory, the notebook and the examination's registers, typed by the
// person in the formula windows and the calculator and evaluated per sample by
// transformations, evoked-potential selection, polygraph events, protocols and
// instruments.
//
// It sits in core because every one of those callers may include core, and
// because it reads nothing but the study state: the notebook's cells and the
// converter board's value routine come in through the small interfaces below.
//
// Reentrant by construction: compileFormula fills a CompiledFormula the caller
// owns, evaluateFormula reads it and a FormulaContext the caller owns, so any
// number of formulas can live and run side by side (one per thread if need be).
// Evaluation never throws and never traps: a division by zero, an index
// outside its buffer or a value outside a function's domain ends it with a
// fault whose text formulaFaultText gives.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velor {

struct StudyState;
class Interaction;

// Cells of the notebook as formulas read them (b, bk): the cell's text read as
// a number. False when (column, row) lies outside the grid.
class FormulaCells {
 public:
  virtual ~FormulaCells() = default;
  virtual bool cellValue(int column, int row, double& value) const = 0;
};

// The converter board's value routine (p, tp); false when the argument lies
// outside what the board offers.
class FormulaPort {
 public:
  virtual ~FormulaPort() = default;
  virtual bool portValue(int argument, double& value) const = 0;
};

// What a formula reads besides its constants. The caller fills it and may
// change i and j between evaluations (that is the per-sample use).
struct FormulaContext {
  int i = 0;  // caller-defined, usually the channel number
  int j = 0;  // caller-defined, usually the sample number counted from 1
  const StudyState* study = nullptr;     // x, e, m, a, amax, amin, c, in, out, irec, tmax, t*
  const FormulaCells* cells = nullptr;   // b, bk; nullptr reads as "outside the grid"
  const FormulaPort* port = nullptr;     // p, tp; nullptr reads as 0 (no board)
  int controlOutputs = 0;                // sig: the control output word of protocols
  int expressAnalysisKind = 0;           // which express analysis anal reads
  std::uint64_t randomState = 0x853C49E6748FEA9BULL;  // the random function's generator

  // Fixes the random sequence (tests, reproducible generator runs).
  void seedRandom(std::uint64_t seed);

  // Per channel: calibValue / calibUnits for the calibration it was made
  // from, so that x(k) per sample multiplies instead of dividing. Rebuilt
  // whenever a channel's calibration differs from its key.
  struct ChannelScale {
    std::uint32_t key = 0xFFFFFFFFu;  // calibUnits << 16 | calibValue
    double factor = 0;
  };
  std::array<ChannelScale, 64> channelScales{};
  // Uniform in [0, 1).
  double nextUniform();
};

enum class FormulaFault : std::uint8_t {
  None,
  DivisionByZero,  // "/", MOD, tan, the correlation of a flat segment
  IndexOutside,    // an array index outside its buffer or record
  Domain,          // √, ln, log of values outside their domain; arcsin/arccos beyond 1
  Overflow,        // a result that is no finite number (factorial above 170!, 10^400)
  NoStudy,         // a record array used without a record
};

// The message shown for a fault; "" for None.
const char* formulaFaultText(FormulaFault fault);

struct FormulaValue {
  double value = 0;
  FormulaFault fault = FormulaFault::None;
  bool ok() const { return fault == FormulaFault::None; }
};

// Names of the built-in functions: entry k − 1 names function k (1..16), as
// the lines of "StFn.ini" do. An empty entry names nothing.
struct FunctionNames {
  std::vector<std::string> names;
  // What a fresh installation ships as "StFn.ini" (with argument templates).
  static const std::vector<std::string>& defaultLines();
  // Names from the lines of "StFn.ini" (the part before "(", blanks trimmed).
  static FunctionNames fromLines(const std::vector<std::string>& lines);
  static FunctionNames defaults() { return fromLines(defaultLines()); }
};

inline constexpr int kBuiltinFunctionCount = 16;

class CompiledFormula {
 public:
  bool empty() const { return code_.empty(); }
  const std::string& source() const { return source_; }

  // Internal form: a postfix program over a value stack.
  struct Instruction {
    std::uint8_t op;
    std::uint8_t argc;
    std::int32_t arg;
  };

 private:
  friend class FormulaCompiler;
  friend bool compileFormula(std::string_view, const FunctionNames&, CompiledFormula&, std::string&);
  friend FormulaValue evaluateFormula(const CompiledFormula&, FormulaContext&);
  std::vector<Instruction> code_;
  std::vector<double> constants_;
  int stackNeed_ = 0;
  std::string source_;
};

// Compiles `text` (UTF-8). On success true and `out` holds the program; on
// failure false, `out` is emptied and `message` holds the message, ": " and the
// formula text from the error position on ("Нет такой переменной: y+1").
bool compileFormula(std::string_view text, const FunctionNames& functions, CompiledFormula& out,
                    std::string& message);
// The same, showing the message through `ui`.
bool compileFormula(std::string_view text, const FunctionNames& functions, CompiledFormula& out,
                    Interaction& ui);

// Runs the program for the context; an empty program gives 0.
FormulaValue evaluateFormula(const CompiledFormula& formula, FormulaContext& context);

// Variables and arrays the compiler knows, for the editors' lists.
bool isFormulaVariable(std::string_view name);
bool isFormulaArray(std::string_view name);

// The calculator's result text: "%.*g" with 4 significant digits.
std::string formatCalculatorValue(double value);

}  // namespace velor
