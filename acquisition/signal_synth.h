// Realistic test signals for the simulated devices: EEG with a posterior
// alpha rhythm that waxes and wanes, eye blinks on the frontal leads, ECG,
// breathing, EMG bursts, mains hum and noise. Deterministic for a seed; cheap
// enough to run far faster than real time (oscillators by rotation, one
// random number per channel and sample).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velor {

enum class SignalRole {
  Eeg,           // background rhythms, little alpha
  EegPosterior,  // strong alpha (occipital and parietal leads)
  EegFrontal,    // background and eye blinks
  Eog,           // large blinks
  Ecg,
  Breathing,
  Emg,           // quiet with bursts
  Reference,     // an ear or reference electrode: small signal
  Auxiliary,     // a slow sensor value
};

// The role a channel name suggests ("O1" posterior, "Fp2" frontal, "ECG"...).
SignalRole signalRoleForName(const std::string& name);

class SignalSynth {
 public:
  SignalSynth(std::vector<SignalRole> roles, double rate, std::uint64_t seed);

  int channels() const { return static_cast<int>(channels_.size()); }
  // Microvolts of every channel at the next sample; advances one sample.
  void next(double* microvolts);
  // Mains amplitude (µV) common to all leads; 0 switches the hum off.
  void setMainsAmplitude(double uv) { mainsAmplitude_ = uv; }

 private:
  struct Oscillator {
    double c = 1, s = 0;    // rotation per sample
    double x = 1, y = 0;    // current phase
    void step() {
      const double nx = x * c - y * s;
      y = x * s + y * c;
      x = nx;
    }
  };
  struct Channel {
    SignalRole role;
    Oscillator alpha, theta;
    double alphaGain = 0, thetaGain = 0, blinkGain = 0, noise = 0;
    double drift = 0;  // low-passed noise
  };
  double uniform();  // −1..1

  std::vector<Channel> channels_;
  double rate_;
  std::uint64_t rng_;
  long long n_ = 0;
  Oscillator mains_, breath_, envelope_;
  double mainsAmplitude_ = 4.0;
  // Events: the next blink and beat and EMG burst start (sample index).
  long long nextBlink_ = 0, blinkEnd_ = -1, blinkStart_ = 0;
  long long nextBeat_ = 0, beatStart_ = -1;
  long long nextBurst_ = 0, burstEnd_ = -1;
};

}  // namespace velor
