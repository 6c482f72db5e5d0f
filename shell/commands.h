// The main window's commands as data: menu entries and tool panel buttons
// with their captions, shortcuts, hints and the module that does the work.
// The window builds its menus and panel from these tables, and tests read the
// same tables, so a caption or a key exists in exactly one place.
//
// A command whose module is not in this build stays visible but disabled,
// and its hint says so; a module that lands flips its flag in
// `moduleAvailable` and wires its handler.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace velor::shell {

// The module that carries out a command.
enum class Module {
  MainWindow,        // the main window itself (exit, placement, axes, frequency)
  RecordFiles,       // open, save, record navigation of the record file
  Settings,          // settings files, fonts, device choice
  HeaderDialog,      // the examination header dialog
  Monitor,           // zoom and channel-count steps of the signal monitor
  Help,              // the help and instruction windows
  Editing,           // record editing, marks, channels, epochs, clipboard, merge
  Montages,          // lead editor
  RecordPrinting,    // printing the active window
  PrintSettings,     // printer setup
  Macros,            // macro recorder
  Examination,       // examination plan and acquisition
  Instruments,       // virtual instrument designer
  Stimulator,        // stimulator
  Scoreboard,        // scoreboard of cursor readouts
  EegAnalysis,
  EcgAnalysis,
  EmgAnalysis,
  Rheography,
  Polygraph,         // polygraph and breathing
  EvokedPotentials,
  TextResults,       // text result window (diagnosis mode)
  GraphWindow,
  Notebook,
  Calculator,
  Transformations,
  Artefacts,
  Count
};

// Whether the module is part of this build.
bool moduleAvailable(Module m);
// A short Russian name of the module, for hints.
const char* moduleName(Module m);

enum class Cmd {
  // "Файлы"
  Open, Save, Print, PrinterSetup, Exit,
  // "Aнализ"
  BackToSignals, Eeg, Ecg, Emg, Rheo, Breathing, Polygraph, EvokedPotentials, Diagnosis,
  // "Записи"
  NextRecord, PrevRecord, RecordByNumber, MergeRecords, RestoreRecord,
  // "Вычисления"
  Calculator, Notebook, AddToNotebook, Generator, Transformations, Artefacts,
  MarkInsert, MarkRemove, MarkRemoveAll, MarkPrev, MarkNext, AnnotationList,
  ChannelInsert, ChannelDelete,
  // "Установки"
  ReadSettings, SaveSettings, RewriteHeader, Header, Leads, SampleRate,
  ZeroAll, ZeroCurrent, Calibration, PrintFont, DeviceClass, DeviceK2, DeviceK3, Amplifier,
  // "Макрокоманды"
  MacroDefine, MacroFinish, MacroRun, MacroSwitch,
  // "Конструктор"
  InstrumentDesigner, StimulatorWindow, Placement1, Placement2, Placement3, Placement4, NewGraph,
  // "F9=Исследование"
  Examination,
  // "Прочитайте инструкцию !!!"
  HelpContents, HelpSearch, HelpOnHelp, Instruction,
  // tool panel only
  Cut, Copy, Paste, GainDown, GainUp, TimeDown, TimeUp, FewerChannels, MoreChannels,
  PrevEpoch, NextEpoch, TimeAxes, AmplitudeAxes, ScoreboardToggle,
};

struct MenuEntry {
  Cmd cmd;
  const char* menu;      // caption of the top-level menu
  const char* submenu;   // caption of the sub menu, or nullptr
  const char* caption;   // the entry itself; equal to `menu` for a bare menu-bar command
  const char* shortcut;  // portable key text ("F3", "Ctrl+Ins"), "" for none
  const char* hint;      // what the command does
  Module module;
  bool hidden;           // present but not shown (kept for settings and keys)
};

struct PanelButton {
  Cmd cmd;
  const char* caption;
  const char* hint;
  Module module;
};

std::span<const MenuEntry> menuEntries();
std::span<const PanelButton> panelButtons();

// Enabled in this build: the command's module is available.
bool commandEnabled(Module m);
// The hint as shown: the command's hint, and for a disabled command a
// sentence saying that it is not available yet.
std::string shownHint(const char* hint, Module m);

// The first menu entry of a command (nullptr when it has none).
const MenuEntry* findMenuEntry(Cmd cmd);
// The menu entry whose shortcut is `key` (portable text), or nullptr.
const MenuEntry* findByShortcut(std::string_view key);

}  // namespace velor::shell
