#include "core/formula.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "core/formula_texts.h"
#include "core/interaction.h"
#include "core/numtext.h"
#include "core/study_state.h"

namespace velor {

namespace {

namespace T = formula_texts;

enum Op : std::uint8_t {
  kConst,
  kVarI,
  kVarJ,
  kVarIn,
  kVarOut,
  kVarIrec,
  kVarTmax,
  kVarSig,
  kOr,
  kAnd,
  kLe,
  kGe,
  kLt,
  kGt,
  kEq,
  kNe,
  kMod,
  kAdd,
  kSub,
  kMul,
  kDiv,
  kPow,
  kAddConst,  // a binary operator with a constant right side, in one step
  kSubConst,
  kMulConst,
  kDivConst,
  kFunc,
  kAbs,  // function 1 without the call
  kArrX,
  kArrXConst,  // x(k) with a constant k: the common case of per-sample formulas
  kArrXConstAbs,  // abs(x(k)) with a constant k, as amplitude formulas write it
  kArrE,
  kArrM,
  kArrA,
  kArrAmax,
  kArrAmin,
  kArrC,
  kArrB,
  kArrBk,
  kArrTs,
  kArrTm,
  kArrTe,
  kArrTin,
  kArrTout,
  kArrP,
  kArrAnal,
  kEnd,
};

// Internal one-character spellings of the two-character operators and MOD.
constexpr char kLeChar = '{';
constexpr char kGeChar = '}';
constexpr char kNeChar = '~';
constexpr char kModChar = '#';

constexpr int kMaxStack = 256;
constexpr int kMaxNesting = 100;

struct ArrayName {
  const char* name;
  Op op;
  int minArgs;
  int maxArgs;
};
constexpr ArrayName kArrays[] = {
    {"x", kArrX, 1, 1},       {"b", kArrB, 2, 2},       {"bk", kArrBk, 1, 1},     {"e", kArrE, 1, 1},
    {"m", kArrM, 1, 1},       {"c", kArrC, 2, 2},       {"ts", kArrTs, 1, 1},     {"tm", kArrTm, 1, 1},
    {"te", kArrTe, 1, 1},     {"p", kArrP, 1, 1},       {"tp", kArrP, 1, 1},      {"amax", kArrAmax, 3, 3},
    {"amin", kArrAmin, 3, 3}, {"a", kArrA, 2, 2},       {"anal", kArrAnal, 2, 3}, {"tin", kArrTin, 1, 1},
    {"tout", kArrTout, 1, 1},
};

struct VariableName {
  const char* name;
  Op op;
};
constexpr VariableName kVariables[] = {
    {"i", kVarI}, {"j", kVarJ}, {"in", kVarIn}, {"out", kVarOut}, {"irec", kVarIrec}, {"tmax", kVarTmax}, {"sig", kVarSig},
};

// Length in bytes of the operand character at text[pos], 0 when none: digits,
// Latin letters, "`", ".", "[", "]" and the Cyrillic letters of code page 1251
// (as UTF-8).
std::size_t operandCharLength(std::string_view text, std::size_t pos) {
  const unsigned char c = static_cast<unsigned char>(text[pos]);
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= '`' && c <= 'z') || c == '.' || c == '[' ||
      c == ']')
    return 1;
  if ((c == 0xD0 || c == 0xD1 || c == 0xD2) && pos + 1 < text.size()) {
    const unsigned char d = static_cast<unsigned char>(text[pos + 1]);
    if ((d & 0xC0) != 0x80) return 0;
    const unsigned cp = ((c & 0x1Fu) << 6) | (d & 0x3Fu);
    const bool letter = (cp >= 0x401 && cp <= 0x40C) || (cp >= 0x40E && cp <= 0x44F) ||
                        (cp >= 0x451 && cp <= 0x45C) || cp == 0x45E || cp == 0x45F || cp == 0x490 || cp == 0x491;
    return letter ? 2 : 0;
  }
  return 0;
}

// Text as the person typed it, for messages: the internal symbols spelled out.
std::string spelledOut(std::string_view text) {
  std::string s;
  for (char c : text) {
    switch (c) {
      case kLeChar: s += "<="; break;
      case kGeChar: s += ">="; break;
      case kNeChar: s += "<>"; break;
      case kModChar: s += "MOD"; break;
      default: s += c;
    }
  }
  return s;
}

void replaceAll(std::string& s, std::string_view from, char to) {
  std::string r;
  r.reserve(s.size());
  for (std::size_t k = 0; k < s.size();) {
    if (s.compare(k, from.size(), from) == 0) {
      r += to;
      k += from.size();
    } else {
      r += s[k++];
    }
  }
  s.swap(r);
}

