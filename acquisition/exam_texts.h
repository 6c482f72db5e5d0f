// Texts of the examination plan, the acquisition engine and their windows.
#pragma once

namespace velor::exam_texts {

// Captions, hints and questions shown to the person.
inline constexpr const char* kOverwriteQuestion = "Файл уже существует, перезаписать?";
inline constexpr const char* kSkippedByRate = "Пропущено отсчетов: а) по высокой частоте=";
inline constexpr const char* kSkippedByInterrupt = "; б) по отмене прерываний=";
inline constexpr const char* kWindowTooLarge = "Сократите размер окна Velor, максимальный размер 1920*1200";
inline constexpr const char* kEnterRecordName = "Введите имя файла записи";
inline constexpr const char* kStatusPlan = "План=";
inline constexpr const char* kStatusFile = ", файл=";
inline constexpr const char* kStatusHz = "Гц";
inline constexpr const char* kStatusRecords = " Зап:";
inline constexpr const char* kStatusRecordingOn = " ЗапВкл";
inline constexpr const char* kStopHint = "Остановить исследование";
inline constexpr const char* kStopButton = "Stop";
inline constexpr const char* kRecordHint = "Включить/выключить запись";
inline constexpr const char* kStart = "Старт";
inline constexpr const char* kCancel = "<Esc>=Отменить";
inline constexpr const char* kExamMenu = "F9=Исследование";
inline constexpr const char* kExpress = "Экспресс-анализ";
inline constexpr const char* kPresent = "Есть";
inline constexpr const char* kAbsent = "Нет";
inline constexpr const char* kDiscrete = "Дискретн.сигналы";
inline constexpr const char* kMonitor = "Монитор";
inline constexpr const char* kDeferred = "Отлож";
inline constexpr const char* kCompress = "Сжать=";
inline constexpr const char* kShownMax = "Nmax=";
inline constexpr const char* kInterval = "Интервал=";
inline constexpr const char* kRate = "Частота=";
inline constexpr const char* kChannels = "Отведений=";
inline constexpr const char* kProtocol = "Протокол";
inline constexpr const char* kConstructor = "&K=Конструктор";
inline constexpr const char* kRead = "Читать";
inline constexpr const char* kSave = "Сохранить";
inline constexpr const char* kHeader = "Заголовок";
inline constexpr const char* kNames = "Обозначение";
inline constexpr const char* kLeads = "Отведения";
inline constexpr const char* kLeadsHint = "Установка отведений и усиления";
inline constexpr const char* kAmplifier = "Усилитель";
inline constexpr const char* kInterrupts = "режим прерываний";
inline constexpr const char* kPlanFilter = "Планы (*.cap)|*.cap";
inline constexpr const char* kDiagnostics = "Диагностика";
inline constexpr const char* kAthletes = "Спортсменов=";
inline constexpr const char* kRecordFileLabel = "Файл записи:";
inline constexpr const char* kAthleteNames = "ФИО спортсменов";
inline constexpr const char* kTrial = "Проба";
inline constexpr const char* kRelaxation = "Релаксация";
inline constexpr const char* kLoad = "Нагрузка";
inline constexpr const char* kEcgAnalysis = "Анализ ЭКГ";
inline constexpr const char* kPlanMenu = "Меню планирования";
inline constexpr const char* kMoreChannels = "Больше каналов";
inline constexpr const char* kFewerChannels = "Меньше каналов";
inline constexpr const char* kGainDown = "Понизить тек.канал";
inline constexpr const char* kGainUp = "Усилить тек.канал";
inline constexpr const char* kCompressT = "Сжать t";
inline constexpr const char* kStretchT = "Растянуть t";
inline constexpr const char* kOutputs = "упр=";
inline constexpr const char* kOutputHint = "Управл.сигнал ";
inline constexpr const char* kTest = "Тест";
inline constexpr const char* kTestHint = "Подача тестового сигнала на все каналы";
inline constexpr const char* kHighPass = "фВЧ=";
inline constexpr const char* kLowPass = "фНЧ=";
inline constexpr const char* kChannel = "Канал=";
inline constexpr const char* kRecordOn = "Вкл";
inline constexpr const char* kRecordOff = "Выкл";
inline constexpr const char* kStudy = "Исследование";
inline constexpr const char* kReference = "Референт=";
inline constexpr const char* kFileList = "Файл";
inline constexpr const char* kSymmetr = "symmetr";
inline constexpr const char* kA1 = "А1";
inline constexpr const char* kA2 = "А2";
inline constexpr const char* kA1A2 = "А1+А2";
inline constexpr const char* kExpressModes = "Режимы";
inline constexpr const char* kExpressKinds[] = {"&0=нет", "&1=ЭЭГ-спектр", "&2=ЭЭГ-карта", "&3=ВП-усреднение",
                                                "&4=ЭКГ-монитор", "&5=Амплит.волн", "&6=Период волн", "&7=Пользователя"};
inline constexpr const char* kExpressBand = "Диап=";
inline constexpr const char* kExpressFourBands = "4 диапазона";
inline constexpr const char* kExpressGain = "КУ=";
inline constexpr const char* kExpressArtefact = "Артеф=";
inline constexpr const char* kExpressMax = "Мах=";
inline constexpr const char* kExpressMin = "Min=";
inline constexpr const char* kExpressAll = "Все";
inline constexpr const char* kRecordFileBox = "Файл записи";
inline constexpr const char* kEnterFileName = "Введите имя файла";
inline constexpr const char* kConfirm = "Утвердить";
inline constexpr const char* kDismiss = "Отменить";
inline constexpr const char* kSpectraTitle = "Диаграммы спектра";
inline constexpr const char* kSpectrumBands = "Спектр диапазонов";
inline constexpr const char* kBandLegend = "Дельта Тета Альфа Бета1 Бета2";
inline constexpr const char* kAverageCaption = "Усреднение ВП";
inline constexpr const char* kWaveAmplitudes = "Анализ амплитуд волн";
inline constexpr const char* kWavePeriods = "Анализ периодов волн";
inline constexpr const char* kAverageTitle = "Усреднение";
inline constexpr const char* kRrTitle = "RR-интервалы";
inline constexpr const char* kStTitle = "ST-сегмент";
inline constexpr const char* kRrDiagramsTitle = "RR-диаграммы";
// The side window's own notes.
inline constexpr const char* kMapNoElectrodes = "Нет каналов с положением на схеме головы";
inline constexpr const char* kNoWaves = "Волны не найдены";
inline constexpr const char* kResponses = "Ответов: ";
inline constexpr const char* kRejected = ", отвергнуто: ";
inline constexpr const char* kWaveChannel = "Канал ";
inline constexpr const char* kWaitingRecord = "Ждём конца записи";
inline constexpr const char* kFile = "Файл";
// Refusals of a plan file: kPlanRefused + what + the value found.
inline constexpr const char* kPlanRefused = "План не прочитан: ";
inline constexpr const char* kPlanShort = "файл короче заголовка плана";
inline constexpr const char* kPlanChannels = "число каналов";
inline constexpr const char* kPlanRate = "частота";
inline constexpr const char* kPlanLength = "длина записи";
inline constexpr const char* kPlanMarks = "референт или дискретные сигналы";
inline constexpr const char* kPlanPairs = "пары отведений";
inline constexpr const char* kPlanOrder = "вход канала";
inline constexpr const char* kPlanExpress = "вид экспресс-анализа";
inline constexpr const char* kPlanReference = "вид референта";
inline constexpr const char* kPlanExpressChannel = "канал экспресс-анализа";
inline constexpr const char* kPlanBand = "номер диапазона";
inline constexpr const char* kPlanDecimation = "сжатие";
inline constexpr const char* kPlanMonitor = "режим монитора";
inline constexpr const char* kPlanGain = "шаг усиления";
inline constexpr const char* kPlanNotRead = "Не удалось прочитать план ";
inline constexpr const char* kPlanNotWritten = "Не удалось записать план ";

// The engine.
inline constexpr const char* kFileNotCreated = "Не удалось создать файл записи ";
inline constexpr const char* kDiskFull = "Запись остановлена: не удалось записать на диск (нет места?). Сохранено записей: ";
inline constexpr const char* kDeviceFailed = "Исследование остановлено: ";
inline constexpr const char* kNoRecordFile = "Файл записи не задан";
inline constexpr const char* kProtocolLater = "Протоколы исследования будут подключены позже";
inline constexpr const char* kExpressLater = "Этот экспресс-анализ будет подключён позже";
inline constexpr const char* kInstrumentsLater = "Виртуальные приборы будут подключены позже";
inline constexpr const char* kStimulatorLater = "Стимулятор будет подключён позже";
inline constexpr const char* kBadRecordLength = "Длина записи вне допустимых пределов: ";

}  // namespace velor::exam_texts
