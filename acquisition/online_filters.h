// The per-channel online filter objects of an amplifier: seven sets (mains
// 50, 150, 200 and 100 Hz, the band filter and two drift filters), one filter
// per amplifier channel, built from this system's own IIR designs in place of
// the vendor filter libraries. A filter whose design cannot exist at the
// device rate (an edge at or above half the rate) stays empty and the
// processing chain skips it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "acquisition/device.h"
#include "acquisition/filter_design.h"

namespace velor {

enum class FilterSet : int {
  Mains50 = 0,
  Mains150,
  Mains200,
  Mains100,
  Band,
  Drift,
  Drift2,
};
inline constexpr int kFilterSetCount = 7;

struct OnlineFilter {
  FilterDesign design;
  FilterState state;
};

class OnlineFilterSets {
 public:
  // The sets of start-up for `channels` amplifier channels at `rate` Hz:
  // kinds 1..3 and kinds 4 and above differ (see the .cpp table).
  void createForStartup(DeviceKind kind, int channels, double rate);
  // After an NVX rate change: mains 50/150/100, band 0.5..70 Hz and a drift
  // filter at 0.01 Hz anew.
  void recreateForRate(int channels, double rate);
  // Band filter of one channel: band-pass order 2 from hp to lp Hz (lp
  // limited to just below half the rate).
  void setBand(int channel, double rate, double hp, double lp);
  // Drift filters set anew at `cutoff` Hz (the end of the settling pause).
  void setDrift(int channels, double rate, double cutoff);
  // Releases every filter of every set.
  void releaseAll();

  // The filter of a set for a channel, or nullptr when none is set.
  OnlineFilter* get(FilterSet set, int channel);
  int liveFilters() const;

 private:
  void put(FilterSet set, int channel, bool ok, const FilterDesign& d);
  std::array<std::array<std::optional<OnlineFilter>, kMaxDeviceChannels>, kFilterSetCount> sets_;
};

}  // namespace velor