std::optional<double> parseFormulaNumber(std::string_view token) {
  if (token.empty()) return std::nullopt;
  if (token[0] == '$') {
    if (token.size() < 2) return std::nullopt;
    double v = 0;
    for (std::size_t k = 1; k < token.size(); ++k) {
      const char c = token[k];
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else return std::nullopt;
      v = v * 16 + d;
    }
    if (!std::isfinite(v)) return std::nullopt;
    return v;
  }
  // parseNumber takes a leading sign, a point or a comma, and an exponent;
  // it refuses blanks inside (there are none left) and non-finite values.
  for (char c : token)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'E' || c == 'e')) return std::nullopt;
  return parseNumber(token);
}

}  // namespace

class FormulaCompiler {
 public:
  FormulaCompiler(std::string text, const FunctionNames& functions, CompiledFormula& out)
      : s_(std::move(text)), functions_(functions), out_(out) {}

  bool run() {
    if (!expression(1)) return false;
    if (pos_ < s_.size()) return fail(T::kNoSuchSeparator, pos_);
    if (out_.stackNeed_ > kMaxStack) return fail(T::kTooComplex, 0);
    emit(kEnd, 0, 0, 0);
    return true;
  }

  std::string message() const { return error_ + ": " + spelledOut(std::string_view(s_).substr(errorPos_)); }

 private:
  bool fail(const char* text, std::size_t at) {
    if (error_.empty()) {
      error_ = text;
      errorPos_ = std::min(at, s_.size());
    }
    return false;
  }

  void emit(Op op, int arg, int argc, int stackChange) {
    out_.code_.push_back({op, static_cast<std::uint8_t>(argc), arg});
    depth_ += stackChange;
    out_.stackNeed_ = std::max(out_.stackNeed_, depth_);
  }

  void emitBinary(Op op) {
    CompiledFormula::Instruction& last = out_.code_.back();
    if (last.op == kConst && (op == kAdd || op == kSub || op == kMul || op == kDiv)) {
      last.op = op == kAdd ? kAddConst : op == kSub ? kSubConst : op == kMul ? kMulConst : kDivConst;
      depth_ -= 1;
      return;
    }
    emit(op, 0, 0, -1);
  }

  static int levelOf(char c, Op& op) {
    switch (c) {
      case '|': op = kOr; return 1;
      case '&': op = kAnd; return 2;
      case kLeChar: op = kLe; return 3;
      case kGeChar: op = kGe; return 3;
      case '<': op = kLt; return 3;
      case '>': op = kGt; return 3;
      case '=': op = kEq; return 3;
      case kNeChar: op = kNe; return 3;
      case kModChar: op = kMod; return 4;
      case '+': op = kAdd; return 4;
      case '-': op = kSub; return 4;
      case '*': op = kMul; return 5;
      case '/': op = kDiv; return 5;
      case '^': op = kPow; return 6;
      default: return 0;
    }
  }

  // Operators of `level` and above, left to right within a level.
  bool expression(int level) {
    if (level > 6) return primary();
    if (!expression(level + 1)) return false;
    while (pos_ < s_.size()) {
      Op op = kEnd;
      if (levelOf(s_[pos_], op) != level) break;
      ++pos_;
      if (!expression(level + 1)) return false;
      emitBinary(op);
    }
    return true;
  }

  bool primary() {
    if (pos_ >= s_.size()) return fail(T::kOperationError, pos_);
    const char c = s_[pos_];
    if (c == '(') {
      const std::size_t open = pos_;
      if (++nesting_ > kMaxNesting) return fail(T::kTooComplex, open);
      ++pos_;
      if (!expression(1)) return false;
      if (pos_ >= s_.size()) return fail(T::kNoClosingBracket, open);
      if (s_[pos_] != ')') return fail(T::kNoSuchSeparator, pos_);
      ++pos_;
      --nesting_;
      return true;
    }
    const std::size_t start = pos_;
    const bool number = (c >= '0' && c <= '9') || c == '$' || c == '+' || c == '-';
    if (!number && operandCharLength(s_, pos_) == 0) return fail(T::kOperationError, pos_);
    if (number) ++pos_;
    while (pos_ < s_.size()) {
      if (const std::size_t n = operandCharLength(s_, pos_)) {
        pos_ += n;
      } else if (number && (s_[pos_] == '+' || s_[pos_] == '-') && (s_[pos_ - 1] == 'E' || s_[pos_ - 1] == 'e')) {
        ++pos_;
      } else {
        break;
      }
    }
    const std::string_view token = std::string_view(s_).substr(start, pos_ - start);
    if (number) {
      const std::optional<double> v = parseFormulaNumber(token);
      if (!v) return fail(T::kBadConstant, start);
      out_.constants_.push_back(*v);
      emit(kConst, static_cast<int>(out_.constants_.size() - 1), 0, 1);
      return true;
    }
    if (pos_ < s_.size() && s_[pos_] == '(') return call(token, start);
    for (const VariableName& v : kVariables) {
      if (token == v.name) {
        emit(v.op, 0, 0, 1);
        return true;
      }
    }
    return fail(T::kNoSuchVariable, start);
  }

