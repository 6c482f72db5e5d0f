#include "core/header_form.h"

#include <algorithm>

#include "core/text.h"

namespace velor {

HeaderForm headerFormFrom(const std::string& header, bool groupLayout) {
  HeaderForm f;
  f.groupLayout = groupLayout;
  const int n = headerFieldCount(groupLayout);
  for (int i = 1; i <= n; ++i) f.fields.push_back(headerField(header, groupLayout, i));
  return f;
}

HeaderForm headerFormFrom(const StudyState& s) {
  HeaderForm f = headerFormFrom(s.examHeader, s.groupMode != 0);
  f.institution = s.institutionName;
  f.department = s.departmentName;
  return f;
}

std::string composeHeader(const HeaderForm& f) {
  std::string header(kHeaderChars, ' ');
  const int n = headerFieldCount(f.groupLayout);
  for (int i = 1; i <= n; ++i) {
    const std::size_t k = static_cast<std::size_t>(i - 1);
    setHeaderField(header, f.groupLayout, i, k < f.fields.size() ? f.fields[k] : std::string());
  }
  return utf8Fit(header, kHeaderChars);
}

void acceptHeaderForm(StudyState& s, const HeaderForm& f) {
  s.examHeader = composeHeader(f);
  if (f.groupLayout) {
    // Field 7 of the group layout is the test, not a patient: only the six
    // patient fields name channels.
    const int named = std::min(s.channelCount, kGroupPatientFields);
    for (int i = 0; i < named && static_cast<std::size_t>(i) < f.fields.size(); ++i)
      s.channelNames[static_cast<std::size_t>(i)] = utf8Substr(f.fields[static_cast<std::size_t>(i)], 0, 3);
  }
  s.institutionName = utf8Substr(f.institution, 0, kInstitutionChars);
  s.departmentName = utf8Substr(f.department, 0, kInstitutionChars);
}

void editHistoryItem(std::vector<std::string>& list, int index, const std::string& text, std::size_t capacity) {
  if (index >= 0 && static_cast<std::size_t>(index) < list.size()) {
    list[static_cast<std::size_t>(index)] = text;
  } else if (list.size() < capacity) {
    list.push_back(text);
  }
}

}  // namespace velor
