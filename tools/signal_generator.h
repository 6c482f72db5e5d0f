// The signal generator: replaces the current channel of the record in memory
// by a synthetic test signal (sine, square, sawtooth, triangle, uniform or
// Gaussian noise, a formula, or a Gaussian-windowed sine). A refusal leaves
// the record as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velor {

struct StudyState;
class CompiledFormula;
struct FormulaContext;

enum class Waveform { Sine, Square, Saw, Triangle, Uniform, Gauss, Formula, Morlet };

// Parses "sine", "square", "saw", "triangle", "uniform", "gauss", "formula", "morlet".
std::optional<Waveform> waveformFromName(const std::string& name);

struct GeneratorSettings {
  std::string amplitudeText = "100";  // per cent of full scale, read as a number and truncated
  std::string frequencyText = "10";   // Hz
  double morletScale = 1;             // the wavelet's scale (asked for by the window)
  std::uint64_t seed = 1;             // the noises' random sequence
};

// "qgen.ini" in dir: the amplitude and frequency texts. A missing or short
// file keeps the defaults of `s` (false).
bool readGeneratorSettings(const std::string& dir, GeneratorSettings& s);
bool writeGeneratorSettings(const std::string& dir, const GeneratorSettings& s);

// Generates into channel `channel` (0-based) of the record in memory, samples
// 0 .. recordLength − 1, and sets its zeroLevel to 2048 and calibUnits to 2047.
// For Waveform::Formula, `formula` and `context` must be given: the context
// gets i = channel + 1 and j = n + 1 per sample n. False with `reason` (and
// the record unchanged) for a frequency ≤ 0 or above sampleRate / 10, a
// Morlet scale ≤ 0, or a formula that faults.
bool generateSignal(StudyState& s, int channel, Waveform w, const GeneratorSettings& settings,
                    const CompiledFormula* formula, FormulaContext* context, std::string& reason);

}  // namespace velor
