// Messages and captions of the polygraph tools.
#pragma once

namespace velor {

inline constexpr const char kPoliCount[] = "Число событий=";
inline constexpr const char kPoliTooFew[] = "Мало событий: <3!";
inline constexpr const char kPoliTooMany[] = "Много событий: >500!";
inline constexpr const char kPoliAmplitudeMean[] = "Средняя амплитуда=";
inline constexpr const char kPoliIntervalMean[] = "Средний интервал=";
inline constexpr const char kPoliSd[] = "   Cт.откл=";
// Not given by the window itself: the guards of the histograms and tables.
inline constexpr const char kPoliTableFull[] =
    "Таблица событий заполнена (2048): подсчёт остановлен, остальные события не учтены";
inline constexpr const char kPoliHistTooFew[] = "Гистограмма: нужно не меньше двух значений";
inline constexpr const char kPoliHistNoBins[] = "Гистограмма: число бинов должно быть не меньше 1";
inline constexpr const char kPoliHistEqual[] = "Гистограмма: все значения равны, ширина класса равна нулю";
inline constexpr const char kPoliHistFlat[] = "Гистограмма: дисперсия D = 0, асимметрия и эксцесс не определены";
inline constexpr const char kPoliFormulaFault[] = "Ошибка вычисления формулы: ";

inline constexpr const char kPoliCaption[] = "Полиграфия";
inline constexpr const char kPoliSettingsFile[] = "qpoli.ini";
inline constexpr const char kPoliDioFile[] = "Dio.ini";
inline constexpr const char kPoliToleranceLabel[] = "Границы[%]=";
inline constexpr const char kPoliToleranceHint[] = "Процентные границы чувствительности";
inline constexpr const char kPoliDeadTimeLabel[] = "Интервал [c]=";
inline constexpr const char kPoliDeadTimeHint[] = "Интервал нечувствительности";
inline constexpr const char kPoliExtractLabel[] = "=режим";
inline constexpr const char kPoliExtractHint[] = "Режим выделения/вставления меток";
inline constexpr const char kPoliAllRecordsLabel[] = "Все записи";
inline constexpr const char kPoliAllRecordsHint[] = "Помск и подсчет для всех записей";
inline constexpr const char kPoliHzLabel[] = "Cчитать в ГЦ";
inline constexpr const char kPoliHzHint[] = "Пересчет гтстограммы в герцах";
inline constexpr const char kPoliMinLabel[] = "Min [мc]=";
inline constexpr const char kPoliMinHint[] = "Левая граница учитываеых интервалов";
inline constexpr const char kPoliMaxLabel[] = "Max=";
inline constexpr const char kPoliMaxHint[] = "Правая граница учитываеых интервалов";
inline constexpr const char kPoliBinsLabel[] = "Бинов=";
inline constexpr const char kPoliBinsHint[] = "Число бинов гистограммы";
inline constexpr const char kPoliSearchTitle[] = "Условие поиска";
inline constexpr const char kPoliSearchFormulaFile[] = "StFp.ini";
inline constexpr const char kPoliEventsGroup[] = "События";
inline constexpr const char kPoliMarkGroup[] = "Выделить";
inline constexpr const char kPoliCancelButton[] = "<Esc>=Отменить";
inline constexpr const char kPoliCancelHint[] = "Отменить меню";
inline constexpr const char kPoliAmplitudeDynamicsCaption[] = "Временная динамика амплитуд";
inline constexpr const char kPoliIntervalDynamicsCaption[] = "Временная динамика интервалов";
inline constexpr const char kPoliAmplitudeAxis[] = "Амплитуды [мкВ]";
inline constexpr const char kPoliIntervalAxis[] = "Интервалы [сек]";
inline constexpr const char kPoliIntervalHistogramCaption[] = "Гистограмма интервалов событий";
inline constexpr const char kPoliAmplitudeHistogramCaption[] = "Гистограмма амплитуд событий";
inline constexpr const char kPoliIntervalMsAxis[] = "Интервалы [мс]";
inline constexpr const char kPoliProbabilityAxis[] = "%Вероятности";
inline constexpr const char kPoliIntervalStatisticsCaption[] = "Статистика интервалов событий";
inline constexpr const char kPoliAmplitudeStatisticsCaption[] = "Статистика амплитуд событий";
// The window's commands in order: caption and hint.
inline constexpr const char* kPoliButtons[10][2] = {
    {"&1=Дискретные сигналы", "Расшифровка дискретных сигналов"},
    {"&2=Найти событие", "Поиск события"},
    {"&3=Число событий", "Подсчет числа событий"},
    {"&4=Динамика интервалов", "Временная динамика межсобытийных интервалов"},
    {"&5=Динамика амплитуд", "Временная динамика амплитуд событий"},
    {"&6=Гистограмма интервалов", "Гистограмы распределения амплитуд и интервалов событий"},
    {"&7=Гистограмма амплитуд", "Гистограмы распределения амплитуд и интервалов событий"},
    {"&8=Максимумы", "Выделить максимумы"},
    {"&9=Минимумы", "Выделить минимумы"},
    {"&A=Экстремумы", "Выделить экстремумы"},
};
// Not given by the window: names of digital inputs that "Dio.ini" leaves out.
inline constexpr const char kPoliDefaultInputName[] = "Вход ";
inline constexpr const char kPoliBadChannel[] = "Нет такого канала";
inline constexpr const char kPoliNoReference[] =
    "Нет образца полуволны: выделите курсором и якорем полуволну, похожую на искомые";

}  // namespace velor
