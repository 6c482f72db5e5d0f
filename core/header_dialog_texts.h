// Captions of the examination header dialog, shown exactly as written.
#pragma once

namespace velor::header_text {

inline constexpr const char* kHeaderTitle = "Заголовок исследования";
inline constexpr const char* kLabelTest = "Проба=";
inline constexpr const char* kLabelGroup = "Группа=";
inline constexpr const char* kLabelName = "ФИО=";
inline constexpr const char* kLabelCode = "Код=";
inline constexpr const char* kLabelBirth = "Рожд=";
inline constexpr const char* kSexMale = "М";
inline constexpr const char* kSexFemale = "Ж";
inline constexpr const char* kLabelDiagnosis = "Диагн=";
inline constexpr const char* kHintPatient1 = "Пациент на 1 канале";
inline constexpr const char* kLabelPatient1 = "ФИО.1=";
inline constexpr const char* kHintGroupTest = "Проба до 40симв.";
inline constexpr const char* kLabelInstitution = "Учрежд=";
inline constexpr const char* kLabelDepartment = "Отдел=";
inline constexpr const char* kLabelPatientList = "Список ФИО:";
inline constexpr const char* kReadFromFile = "Читать заголовок из файла";
inline constexpr const char* kAccept = "Утвердить";
inline constexpr const char* kCancel = "<Esc>=Отменить";

}  // namespace velor::header_text
