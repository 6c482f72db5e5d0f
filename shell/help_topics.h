// The program's own help: short topics keyed by the help context numbers the
// windows set (`helpContext`), the instruction text, and a search over them.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/header_form.h"

namespace velor::shell {

inline constexpr int kHelpContentsContext = 0;
inline constexpr int kHelpOnHelpContext = 1;
inline constexpr int kMainWindowHelpContext = 2;
inline constexpr int kHeaderHelpContext = kHeaderDialogHelpContext;
inline constexpr int kSettingsHelpContext = 14;

struct HelpTopic {
  int context;
  const char* title;
  const char* body;  // paragraphs separated by empty lines
};

std::span<const HelpTopic> helpTopics();
// The topic of a context; the contents for a context without a topic of its own.
const HelpTopic& helpTopicFor(int context);
// Contexts of the topics whose title or text contains every word of the
// query, letters compared without case; all topics for an empty query.
std::vector<int> searchHelp(std::string_view query);

// Title and text of the instruction window.
const char* instructionTitle();
const char* instructionText();

// Lower case of Latin and Cyrillic letters in UTF-8 text (other characters
// are kept).
std::string foldCase(std::string_view text);

}  // namespace velor::shell
