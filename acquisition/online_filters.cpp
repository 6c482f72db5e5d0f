#include "acquisition/online_filters.h"

#include <algorithm>

namespace velor {

namespace {

// Band-stop or band-pass Butterworth of `order` between lo and hi Hz.
bool bandDesign(FilterDesign& d, int type, int order, double rate, double lo, double hi) {
  if (rate <= 0) return false;
  const int code = type == 3 ? kButterworthBandStop : kButterworthBandPass;
  return designFilter(d, order, code, 0, hi / rate, lo / rate);
}

bool highPassDesign(FilterDesign& d, double rate, double cutoff) {
  return rate > 0 && designFilter(d, 1, kButterworthHighPass, 0, 0, cutoff / rate);
}

bool lowPassDesign(FilterDesign& d, double rate, double cutoff) {
  return rate > 0 && designFilter(d, 2, kButterworthLowPass, 0, 0, cutoff / rate);
}

}  // namespace

void OnlineFilterSets::put(FilterSet set, int channel, bool ok, const FilterDesign& d) {
  auto& slot = sets_[static_cast<std::size_t>(set)][static_cast<std::size_t>(channel)];
  if (ok)
    slot = OnlineFilter{d, FilterState{}};
  else
    slot.reset();
}

void OnlineFilterSets::createForStartup(DeviceKind kind, int channels, double rate) {
  releaseAll();
  channels = std::clamp(channels, 0, kMaxDeviceChannels);
  const bool vendorChain = kind == DeviceKind::K2 || kind == DeviceKind::K3 || kind == DeviceKind::Nvx;
  for (int ch = 0; ch < channels; ++ch) {
    FilterDesign d;
    if (vendorChain) {
      put(FilterSet::Mains50, ch, bandDesign(d, 3, 4, rate, 48, 52), d);
      put(FilterSet::Mains150, ch, bandDesign(d, 3, 4, rate, 149, 151), d);
      put(FilterSet::Mains200, ch, bandDesign(d, 3, 4, rate, 199, 201), d);
      put(FilterSet::Mains100, ch, bandDesign(d, 3, 4, rate, 99, 101), d);
      setBand(ch, rate, 0.5, 70);
      put(FilterSet::Drift, ch, highPassDesign(d, rate, 0.05), d);
      put(FilterSet::Drift2, ch, highPassDesign(d, rate, 0.05), d);
    } else {
      // The filter-library chain: a 50 Hz mains filter, a 70 Hz low-pass, a
      // 49..51 Hz band-stop, a 0.1..15 Hz band-pass and a 0.1 Hz drift filter.
      put(FilterSet::Mains50, ch, bandDesign(d, 3, 2, rate, 49, 51), d);
      put(FilterSet::Mains150, ch, lowPassDesign(d, rate, 70), d);
      put(FilterSet::Mains100, ch, bandDesign(d, 3, 4, rate, 49, 51), d);
      put(FilterSet::Band, ch, bandDesign(d, 2, 2, rate, 0.1, 15), d);
      put(FilterSet::Drift, ch, highPassDesign(d, rate, 0.1), d);
    }
  }
}

void OnlineFilterSets::recreateForRate(int channels, double rate) {
  channels = std::clamp(channels, 0, kMaxDeviceChannels);
  for (int ch = 0; ch < channels; ++ch) {
    FilterDesign d;
    put(FilterSet::Mains50, ch, bandDesign(d, 3, 4, rate, 48, 52), d);
    put(FilterSet::Mains150, ch, bandDesign(d, 3, 4, rate, 149, 151), d);
    put(FilterSet::Mains100, ch, bandDesign(d, 3, 4, rate, 99, 101), d);
    setBand(ch, rate, 0.5, 70);
    put(FilterSet::Drift, ch, highPassDesign(d, rate, 0.01), d);
  }
}

void OnlineFilterSets::setBand(int channel, double rate, double hp, double lp) {
  if (channel < 0 || channel >= kMaxDeviceChannels) return;
  // An upper edge at or beyond half the rate has no design: keep it just below.
  lp = std::min(lp, rate * 0.45);
  FilterDesign d;
  put(FilterSet::Band, channel, hp > 0 && lp > hp && bandDesign(d, 2, 2, rate, hp, lp), d);
}

void OnlineFilterSets::setDrift(int channels, double rate, double cutoff) {
  channels = std::clamp(channels, 0, kMaxDeviceChannels);
  for (int ch = 0; ch < channels; ++ch) {
    FilterDesign d;
    const bool ok = highPassDesign(d, rate, cutoff);
    put(FilterSet::Drift, ch, ok, d);
    put(FilterSet::Drift2, ch, ok, d);
  }
}

void OnlineFilterSets::releaseAll() {
  for (auto& set : sets_)
    for (auto& f : set) f.reset();
}

OnlineFilter* OnlineFilterSets::get(FilterSet set, int channel) {
  if (channel < 0 || channel >= kMaxDeviceChannels) return nullptr;
  auto& slot = sets_[static_cast<std::size_t>(set)][static_cast<std::size_t>(channel)];
  return slot ? &*slot : nullptr;
}

int OnlineFilterSets::liveFilters() const {
  int n = 0;
  for (const auto& set : sets_)
    for (const auto& f : set) n += f ? 1 : 0;
  return n;
}

}  // namespace velor
