// The main window's start and stop sequence without widgets: what happens
// when the window is first shown (the settings files are read), when it is
// resized (the size warning), when it is asked to close (the question), and
// when it closes (the settings files are written). The window calls these in
// its own events; tests and tools call them directly.
#pragma once

#include <optional>
#include <string>

#include "core/interaction.h"
#include "core/settings.h"
#include "core/study_state.h"

namespace velor::shell {

inline constexpr const char* kMainSettingsFile = "Vlr.ini";
inline constexpr const char* kChannelSettingsFile = "cai.ini";
inline constexpr int kMaxWindowWidth = 1920;
inline constexpr int kMaxWindowHeight = 1200;
inline constexpr int kMonitorHelpContext = 3;
inline constexpr int kOpenHelpContext = 11;
inline constexpr int kSaveHelpContext = 12;

class MainSession {
 public:
  MainSession(StudyState& s, Interaction& ui) : s_(s), ui_(ui) {}

  // First show, in two steps around the monitor's initialisation:
  // readMainSettingsAtStart applies "Vlr.ini" (a failure is reported as the
  // interrupt message and start-up goes on with what was applied);
  // readChannelSettingsAtStart reads "cai.ini" when it is there. Each runs
  // once; firstShow does both.
  void readMainSettingsAtStart();
  void readChannelSettingsAtStart();
  void firstShow();
  bool firstShown() const { return firstShown_; }
  // The failure text of "Vlr.ini", when there was one.
  const std::optional<std::string>& mainSettingsFailure() const { return mainSettingsFailure_; }
  // Window values read from "Vlr.ini" (defaults where it said nothing).
  WindowSettings& window() { return window_; }
  const WindowSettings& window() const { return window_; }

  // True the first time in this run that the window exceeds the largest
  // size; the caller then shows the size warning.
  bool oversizeWarningDue(int width, int height);

  enum class CloseVerdict {
    Stay,             // the user answered No
    StopExamination,  // an examination runs: it is stopped, the window stays
    Close,
  };
  // The close question, or the stop of a running examination.
  CloseVerdict closeQuery();

  // On close: writes "Vlr.ini" (only when it holds its 21 lines, or afresh
  // when there is none) with the window values given, and "cai.ini".
  // Returns false when a file could not be written (the caller has nothing
  // more to do; the message was shown).
  bool close(const WindowSettings& current);
  bool closed() const { return closed_; }

  std::string mainSettingsPath() const { return s_.programDir + kMainSettingsFile; }
  std::string channelSettingsPath() const { return s_.programDir + kChannelSettingsFile; }

 private:
  StudyState& s_;
  Interaction& ui_;
  WindowSettings window_;
  std::optional<std::string> mainSettingsFailure_;
  bool firstShown_ = false;
  bool channelsRead_ = false;
  bool sizeWarningShown_ = false;
  bool closed_ = false;
};

}  // namespace velor::shell
