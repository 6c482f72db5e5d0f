// The acquisition device of the workstation: opened when the main window is
// first shown (on a worker, so the window never waits for a retrying or
// networked device; an absent device gives its message once and work goes
// on without it), closed before the settings are written at close; the
// command "Усилитель" opens "Усилитель" or, for NVX amplifiers, "Отведения и
// усилитель", whose "Импеданс" opens the impedance window and "Монтаж и
// пары" the lead editor.
#pragma once

#include <functional>
#include <memory>

#include "acquisition/amplifier_settings.h"
#include "acquisition/device.h"

namespace velor {
class AmplifierDialog;
}

namespace velor::shell {

class MainWindow;

using DeviceFactory = std::function<std::unique_ptr<AcquisitionDevice>(int deviceKind)>;

// Before the first show: where the device comes from (tests give a fake).
void setAcquisitionDeviceFactory(MainWindow& w, DeviceFactory factory);
// How the amplifier dialog is run; the default shows it modally.
void setAmplifierDialogRunner(MainWindow& w, std::function<void(AmplifierDialog&)> run);
// First show: makes the device of `deviceKind` and starts opening it.
void startAcquisitionDevice(MainWindow& w);
// Runs before the device is closed or destroyed (an examination ends first).
void setBeforeDeviceGoes(MainWindow& w, std::function<void()> hook);
// Runs once the device has opened and the study state has its channels.
void setAfterDeviceOpened(MainWindow& w, std::function<void()> hook);
// The device once opened, or nullptr (still opening, absent, closed).
AcquisitionDevice* acquisitionDevice(MainWindow& w);
// Close: waits for an opening still under way, stops the impedance check,
// closes the device.
void closeAcquisitionDevice(MainWindow& w);
// The amplifier settings the dialogs and the recording panel share: the
// option lists of the device kind (read on first use) and the current table.
const AmplifierLists& amplifierLists(MainWindow& w);
AmplifierTable& amplifierTable(MainWindow& w);
// The command "Усилитель".
void showAmplifierDialog(MainWindow& w);

}  // namespace velor::shell
