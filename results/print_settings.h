// Where pictures (graphs, maps, the record monitor) land on the printed
// sheet: offset and size in centimetres, chosen in the print dialog and kept
// in "qprs.ini" in programDir. The dialog is a thin view over PrintForm; the
// printing windows use the PrintSettings that accepting the form produces.
#pragma once

#include <optional>
#include <string>

namespace velor {

inline constexpr const char* kPrintSettingsFile = "qprs.ini";
inline constexpr int kPrintSettingsLines = 6;
inline constexpr double kSheetLongCm = 28.5;   // usable length of the sheet
inline constexpr double kSheetShortCm = 20.0;  // usable width of the sheet

// Captions of the print dialog.
inline constexpr const char* kPrintDialogCaption = "Печать";
inline constexpr const char* kPrintGroupCaption = "Установки [см]";
inline constexpr const char* kPrintLeftLabel = "Отступ слева=";
inline constexpr const char* kPrintTopLabel = "Отступ сверху=";
inline constexpr const char* kPrintWidthLabel = "Ширина рисунка=";
inline constexpr const char* kPrintHeightLabel = "Высота рисунка =";
inline constexpr const char* kPrintAlongLengthCaption = "По длине листа 29см ";
inline constexpr const char* kPrintMaxSizeCaption = "Максимальн.размер";
inline constexpr const char* kPrintButtonCaption = "Печатать";
inline constexpr const char* kPrintSetupButtonCaption = "Установить разрешение";
inline constexpr const char* kPrintCancelCaption = "<Esc>=Отменить";
inline constexpr const char* kPrintNote1 = "Внимание! Для печати";
inline constexpr const char* kPrintNote2 = "в установках принтера";
inline constexpr const char* kPrintNote3 = "должно быть графическое";
inline constexpr const char* kPrintNote4 = "разрешение 300 dpi  !!!";
// Shown when a field of the dialog does not hold a usable number.
inline constexpr const char* kPrintBadValue = "Неверное значение: ";

// What the dialog shows: the four edit fields as typed and the two check
// boxes. The defaults are the form's own.
struct PrintForm {
  std::string left = "2.5";
  std::string top = "1";
  std::string width = "10";
  std::string height = "7";
  bool alongLength = true;  // print along the 29 cm length of the sheet
  bool maxSize = true;      // the largest picture the sheet takes
  bool operator==(const PrintForm&) const = default;
};

// The values printing works with, all in centimetres. paperWidthCm is the
// sheet's extent across the printer's page width: 28.5 prints landscape, 20
// portrait.
struct PrintSettings {
  // Until the dialog is first accepted: the default fields on a landscape sheet.
  double printLeftCm = 2.5;
  double printTopCm = 1.0;
  double printWidthCm = 10.0;
  double printHeightCm = 7.0;
  double paperWidthCm = kSheetLongCm;
  double pageHeightCm = kSheetShortCm;  // the other dimension, used only by the dialog
  bool printMaxSize = false;
  bool landscape() const { return paperWidthCm != kSheetShortCm; }
};

// Reads "qprs.ini": lines 1..4 fill the fields, line 5 "0" clears alongLength,
// line 6 "0" clears maxSize (anything else sets it). The lines the file holds
// are applied; false when it is missing, unreadable or shorter than six lines
// (the dialog then beeps and keeps the rest of the form as it was).
bool readPrintForm(const std::string& path, PrintForm& f);
// Writes the six lines: the fields as typed, then the two check boxes as
// "1"/"0". Atomic; false when it could not be written.
bool writePrintForm(const std::string& path, const PrintForm& f);

// "Печатать" without the dialog: the sheet from alongLength, the maximal size
// from the monitor's aspect, then the limits that keep the picture on the
// sheet. A field that is not a number, or a width or height that is not
// positive, gives nothing and the failure text in *error (the fields are
// not used when maxSize is set, so they are not checked then).
std::optional<PrintSettings> acceptPrintForm(const PrintForm& f, int monitorWidth, int monitorHeight,
                                             std::string* error = nullptr);

// What printing uses when it runs without asking (velor-cli, tests): the
// form saved in "<programDir>qprs.ini" (the form's defaults where the file
// says nothing), accepted; the defaults when the saved fields do not accept.
PrintSettings savedPrintSettings(const std::string& programDir, int monitorWidth, int monitorHeight);

}  // namespace velor
