// Texts of the calculator "Калькулятор", the formula window and the formula editor.
#pragma once

namespace velor::calculator_texts {

inline constexpr const char* kCaption = "Калькулятор";
inline constexpr const char* kResultGroup = "Результат:";
inline constexpr const char* kExpression = "Выражение:";
inline constexpr const char* kCompute = "Вычислить";
inline constexpr const char* kComputeHint = "Вычислить выражение";
inline constexpr const char* kCancel = "Отменить";
inline constexpr const char* kCancelHint = "Выйти из калькулятора";
inline constexpr const char* kChan = "&1=chan";
inline constexpr const char* kARange = "&2=A-range";
inline constexpr const char* kAlreadyInOrder = "???";
inline constexpr const char* kNoLeadList = "Нет файла 10-20.txt";

// Formula window.
inline constexpr const char* kFormulasGroup = "Формулы";
inline constexpr const char* kEditor = "Редактор";
inline constexpr const char* kEditorHint = "Вызов редактора текущей формулы";
inline constexpr const char* kReadArchiveHint = "Чтение формул из архива";
inline constexpr const char* kWriteArchiveHint = "Запись формул в архив";
inline constexpr const char* kApprove = "Утвердить";
inline constexpr const char* kCancelFormulaHint = "Отменить формулу и меню";

// Formula editor.
inline constexpr const char* kEditorGroup = "Редактор формул";
inline constexpr const char* kFormulaLineHint = "Введите условие от допустимых от переменных";
inline constexpr const char* kVariables = "Перем";
inline constexpr const char* kFunctions = "Функции";
inline constexpr const char* kApproveHint = "Утвердить условие";
inline constexpr const char* kCancelConditionHint = "Отменить условие и меню";

}  // namespace velor::calculator_texts
