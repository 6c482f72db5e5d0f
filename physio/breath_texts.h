// Messages and captions of the breathing graph.
#pragma once

namespace velor {

inline constexpr const char kBreathCaption[] = "Показатели дыхательного ритма";
inline constexpr const char kBreathMeanPeriod[] = "Средний период=";
inline constexpr const char kBreathPeriodSd[] = " c      Ст.откл.=";
inline constexpr const char kBreathMeanAmplitude[] = "Средняя амплитуда=";
inline constexpr const char kBreathAmplitudeSd[] = "     Ст.откл.=";
// Not given by the breathing graph itself: said when no period exists.
inline constexpr const char kBreathTooFew[] = "Мало вдохов: меньше двух, период не определён";
inline constexpr const char kBreathTableFull[] =
    "Таблица вдохов заполнена (2047): поиск остановлен, остальная часть записи не просмотрена";

inline constexpr const char kBreathIndexAxis[] = "№ вдоха";
inline constexpr const char kBreathPeriodAxis[] = "Период [с]";
inline constexpr const char kBreathAmplitudeAxis[] = "Амплитуда";

}  // namespace velor
