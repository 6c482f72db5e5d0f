// Messages, reasons and dialog texts of the record file reader and writer, kept
// in one place so the code and the tests use the same bytes. Many are fragments
// joined with file names, numbers and reasons.
#pragma once

namespace velor::record_file_text {

// reasons a single record cannot be read or located; they follow kRecordCannotBeRead or kFileCannotBeRead
inline constexpr const char* kRecordPastEnd = "запись выходит за конец файла";
inline constexpr const char* kReadError = "ошибка чтения файла";
inline constexpr const char* kRecordLengthPrefix = "длина записи ";
inline constexpr const char* kMoreThan = " больше ";
inline constexpr const char* kSamplesSuffix = " отсчётов";
inline constexpr const char* kRecordTruncated = "запись обрывается: файл короче, чем указывает её длина";
inline constexpr const char* kTrailingLengthPrefix = "длина в конце записи (";
inline constexpr const char* kTrailingLengthMismatch = ") не совпадает с длиной в её начале (";
inline constexpr const char* kHeaderUnreadable = "заголовок файла больше не читается";
inline constexpr const char* kPositionMismatch = "положение в файле не соответствует текущей записи";
// "Запись N файла NAME не может быть прочитана: reason." when moving between records
inline constexpr const char* kRecordPrefix = "Запись ";
inline constexpr const char* kOfFile = " файла ";
inline constexpr const char* kRecordCannotBeRead = " не может быть прочитана: ";
inline constexpr const char* kNoPreviousRecord = "нет предыдущей записи";
// "Файл NAME не может быть прочитан: reason." on opening or stepping
inline constexpr const char* kFilePrefix = "Файл ";
inline constexpr const char* kFileCannotBeRead = " не может быть прочитан: ";
inline constexpr const char* kSeekError = "ошибка позиционирования в файле";
// reasons a write of the current and following records fails
inline constexpr const char* kWriteError = "ошибка записи файла";
inline constexpr const char* kMemoryChannelCountPrefix = "число каналов записи в памяти (";
inline constexpr const char* kDiffersFromFileChannels = ") отличается от числа каналов файла (";
inline constexpr const char* kRecordNumberPrefix = "запись ";
// refusals when the edited record is written back into its file
inline constexpr const char* kRecordChangesNotSaved = "Изменения записи не записаны в файл ";
inline constexpr const char* kOldFormatReadOnlySaveNew = "файл старого формата CA15 доступен только для чтения. Сохраните запись в новый файл.";
inline constexpr const char* kOpenedReadOnly = "файл открыт только для чтения.";
inline constexpr const char* kChannelCountPrefix = "число каналов (";
inline constexpr const char* kSaveToOtherFileAfterParen = "). Сохраните запись в другой файл.";
inline constexpr const char* kRecordLongerThanSlot = "запись длиннее своего места в файле (";
inline constexpr const char* kSamplesSaveToOtherFile = " отсчётов). Сохраните запись в другой файл.";
inline constexpr const char* kReadErrorSentence = "ошибка чтения файла.";
inline constexpr const char* kWriteErrorSentence = "ошибка записи файла.";
// messages on opening a record file
inline constexpr const char* kCannotOpenFile = "Не удалось открыть файл ";
inline constexpr const char* kNotARecordFile = " не является файлом записей.";
// reasons a record file header is refused
inline constexpr const char* kFileShorterThanHeader = "файл короче своего заголовка";
inline constexpr const char* kChannelCountOutOfRangePrefix = "число каналов ";
inline constexpr const char* kOutsideAllowedFrom1 = " вне допустимых 1..";
inline constexpr const char* kZeroSamplingRate = "частота дискретизации равна 0";
inline constexpr const char* kUnknownMarkChannelsPrefix = "неизвестное число каналов меток (";
inline constexpr const char* kDataStartPrefix = "начало данных (";
inline constexpr const char* kDataStartInsideHeader = ") внутри заголовка";
inline constexpr const char* kDataStartPastEnd = ") за концом файла";
inline constexpr const char* kLeadPairCountPrefix = "число пар отведений ";
inline constexpr const char* kOpenFailed = "не удалось открыть файл";
inline constexpr const char* kMorePrefix = "больше ";
inline constexpr const char* kRecordsSuffix = " записей";
inline constexpr const char* kNoRecordsInFile = "в файле нет ни одной записи";
inline constexpr const char* kCannotBeReadFirstRecord = " не может быть прочитан: запись 1: ";
// warning when the header claims more records than the file holds
inline constexpr const char* kClaimedCountPrefix = "Число записей в заголовке файла ";
inline constexpr const char* kClaimedCountMismatch = ") не совпадает с его содержимым; доступны записи 1..";
// question before leaving an edited record
inline constexpr const char* kAskSaveChanges = "Записать изменения в файл?";
// dialog asking for a record number
inline constexpr const char* kGoToRecordTitle = "Установка записи заданного номера";
inline constexpr const char* kGoToRecordPrompt = "Введите номер записи";
// refusals when the header is rewritten
inline constexpr const char* kHeaderPrefix = "Заголовок файла ";
inline constexpr const char* kHeaderNotRewritten = " не переписан: ";
inline constexpr const char* kMarkLayoutMismatch = "число каналов или канал меток в памяти не совпадают с записями файла.";
// refusals and reasons when records are appended to an existing file
inline constexpr const char* kRecordsNotAppended = "Записи не добавлены в файл ";
inline constexpr const char* kConversionWritesResultOnly = "в режиме преобразования записывается только текущий результат.";
inline constexpr const char* kRecordNotWritable = "запись в памяти не может быть записана.";
inline constexpr const char* kCannotOpenForWriting = "не удалось открыть файл для записи.";
inline constexpr const char* kNotARecordFileReason = "это не файл записей";
inline constexpr const char* kOldFormatReadOnly = "файл старого формата CA15 доступен только для чтения";
inline constexpr const char* kFileLayoutPrefix = "число каналов или канал меток файла (";
inline constexpr const char* kLayoutMismatchWithRecord = ") не совпадают с записью (";
inline constexpr const char* kFileDamagedAfterRecord = "файл повреждён после записи ";
inline constexpr const char* kWouldExceedPrefix = "в файле будет больше ";
inline constexpr const char* kSizeNotRestored = "; файл не удалось вернуть к прежнему размеру";
// saving records under a file name: refusals, the "file exists" choice and questions
inline constexpr const char* kFileNotWritten = " не записан: ";
inline constexpr const char* kRetryWithOtherName = "Ошибка! Повторите операцию с другим именем файла записи!";
inline constexpr const char* kChoiceReplace = "&1=Заменить текущей записью";
inline constexpr const char* kChoiceAppendCurrent = "&2=Добавить текущую запись";
inline constexpr const char* kChoiceAppendFollowing = "&3=Добавить следующие записи";
inline constexpr const char* kChoiceCancel = "<Esc>=Отменить";
inline constexpr const char* kWriteFileTitle = "Запись файла";
inline constexpr const char* kFileExists = "Файл уже существует!";
inline constexpr const char* kWhatToDo = "Что делать?:";
inline constexpr const char* kWriteProtected = "файл защищён от записи.";
inline constexpr const char* kCannotCreateFile = "не удалось создать файл.";
inline constexpr const char* kAskReplaceAll = "Файл открыт и включает несколько записей, заменить все текущей?";
inline constexpr const char* kWrittenButNotReopened = " записан, но не открывается снова.";

}  // namespace velor::record_file_text
