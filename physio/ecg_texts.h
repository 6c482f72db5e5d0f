// Texts of the ECG analysis: captions, messages and report lines.
#pragma once

namespace velor {

inline constexpr const char* kEcgTooFewIntervals = "Мало RR-интервалов: <3 или же есть артефакты!";
inline constexpr const char* kEcgNoSampleRate = "Частота дискретизации не задана: R-зубцы не выделить.";
inline constexpr const char* kEcgHalfWidthZero =
    "Полуширина R-зубца меньше половины отсчёта: ширина фильтра 0, R-зубцы не выделить.";
inline constexpr const char* kEcgRefractoryZero =
    "Макс.частота СС так велика, что шаг после R-зубца 0 отсчётов: R-зубцы не выделить.";
inline constexpr const char* kEcgNoValue = "—";
inline constexpr const char* kEcgFileNotRead = " не прочитан";
inline constexpr const char* kEcgFileNotWritten = " не записан: ";
inline constexpr const char* kEcgConstantIntervals = "RR-интервалы постоянны: спектра нет.";


// Captions and report pieces, as the program shows them (some words carry
// Latin letters; they are kept).
inline constexpr const char* kEcgWindowCaption = "Анализ ЭКГ";
inline constexpr const char* kEcgStatisticsCaption = "Статистика RR-интервалов";
inline constexpr const char* kEcgHistogramCaption = "Гистограмма RR-интервалов";
inline constexpr const char* kEcgScatterCaption = "Связь последовательных RR-интервалов";
inline constexpr const char* kEcgSpectrumCaption = "Спектр RR-интервалов";
inline constexpr const char* kEcgSpectrumTextCaption = "Параметры спектра";
inline constexpr const char* kEcgStatN = "N=";
inline constexpr const char* kEcgStatMean = " RRсред=";
inline constexpr const char* kEcgStatHr = " ЧСС=";
inline constexpr const char* kEcgStatDrr = " dRR=";
inline constexpr const char* kEcgStatSd = " Ст.откл=";
inline constexpr const char* kEcgStatCv = " Вариация=";
inline constexpr const char* kEcgStatBin = "Бин=";
inline constexpr const char* kEcgStatMode = " Мода=";
inline constexpr const char* kEcgStatAmo = " Ампл.моды=";
inline constexpr const char* kEcgStatSkew = "% Асимм.=";
inline constexpr const char* kEcgStatKurt = " Эксцесс=";
inline constexpr const char* kEcgBaevsky = "Показатели Баевского: ИВР=";
inline constexpr const char* kEcgBaevskyVpr = " ВПР=";
inline constexpr const char* kEcgBaevskyPapr = " ПАПР=";
inline constexpr const char* kEcgBaevskyIn = " ИН=";
inline constexpr const char* kEcgKaplan = "Индексы Каплана: ИДМ=";
inline constexpr const char* kEcgKaplanSat = " САТ=";
inline constexpr const char* kEcgKaplanIma = " ИМА=";
inline constexpr const char* kEcgRmssd = "RMSSD=";
inline constexpr const char* kEcgPnn50 = ", pNN50=";
inline constexpr const char* kEcgPss = "ПСС=";
inline constexpr const char* kEcgPsa = " ПСA=";
inline constexpr const char* kEcgDynMean = "Среднее=";
inline constexpr const char* kEcgDynSd = "   Cт.откл=";
inline constexpr const char* kEcgDynHr = "   ЧСС=";
inline constexpr const char* kEcgAxisInterval = "Интервал [с]";
inline constexpr const char* kEcgAxisAmplitude = "Амплитуда [мкВ]";
inline constexpr const char* kEcgAxisBeat = "Номер RR";
inline constexpr const char* kEcgAxisRr = "RR-интервал [мс]";
inline constexpr const char* kEcgAxisProbability = "%Вероятности";
inline constexpr const char* kEcgScaleQuestion = "Стандартный масштаб ЧСС=150-40?";
inline constexpr const char* kEcgAxisRhythm = "Частота ритма [Гц]";
inline constexpr const char* kEcgAxisRrChange = "Изменение RR [мс]";
inline constexpr const char* kEcgSpBands = "Диапазоны   :  1-VLF    2-LF     3-HF";
inline constexpr const char* kEcgSpAmax = "Amax [мс]   :";
inline constexpr const char* kEcgSpTmax = "Tmax [с]    :";
inline constexpr const char* kEcgSpAmean = "Aср [мс]    :";
inline constexpr const char* kEcgSpTmean = "Tcp [с]     :";
inline constexpr const char* kEcgSpPower = "Мощность [%]:";
inline constexpr const char* kEcgSpLf = "LF/(LF+HF)=";
inline constexpr const char* kEcgSpHf = "%  HF/(LF+HF)=";
inline constexpr const char* kEcgSpLfHf = "  LF/HF=";
inline constexpr const char* kEcgDiagHead = "     Среднее    Min    Max";
inline constexpr const char* kEcgDiagHr = "      ЧСС=";
inline constexpr const char* kEcgDiagAxis = "    ЭОС=";
inline constexpr const char* kEcgLeadHead = "        I     II    III    aVr    aVl    aVf     V1     V2     V3     V4     V5     V6";
inline constexpr const char* kEcgDynamicsCaptions[10] = {
    "Динамика RR-интервала",
    "Динамика PQ-интервала",
    "Динамика QRS-интервала",
    "Динамика QT-интервала",
    "Динамика ST-сегмента",
    "Динамика T-зубца",
    "Динамика P-зубца",
    "Динамика Q-зубца",
    "Динамика R-зубца",
    "Динамика S-зубца",
};
// The conclusion rules 1..30 in table order.
inline constexpr const char* kEcgRuleTexts[30] = {
    "P-аномалия: P>0.04mV",
    "Синусовая тахикардия: P>0.02mV, ЧСС>80",
    "Синусовая аритмия: P>0.02mV, ЧСС=60-80, dRR>10%",
    "Синусовый ритм: P>0.02mV, ЧСС=60-80, dRR<10%",
    "Синусовая брадикардия: P>0.02mV, ЧСС<60",
    "Нодальный ритм: P<0.02mV, ЧСС<60, dRR<10%",
    "Регулярный ритм без Р-волны: P<0.02mV, RR>60, dRR<10%",
    "Вентрикулярная тахикардия: P<0.02mV, QRS>0.15s, ЧСС>150, dRR<10%",
    "Резкое отклонение ЭОС влево: -90,-30 град.",
    "Отклонение ЭОС влево: -30,0 град.",
    "Нормальная ЭОС: 0-90 град.",
    "Отклонение ЭОС вправо: 90-110 град.",
    "Резкое отклонение ЭОС вправо: 110-180 град.",
    "Аномальное ЭОС-положение: -90,-180 град.",
    "Антеросептальное сyбендокард.поврежд: ST<-0.25mV в Vi",
    "Распределенная сyбендокард.поврежд: ST<-0.1 в II,aVf",
    "Антеросептальная ишемия справа: ST<-0.2mV в V1/V2/V3",
    "Антеросептальная ишемия слева: ST<-0.2mV в V4/V5/V6",
    "Латеральная ишемия слева: ST<-0.1mV в I/aVl",
    "Латеральная ишемия справа: ST<-0.1mV в II/aVr",
    "Повышение ST: ST>0.2mV в двух Vi или двух I,III,aVf",
    "Повышение Т-амплитуды: T>0.3*R",
    "Отрицательная Т-амплитуда",
    "WPW/CLC-симптом: QRS>0.13s, PQ<0.12s",
    "RS-переходная зона в Vi смещена вправо: R/S>3 в V2",
    "RS-переходная зона в Vi смещена влево: R/S<0.75 в V5",
    "Удлиненный PR-интервал: PR>23*(10*RR)",
    "Левовентрикулярная гипертония",
    "Правовентрикулярная гипертония",
    "Возможна правовентрикулярная гипертония",
};
inline constexpr const char* kEcgLeadNames[12] = {"I", "II", "III", "aVr", "aVl", "aVf", "V1", "V2", "V3", "V4", "V5", "V6"};

}  // namespace velor
