// The scoreboard "Табло" of the main window: made with the monitor, shown
// when the settings say it was visible, refreshed whenever the monitor's
// cursor, anchor, caption or record changes, toggled by the tool button
// "Табло", and its notebook button tied to "Занести в блокнот".
#pragma once

#include "instruments/scoreboard.h"

namespace velor {
class ScoreboardPanel;
}

namespace velor::shell {

class MainWindow;

// Creates the scoreboard once the monitor and its editing commands exist.
void installScoreboard(MainWindow& w);
// The window's scoreboard, or nullptr before the monitor exists.
ScoreboardPanel* scoreboardOf(MainWindow& w);
// The tool button "Табло": shows or hides it; the choice is the setting.
void toggleScoreboard(MainWindow& w);
// "f=" / "df=" while a spectrum is shown, "t=" / "dt=" otherwise (for the
// EEG analysis, which decides after its window closes).
void setScoreboardFrequencyLabels(MainWindow& w, bool frequency);
// The map window hands over how to read its current channel.
void setScoreboardMapChannel(MainWindow& w, MapChannelProvider provider);

}  // namespace velor::shell