  // name "(" argument { "," argument } ")"
  bool call(std::string_view name, std::size_t start) {
    const ArrayName* array = nullptr;
    int function = 0;
    for (const ArrayName& a : kArrays)
      if (name == a.name) array = &a;
    if (!array) {
      for (std::size_t k = 0; k < functions_.names.size() && k < kBuiltinFunctionCount; ++k)
        if (!functions_.names[k].empty() && name == functions_.names[k]) {
          function = static_cast<int>(k) + 1;
          break;
        }
      if (!function) return fail(T::kNoSuchFunction, start);
    }
    const std::size_t open = pos_;
    if (++nesting_ > kMaxNesting) return fail(T::kTooComplex, open);
    ++pos_;
    int argc = 0;
    const std::size_t codeBefore = out_.code_.size();
    for (;;) {
      if (!expression(1)) return false;
      ++argc;
      if (pos_ >= s_.size()) return fail(T::kNoClosingBracket, open);
      if (s_[pos_] == ')') break;
      if (s_[pos_] != ',') return fail(T::kNoSuchSeparator, pos_);
      ++pos_;
    }
    const int minArgs = array ? array->minArgs : 1;
    const int maxArgs = array ? array->maxArgs : 1;
    if (argc < minArgs || argc > maxArgs) return fail(T::kOperationError, start);
    ++pos_;
    --nesting_;
    if (!array) {
      if (function == 1 && out_.code_.back().op == kArrXConst && out_.code_.size() == codeBefore + 1)
        out_.code_.back().op = kArrXConstAbs;
      else
        emit(function == 1 ? kAbs : kFunc, function, 1, 0);
    } else if (array->op == kArrX && out_.code_.size() == codeBefore + 1 && out_.code_.back().op == kConst) {
      // x(constant): the channel number is known now; only its clamp waits
      const double k = out_.constants_[static_cast<std::size_t>(out_.code_.back().arg)];
      out_.code_.pop_back();
      depth_ -= 1;
      const double clamped = std::isnan(k) ? 1.0 : std::clamp(std::trunc(k), 1.0, double(kMaxChannels));
      emit(kArrXConst, static_cast<int>(clamped), 0, 1);
    } else {
      emit(array->op, 0, argc, 1 - argc);
    }
    if (out_.stackNeed_ > kMaxStack) return fail(T::kTooComplex, start);
    return true;
  }

  std::string s_;
  const FunctionNames& functions_;
  CompiledFormula& out_;
  std::size_t pos_ = 0;
  int depth_ = 0;
  int nesting_ = 0;
  std::string error_;
  std::size_t errorPos_ = 0;
};

bool compileFormula(std::string_view text, const FunctionNames& functions, CompiledFormula& out,
                    std::string& message) {
  std::string s;
  s.reserve(text.size());
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') s += c;
  replaceAll(s, ">=", kGeChar);
  replaceAll(s, "<=", kLeChar);
  replaceAll(s, "<>", kNeChar);
  replaceAll(s, "MOD", kModChar);
  out = CompiledFormula{};
  FormulaCompiler compiler(std::move(s), functions, out);
  if (!compiler.run()) {
    message = compiler.message();
    out = CompiledFormula{};
    return false;
  }
  out.source_ = std::string(text);
  message.clear();
  return true;
}

bool compileFormula(std::string_view text, const FunctionNames& functions, CompiledFormula& out,
                    Interaction& ui) {
  std::string message;
  if (compileFormula(text, functions, out, message)) return true;
  ui.message(message);
  return false;
}

const char* formulaFaultText(FormulaFault fault) {
  switch (fault) {
    case FormulaFault::None: return "";
    case FormulaFault::DivisionByZero: return T::kDivisionByZero;
    case FormulaFault::IndexOutside: return T::kIndexOutside;
    case FormulaFault::Domain: return T::kDomain;
    case FormulaFault::Overflow: return T::kOverflow;
    case FormulaFault::NoStudy: return T::kNoStudy;
  }
  return "";
}

