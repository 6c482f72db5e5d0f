// A constructed rheographic record: pulses of a known shape on channels 0,
// 1, 3 and 4 behind the sharp R waves of an ECG on channel 2, every 200
// samples at 250 Hz. Shared by the command-line and window tests, so both
// look at the same record.
#pragma once

#include <cstdint>
#include <string>

#include "core/study_state.h"

namespace velor::test {

inline constexpr int kTrainRate = 250, kTrainPeriod = 200, kTrainLength = 2500, kTrainFirstR = 50,
                     kTrainFootAfterR = 20;

// One pulse, i samples after its foot: a rise of 20 codes a sample for ten
// samples and 40 for ten more up to the peak (1600), a fall of 8 a sample to
// the incisura at 70 (1200), a dicrotic rise to 1300 at 80, then a slow fall
// back to 1000 at the next foot.
inline int trainPulse(int i) {
  if (i <= 10) return 1000 + 20 * i;
  if (i <= 20) return 1200 + 40 * (i - 10);
  if (i <= 70) return 1600 - 8 * (i - 20);
  if (i <= 80) return 1200 + 10 * (i - 70);
  return 1300 - (i - 80) * 5 / 2;
}

// Channels: 0, 1, 3, 4 pulses (1 and 4 at 3/4 of the swing), 2 an ECG with
// sharp R waves every 200 samples; 0.001 ohm a code. The hemodynamics read
// the base impedance from the first sample of channel 1: `baseCode` puts it
// there (it lies before the first pulse, so the waves stay as they are).
inline void fillPulseTrain(StudyState& s, int baseCode = -1) {
  s.channelCount = 5;
  s.recordLength = kTrainLength;
  s.sampleRate = kTrainRate;
  for (int c = 0; c < 5; ++c) {
    s.channelNames[static_cast<std::size_t>(c)] = c == 2 ? "ECG" : "R" + std::to_string(c);
    s.calibUnits[c] = 100;
    s.calibValue[c] = 500;
    s.zeroLevel[c] = 2048;
  }
  for (int t = 0; t < kTrainLength; ++t) {
    const int i = ((t - kTrainFirstR - kTrainFootAfterR) % kTrainPeriod + kTrainPeriod) % kTrainPeriod;
    const int p = trainPulse(i);
    for (int c : {0, 3}) s.channel(c)[t] = static_cast<std::int16_t>(p);
    for (int c : {1, 4}) s.channel(c)[t] = static_cast<std::int16_t>(1000 + (p - 1000) * 3 / 4);
    const int r = ((t - kTrainFirstR) % kTrainPeriod + kTrainPeriod) % kTrainPeriod;
    const int d = r > kTrainPeriod / 2 ? r - kTrainPeriod : r;  // samples from the nearest R
    int e = 2048;
    if (d >= -3 && d <= 0) e += 800 * (d + 3) / 3;
    else if (d > 0 && d <= 3) e += 800 - 1000 * d / 3;
    else if (d > 3 && d <= 6) e += -200 + 200 * (d - 3) / 3;
    s.channel(2)[t] = static_cast<std::int16_t>(e);
  }
  if (baseCode >= 0) s.channel(1)[0] = static_cast<std::int16_t>(baseCode);
}

}  // namespace velor::test
