#include "tools/artefacts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/numtext.h"
#include "core/settings.h"
#include "core/trace_ops.h"
#include "eeg/fft_filter.h"
#include "eeg/spectral.h"
#include "tools/artefact_texts.h"
#include "tools/transformations.h"
#include "viewer/record_edit.h"

namespace velor {

bool readArtefactSettings(const std::string& programDir, ArtefactSettings& out) {
  const auto lines = readTextLines(programDir + kAfSettingsFile);
  if (!lines) return false;
  const auto& l = *lines;
  bool complete = l.size() >= 4;
  if (!l.empty()) out.minSeconds = trimSpaces(l[0]);
  if (l.size() > 1) out.minMicrovolts = trimSpaces(l[1]);
  if (l.size() > 2) {
    const auto k = parseInteger(l[2]);
    if (k && *k >= 0 && *k < kMaxChannels)
      out.inductor = *k;
    else
      complete = false;
  }
  if (l.size() > 3) out.allChannels = trimSpaces(l[3]) == "1";
  return complete;
}

bool writeArtefactSettings(const std::string& programDir, const ArtefactSettings& in) {
  return writeTextLines(programDir + kAfSettingsFile,
                        {in.minSeconds, in.minMicrovolts, std::to_string(in.inductor), in.allChannels ? "1" : "0"});
}

int cutArtefacts(StudyState& s, double seconds, double microvolts, bool allChannels, ArtefactConfirm* confirm,
                 Interaction& ui) {
  const int L = std::clamp(s.recordLength, 0, kMaxSamples);
  const int channels = std::min(s.channelCount, kMaxChannels);
  const int c = s.shownChannelCount <= 0 ? std::clamp(s.firstShownChannel, 0, channels - 1) : transformChannel(s);
  if (L <= 0 || channels <= 0 || !std::isfinite(seconds) || !std::isfinite(microvolts)) return 0;
  if (s.calibValue[c] == 0) {
    ui.message(kAfFlatInductor);
    return 0;
  }
  const int z = s.zeroLevel[c];
  const long R = static_cast<long>(std::trunc(s.sampleRate * seconds));
  const long V = static_cast<long>(std::trunc(microvolts / s.calibValue[c] * s.calibUnits[c]));
  const int firstCut = allChannels ? 0 : c, lastCut = allChannels ? channels - 1 : c;
  bool asking = confirm != nullptr;
  int cut = 0;
  int length = L;  // samples still holding the record; the cut ones are refilled at the end
  long n = 0;
  int previousSign = -1;
  std::int16_t* x = s.channelData[static_cast<std::size_t>(c)];
  for (int a = 0; a <= length; ++a) {
    // The stretch still open at the record's end is judged as well.
    const bool atEnd = a == length;
    const long d = atEnd ? 0 : x[a] - z;
    const int sign = d < 0 ? 1 : 0;
    const bool beyond = !atEnd && std::labs(d) > V;
    const bool ends = !beyond || (n > 0 && sign != previousSign);
    if (ends && n > R) {
      bool take = true;
      if (asking) {
        s.cursorPos = a - 1;
        s.viewStart = std::max(0, a - 100);
        const ArtefactAnswer answer = confirm->confirm(s, static_cast<int>(a - n), a - 1);
        if (answer == ArtefactAnswer::Stop) break;
        if (answer == ArtefactAnswer::CutAll) asking = false;
        take = answer != ArtefactAnswer::Skip;
      }
      if (take) {
        const int from = static_cast<int>(a - n);
        for (int ch = firstCut; ch <= lastCut; ++ch) {
          std::int16_t* y = s.channelData[static_cast<std::size_t>(ch)];
          std::memmove(y + from, y + a, sizeof(std::int16_t) * static_cast<std::size_t>(L - a));
          std::fill(y + L - n, y + L, static_cast<std::int16_t>(s.zeroLevel[ch]));
        }
        if (allChannels && s.markChannel && s.markChannelCount > 0) {
          std::memmove(s.markChannel + from, s.markChannel + a, sizeof(std::int16_t) * static_cast<std::size_t>(L - a));
          std::fill(s.markChannel + L - n, s.markChannel + L, static_cast<std::int16_t>(0));
        }
        length -= static_cast<int>(n);
        ++cut;
        // The samples that moved into place are examined next.
        a = from;
        n = 0;
        previousSign = -1;
        if (atEnd || a >= length) break;
        const long d2 = x[a] - z;
        previousSign = d2 < 0 ? 1 : 0;
        n = std::labs(d2) > V ? 1 : 0;
        continue;
      }
    }
    if (ends) n = 0;
    if (beyond) ++n;
    previousSign = sign;
  }
  s.selectionAnchor = -1;
  if (cut > 0) markRecordModified(s);
  return cut;
}

bool regressionCorrection(StudyState& s, int inductor, bool allChannels, Interaction& ui) {
  const int L = std::clamp(s.recordLength, 0, kMaxSamples);
  const int channels = std::min(s.channelCount, kMaxChannels);
  if (inductor < 0 || inductor >= channels || L <= 0) return false;
  int first = 0, last = L - 1;
  if (s.selectionAnchor >= 0 && s.selectionAnchor != s.cursorPos) {
    first = std::clamp(std::min(s.selectionAnchor, s.cursorPos), 0, L - 1);
    last = std::clamp(std::max(s.selectionAnchor, s.cursorPos), 0, L - 1);
  }
  const double n = last - first + 1;
  const std::int16_t* u = s.channelData[static_cast<std::size_t>(inductor)];
  double sx = 0, sxx = 0;
  for (int i = first; i <= last; ++i) sx += u[i], sxx += static_cast<double>(u[i]) * u[i];
  const double denominator = n * sxx - sx * sx;
  if (!(denominator > 0)) {
    ui.message(kAfFlatInductor);
    return false;
  }
  // The inductor is centred on its own mean: the corrected channel keeps its level.
  const double centre = sx / n;
  std::vector<int> order;
  if (allChannels) {
    for (int ch = 0; ch < channels; ++ch)
      if (ch != inductor) order.push_back(ch);
    order.push_back(inductor);
  } else {
    order.push_back(transformChannel(s));
  }
  std::vector<std::int16_t> x(u + first, u + last + 1);  // the inductor as it was
  bool changed = false;
  for (int ch : order) {
    std::int16_t* y = s.channelData[static_cast<std::size_t>(ch)];
    double sy = 0, sxy = 0;
    for (int i = first; i <= last; ++i) sy += y[i], sxy += static_cast<double>(x[static_cast<std::size_t>(i - first)]) * y[i];
    const double b = (n * sxy - sx * sy) / denominator;
    if (b == 0) continue;
    for (int i = first; i <= last; ++i)
      y[i] = clampSignalCode(std::trunc(y[i] - (x[static_cast<std::size_t>(i - first)] - centre) * b));
    changed = true;
  }
  if (changed) markRecordModified(s);
  return changed;
}

bool removeBlinks(StudyState& s, SpectralEngine& engine, Interaction& ui, std::vector<std::pair<int, int>>* found) {
  const int L = std::clamp(s.recordLength, 0, kMaxSamples);
  const int channels = std::min(s.channelCount, kMaxChannels);
  int frontal = -1;
  for (const char* name : {kAfFp1, kAfF3}) {
    for (int ch = 0; ch < channels && frontal < 0; ++ch)
      if (trimSpaces(s.channelNames[static_cast<std::size_t>(ch)]) == name) frontal = ch;
    if (frontal >= 0) break;
  }
  if (frontal < 0) {
    ui.message(kAfNoFrontal);
    return false;
  }
  if (found) found->clear();
  if (L < 4 || s.sampleRate <= 0) return true;
  const double fs = s.sampleRate;
  const int z = s.zeroLevel[frontal];
  std::vector<std::int16_t> f(s.channelData[static_cast<std::size_t>(frontal)],
                              s.channelData[static_cast<std::size_t>(frontal)] + L);
  fftFilterTrace(engine, FftFilterKind::kBandPass, f.data(), L, z, 0, std::min(0.5, 4 / fs));
  double m = 0;
  for (int i = 0; i < L; ++i) m += std::abs(f[static_cast<std::size_t>(i)] - z);
  m /= L;
  const auto at = [&](int i) { return f[static_cast<std::size_t>(i)] - z; };
  std::vector<std::pair<int, int>> blinks;
  for (int j = 0; j < L; ++j) {
    if (!(at(j) > 3 * m)) continue;
    // Back to the nearest earlier change of sign; none before sample 1 (the
    // scan never reads before the first sample) records nothing.
    int t = -1;
    for (int k = j; k >= 1; --k)
      if ((at(k - 1) < 0) != (at(k) < 0)) {
        t = k;
        break;
      }
    int e = j;
    while (e < L && at(e) >= 0) ++e;
    while (e < L && at(e) <= 0) ++e;
    if (t >= 0) blinks.push_back({t, e});
    j = std::max(j, e - 1);
  }
  if (found) *found = blinks;
  if (blinks.empty()) return true;
  std::vector<std::int16_t> low(static_cast<std::size_t>(L));
  for (int ch = 0; ch < channels; ++ch) {
    if (s.channelPosX[static_cast<std::size_t>(ch)] >= 240) continue;  // not an EEG lead
    std::int16_t* x = s.channelData[static_cast<std::size_t>(ch)];
    const int zc = s.zeroLevel[ch];
    std::memcpy(low.data(), x, sizeof(std::int16_t) * low.size());
    fftFilterTrace(engine, FftFilterKind::kBandPass, low.data(), L, zc, 0, std::min(0.5, 7 / fs));
    for (const auto& [from, to] : blinks)
      for (int i = from; i < std::min(to, L); ++i)
        x[i] = clampSignalCode(static_cast<double>(x[i]) + zc - low[static_cast<std::size_t>(i)]);
  }
  markRecordModified(s);
  return true;
}

}  // namespace velor
