#include "acquisition/signal_synth.h"

#include <cctype>
#include <cmath>
#include <numbers>

namespace velor {

namespace {

bool startsWith(const std::string& s, const char* prefix) {
  std::size_t i = 0;
  for (; prefix[i]; ++i)
    if (i >= s.size() || std::toupper(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

double bump(double x) {  // raised cosine on 0..1
  return x <= 0 || x >= 1 ? 0.0 : 0.5 - 0.5 * std::cos(2 * std::numbers::pi * x);
}

}  // namespace

SignalRole signalRoleForName(const std::string& name) {
  if (startsWith(name, "ECG") || name == "ЭКГ") return SignalRole::Ecg;
  if (startsWith(name, "EOG") || name == "ЭОГ") return SignalRole::Eog;
  if (startsWith(name, "EMG") || name == "ЭМГ") return SignalRole::Emg;
  if (startsWith(name, "RSP") || name == "Дых") return SignalRole::Breathing;
  if (startsWith(name, "AUX") || name == "Акс") return SignalRole::Auxiliary;
  if (startsWith(name, "A1") || startsWith(name, "A2") || startsWith(name, "REF") || startsWith(name, "GND"))
    return SignalRole::Reference;
  if (startsWith(name, "FP") || startsWith(name, "AF")) return SignalRole::EegFrontal;
  if (startsWith(name, "O") || startsWith(name, "P") || startsWith(name, "T5") || startsWith(name, "T6"))
    return SignalRole::EegPosterior;
  return SignalRole::Eeg;
}

SignalSynth::SignalSynth(std::vector<SignalRole> roles, double rate, std::uint64_t seed)
    : rate_(rate > 0 ? rate : 250), rng_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {
  const auto rotation = [this](double hz) {
    Oscillator o;
    const double w = 2 * std::numbers::pi * hz / rate_;
    o.c = std::cos(w);
    o.s = std::sin(w);
    return o;
  };
  for (const SignalRole r : roles) {
    Channel c{r, rotation(9.5 + (uniform() + 1) * 0.5), rotation(5.0 + uniform())};
    c.noise = 2.0;
    switch (r) {
      case SignalRole::EegPosterior: c.alphaGain = 35; c.thetaGain = 6; break;
      case SignalRole::EegFrontal: c.alphaGain = 6; c.thetaGain = 10; c.blinkGain = 120; break;
      case SignalRole::Eeg: c.alphaGain = 12; c.thetaGain = 8; c.blinkGain = 15; break;
      case SignalRole::Eog: c.blinkGain = 300; break;
      case SignalRole::Reference: c.noise = 1; break;
      case SignalRole::Emg: c.noise = 3; break;
      default: break;
    }
    // Each oscillator starts at its own phase.
    const double phase = (uniform() + 1) * std::numbers::pi;
    c.alpha.x = std::cos(phase);
    c.alpha.y = std::sin(phase);
    channels_.push_back(c);
  }
  mains_ = rotation(50.0);
  breath_ = rotation(0.25);
  envelope_ = rotation(0.12);
  nextBlink_ = static_cast<long long>(rate_ * 1.5);
  nextBeat_ = static_cast<long long>(rate_ * 0.3);
  nextBurst_ = static_cast<long long>(rate_ * 2.0);
}

double SignalSynth::uniform() {
  // xorshift64*: fast, good enough for noise.
  rng_ ^= rng_ >> 12;
  rng_ ^= rng_ << 25;
  rng_ ^= rng_ >> 27;
  const std::uint64_t r = rng_ * 0x2545F4914F6CDD1Dull;
  return static_cast<double>(r >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

void SignalSynth::next(double* out) {
  // Events shared by every lead.
  if (n_ >= nextBlink_) {
    blinkStart_ = n_;
    blinkEnd_ = n_ + static_cast<long long>(rate_ * 0.3);
    nextBlink_ = n_ + static_cast<long long>(rate_ * (3.0 + 2.0 * (uniform() + 1)));
  }
  if (n_ >= nextBeat_) {
    beatStart_ = n_;
    nextBeat_ = n_ + static_cast<long long>(rate_ * (0.83 + 0.04 * uniform()));
  }
  if (n_ >= nextBurst_) {
    burstEnd_ = n_ + static_cast<long long>(rate_ * 0.5);
    nextBurst_ = n_ + static_cast<long long>(rate_ * (2.5 + (uniform() + 1)));
  }
  const double blink = n_ < blinkEnd_ ? bump(static_cast<double>(n_ - blinkStart_) / (blinkEnd_ - blinkStart_)) : 0.0;
  double ecg = 0;
  if (beatStart_ >= 0) {
    const double t = static_cast<double>(n_ - beatStart_) / rate_;  // seconds since the beat
    if (t < 0.6) {
      const auto g = [t](double at, double width, double height) {
        const double d = (t - at) / width;
        return height * std::exp(-0.5 * d * d);
      };
      ecg = g(0.0, 0.025, 80) + g(0.16, 0.010, -60) + g(0.18, 0.010, 1000) + g(0.20, 0.010, -150) +
            g(0.42, 0.040, 200);
    }
  }
  const bool burst = n_ < burstEnd_;
  const double mains = mainsAmplitude_ * mains_.y;
  const double wax = 0.6 + 0.4 * envelope_.y;  // alpha waxes and wanes

  for (std::size_t k = 0; k < channels_.size(); ++k) {
    Channel& c = channels_[k];
    const double noise = uniform();
    double v = c.noise * noise + mains;
    switch (c.role) {
      case SignalRole::Ecg: v += ecg; break;
      case SignalRole::Breathing: v += 400 * breath_.y; break;
      case SignalRole::Emg: v += (burst ? 60.0 : 0.0) * noise; break;
      case SignalRole::Auxiliary:
        c.drift += (noise - c.drift) * 0.001;
        v = 200 * c.drift;
        break;
      default:
        c.alpha.step();
        c.theta.step();
        c.drift += (noise - c.drift) * 0.02;  // slow background
        v += c.alphaGain * wax * c.alpha.y + c.thetaGain * c.theta.y + 15 * c.drift + c.blinkGain * blink;
        break;
    }
    out[k] = v;
  }
  mains_.step();
  breath_.step();
  envelope_.step();
  // Rotations drift off the unit circle over millions of steps: renormalise.
  if ((++n_ & 4095) == 0) {
    const auto fix = [](Oscillator& o) {
      const double r = std::sqrt(o.x * o.x + o.y * o.y);
      o.x /= r;
      o.y /= r;
    };
    fix(mains_);
    fix(breath_);
    fix(envelope_);
    for (auto& c : channels_) {
      fix(c.alpha);
      fix(c.theta);
    }
  }
}

}  // namespace velor
