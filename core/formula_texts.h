// Messages of the formula language.
#pragma once

namespace velor::formula_texts {

// Compilation: the message, ": " and the formula from the error position on.
inline constexpr const char* kNoSuchSeparator = "Нет такого разделителя";
inline constexpr const char* kBadConstant = "!ОШИБКА КОНСТАНТЫ!";
inline constexpr const char* kNoSuchFunction = "Нет такой функции";
inline constexpr const char* kNoSuchVariable = "Нет такой переменной";
inline constexpr const char* kNoClosingBracket = "Нет закрывающей скобки";
inline constexpr const char* kOperationError = "Ошибка операции";
// Nesting or length beyond what a formula needs (and a stack can hold).
inline constexpr const char* kTooComplex = "Формула слишком сложна";

// Evaluation faults.
inline constexpr const char* kDivisionByZero = "Деление на ноль";
inline constexpr const char* kIndexOutside = "Индекс вне массива";
inline constexpr const char* kDomain = "Аргумент вне области определения функции";
inline constexpr const char* kOverflow = "Переполнение";
inline constexpr const char* kNoStudy = "Нет записи";

}  // namespace velor::formula_texts
