#include "tools/signal_generator.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/formula.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "tools/signal_generator_texts.h"

namespace velor {

namespace T = generator_texts;

std::optional<Waveform> waveformFromName(const std::string& name) {
  static const std::pair<const char*, Waveform> names[] = {
      {"sine", Waveform::Sine},         {"square", Waveform::Square}, {"saw", Waveform::Saw},
      {"triangle", Waveform::Triangle}, {"uniform", Waveform::Uniform}, {"gauss", Waveform::Gauss},
      {"formula", Waveform::Formula},   {"morlet", Waveform::Morlet},
  };
  for (const auto& [n, w] : names)
    if (name == n) return w;
  return std::nullopt;
}

bool readGeneratorSettings(const std::string& dir, GeneratorSettings& s) {
  const auto lines = readTextLines(dir + "qgen.ini");
  if (!lines || lines->size() < 2) return false;
  s.amplitudeText = trimSpaces((*lines)[0]);
  s.frequencyText = trimSpaces((*lines)[1]);
  return true;
}

bool writeGeneratorSettings(const std::string& dir, const GeneratorSettings& s) {
  return writeTextLines(dir + "qgen.ini", {s.amplitudeText, s.frequencyText});
}

bool generateSignal(StudyState& s, int channel, Waveform w, const GeneratorSettings& settings,
                    const CompiledFormula* formula, FormulaContext* context, std::string& reason) {
  const double fs = s.sampleRate;
  const double f = parseNumber(settings.frequencyText).value_or(0);
  if (!(f > 0)) {
    reason = T::kFrequencyNotPositive;
    return false;
  }
  if (f > fs / 10) {
    reason = T::kFrequencyTooHigh;
    return false;
  }
  if (channel < 0 || channel >= std::min(s.channelCount, kMaxChannels)) {
    reason = "channel outside the record";
    return false;
  }
  if (w == Waveform::Morlet && !(settings.morletScale > 0)) {
    reason = T::kScaleBad;
    return false;
  }
  if (w == Waveform::Formula && (!formula || !context)) {
    reason = "no formula";
    return false;
  }
  if (w == Waveform::Formula && s.calibValue[channel] == 0) {
    reason = T::kNoCalibration;
    return false;
  }
  const int amplitude = parseInteger(settings.amplitudeText).value_or(100);
  const double period = fs / f;
  const double g = amplitude / 100.0 * 2047;
  const int length = std::clamp(s.recordLength, 0, kMaxSamples);

  FormulaContext noise;
  noise.seedRandom(settings.seed);
  if (w == Waveform::Formula) context->i = channel + 1;

  std::vector<double> h(static_cast<std::size_t>(length));
  double start = 0;  // start of the current half period (square) or period (saw, triangle)
  double sign = 1;
  constexpr double kTwoPi = 6.283185307179586;
  for (int n = 0; n < length; ++n) {
    double v = 2048;
    switch (w) {
      case Waveform::Sine:
      case Waveform::Morlet: v = g * std::sin(kTwoPi * n / period) + 2048; break;
      case Waveform::Square:
        if (n - start >= period / 2) {
          sign = -sign;
          start += period / 2;
        }
        v = sign * g + 2048;
        break;
      case Waveform::Saw:
      case Waveform::Triangle:
        if (n - start >= period) start += period;
        v = w == Waveform::Saw ? g * (1 - 2 * (n - start) / period) + 2048
                               : g * (1 - 4 * std::fabs(n - start - period / 2) / period) + 2048;
        break;
      case Waveform::Uniform: v = g * (2 * noise.nextUniform() - 1) + 2048; break;
      case Waveform::Gauss: {
        double u1, u2, r;
        do {
          u1 = 2 * noise.nextUniform() - 1;
          u2 = 2 * noise.nextUniform() - 1;
          r = u1 * u1 + u2 * u2;
        } while (r >= 1 || r == 0);
        v = g * u1 * std::sqrt(-2 * std::log(r) / r) + 2048;
        break;
      }
      case Waveform::Formula: {
        context->j = n + 1;
        const FormulaValue value = evaluateFormula(*formula, *context);
        if (!value.ok()) {
          reason = formulaFaultText(value.fault);
          return false;
        }
        v = value.value / s.calibValue[channel] * s.calibUnits[channel] + s.zeroLevel[channel];
        break;
      }
    }
    h[static_cast<std::size_t>(n)] = v;
  }

  std::int16_t* y = s.channelData[static_cast<std::size_t>(channel)];
  for (int n = 0; n < length; ++n)
    y[n] = static_cast<std::int16_t>(std::trunc(std::clamp(h[static_cast<std::size_t>(n)], 0.0, 4095.0) + 0.5));

  if (w == Waveform::Morlet) {
    // a crest of the sine near the middle of the record, windowed by a Gaussian
    const double scale = settings.morletScale;
    const double q = std::trunc((length / 2.0) * f / fs);
    const double centre = fs * q / f + 0.25 * fs / f;
    constexpr int zero = 2048;
    for (int n = 0; n < length; ++n) {
      if (std::fabs(centre - n) > 2.5 * scale * fs / f) {
        y[n] = zero;
      } else {
        const int x = y[n];
        // the Gaussian widens with the scale, as the cut-off at 2.5 × scale
        // periods does (a factor scale in the exponent would narrow it instead)
        const double e = std::exp(-std::pow(f * (centre - n) / (fs * scale), 2));
        const int s1 = x > zero ? 1 : (x < zero ? -1 : 0);
        y[n] = static_cast<std::int16_t>(zero + s1 * std::trunc(e * std::abs(x - zero) + 0.5));
      }
    }
  }
  s.zeroLevel[channel] = 2048;
  s.calibUnits[channel] = 2047;
  if (s.recordModified >= 0) s.recordModified = 1;
  return true;
}

}  // namespace velor
