// The printing state of a main window: one printer for the whole run (so the
// choice made in "Принтер" stays for every later print) and the print
// settings that the dialog "Печать" last accepted. Windows that print reach
// both through their main window.
#pragma once

#include <QWidget>

#include "core/interaction.h"
#include "core/study_state.h"
#include "results/print_settings.h"

class QPrinter;

namespace velor {

// The main window's printer, created on first use.
QPrinter& printerOf(QWidget* mainWindow);
// "Принтер": Qt's print set-up on that printer; true when it was accepted.
bool printerSetup(QWidget* mainWindow);

// The print settings in force: until the dialog is first accepted, what
// "qprs.ini" in programDir says (the form's defaults without it).
PrintSettings& printSettingsOf(QWidget* mainWindow, const StudyState& s);
// askPrintSettings: the dialog "Печать" on those settings; true (dialogResult 1) when
// the caller should print.
bool askPrintSettings(QWidget* mainWindow, StudyState& s, Interaction& ui);

}  // namespace velor
