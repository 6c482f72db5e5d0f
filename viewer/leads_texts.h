// Captions and file names of the lead editor, kept in one place so the
// window, the engine and the tests use the same bytes.
#pragma once

namespace velor::leads_text {

// window caption
inline constexpr const char* kEditorTitle = "Отведения";
// window caption while pairs are edited
inline constexpr const char* kPairTitle = "Парные связи";
inline constexpr const char* kOrderSettingsFile = "qchn.ini";
inline constexpr const char* kTemplatePrefix = "eeg";
inline constexpr const char* kTemplateSuffix = ".ini";
inline constexpr const char* kCurrentTemplateFile = "eeg.ini";
// channel grid columns
inline constexpr const char* kColumnNumber = " N";
inline constexpr const char* kColumnKind = "Тип";
inline constexpr const char* kColumnName = "Обзн";
inline constexpr const char* kColumnPairFirst = "Отв1";
inline constexpr const char* kColumnPairSecond = "Отв2";
// order grid column beside kColumnName
inline constexpr const char* kColumnOrder = "Кан";
// order panel
inline constexpr const char* kOrderPanel = "Порядок каналов";
inline constexpr const char* kOrderRead = "Читать   ";
inline constexpr const char* kOrderSave = "Сохранить";
inline constexpr const char* kOrderApply = "Переставить";
inline constexpr const char* kOrderClose = "Закрыть";
// reference list
inline constexpr const char* kReferenceLabel = "Референт:";
// pair mode switch, as shown outside and inside pair mode
inline constexpr const char* kPairsOn = "Пары+";
inline constexpr const char* kPairsOff = "Пары-";
inline constexpr const char* kPairsRead = "Читать пары";
inline constexpr const char* kPairsSave = "Сохранить пары";
inline constexpr const char* kAccept = "Утвердить";
inline constexpr const char* kCancel = "<Esc>=Отменить";
// popup menu
inline constexpr const char* kMenuInsert = "Вставить на карту";
inline constexpr const char* kMenuDelete = "Удалить из карты";
inline constexpr const char* kMenuKind = "Изменить тип отведения";
inline constexpr const char* kMenu1020 = "Система 10-20";
inline constexpr const char* kMenuOrder = "Изменить порядок";
// position label under the head: number, kPositionX, X, kPositionY, Y
inline constexpr const char* kPositionX = ": x=";
inline constexpr const char* kPositionY = "; y=";
// refusals
inline constexpr const char* kNoEegLeads = "В записи нет ЭЭГ-отведений!";
inline constexpr const char* kNeedTwoLeads = "Сначала вставьте на карту два отведения";
// the kind chooser, in its order; the last entry is empty
inline constexpr const char* kKindChoices[] = {"ЭЭГ", "ЭКГ", "РГ", "ЭМГ", "ЭОГ", "КГР", "Дых", "ФПГ", "Трм", "Акс", ""};
inline constexpr const char* kKindTitle = "Тип";

}  // namespace velor::leads_text
