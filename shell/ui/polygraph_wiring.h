// The main window's polygraph and breathing commands: "&6=Полиграф" opens
// the window "Полиграфия" tied to the formula window, the graph windows, the
// text window and the monitor; "&5=Дыхание" draws the breathing graph of the
// current channel.
#pragma once

#include <functional>
#include <optional>

#include "core/formula.h"

namespace velor {
class PolygraphWindow;
}

namespace velor::shell {

class MainWindow;

// How the window is run once it is built; the default shows it modally.
void setPolygraphWindowRunner(MainWindow& w, std::function<void(PolygraphWindow&)> run);
// What stands in for the formula window "Условие поиска" (tests); by default
// the formula window itself.
void setPolygraphConditionChooser(MainWindow& w, std::function<std::optional<CompiledFormula>()> choose);
void runPolygraphCommand(MainWindow& w);
void runBreathingCommand(MainWindow& w);

}  // namespace velor::shell
