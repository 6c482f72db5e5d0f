// The monitor's transform view with real spectra. The main window owns the
// one SpectralEngine; these functions compute the spectra of the current
// epoch with it, show them in place of the signals and keep them current
// while the user steps through epochs and records.
//
// How an analysis window shows spectra (the EEG analysis after "&1=Спектр"):
//   s.transformKind = kind;   // TransformKind::Power, CrossPhase, Coherence, ...
//   velor::shell::showSpectraInMonitor(mainWindow);
// It returns false when the epoch cannot be analysed; the reason has then
// been shown through the main window's Interaction and the signals stay on
// the monitor (also while an examination records). On success the monitor is laid out and redrawn, the zoom that
// fits the spectra is locked for the following epoch and record steps, and
// the scoreboard (when there is one) reads "f=" and "df=" (except for
// the correlation, which runs along time). "&0=Записи" (Cmd::BackToSignals) returns to the
// signals.
#pragma once

namespace velor::shell {

class MainWindow;

bool showSpectraInMonitor(MainWindow& w);

// Installs the transform computer of the record editor: record and epoch
// steps taken while the transform view is on recompute the spectra of the
// new epoch with the window's SpectralEngine. Called once with the monitor.
void installTransformView(MainWindow& w);

}  // namespace velor::shell
