// Captions and messages of the map window, its tool window "Карты" and the
// card file window. Generated from the reference texts; keep them byte for byte.
#pragma once

namespace velor::map_text {

inline constexpr const char* kMapTitle = "Карта";
inline constexpr const char* kToolTitle = "Карты";
inline constexpr const char* kCardTitle = "Картотека";
inline constexpr const char* kColour = "цвет";
inline constexpr const char* kCardExtension = ".cam";
inline constexpr const char* kCardFilter = "Карты (*.cam)|*.cam|Граф.файлы (*.bmp)|*.bmp";
inline constexpr const char* kAmplitudeMapsButton = "&0=АмплКарты";
inline constexpr const char* kAsymSuffix = "-Асим";
inline constexpr const char* kDash = "-";
inline constexpr const char* kModeMulti = "Мульти";
inline constexpr const char* kModeSeries = "Серия";
inline constexpr const char* kCaptionSeparator = ": ";
inline constexpr const char* kAsym = "Асим";
inline constexpr const char* kCardRead = "  Читать   ";
inline constexpr const char* kCardAverage = "&1=Усреднить";
inline constexpr const char* kCardAverageFiles = "&2=  -- файлы";
inline constexpr const char* kCardCompare = "&3=Сравнить";
inline constexpr const char* kCardCompareFiles = "&4=  -- файлы";
inline constexpr const char* kCardSave = "Сохранить";
inline constexpr const char* kCardPrint = "Печать";
inline constexpr const char* kClose = "Закрыть";
// Units written at the colour bar (this system's own).
inline constexpr const char* kUnitMicrovolts = "мкВ";
inline constexpr const char* kUnitMicrovoltsSquared = "мкВ²";
inline constexpr const char* kUnitHertz = "Гц";
inline constexpr const char* kCardMismatch = "Несовпадение параметров карт";
inline constexpr const char* kModeLabel = "Режим картирования";
inline constexpr const char* kStart = "&Start";
inline constexpr const char* kStartHint = "Повторение мультипликации";
inline constexpr const char* kMeasureLabel = "Показатель:";
inline constexpr const char* kBandHint = "Выбор спектрального диапазона";
inline constexpr const char* kSpectrumButton = "&1=Спектр";
inline constexpr const char* kCardButton = "&4=Картотека";
inline constexpr const char* kAsymHint = "Включение/выключение асимметрии";
inline constexpr const char* kColourHint = "Цветные/ЧБ карты";
inline constexpr const char* kBandsButton = "&2=Диапазоны";
inline constexpr const char* kEpochsButton = "&3=Эпохи";
inline constexpr const char* kExport = "Экспорт";
inline constexpr const char* kImport = "Импорт";
inline constexpr const char* kReadTable = "R";
inline constexpr const char* kReadTableHint = "Чтение спектр.карт испытуемых";
inline constexpr const char* kToNotebook = "Занести в блокнот";
inline constexpr const char* kCopy = "Копировать";
inline constexpr const char* kCut = "Вырезать";
inline constexpr const char* kPaste = "Вставить";
inline constexpr const char* kInterrupted = "Прерывание: ";
inline constexpr const char* kCountLabel = "n=";
inline constexpr const char* kScaleV = "V:0-";
inline constexpr const char* kScaleZ = "Z:+-";
// Measure suffixes by transformKind (empty where a kind has none).
inline constexpr const char* kKindSuffix[11] = {
    "",
    "-Мощность",
    "-КроссАмпл",
    "-Фаза",
    "-Когерентн",
    "-КогерМощн",
    "-Корреляц",
    "-синхронность",
    "",
    "",
    "-Огибающая",
};
// "Показатель:" items, bandMode 0..3.
inline constexpr const char* kMeasureNames[4] = {"Aср", "Аmax", "Fcp", "Fmax"};
// Row labels of the card statistics: single card, comparison.
inline constexpr const char* kCardRows[3] = {"E", "S", "V"};
inline constexpr const char* kCompareRows[3] = {"T", "E", "Z"};
inline constexpr const char* kTestLabels[6] = {"W", "sgn", "D", "sgn", "S", "sgn"};
inline constexpr const char* kSignificant = "#";

}  // namespace velor::map_text
