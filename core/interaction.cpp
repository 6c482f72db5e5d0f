#include "core/interaction.h"

namespace velor {

void ScriptedInteraction::message(std::string_view text) {
  messages.emplace_back(text);
  if (onMessage) onMessage(text);
}

bool ScriptedInteraction::ask(std::string_view question) {
  questions.emplace_back(question);
  if (yesNoScript.empty()) return answerYes;
  const bool a = yesNoScript.front();
  yesNoScript.erase(yesNoScript.begin());
  return a;
}

std::optional<std::string> ScriptedInteraction::input(std::string_view, std::string_view prompt,
                                                      std::string_view defaultText) {
  questions.emplace_back(prompt);
  if (inputScript.empty()) return std::string(defaultText);
  auto a = inputScript.front();
  inputScript.erase(inputScript.begin());
  return a;
}

int ScriptedInteraction::choose(std::string_view, std::string_view caption, std::string_view,
                                const std::vector<Choice>&) {
  questions.emplace_back(caption);
  if (choiceScript.empty()) return 0;
  const int a = choiceScript.front();
  choiceScript.erase(choiceScript.begin());
  return a;
}

}  // namespace velor
