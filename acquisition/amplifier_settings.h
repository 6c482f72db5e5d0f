// Per-channel amplifier settings: a gain, a high-pass and a low-pass item per
// channel chosen from three option lists read from the device's list file
// ("ampl.ini", "ampl1.ini", ...; written with defaults when missing), sent to
// the device and turned into each channel's calibration.
//
// Contract: an apply either completes — device configured, calibration and
// gain codes updated — or leaves the study state and the table as they were
// and returns the message.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/device.h"
#include "acquisition/filter_design.h"
#include "core/study_state.h"

namespace velor {

enum class AmplifierList : int { Gain = 0, HighPass = 1, LowPass = 2 };

struct AmplifierOption {
  std::string code;  // the device code text
  std::string text;  // what the dialogs show
};

struct AmplifierLists {
  std::array<std::vector<AmplifierOption>, 3> lists;
  const std::vector<AmplifierOption>& operator[](AmplifierList l) const { return lists[static_cast<std::size_t>(l)]; }
  int count(AmplifierList l) const { return static_cast<int>((*this)[l].size()); }
};

// "ampl.ini" for the board (0 and below), "ampl1.ini" K2, "ampl2.ini" K3,
// "ampl3.ini" NVX, "ampl4.ini" the other amplifiers.
std::string amplifierListFileName(int deviceKind);
AmplifierLists defaultAmplifierLists(int deviceKind);
// Layout: lines 1..3 the item counts; then for each list its code texts,
// one a line, followed by as many display texts. The failure text, or nothing.
std::optional<std::string> readAmplifierLists(const std::string& path, AmplifierLists& out);
bool writeAmplifierLists(const std::string& path, const AmplifierLists& lists);
// The lists of the device kind from programDir; a missing file is written
// with the defaults (which are then used). A file that is there but unsound
// gives its failure text and the defaults.
std::optional<std::string> loadAmplifierLists(const std::string& programDir, int deviceKind, AmplifierLists& out);

// A device code text as a number: its first 10 characters, trimmed; empty
// (or not a number) reads as 0.
int deviceCodeOf(const std::string& text);

struct AmplifierTable {
  // Per channel row: the gain, high-pass and low-pass item indices.
  std::array<std::array<int, 3>, kMaxChannels> items{};
  bool notchOn = true;  // "Реж 50Гц" (the flag cell reads "0" when on)
  std::array<std::uint8_t, kMaxChannels> channelGainCode{};

  int item(int row, AmplifierList l) const { return items[static_cast<std::size_t>(row)][static_cast<std::size_t>(l)]; }
};

// The item of a row in a list (0 when the index lies outside the list).
const AmplifierOption* chosenOption(const AmplifierLists& lists, const AmplifierTable& t, int row, AmplifierList l);
// Sets an item for one row, or for every row below channelCount.
void chooseItem(AmplifierTable& t, AmplifierList l, int item, int row, bool allRows, int channelCount);
// One gain item down (direction < 0, not below 0) or up (not above the last).
// True when the item changed.
bool stepGain(AmplifierTable& t, const AmplifierLists& lists, int row, int direction);

// What an apply would divide by: the board's gain factor (its display text)
// must be a positive number, every low-pass above 0 Hz. The message, or nothing.
std::optional<std::string> checkAmplifierChoices(int deviceKind, const AmplifierLists& lists, const AmplifierTable& t,
                                                 int channels);

struct AmplifierApplyResult {
  DeviceResult result;
  // The board's software low-pass: f limited to half the record rate, a
  // band-stop of order 1 with both edges at f (the last channel's value).
  bool lowPassDesigned = false;
  double lowPassHz = 0;
  FilterDesign boardLowPass;
};

// "Утвердить" of "Усилитель" and the single changes: every kind but NVX.
AmplifierApplyResult applyAmplifier(StudyState& s, AcquisitionDevice& device, int deviceKind, const AmplifierLists& lists,
                                    AmplifierTable& t, int channels, bool keepCalibration);
// "Утвердить" of "Отведения и усилитель": NVX.
DeviceResult applyLeads(StudyState& s, AcquisitionDevice& device, const AmplifierLists& lists, AmplifierTable& t);

// The recording panel's "Понизить тек.канал" (direction < 0) and "Усилить
// тек.канал" (> 0): one gain step of `row`; when the item changed, every gain
// is applied again (applyLeads for NVX, applyAmplifier for the others). At
// either end of the list nothing is sent. `changed` says whether it moved; a
// refused apply puts the item back.
DeviceResult changeGain(StudyState& s, AcquisitionDevice& device, int deviceKind, const AmplifierLists& lists,
                        AmplifierTable& t, int row, int direction, bool* changed = nullptr);

}  // namespace velor
