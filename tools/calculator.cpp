#include "tools/calculator.h"

#include <algorithm>
#include <vector>

#include "core/numtext.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "tools/calculator_texts.h"

namespace velor {

bool readCalculatorMemory(const std::string& dir, CalculatorMemory& m) {
  const auto lines = readTextLines(dir + "qcalc.ini");
  if (!lines) return false;
  CalculatorMemory r;
  for (std::size_t k = 0; k < kCalculatorEntries && k < lines->size(); ++k) r.entries[k] = (*lines)[k];
  if (lines->size() > kCalculatorEntries) r.shown = (*lines)[kCalculatorEntries];
  m = r;
  return true;
}

bool writeCalculatorMemory(const std::string& dir, const CalculatorMemory& m) {
  std::vector<std::string> lines(m.entries.begin(), m.entries.end());
  lines.push_back(m.shown);
  return writeTextLines(dir + "qcalc.ini", lines);
}

bool calculate(const std::string& expression, const FunctionNames& names, FormulaContext& context,
               std::string& result, std::string& message) {
  CompiledFormula f;
  if (!compileFormula(expression, names, f, message)) return false;
  const FormulaValue v = evaluateFormula(f, context);
  if (!v.ok()) {
    message = formulaFaultText(v.fault);
    return false;
  }
  result = formatCalculatorValue(v.value);
  return true;
}

bool reorderChannelsByLeads(StudyState& s, const std::vector<std::string>& leads, std::string& reason) {
  const int count = std::clamp(s.channelCount, 0, kMaxChannels);
  std::vector<int> order;  // old channel of each new position
  std::vector<bool> taken(static_cast<std::size_t>(count), false);
  for (const std::string& line : leads) {
    const std::string name = trimSpaces(line);
    if (name.empty()) continue;
    for (int c = 0; c < count; ++c) {
      if (!taken[static_cast<std::size_t>(c)] && trimSpaces(s.channelNames[static_cast<std::size_t>(c)]) == name) {
        taken[static_cast<std::size_t>(c)] = true;
        order.push_back(c);
        break;
      }
    }
  }
  if (std::is_sorted(order.begin(), order.end())) {
    reason = calculator_texts::kAlreadyInOrder;
    return false;
  }
  for (int c = 0; c < count; ++c)
    if (!taken[static_cast<std::size_t>(c)]) order.push_back(c);

  const std::size_t length = static_cast<std::size_t>(std::clamp(s.recordLength, 0, kMaxSamples));
  std::vector<std::vector<std::int16_t>> samples;
  std::vector<std::string> names;
  std::vector<std::uint8_t> posX, posY;
  std::vector<std::uint16_t> zero, units, value;
  for (int c = 0; c < count; ++c) {
    const std::int16_t* y = s.channelData[static_cast<std::size_t>(c)];
    samples.emplace_back(y, y + length);
    names.push_back(s.channelNames[static_cast<std::size_t>(c)]);
    posX.push_back(s.channelPosX[static_cast<std::size_t>(c)]);
    posY.push_back(s.channelPosY[static_cast<std::size_t>(c)]);
    zero.push_back(s.zeroLevel[c]);
    units.push_back(s.calibUnits[c]);
    value.push_back(s.calibValue[c]);
  }
  for (int k = 0; k < count; ++k) {
    const std::size_t from = static_cast<std::size_t>(order[static_cast<std::size_t>(k)]);
    std::copy(samples[from].begin(), samples[from].end(), s.channelData[static_cast<std::size_t>(k)]);
    s.channelNames[static_cast<std::size_t>(k)] = names[from];
    s.channelPosX[static_cast<std::size_t>(k)] = posX[from];
    s.channelPosY[static_cast<std::size_t>(k)] = posY[from];
    s.zeroLevel[k] = zero[from];
    s.calibUnits[k] = units[from];
    s.calibValue[k] = value[from];
  }
  s.recordFileName = "1 " + s.recordFileName;
  if (s.recordModified >= 0) s.recordModified = 1;
  return true;
}

}  // namespace velor
