// The main window's EMG command ("&3=ЭМГ"): the window "Миография" tied to
// the notebook (M-responses), the monitor's transform view (interval
// spectra) and the graph windows (epoch measure, band amplitudes, swing
// histograms).
#pragma once

#include <functional>

namespace velor {
class EmgWindow;
}

namespace velor::shell {

class MainWindow;

// How the window is run once it is built; the default shows it modally.
void setEmgWindowRunner(MainWindow& w, std::function<void(EmgWindow&)> run);
void runEmgCommand(MainWindow& w);

}  // namespace velor::shell
