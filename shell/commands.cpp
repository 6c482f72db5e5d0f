#include "shell/commands.h"

#include <array>

#include "shell/main_window_texts.h"

namespace velor::shell {

using namespace velor::shell_text;

namespace {

struct ModuleInfo {
  Module module;
  const char* name;
  bool available;
};

// Flip `available` when a module lands in the build.
constexpr std::array<ModuleInfo, static_cast<int>(Module::Count)> kModules{{
    {Module::MainWindow, "главное окно", true},
    {Module::RecordFiles, "файлы записей", true},
    {Module::Settings, "файлы установок", true},
    {Module::HeaderDialog, "заголовок исследования", true},
    {Module::Monitor, "монитор", true},
    {Module::Help, "справка", true},
    {Module::Editing, "редактирование записей", true},
    {Module::Montages, "редактор отведений", true},
    {Module::RecordPrinting, "печать", true},
    {Module::PrintSettings, "установки печати", true},
    {Module::Macros, "макрокоманды", false},
    {Module::Examination, "исследование", true},
    {Module::Instruments, "виртуальные приборы", false},
    {Module::Stimulator, "стимулятор", false},
    {Module::Scoreboard, "табло", true},
    {Module::EegAnalysis, "анализ ЭЭГ", true},
    {Module::EcgAnalysis, "анализ ЭКГ", true},
    {Module::EmgAnalysis, "миография", true},
    {Module::Rheography, "реография", true},
    {Module::Polygraph, "полиграф и дыхание", true},
    {Module::EvokedPotentials, "анализ ВП", true},
    {Module::TextResults, "окно результатов", true},
    {Module::GraphWindow, "графики", true},
    {Module::Notebook, "блокнот", true},
    {Module::Calculator, "калькулятор", true},
    {Module::Transformations, "преобразования", true},
    {Module::Artefacts, "артефакты", true},
}};

constexpr bool modulesInOrder() {
  for (std::size_t i = 0; i < kModules.size(); ++i)
    if (static_cast<std::size_t>(kModules[i].module) != i) return false;
  return true;
}
static_assert(modulesInOrder(), "module table out of order");

using M = Module;

const MenuEntry kMenu[] = {
    {Cmd::Open, kMenuFiles, nullptr, kFileOpen, "F3", "Открыть файл записей", M::RecordFiles, false},
    {Cmd::Save, kMenuFiles, nullptr, kFileSave, "F4", "Сохранить текущую запись в файл", M::RecordFiles, false},
    {Cmd::Print, kMenuFiles, nullptr, kFilePrint, "F2", "Печать активного окна", M::RecordPrinting, false},
    {Cmd::PrinterSetup, kMenuFiles, nullptr, kFilePrinter, "", "Выбор и настройка принтера", M::PrintSettings,
     false},
    {Cmd::Exit, kMenuFiles, nullptr, kFileExit, "F10", "Закончить работу с программой", M::MainWindow, false},

    {Cmd::BackToSignals, kMenuAnalysis, nullptr, kAnRecords, "",
     "Закрыть окна анализа и вернуться от результатов к сигналам", M::MainWindow, false},
    {Cmd::Eeg, kMenuAnalysis, nullptr, kAnEeg, "", "Анализ ЭЭГ", M::EegAnalysis, false},
    {Cmd::Ecg, kMenuAnalysis, nullptr, kAnEcg, "", "Анализ ЭКГ", M::EcgAnalysis, false},
    {Cmd::Emg, kMenuAnalysis, nullptr, kAnEmg, "", "Миография", M::EmgAnalysis, false},
    {Cmd::Rheo, kMenuAnalysis, nullptr, kAnReo, "", "Реография", M::Rheography, false},
    {Cmd::Breathing, kMenuAnalysis, nullptr, kAnBreath, "", "Анализ дыхания в текущем канале", M::Polygraph,
     false},
    {Cmd::Polygraph, kMenuAnalysis, nullptr, kAnPoly, "", "Полиграф", M::Polygraph, false},
    {Cmd::EvokedPotentials, kMenuAnalysis, nullptr, kAnEp, "", "Усреднение вызванных потенциалов",
     M::EvokedPotentials, false},
    {Cmd::Diagnosis, kMenuAnalysis, nullptr, kAnDiag, "", "Окно результатов в режиме диагноза", M::TextResults,
     false},

    {Cmd::NextRecord, kMenuRecords, nullptr, kRecNext, "", "Следующая запись файла", M::RecordFiles, false},
    {Cmd::PrevRecord, kMenuRecords, nullptr, kRecPrev, "", "Предыдущая запись файла", M::RecordFiles, false},
    {Cmd::RecordByNumber, kMenuRecords, nullptr, kRecNumber, "", "Перейти к записи с заданным номером",
     M::RecordFiles, false},
    {Cmd::MergeRecords, kMenuRecords, nullptr, kRecMerge, "", "Слить все записи файла в одну", M::Editing, false},
    {Cmd::RestoreRecord, kMenuRecords, nullptr, kRecRestore, "",
     "Перечитать текущую запись из файла, отменив изменения", M::RecordFiles, false},

    {Cmd::Calculator, kMenuCompute, nullptr, kCalc, "", "Калькулятор формул", M::Calculator, false},
    {Cmd::Notebook, kMenuCompute, nullptr, kNotebook, "", "Блокнот измеренных значений", M::Notebook, false},
    {Cmd::AddToNotebook, kMenuCompute, nullptr, kToNotebook, "F5", "Занести показания табло в блокнот",
     M::Notebook, false},
    // Opened from "Преобразования"; the entry stays hidden for keys and macros.
    {Cmd::Generator, kMenuCompute, nullptr, kGenerator, "", "Тестовый сигнал в текущий канал", M::Calculator, true},
    {Cmd::Transformations, kMenuCompute, nullptr, kTransforms, "", "Преобразования сигналов", M::Transformations,
     false},
    {Cmd::Artefacts, kMenuCompute, nullptr, kArtefacts, "", "Обработка артефактов", M::Artefacts, false},
    {Cmd::MarkInsert, kMenuCompute, kMenuMarks, kMarkInsert, "F6", "Поставить метку в текущем канале",
     M::Editing, false},
    {Cmd::MarkRemove, kMenuCompute, kMenuMarks, kMarkRemove, "", "Убрать метку у курсора", M::Editing, false},
    {Cmd::MarkRemoveAll, kMenuCompute, kMenuMarks, kMarkRemoveAll, "", "Убрать все метки текущего канала",
     M::Editing, false},
    {Cmd::MarkPrev, kMenuCompute, kMenuMarks, kMarkPrev, "Ctrl+<", "Найти предыдущую метку", M::Editing, false},
    {Cmd::MarkNext, kMenuCompute, kMenuMarks, kMarkNext, "Ctrl+>", "Найти следующую метку", M::Editing, false},
    {Cmd::AnnotationList, kMenuCompute, kMenuMarks, kAnnotationList, "",
     "Список аннотаций файла EDF+: выбранная показывается на своей странице под курсором", M::RecordFiles, false},
    {Cmd::ChannelInsert, kMenuCompute, kMenuChannel, kChannelInsert, "Ctrl+Ins", "Вставить канал", M::Editing,
     false},
    {Cmd::ChannelDelete, kMenuCompute, kMenuChannel, kChannelDelete, "Ctrl+Del", "Удалить текущий канал",
     M::Editing, false},

    {Cmd::ReadSettings, kMenuSettings, nullptr, kSetRead, "", "Читать файл установок каналов (*.cai)",
     M::Settings, false},
    {Cmd::SaveSettings, kMenuSettings, nullptr, kSetSave, "", "Сохранить установки каналов в файл (*.cai)",
     M::Settings, false},
    {Cmd::RewriteHeader, kMenuSettings, nullptr, kSetRewrite, "",
     "Записать текущую таблицу каналов в заголовок открытого файла", M::RecordFiles, false},
    {Cmd::Header, kMenuSettings, nullptr, kSetHeader, "", "Заголовок исследования: проба, пациент, диагноз",
     M::HeaderDialog, false},
    {Cmd::Leads, kMenuSettings, nullptr, kSetLeads, "", "Редактор отведений", M::Montages, false},
    {Cmd::SampleRate, kMenuSettings, nullptr, kSetRate, "", "Задать частоту дискретизации", M::MainWindow, false},
    {Cmd::ZeroAll, kMenuSettings, kMenuZero, kZeroAll, "Ctrl+A", "Коррекция нуля во всех каналах", M::Editing,
     false},
    {Cmd::ZeroCurrent, kMenuSettings, kMenuZero, kZeroCurrent, "Ctrl+B", "Коррекция нуля в текущем канале",
     M::Editing, false},
    {Cmd::Calibration, kMenuSettings, nullptr, kCalibration, "", "Калибровка каналов", M::Editing, false},
    {Cmd::PrintFont, kMenuSettings, nullptr, kPrintFont, "", "Шрифт результатов и печати", M::Settings, false},
    {Cmd::DeviceClass, kMenuSettings, kMenuAmpl, kAmplClass, "", "Устройство ввода: плата АЦП", M::Settings, true},
    {Cmd::DeviceK2, kMenuSettings, kMenuAmpl, kAmplK2, "", "Устройство ввода: K2", M::Settings, true},
    {Cmd::DeviceK3, kMenuSettings, kMenuAmpl, kAmplK3, "", "Устройство ввода: K3", M::Settings, true},
    {Cmd::Amplifier, kMenuSettings, nullptr, kAmplifier, "", "Усиление, фильтры и отведения устройства ввода; импеданс",
     M::Settings, false},

    {Cmd::MacroDefine, kMenuMacros, nullptr, kMacroDefine, "Alt+F1", "Начать запись макрокоманды", M::Macros,
     false},
    {Cmd::MacroFinish, kMenuMacros, nullptr, kMacroFinish, "Alt+F3", "Закончить запись макрокоманды", M::Macros,
     false},
    {Cmd::MacroRun, kMenuMacros, nullptr, kMacroRun, "Alt+F2", "Выполнить макрокоманду", M::Macros, false},
    {Cmd::MacroSwitch, kMenuMacros, nullptr, kMacroSwitch, "", "Включить или выключить макрорегистратор",
     M::Macros, false},

    {Cmd::InstrumentDesigner, kMenuDesigner, nullptr, kInstruments, "", "Конструктор виртуальных приборов",
     M::Instruments, false},
    {Cmd::StimulatorWindow, kMenuDesigner, nullptr, kStimulator, "", "Стимулятор", M::Stimulator, false},
    {Cmd::Placement1, kMenuDesigner, kMenuMonitor, kPlacement1, "", "Один монитор", M::MainWindow, false},
    {Cmd::Placement2, kMenuDesigner, kMenuMonitor, kPlacement2, "", "Второй монитор слева", M::MainWindow, false},
    {Cmd::Placement3, kMenuDesigner, kMenuMonitor, kPlacement3, "", "Второй монитор справа", M::MainWindow,
     false},
    {Cmd::Placement4, kMenuDesigner, kMenuMonitor, kPlacement4, "", "Жидкокристаллический монитор",
     M::MainWindow, true},
    {Cmd::NewGraph, kMenuDesigner, nullptr, kNewGraph, "F7", "Открыть пустое окно графиков", M::GraphWindow,
     false},

    {Cmd::Examination, kMenuExam, nullptr, kMenuExam, "F9", "Начать исследование", M::Examination, false},

    {Cmd::HelpContents, kMenuHelp, nullptr, kHelpContents, "", "Оглавление справки", M::Help, false},
    {Cmd::HelpSearch, kMenuHelp, nullptr, kHelpSearch, "", "Поиск в справке", M::Help, false},
    {Cmd::HelpOnHelp, kMenuHelp, nullptr, kHelpOnHelp, "", "Как пользоваться справкой", M::Help, false},
    {Cmd::Instruction, kMenuHelp, nullptr, kHelpAbout, "", "Инструкция по работе с программой", M::Help, false},
};

const PanelButton kPanel[] = {
    {Cmd::Open, kPanelOpen, "Читать файл записей (F3)", M::RecordFiles},
    {Cmd::Save, kPanelSave, "Сохранить запись в файл (F4)", M::RecordFiles},
    {Cmd::Cut, kPanelCut, "Вырезать выделенный участок", M::Editing},
    {Cmd::Copy, kPanelCopy, "Копировать в буфер обмена", M::Editing},
    {Cmd::Paste, kPanelPaste, "Вставить из буфера обмена", M::Editing},
    {Cmd::Print, kPanelPrint, "Печать активного окна (F2)", M::RecordPrinting},
    {Cmd::GainDown, kPanelGainDown, "Уменьшить усиление", M::Monitor},
    {Cmd::GainUp, kPanelGainUp, "Увеличить усиление", M::Monitor},
    {Cmd::TimeDown, kPanelTimeDown, "Сжать по времени", M::Monitor},
    {Cmd::TimeUp, kPanelTimeUp, "Растянуть по времени", M::Monitor},
    {Cmd::FewerChannels, kPanelFewerChannels, "Показать меньше каналов", M::Monitor},
    {Cmd::MoreChannels, kPanelMoreChannels, "Показать больше каналов", M::Monitor},
    {Cmd::PrevEpoch, kPanelPrevEpoch, "Предыдущая эпоха анализа", M::Editing},
    {Cmd::NextEpoch, kPanelNextEpoch, "Следующая эпоха анализа", M::Editing},
    {Cmd::TimeAxes, kPanelTimeAxes, "Линии времени: основные, дополнительные, нет", M::MainWindow},
    {Cmd::AmplitudeAxes, kPanelAmplitudeAxes, "Границы каналов, нулевые линии и шкала амплитуды",
     M::MainWindow},
    {Cmd::PrevRecord, kPanelPrevRecord, "Предыдущая запись файла", M::RecordFiles},
    {Cmd::NextRecord, kPanelNextRecord, "Следующая запись файла", M::RecordFiles},
    {Cmd::ScoreboardToggle, kPanelScoreboard, "Показать или скрыть табло", M::Scoreboard},
};

}  // namespace

bool moduleAvailable(Module m) {
  const auto i = static_cast<std::size_t>(m);
  return i < kModules.size() && kModules[i].available;
}

const char* moduleName(Module m) {
  const auto i = static_cast<std::size_t>(m);
  return i < kModules.size() ? kModules[i].name : "";
}

std::span<const MenuEntry> menuEntries() { return kMenu; }
std::span<const PanelButton> panelButtons() { return kPanel; }

bool commandEnabled(Module m) { return moduleAvailable(m); }

std::string shownHint(const char* hint, Module m) {
  std::string h = hint ? hint : "";
  if (!commandEnabled(m)) {
    h += " \xE2\x80\x94 пока недоступно в этой версии (";
    h += moduleName(m);
    h += ")";
  }
  return h;
}

const MenuEntry* findMenuEntry(Cmd cmd) {
  for (const auto& e : kMenu)
    if (e.cmd == cmd) return &e;
  return nullptr;
}

const MenuEntry* findByShortcut(std::string_view key) {
  if (key.empty()) return nullptr;
  for (const auto& e : kMenu)
    if (key == e.shortcut) return &e;
  return nullptr;
}

}  // namespace velor::shell