void FormulaContext::seedRandom(std::uint64_t seed) {
  // splitmix64 of the seed, so that neighbouring seeds give unrelated sequences
  std::uint64_t z = seed + 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  randomState = z ? z : 1;
}

double FormulaContext::nextUniform() {
  // xorshift64*
  std::uint64_t x = randomState ? randomState : 1;
  x ^= x >> 12;
  x ^= x << 25;
  x ^= x >> 27;
  randomState = x;
  return static_cast<double>((x * 0x2545F4914F6CDD1DULL) >> 11) * (1.0 / 9007199254740992.0);
}

const std::vector<std::string>& FunctionNames::defaultLines() {
  static const std::vector<std::string> lines = {
      "abs(?)", "sqrt(?)", "ln(?)", "lg(?)",  "exp(?)", "int(?)",    "frac(?)",   "sign(?)",
      "fact(?)", "rnd(?)", "sin(?)", "cos(?)", "tg(?)",  "arccos(?)", "arcsin(?)", "arctg(?)",
  };
  return lines;
}

FunctionNames FunctionNames::fromLines(const std::vector<std::string>& lines) {
  FunctionNames f;
  for (std::size_t k = 0; k < lines.size() && k < kBuiltinFunctionCount; ++k) {
    const std::string& line = lines[k];
    f.names.push_back(trimSpaces(std::string_view(line).substr(0, line.find('('))));
  }
  return f;
}

bool isFormulaVariable(std::string_view name) {
  for (const VariableName& v : kVariables)
    if (name == v.name) return true;
  return false;
}

bool isFormulaArray(std::string_view name) {
  for (const ArrayName& a : kArrays)
    if (name == a.name) return true;
  return false;
}

std::string formatCalculatorValue(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", 4, value);
  return buf;
}

