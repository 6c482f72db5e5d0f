// Texts of the evoked-potential averaging as the person sees them.
#pragma once

namespace velor {

inline constexpr const char* kEpWrongReferenceKind = "Ошибка типа опорной точки!";
inline constexpr const char* kEpWrongReferenceParameter = "Ошибка параметра опорной точки";
inline constexpr const char* kEpWrongEpoch = "Ошибка задания эпохи";
inline constexpr const char* kEpTooLongPrefix = "Эпоха превышает длину записи. Укоротить эпоху до ";
inline constexpr const char* kEpTooLongSuffix = "с?";
inline constexpr const char* kEpNoSelection = "Ошибка маркера";
inline constexpr const char* kEpNothingAveraged = "Установленным параметрам усреднения не соответствует ни одна запись !";
inline constexpr const char* kEpRejectedPrefix = "Исключено из усреднения по наличию артефактов ";
inline constexpr const char* kEpRejectedSuffix = " записей";
inline constexpr const char* kEpStepRecord = "Запись=";
inline constexpr const char* kEpStepAveraged = "   Усреднено=";
inline constexpr const char* kEpStepNext = "Следующий шаг показать?";
inline constexpr const char* kEpStepHint = "(\"Нет\" = до конца, \"Abort\" = прервать)";
inline constexpr const char* kEpCaption = "Анализ ВП";
inline constexpr const char* kEpAmplitudes = "Амплитуды";
inline constexpr const char* kEpLatencies = "Латентности";
inline constexpr const char* kEpArchiveFilter = "Усреднения (*.cav)|*.cav";
inline constexpr const char* kEpArchiveRead = "Чтение установок из архива";
inline constexpr const char* kEpArchiveWrite = "Запись установок в архив";
inline constexpr const char* kEpConditionCaption = "Условие усреднения";
inline constexpr const char* kEpErdCaption = "Фильтрация ERS/ERD";

// Our own messages for inputs that would divide by zero or cannot be served.
inline constexpr const char* kEpExternalUnavailable = "Опорная точка P недоступна: нет библиотеки платы преобразователя, точки не будут найдены";
inline constexpr const char* kEpZeroCalibration = "Уровень артефактов не задать: нулевая калибровка первого канала или уровень меньше кода";
inline constexpr const char* kEpGainAboveCalibration = "Усиление больше калибровки канала ";
inline constexpr const char* kEpErdBand = "Ошибка задания полосы ERS/ERD";
inline constexpr const char* kEpErdZeroBaseline = "ERS/ERD: нулевая мощность в фоновом интервале";

}  // namespace velor
