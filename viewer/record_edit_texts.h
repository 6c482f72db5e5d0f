// Captions, questions and messages of record editing, its dialogs and their
// settings files, kept in one place so every caller and test uses the same
// bytes.
#pragma once

namespace velor::edit_text {

// Del without a selection
inline constexpr const char* kDeleteRecordQuestion = "Удалить запись?";
// the delete window
inline constexpr const char* kDeleteTitle = "Удаление";
inline constexpr const char* kDeleteGroup = "Участок";
inline constexpr const char* kAllChannels = "Все каналы";
inline constexpr const char* kCaptionInside = "&1=Удалить внутри";
inline constexpr const char* kCaptionOutside = "&2=Удалить вовне";
inline constexpr const char* kCaptionZero = "&3=Обнулить";
inline constexpr const char* kCaptionStraighten = "&4=Спрямить";
inline constexpr const char* kCaptionMean = "&5=Среднее";
inline constexpr const char* kEscCancel = "<Esc>=Отменить";
// zero correction without a selection
inline constexpr const char* kNoZeroInterval = "Не выделен участок коррекции нуля!";
// the calibration window
inline constexpr const char* kCalibTitle = "Калибровка";
inline constexpr const char* kCalibAmplitude = "Амплитуда";
inline constexpr const char* kCalibAllChannels = "все каналы";
inline constexpr const char* kCalibZeroGroup = "Корр.нуля";
inline constexpr const char* kCalibZeroNone = "нет";
inline constexpr const char* kCalibZeroMaxMin = "по max-min";
inline constexpr const char* kCalibZeroMean = "по средн.";
inline constexpr const char* kCalibConfirm = "Утвердить";
// the record reorganisation window
inline constexpr const char* kReorgTitle = "Реорганизация записей";
inline constexpr const char* kReorgGroup = "Параметры";
inline constexpr const char* kReorgReference = "Опорная точка=";
inline constexpr const char* kRefT = "Ti [i=сек]";
inline constexpr const char* kRefS = "Si [i=1-16]";
inline constexpr const char* kRefI = "Ii [i=00-FF]";
inline constexpr const char* kRefO = "Oi [i=00-FF]";
inline constexpr const char* kRefM = "Mi [i=1-32]";
inline constexpr const char* kRefE = "Ei [i=1-32]";
inline constexpr const char* kRefC = "Ci [i=1-32]";
inline constexpr const char* kRefP = "Pi [i=1-32]";
inline constexpr const char* kReorgEpochStart = "Эпоха [сек]: нач=";
inline constexpr const char* kReorgEpochEnd = "кон=";
inline constexpr const char* kReorgCondition = "Условие отбора записей:";
inline constexpr const char* kReorgEditor = "Редактор";
inline constexpr const char* kReorgConditionTitle = "Условие реорганизации";
inline constexpr const char* kReorgRun = "Выполнить";
inline constexpr const char* kReorgCancel = "Отменить";
inline constexpr const char* kBadReferenceKind = "Ошибка типа опорной точки!";
inline constexpr const char* kBadReferenceParameter = "Ошибка параметра опорной точки";
inline constexpr const char* kBadEpoch = "Ошибка задания эпохи";
// a waveform reference point without a selected template
inline constexpr const char* kBadMarker = "Ошибка маркера";
// record steps and edits refused while an examination records, edits
// refused outside the signal view (said in the status line)
inline constexpr const char* kNoStepsWhileRecording = "Во время исследования записи не переключаются и не изменяются";
inline constexpr const char* kOnlyWithSignalsShown = "Команда выполняется только при показе сигналов";
inline constexpr const char* kDeleteSettingsFile = "qdel.ini";
inline constexpr const char* kCalibSettingsFile = "qprt2.ini";
inline constexpr const char* kReorgSettingsFile = "q17.ini";

}  // namespace velor::edit_text
