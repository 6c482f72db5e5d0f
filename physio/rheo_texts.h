// Texts of the rheography: captions, messages and report pieces, as the
// program shows them (typos and mixed letters kept).
#pragma once

namespace velor {

inline constexpr const char* kRegWindowCaption = "Анализ РГ";
inline constexpr const char* kRegTooFewWaves = "Мало реоволн или неправильно установлены каналы!";
inline constexpr const char* kRegNoNorms = "Отсутствует файл нормативов REO.NRM";
inline constexpr const char* kRegNormFile = "reo.nrm";
inline constexpr const char* kRegSettingsFile = "qreg.ini";
inline constexpr const char* kRegPatientFile = "qgdin.ini";
inline constexpr const char* kRegStatisticsCaption = "Статистика реограммы";
inline constexpr const char* kRegPair12 = "Реоотведения 1,2";
inline constexpr const char* kRegPair45 = "Реоотведения 4,5";
inline constexpr const char* kRegHeader =
    "Показатель P           P1    СтО  норма    P2    СтО  норма  Асимм норма";
inline constexpr const char* kRegIps = "ИПС=";
inline constexpr const char* kRegWaves = "Реоволн=";
inline constexpr const char* kRegLow = "  мН  ";
inline constexpr const char* kRegHigh = "  бН  ";
inline constexpr const char* kRegNoMark = "      ";
inline constexpr const char* kRegPropagationTitle = "Время распростр.реоволны в покое";
inline constexpr const char* kRegPropagationPrompt = "Введите значение в мс";
inline constexpr const char* kRegNoValue = "—";
inline constexpr const char* kRegWaveNumber = "Номер РВ";
inline constexpr const char* kRegMeanText = "Среднее=";
inline constexpr const char* kRegSdText = "   Cт.откл=";
inline constexpr const char* kRegAmplitudeTitle = "Амплитуда [ом]";
inline constexpr const char* kRegTimeTitle = "Время [с]";
inline constexpr const char* kRegAverageCaption = "Усредненная РГ-волна";
inline constexpr const char* kRegAverageTextCaption = "Показатели усредненной РГ-волны";
inline constexpr const char* kRegHemoCaption = "Показатели гемодинамики";

// Statistics captions of the twelve indices (19 characters each).
inline constexpr const char* kRegIndexCaptions[12] = {
    "Модуль упругости   ", "Дикротич.индекс    ", "Диастолич.индекс   ", "Ампл.систол.волны  ",
    "Длительность волны ", "Время распространен", "Время ситолич.волны", "Индекс замедления  ",
    "Время быстр.наполн.", "Время медл.наполн. ", "Ампл.диастол.волны ", "Время диастол.волны"};
// Dynamics captions of indices 1..8.
inline constexpr const char* kRegDynamicsCaptions[8] = {
    "Динамика модуля упругости",           "Динамика дикротического индекса",
    "Динамика диастолического индекса",    "Динамика амплитуды систолической волны",
    "Динамика длительности Рг-волны",      "Динамика времени распространения Рг-волны",
    "Динамика времени систолической волны", "Динамика индекса замедления"};

// Not the program's own: the mends this system adds.
inline constexpr const char* kRegCapacity = "Реоволн больше 2046: анализ остановлен на первых 2046.";
inline constexpr const char* kRegBadNorms = "Файл нормативов REO.NRM не соответствует формату: ";
inline constexpr const char* kRegAverageTooLong =
    "Средняя РГ-волна длиннее 998 отсчётов: усреднение невозможно.";
inline constexpr const char* kRegNoHemodynamics =
    "Средняя РГ-волна или базовое сопротивление не позволяют оценить гемодинамику.";
inline constexpr const char* kRegNoEcg = "Нет канала ЭКГ (канал 3) или частоты дискретизации.";

}  // namespace velor