namespace {

// A channel argument clamped to 1..count (k ≤ 0 counts as 1), as a 0-based
// index; −1 for a NaN or when there are no channels.
inline int clampedChannel(double k, int count) {
  if (std::isnan(k) || count < 1) return -1;
  if (k < 2) return 0;
  if (k >= count) return count - 1;
  return static_cast<int>(k) - 1;
}

// A truncated index when it lies in [lo, hi]; false otherwise (NaN included).
inline bool indexIn(double v, long lo, long hi, long& out) {
  if (!(v > static_cast<double>(lo) - 1 && v < static_cast<double>(hi) + 1)) return false;
  out = static_cast<long>(v);
  return out >= lo && out <= hi;
}

inline bool sampleIn(const StudyState& s, long n) { return n >= 0 && n < std::min(s.recordLength, kMaxSamples); }

inline double calibFactor(const StudyState& s, int c) { return s.microvoltsPerCode(c); }

inline bool onePulse(const StudyState& s, int c, long n) {
  const std::int16_t* y = s.channelData[static_cast<std::size_t>(c)];
  const int z = s.zeroLevel[c];
  return y[n - 1] == z && y[n + 1] == z && y[n] != z;
}

// physicalValue for a sample already checked against the record, with the
// plain signal case inline (the per-sample path of every x(k)).
inline double sampleValue(const StudyState& s, int n, int c) {
  if (s.sumMode == 5 || s.viewMode == ViewMode::Transform) return s.physicalValue(n, c);
  const double units = std::max<std::uint16_t>(1, s.calibUnits[c]);
  return (s.channelData[static_cast<std::size_t>(c)][n] - static_cast<int>(s.zeroLevel[c])) / units * s.calibValue[c];
}

// The plain signal value of a checked sample through the context's scale
// cache (the per-sample path of x(k)).
inline double scaledSample(const StudyState& s, FormulaContext& ctx, int n, int c) {
  const std::uint32_t key = (static_cast<std::uint32_t>(s.calibUnits[c]) << 16) | s.calibValue[c];
  FormulaContext::ChannelScale& scale = ctx.channelScales[static_cast<std::size_t>(c)];
  if (scale.key != key) {
    scale.key = key;
    scale.factor = s.microvoltsPerCode(c);
  }
  return (s.channelData[static_cast<std::size_t>(c)][n] - static_cast<int>(s.zeroLevel[c])) * scale.factor;
}

FormulaFault power(double a, double b, double& r) {
  if (a == 0) {
    r = 0;
  } else if (a < 0) {
    if (b != std::trunc(b)) {
      r = 0;
    } else {
      r = std::pow(-a, b);
      if (std::fmod(b, 2.0) != 0) r = -r;
    }
  } else {
    r = std::exp(b * std::log(a));
  }
  return FormulaFault::None;
}

FormulaFault function(int number, double x, FormulaContext& ctx, double& r) {
  constexpr double kHalfPi = 1.57079632679489661923;
  switch (number) {
    case 1: r = std::fabs(x); break;
    case 2:
      if (x < 0) return FormulaFault::Domain;
      r = std::sqrt(x);
      break;
    case 3:
      if (!(x > 0)) return FormulaFault::Domain;
      r = std::log(x);
      break;
    case 4:
      if (!(x > 0)) return FormulaFault::Domain;
      r = std::log10(x);
      break;
    case 5: r = std::exp(x); break;
    case 6: r = std::trunc(x); break;
    case 7: r = x - std::trunc(x); break;
    case 8: r = x > 0 ? 1 : (x < 0 ? -1 : 0); break;
    case 9: {
      if (!(x < 171)) return std::isnan(x) ? FormulaFault::Domain : FormulaFault::Overflow;  // 171! is no double
      r = x < 1 ? 0 : 1;
      const int n = x < 1 ? 0 : static_cast<int>(x);
      for (int k = 2; k <= n; ++k) r *= k;
      break;
    }
    case 10: r = ctx.nextUniform() * x; break;
    case 11: r = std::sin(x); break;
    case 12: r = std::cos(x); break;
    case 13: {
      const double c = std::cos(x);
      if (c == 0) return FormulaFault::DivisionByZero;
      r = std::sin(x) / c;
      break;
    }
    case 14:
      if (!(std::fabs(x) <= 1)) return FormulaFault::Domain;
      r = x == 0 ? kHalfPi : std::atan(std::sqrt(1 - x * x) / x);  // the limit at 0
      break;
    case 15:
      if (!(std::fabs(x) <= 1)) return FormulaFault::Domain;
      r = std::fabs(x) == 1 ? std::copysign(kHalfPi, x) : std::atan(x / std::sqrt(1 - x * x));
      break;
    case 16: r = std::atan(x); break;
    default: r = 0;
  }
  return FormulaFault::None;
}

// The arrays that read the record; args points at the first argument.
FormulaFault recordArray(Op op, const double* args, int argc, const FormulaContext& ctx, double& r) {
  if (!ctx.study) return FormulaFault::NoStudy;
  const StudyState& s = *ctx.study;
  const long j = ctx.j;
  switch (op) {
    case kArrE: {
      const int c = clampedChannel(args[0], s.channelCount);
      if (c < 0) return FormulaFault::IndexOutside;
      if (!sampleIn(s, j - 2) || !sampleIn(s, j)) return FormulaFault::IndexOutside;
      r = onePulse(s, c, j - 1) ? 1 : 0;
      return FormulaFault::None;
    }
    case kArrM: {
      const int c = clampedChannel(args[0], s.channelCount);
      if (c < 0 || !sampleIn(s, j - 1)) return FormulaFault::IndexOutside;
      r = s.channelData[static_cast<std::size_t>(c)][j - 1] == kMarkCode ? 1 : 0;
      return FormulaFault::None;
    }
    case kArrA: {
      const int c = clampedChannel(args[0], s.channelCount);
      long n;
      if (c < 0 || !indexIn(std::trunc(s.sampleRate * args[1]), 0, std::min(s.recordLength, kMaxSamples) - 1, n))
        return FormulaFault::IndexOutside;
      r = s.physicalValue(static_cast<int>(n), c);
      return FormulaFault::None;
    }
    case kArrAmax:
    case kArrAmin: {
      const int c = clampedChannel(args[0], s.channelCount);
      const long last = std::min(s.recordLength, kMaxSamples) - 1;
      long from, to;
      if (c < 0 || !indexIn(std::trunc(s.sampleRate * args[1]), 0, last, from) ||
          !indexIn(std::trunc(s.sampleRate * args[2]), 0, last, to))
        return FormulaFault::IndexOutside;
      const std::int16_t* y = s.channelData[static_cast<std::size_t>(c)];
      int v = op == kArrAmax ? -4096 : 4096;
      for (long n = from; n <= to; ++n) v = op == kArrAmax ? std::max<int>(v, y[n]) : std::min<int>(v, y[n]);
      r = (v - static_cast<int>(s.zeroLevel[c])) * calibFactor(s, c);
      return FormulaFault::None;
    }
    case kArrC: {
      const int count = std::min(s.channelCount, 16);
      const int cy = clampedChannel(args[0], count);
      const int cz = clampedChannel(args[1], count);
      if (cy < 0 || cz < 0) return FormulaFault::IndexOutside;
      long start = 0, n = 0;
      if (s.selectionAnchor >= 0) {
        start = std::min(s.cursorPos, s.selectionAnchor);
        n = std::abs(s.cursorPos - s.selectionAnchor) + 1;
      }
      if (n < 2) return FormulaFault::DivisionByZero;  // no interval to correlate
      if (!sampleIn(s, start) || !sampleIn(s, start + n - 1) || !sampleIn(s, j) || !sampleIn(s, j + n - 1))
        return FormulaFault::IndexOutside;
      const std::int16_t* y = s.channelData[static_cast<std::size_t>(cy)] + start;
      const std::int16_t* z = s.channelData[static_cast<std::size_t>(cz)] + j;
      double my = 0, mz = 0;
      for (long t = 0; t < n; ++t) {
        my += y[t];
        mz += z[t];
      }
      my /= n;
      mz /= n;
      double syz = 0, syy = 0, szz = 0;
      for (long t = 0; t < n; ++t) {
        syz += (y[t] - my) * (z[t] - mz);
        syy += (y[t] - my) * (y[t] - my);
        szz += (z[t] - mz) * (z[t] - mz);
      }
      // the covariance takes the same divisor n − 1 as the variances, so that
      // a perfect match gives 1 (a divisor n here would give (n − 1) / n)
      const double var = (syy / (n - 1)) * (szz / (n - 1));
      if (var <= 0) return FormulaFault::DivisionByZero;
      r = syz / (n - 1) / std::sqrt(var);
      return FormulaFault::None;
    }
    case kArrTs:
    case kArrTm:
    case kArrTe:
    case kArrTin:
    case kArrTout: {
      // the time in seconds of the next matching sample from j on; 0 when none
      const long end = std::min(s.recordLength, kMaxSamples);
      if (!sampleIn(s, j)) return FormulaFault::IndexOutside;
      if (s.sampleRate <= 0) return FormulaFault::DivisionByZero;
      long found = -1;
      if (op == kArrTm || op == kArrTe) {
        const int c = clampedChannel(args[0], s.channelCount);
        if (c < 0) return FormulaFault::IndexOutside;
        const std::int16_t* y = s.channelData[static_cast<std::size_t>(c)];
        for (long n = j; n < end && found < 0; ++n)
          if (op == kArrTm ? y[n] == kMarkCode : (n >= 1 && n + 1 < end && onePulse(s, c, n))) found = n;
      } else {
        long v;
        if (op == kArrTs ? !indexIn(args[0], 1, 16, v) : !indexIn(args[0], 0, 255, v))
          return FormulaFault::IndexOutside;
        if (s.markChannelCount > 0 && s.markChannel) {
          for (long n = j; n < end && found < 0; ++n) {
            const unsigned w = static_cast<std::uint16_t>(s.markChannel[n]);
            if (op == kArrTs ? (w >> (v - 1)) & 1u : (op == kArrTin ? (w & 0xFFu) : (w >> 8)) == unsigned(v))
              found = n;
          }
        }
      }
      r = found < 0 ? 0 : static_cast<double>(found) / s.sampleRate;
      return FormulaFault::None;
    }
    case kArrAnal: {
      const double k = args[argc - 2];
      const double a = std::trunc(args[argc - 1]);
      const int c = clampedChannel(k, s.channelCount);
      if (c < 0 || std::isnan(a)) return FormulaFault::IndexOutside;
      long index;
      switch (ctx.expressAnalysisKind) {
        case 1:
          if (s.sampleRate <= 0) return FormulaFault::DivisionByZero;
          if (!indexIn(std::trunc(a / s.sampleRate * s.recordLength + 0.5), 0, kParkedSamples - 1, index))
            return FormulaFault::IndexOutside;
          r = s.parkedChannelData[static_cast<std::size_t>(c)][index] * calibFactor(s, c);
          return FormulaFault::None;
        case 2:
          if (!indexIn((c + (a - 1) * s.channelCount) * 4, 0, kResultStoreSize - 1, index))
            return FormulaFault::IndexOutside;
          r = s.resultStore[index] * calibFactor(s, c);
          return FormulaFault::None;
        case 4:
        case 5:
          if (!indexIn((a - 1) * 2048 + c, 0, kResultStoreSize - 1, index)) return FormulaFault::IndexOutside;
          if (a < 4) {
            if (s.sampleRate <= 0) return FormulaFault::DivisionByZero;
            r = static_cast<double>(s.resultStore[index]) / s.sampleRate;
          } else {
            r = (s.resultStore[index] - static_cast<int>(s.zeroLevel[c])) * calibFactor(s, c);
          }
          return FormulaFault::None;
        default: r = 0; return FormulaFault::None;
      }
    }
    default: r = 0; return FormulaFault::None;
  }
}

}  // namespace

