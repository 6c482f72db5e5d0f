// Messages, reasons and unit names of the EDF reader and exporter, kept in one
// place so the code and the tests use the same bytes. Many are fragments joined
// with file names, numbers and reasons.
#pragma once

namespace velor::edf_text {

// reason a page cannot be read; follows kPageCannotBeRead or kFileCannotBeRead
inline constexpr const char* kReadError = "ошибка чтения файла";
// reasons a signal gets no 16-bit code scale
inline constexpr const char* kSignalQuotePrefix = "сигнал «";
inline constexpr const char* kNoScaleFromPhysicalRange = "»: физический диапазон не задаёт шкалу";
inline constexpr const char* kScaleStepTooLarge = "»: шаг шкалы больше 65535 мкВ на код";
// sex field of a written header
inline constexpr const char* kEdfSexMale = "М";
inline constexpr const char* kEdfSexFemale = "Ж";
// page messages: "Страница N файла NAME ..."
inline constexpr const char* kPagePrefix = "Страница ";
inline constexpr const char* kOfFile = " файла ";
inline constexpr const char* kPageSamplesClipped = " отсчётов не помещаются в 16-разрядные коды каналов и ограничены.";
inline constexpr const char* kPageCannotBeRead = " не может быть прочитана: ";
// physical dimensions recognised as volts
inline constexpr const char* kUnitMicrovolt = "мкВ";
inline constexpr const char* kUnitMicrovoltLower = "мкв";
inline constexpr const char* kUnitMillivolt = "мВ";
inline constexpr const char* kUnitMillivoltLower = "мв";
inline constexpr const char* kUnitVolt = "В";
// reasons an EDF header is refused; they follow kFileCannotBeRead
inline constexpr const char* kUnknownSampleWidth = "неизвестная ширина отсчёта";
inline constexpr const char* kShorterThanHeaderPrefix = "файл короче заголовка EDF (";
inline constexpr const char* kBytesOf256Suffix = " байт из 256)";
inline constexpr const char* kSignalCountQuotePrefix = "число сигналов «";
inline constexpr const char* kSignalCountMustBeInteger = "» должно быть целым от 1 до ";
inline constexpr const char* kHeaderSizeQuotePrefix = "размер заголовка «";
inline constexpr const char* kQuoteNotANumber = "» не число";
inline constexpr const char* kHeaderSizePrefix = "размер заголовка (";
inline constexpr const char* kHeaderSizeTooSmall = ") меньше 256 × (число сигналов + 1) = ";
inline constexpr const char* kHeaderPrefix = "заголовок (";
inline constexpr const char* kHeaderLongerThanFile = " байт) длиннее файла (";
inline constexpr const char* kBytesSuffix = " байт)";
inline constexpr const char* kRecordDurationQuotePrefix = "длительность записи данных «";
inline constexpr const char* kRecordDurationMustBePositive = "» должна быть числом больше 0";
inline constexpr const char* kRecordCountQuotePrefix = "число записей данных «";
inline constexpr const char* kSignalNumberPrefix = "сигнал ";
inline constexpr const char* kSamplesPerRecordQuotePrefix = "число отсчётов в записи «";
inline constexpr const char* kSamplesPerRecordPrefix = "число отсчётов в записи (";
inline constexpr const char* kMustBePositive = ") должно быть больше 0";
inline constexpr const char* kDataRecordLongerThanFile = "запись данных длиннее всего файла";
inline constexpr const char* kRangeNotANumber = "физический или цифровой диапазон не число";
inline constexpr const char* kDigitalMinimumPrefix = "цифровой минимум (";
inline constexpr const char* kNotBelowMaximum = ") не меньше максимума (";
inline constexpr const char* kPhysicalMinimumEqualsMaximum = "физический минимум равен максимуму";
inline constexpr const char* kNoDataSignals = "в файле нет сигналов данных";
inline constexpr const char* kSamplingRatePrefix = "частота дискретизации (";
inline constexpr const char* kSamplingRateOutOfRange = " Гц) вне 1..65535 Гц";
inline constexpr const char* kRecordCountPrefix = "число записей данных (";
inline constexpr const char* kHeaderClaimsPrefix = "в заголовке ";
inline constexpr const char* kRecordsButFileHolds = " записей данных, а файл вмещает ";
inline constexpr const char* kFileShorterThanHeaderSays = " (файл короче, чем указывает заголовок)";
inline constexpr const char* kNoCompleteDataRecord = "в файле нет ни одной полной записи данных";
inline constexpr const char* kOpenFailed = "не удалось открыть файл";
// messages on opening an EDF file
inline constexpr const char* kCannotOpenFile = "Не удалось открыть файл ";
inline constexpr const char* kFilePrefix = "Файл ";
inline constexpr const char* kFileCannotBeRead = " не может быть прочитан: ";
inline constexpr const char* kFirstSignalsRead = ": прочитаны первые ";
inline constexpr const char* kSignalsMore = " сигналов данных, ещё ";
inline constexpr const char* kSignalsLeftOut = " не поместились в таблицу каналов и не показаны.";
inline constexpr const char* kMicrovoltSuffix = " мкВ";
inline constexpr const char* kOffsetChannelsPrefix = ": постоянная составляющая каналов ";
inline constexpr const char* kOffsetNotRepresentable = " не помещается в 16-разрядные коды рядом с сигналом; значения показаны за её вычетом.";
inline constexpr const char* kLongerThan = " длиннее ";
inline constexpr const char* kPagesFirstAvailable = " страниц; доступны первые ";
// reasons a page cannot be moved to
inline constexpr const char* kEdfNotOpen = "файл EDF не открыт";
inline constexpr const char* kNoPagePrefix = "нет страницы ";
// refusals when an edited page is written back
inline constexpr const char* kPageChangesNotSaved = "Изменения страницы не записаны в файл ";
inline constexpr const char* kOpenedReadOnly = "файл открыт только для чтения.";
inline constexpr const char* kChannelCountPrefix = "число каналов (";
inline constexpr const char* kDiffersFromFileSignals = ") отличается от числа сигналов файла (";
inline constexpr const char* kPageDiffersFromRead = "страница в памяти не совпадает с прочитанной.";
inline constexpr const char* kWriteErrorSentence = "ошибка записи файла.";
// marks written back as EDF+ annotations: the text of a mark's annotation is
// this and the name of the channel it was set in ("Метка Fp1")
inline constexpr const char* kMarkAnnotationPrefix = "Метка ";
inline constexpr const char* kMarksNeedAnnotationSignalPrefix = "меток на странице: ";
inline constexpr const char* kMarksNeedAnnotationSignal =
    "; в файле нет сигнала аннотаций EDF+, и метки в нём сохранить нельзя. Уберите метки («Метки» → «Убрать все») или не записывайте изменения.";
inline constexpr const char* kNoRoomInDataRecordPrefix = "в записи данных ";
inline constexpr const char* kNoRoomForMark = " нет места для аннотации «";
inline constexpr const char* kFileUnchanged = "»; файл не изменён.";
inline constexpr const char* kEditedSamplesClipped = " изменённых отсчётов вне цифрового диапазона сигналов записаны по его границе.";
// refusals while records are exported into an EDF file
inline constexpr const char* kRecordsUnreadable = "записи файла не читаются";
inline constexpr const char* kFollowingRecordsUnreadable = "записи после текущей не читаются: ";
inline constexpr const char* kMemoryChannelCountPrefix = "число каналов в памяти (";
inline constexpr const char* kDiffersFromFileChannels = ") отличается от числа каналов файла (";
inline constexpr const char* kTooManyDataRecords = "записей данных больше, чем вмещает заголовок EDF.";
inline constexpr const char* kRecordNumberPrefix = "запись ";
inline constexpr const char* kNotReadable = " не читается";
inline constexpr const char* kShorterThanLength = " короче своей длины.";
inline constexpr const char* kWriteInterrupted = "запись прервана.";
// messages on exporting into a new EDF file
inline constexpr const char* kFileNotWritten = " не записан: ";
inline constexpr const char* kConversionWritesSignalsOnly = "в режиме преобразования в EDF записываются только сигналы.";
inline constexpr const char* kNothingToWrite = "в памяти нет записи, которую можно записать.";
inline constexpr const char* kTargetIsOpenFile = "это открытый файл; выберите другое имя.";
inline constexpr const char* kCannotCreateFilePrefix = "не удалось создать файл (";
inline constexpr const char* kWrittenWith = " записан; ";
inline constexpr const char* kSamplesClippedToRange = " отсчётов вне цифрового диапазона каналов ограничены его границей.";

}  // namespace velor::edf_text
