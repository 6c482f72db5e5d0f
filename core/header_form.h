// The examination header dialog without widgets: the fields it shows for a
// header in either layout, and what "accept" does with them. The dialog is a
// thin view over this; tests drive it directly.
#pragma once

#include <string>
#include <vector>

#include "core/settings.h"
#include "core/study_state.h"

namespace velor {

inline constexpr int kInstitutionChars = 40;
inline constexpr int kGroupPatientFields = 6;
inline constexpr int kHeaderDialogHelpContext = 13;

struct HeaderForm {
  bool groupLayout = false;
  // fields[i] is header field i + 1 of the layout, trimmed.
  std::vector<std::string> fields;
  std::string institution;
  std::string department;
};

// The fields of `header` in the layout of `groupLayout`.
HeaderForm headerFormFrom(const std::string& header, bool groupLayout);
// The fields of the study's header in its current layout, with its
// institution and department.
HeaderForm headerFormFrom(const StudyState& s);

// The 162-character header the fields make (each cut or padded to its width).
std::string composeHeader(const HeaderForm& f);

// Accept: examHeader from the fields; institution and department (up to 40
// characters); in the group layout the first channels take the first three
// characters of their patient's field as their names.
void acceptHeaderForm(StudyState& s, const HeaderForm& f);

// A history list edited in place: the item at `index` becomes `text`. An
// index outside the list appends when the list has room below `capacity`.
void editHistoryItem(std::vector<std::string>& list, int index, const std::string& text, std::size_t capacity);

}  // namespace velor
