// The calibration and channel arithmetic of the acquisition devices: how a
// device's scale and a channel's gain become `calibValue` (the physical
// value, µV, of `calibUnits` codes), how many record channels an NVX model
// has, which rate code and decimation a rate takes, and which record row's
// filter settings each NVX amplifier channel uses.
#pragma once

#include <optional>
#include <vector>

namespace velor {

// `calibValue` is a 16-bit field: every result is limited to 0..65535
// instead of wrapping.
int clampCalibValue(double v);

// K2: trunc(calibUnits × volts per bit × 1 000 000), the volts a 32-bit float.
int k2CalibValue(int calibUnits, float voltsPerBit);
// NVX at gain code 5: trunc(calibUnits × 2 × scale × 1 000 000), scale the
// third float of the amplifier's property block.
int nvxBaseCalibValue(int calibUnits, float scale);
// NVX at gain code 1..11: the base times 16, 8, 4, 2, 1, then halved per step
// (code 6 half, ..., 11 a 64th). A code outside 1..11 keeps the base.
int nvxCalibValue(int calibUnits, float scale, int gainCode);
// K3 at gain step 1..12: v = trunc(calibUnits × scale field / 1000); v for
// steps 1..4, ×16, ×8, ×4, ×2 for 5..8, unchanged `current` for 9, v/2, v/4,
// v/8 for 10..12 (integer shifts).
int k3CalibValue(int calibUnits, int scaleField, int gainStep, int current);
// Converter board: trunc(5000 / gain factor); nothing for a factor that is
// not a positive number (the division would fail).
std::optional<int> boardCalibValue(double gainFactor);

// NVX amplifier channels by the model code of its information block:
// 4003 → 24, 4004 → 36, 4005 → 52, any other code 24.
int nvxChannelsForModel(int modelCode);
// Record channels of an NVX amplifier: 4 fewer, and 4 more fewer above 24
// (24 → 20, 36 → 28, 52 → 44).
int nvxRecordChannels(int deviceChannels);
// Electrodes measured by the impedance check: 48 for 52 channels, 32 for 36, else 24.
int nvxImpedanceElectrodes(int deviceChannels);
// NVX data-mode rate code: 125 → 6, 250 → 5, 500 → 4, 1000 → 3, 2000 → 2.
std::optional<int> nvxRateCode(int rate);
// K devices: the plan's decimation for a record rate (K2: 1 at 500 Hz, 2 at
// 250, else 4; K3: 2 at 500, 4 at 250, else 8).
int k2DecimationStep(int sampleRate);
int k3DecimationStep(int sampleRate);
// The record row whose filter items NVX amplifier channel i (of n) uses.
int nvxFilterRow(int i, int n);

}  // namespace velor

namespace velor {
// The NVX amplifier channel behind each packed record position: the
// reference, spare and second-of-pair channels left out, and for 52 channels
// the positions 28..31 and 32..35 rotated by one.
std::vector<int> nvxPackedChannels(int deviceChannels);
}  // namespace velor
