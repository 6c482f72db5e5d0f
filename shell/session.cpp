#include "shell/session.h"

#include "core/binio.h"
#include "core/record_file.h"
#include "eeg/band_table.h"
#include "shell/main_window_texts.h"

namespace velor::shell {

void MainSession::readMainSettingsAtStart() {
  if (firstShown_) return;
  firstShown_ = true;
  // A fresh installation has no settings file yet: that is not a failure worth
  // a message; the defaults stay and a complete file is written at close. A
  // file that is there but cannot be applied is reported.
  const bool present = fileExists(mainSettingsPath());
  mainSettingsFailure_ = readMainSettings(mainSettingsPath(), s_, window_);
  if (mainSettingsFailure_ && present) ui_.message(std::string(kInterruptPrefix) + *mainSettingsFailure_);
  s_.helpContext = kMonitorHelpContext;
}

void MainSession::readChannelSettingsAtStart() {
  if (channelsRead_) return;
  channelsRead_ = true;
  // A fresh installation has no channel settings yet; the defaults stay and
  // the file is created when the window closes.
  if (fileExists(channelSettingsPath())) readChannelSettings(channelSettingsPath(), s_, ui_);
  s_.leadPairCount = 0;
  // the band analyses work from the first start, not only after the band
  // window has been opened once
  installDefaultBands(s_);
}

void MainSession::firstShow() {
  readMainSettingsAtStart();
  readChannelSettingsAtStart();
}

bool MainSession::oversizeWarningDue(int width, int height) {
  if (sizeWarningShown_) return false;
  if (width <= kMaxWindowWidth && height <= kMaxWindowHeight) return false;
  sizeWarningShown_ = true;
  return true;
}

MainSession::CloseVerdict MainSession::closeQuery() {
  if (s_.acquisitionActive != 0) return CloseVerdict::StopExamination;
  if (!ui_.ask(shell_text::kCloseQuestion)) return CloseVerdict::Stay;
  // a changed record is settled before the program goes; a write-back that
  // fails keeps the program open with the record
  return confirmWriteBack(s_, ui_) ? CloseVerdict::Close : CloseVerdict::Stay;
}

bool MainSession::close(const WindowSettings& current) {
  if (closed_) return true;
  closed_ = true;
  WindowSettings w = current;
  w.macroSwitch = false;  // the recorder switch is always saved as off
  bool ok = true;
  // A "Vlr.ini" that was there but could not be read whole keeps its
  // content: the settings engine rewrites only a file of 21 lines.
  if (!writeMainSettings(mainSettingsPath(), s_, w) && !fileExists(mainSettingsPath())) ok = false;
  if (!writeChannelSettings(channelSettingsPath(), s_)) ok = false;
  return ok;
}

}  // namespace velor::shell