FormulaValue evaluateFormula(const CompiledFormula& formula, FormulaContext& ctx) {
  if (formula.code_.empty()) return {};
  double st[kMaxStack + 1];
  int sp = 0;  // st[sp - 1] is the top
  const double* constants = formula.constants_.data();
  const StudyState* s = ctx.study;
  FormulaFault fault = FormulaFault::None;
  const bool plainSample =
      s && s->sumMode != 5 && s->viewMode != ViewMode::Transform && sampleIn(*s, static_cast<long>(ctx.j) - 1);
  // Threaded dispatch (a GNU extension that GCC and Clang share): one
  // indirect jump per instruction site predicts better than a switch.
  static const void* const kLabels[] = {
      &&L_kConst,
      &&L_kVarI,
      &&L_kVarJ,
      &&L_kVarIn,
      &&L_kVarOut,
      &&L_kVarIrec,
      &&L_kVarTmax,
      &&L_kVarSig,
      &&L_kOr,
      &&L_kAnd,
      &&L_kLe,
      &&L_kGe,
      &&L_kLt,
      &&L_kGt,
      &&L_kEq,
      &&L_kNe,
      &&L_kMod,
      &&L_kAdd,
      &&L_kSub,
      &&L_kMul,
      &&L_kDiv,
      &&L_kPow,
      &&L_kAddConst,
      &&L_kSubConst,
      &&L_kMulConst,
      &&L_kDivConst,
      &&L_kFunc,
      &&L_kAbs,
      &&L_kArrX,
      &&L_kArrXConst,
      &&L_kArrXConstAbs,
      &&L_default,
      &&L_default,
      &&L_default,
      &&L_default,
      &&L_default,
      &&L_default,
      &&L_kArrB,
      &&L_kArrBk,
      &&L_default,
      &&L_default,
      &&L_default,
      &&L_default,
      &&L_default,
      &&L_kArrP,
      &&L_default,
      &&L_kEnd};
  static_assert(sizeof kLabels / sizeof kLabels[0] == kEnd + 1);
  const CompiledFormula::Instruction* p = formula.code_.data();
#define NEXT goto* kLabels[(++p)->op]
  goto* kLabels[p->op];
      L_kConst: st[sp++] = constants[p->arg]; NEXT;
      L_kVarI: st[sp++] = ctx.i; NEXT;
      L_kVarJ: st[sp++] = ctx.j; NEXT;
      L_kVarIn:
      L_kVarOut: {
        double v = 0;
        if (!s) {
          fault = FormulaFault::NoStudy;
          goto done;
        }
        if (s->markChannelCount > 0 && s->markChannel) {
          if (!sampleIn(*s, ctx.j)) {
            fault = FormulaFault::IndexOutside;
            goto done;
          }
          const unsigned w = static_cast<std::uint16_t>(s->markChannel[ctx.j]);
          v = p->op == kVarIn ? (w & 0xFFu) : (w >> 8);
        }
        st[sp++] = v;
        NEXT;
      }
      L_kVarIrec:
      L_kVarTmax:
        if (!s) {
          fault = FormulaFault::NoStudy;
          goto done;
        }
        st[sp++] = p->op == kVarIrec ? s->currentRecord : s->recordLength;
        NEXT;
      L_kVarSig: st[sp++] = ctx.controlOutputs; NEXT;
      L_kOr: --sp; st[sp - 1] = (st[sp - 1] != 0 || st[sp] != 0) ? 1 : 0; NEXT;
      L_kAnd: --sp; st[sp - 1] = (st[sp - 1] != 0 && st[sp] != 0) ? 1 : 0; NEXT;
      L_kLe: --sp; st[sp - 1] = st[sp - 1] <= st[sp] ? 1 : 0; NEXT;
      L_kGe: --sp; st[sp - 1] = st[sp - 1] >= st[sp] ? 1 : 0; NEXT;
      L_kLt: --sp; st[sp - 1] = st[sp - 1] < st[sp] ? 1 : 0; NEXT;
      L_kGt: --sp; st[sp - 1] = st[sp - 1] > st[sp] ? 1 : 0; NEXT;
      L_kEq: --sp; st[sp - 1] = st[sp - 1] == st[sp] ? 1 : 0; NEXT;
      L_kNe: --sp; st[sp - 1] = st[sp - 1] != st[sp] ? 1 : 0; NEXT;
      L_kMod: {
        --sp;
        const double b = std::trunc(st[sp]);
        if (b == 0 || std::isnan(b)) {
          fault = FormulaFault::DivisionByZero;
          goto done;
        }
        st[sp - 1] = std::fmod(std::trunc(st[sp - 1]), b);
        NEXT;
      }
      L_kAdd: --sp; st[sp - 1] += st[sp]; NEXT;
      L_kSub: --sp; st[sp - 1] -= st[sp]; NEXT;
      L_kMul: --sp; st[sp - 1] *= st[sp]; NEXT;
      L_kDiv:
        --sp;
        if (st[sp] == 0) {
          fault = FormulaFault::DivisionByZero;
          goto done;
        }
        st[sp - 1] /= st[sp];
        NEXT;
      L_kPow: --sp; power(st[sp - 1], st[sp], st[sp - 1]); NEXT;
      L_kAddConst: st[sp - 1] += constants[p->arg]; NEXT;
      L_kSubConst: st[sp - 1] -= constants[p->arg]; NEXT;
      L_kMulConst: st[sp - 1] *= constants[p->arg]; NEXT;
      L_kDivConst:
        if (constants[p->arg] == 0) {
          fault = FormulaFault::DivisionByZero;
          goto done;
        }
        st[sp - 1] /= constants[p->arg];
        NEXT;
      L_kAbs:
        st[sp - 1] = std::fabs(st[sp - 1]);
        NEXT;
L_kFunc:
        fault = function(p->arg, st[sp - 1], ctx, st[sp - 1]);
        if (fault != FormulaFault::None) goto done;
        NEXT;
      L_kArrXConstAbs:
L_kArrXConst: {
        if (plainSample) {  // the record's signal at a sample inside it
          const int c = std::min(p->arg, s->channelCount) - 1;
          if (c >= 0) {
            const double v = scaledSample(*s, ctx, ctx.j - 1, c);
            st[sp++] = p->op == kArrXConstAbs ? std::fabs(v) : v;
            NEXT;
          }
        }
        if (!s) {
          fault = FormulaFault::NoStudy;
          goto done;
        }
        const int c = std::min(p->arg, s->channelCount) - 1;
        const long n = static_cast<long>(ctx.j) - 1;
        if (c < 0 || !sampleIn(*s, n)) {
          fault = FormulaFault::IndexOutside;
          goto done;
        }
        const double v = sampleValue(*s, static_cast<int>(n), c);
        st[sp++] = p->op == kArrXConstAbs ? std::fabs(v) : v;
        NEXT;
      }
      L_kArrX: {
        if (!s) {
          fault = FormulaFault::NoStudy;
          goto done;
        }
        const int c = clampedChannel(st[sp - 1], s->channelCount);
        const long n = static_cast<long>(ctx.j) - 1;
        if (c < 0 || !sampleIn(*s, n)) {
          fault = FormulaFault::IndexOutside;
          goto done;
        }
        st[sp - 1] = plainSample ? scaledSample(*s, ctx, static_cast<int>(n), c) : sampleValue(*s, static_cast<int>(n), c);
        NEXT;
      }
      L_kArrB:
      L_kArrBk: {
        const int argc = p->argc;
        sp -= argc;
        long column = 0, row = 0;
        const bool inside = p->op == kArrB ? indexIn(st[sp], -1000000, 1000000, column) &&
                                                 indexIn(st[sp + 1], -1000000, 1000000, row)
                                           : indexIn(st[sp], -1000000, 1000000, column);
        if (p->op == kArrBk) row = ctx.j;
        double v = 0;
        if (!inside || !ctx.cells || !ctx.cells->cellValue(static_cast<int>(column), static_cast<int>(row), v)) {
          fault = FormulaFault::IndexOutside;
          goto done;
        }
        st[sp++] = v;
        NEXT;
      }
      L_kArrP: {
        long argument;
        double v = 0;
        if (!indexIn(std::trunc(st[sp - 1]), -2000000000L, 2000000000L, argument)) {
          fault = FormulaFault::IndexOutside;
          goto done;
        }
        if (ctx.port && !ctx.port->portValue(static_cast<int>(argument), v)) {
          fault = FormulaFault::IndexOutside;
          goto done;
        }
        st[sp - 1] = v;
        NEXT;
      }
      L_kEnd: goto done;
      L_default: {
        const int argc = p->argc;
        sp -= argc;
        double v = 0;
        fault = recordArray(static_cast<Op>(p->op), st + sp, argc, ctx, v);
        if (fault != FormulaFault::None) goto done;
        st[sp++] = v;
        NEXT;
      }
done:
#undef NEXT
  if (fault != FormulaFault::None) return {0, fault};
  if (!std::isfinite(st[0])) return {0, FormulaFault::Overflow};
  return {st[0], FormulaFault::None};
}

}  // namespace velor
