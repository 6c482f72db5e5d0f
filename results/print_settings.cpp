#include "results/print_settings.h"

#include "core/numtext.h"
#include "core/settings.h"

namespace velor {

bool readPrintForm(const std::string& path, PrintForm& f) {
  const auto lines = readTextLines(path);
  if (!lines) return false;
  const auto& l = *lines;
  std::string* fields[] = {&f.left, &f.top, &f.width, &f.height};
  for (std::size_t i = 0; i < 4 && i < l.size(); ++i) *fields[i] = l[i];
  if (l.size() > 4) f.alongLength = trimSpaces(l[4]) != "0";
  if (l.size() > 5) f.maxSize = trimSpaces(l[5]) != "0";
  return l.size() >= static_cast<std::size_t>(kPrintSettingsLines);
}

bool writePrintForm(const std::string& path, const PrintForm& f) {
  return writeTextLines(path, {f.left, f.top, f.width, f.height, f.alongLength ? "1" : "0", f.maxSize ? "1" : "0"});
}

namespace {

// Keeps [offset, offset + size] on a side of `side` cm: a negative offset
// becomes 0; a picture running off the side first moves to 1 cm, then is cut.
void limitToSide(double& offset, double& size, double side) {
  if (offset < 0) offset = 0;
  if (offset + size > side) {
    offset = 1.0;
    if (offset + size > side) size = side - offset;
  }
}

}  // namespace

std::optional<PrintSettings> acceptPrintForm(const PrintForm& f, int monitorWidth, int monitorHeight,
                                             std::string* error) {
  PrintSettings p;
  p.paperWidthCm = f.alongLength ? kSheetLongCm : kSheetShortCm;
  p.pageHeightCm = f.alongLength ? kSheetShortCm : kSheetLongCm;
  if (f.maxSize) {
    p.printLeftCm = 1.0;
    p.printWidthCm = p.paperWidthCm - 1;
    p.printTopCm = 0.5;
    // The monitor's aspect; a monitor without a size yet takes the whole sheet.
    p.printHeightCm = (monitorWidth > 0 && monitorHeight > 0)
                          ? p.paperWidthCm / monitorWidth * monitorHeight - 0.5
                          : p.pageHeightCm;
    // A monitor far wider than tall would leave no height at all.
    if (p.printHeightCm <= 0) p.printHeightCm = p.pageHeightCm - p.printTopCm;
    p.printMaxSize = true;
  } else {
    struct Field {
      const std::string& text;
      const char* label;
      double& value;
      bool size;
    } fields[] = {{f.left, kPrintLeftLabel, p.printLeftCm, false},
                  {f.top, kPrintTopLabel, p.printTopCm, false},
                  {f.width, kPrintWidthLabel, p.printWidthCm, true},
                  {f.height, kPrintHeightLabel, p.printHeightCm, true}};
    for (auto& fd : fields) {
      const auto v = parseNumber(fd.text);
      if (!v || (fd.size && *v <= 0)) {
        if (error) *error = std::string(kPrintBadValue) + fd.label + " " + trimSpaces(fd.text);
        return std::nullopt;
      }
      fd.value = *v;
    }
    p.printMaxSize = false;
  }
  limitToSide(p.printLeftCm, p.printWidthCm, p.paperWidthCm);
  limitToSide(p.printTopCm, p.printHeightCm, p.pageHeightCm);
  return p;
}

PrintSettings savedPrintSettings(const std::string& programDir, int monitorWidth, int monitorHeight) {
  PrintForm f;
  readPrintForm(programDir + kPrintSettingsFile, f);
  if (auto p = acceptPrintForm(f, monitorWidth, monitorHeight)) return *p;
  if (auto p = acceptPrintForm(PrintForm{}, monitorWidth, monitorHeight)) return *p;
  return PrintSettings{};
}

}  // namespace velor
