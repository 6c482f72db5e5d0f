// How engines talk to the person in front of them without knowing about
// windows: modal messages, Yes/No questions, a line of input, a choice among
// buttons, and progress with cancel for long work. The GUI answers with
// dialogs, velor-cli with stderr and fixed answers, tests with scripts.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velor {

class Interaction {
 public:
  virtual ~Interaction() = default;
  // A modal message with an OK button (failures and notices).
  virtual void message(std::string_view text) = 0;
  // A Yes/No question; true for Yes.
  virtual bool ask(std::string_view question) = 0;
  // A line of text; nothing when cancelled.
  virtual std::optional<std::string> input(std::string_view title, std::string_view prompt,
                                           std::string_view defaultText) = 0;
  // A choice window: `choices` are button captions; returns the code of the
  // chosen one (codes[i]), or 0 when cancelled.
  struct Choice {
    std::string caption;
    int code = 0;
  };
  virtual int choose(std::string_view title, std::string_view caption, std::string_view label,
                     const std::vector<Choice>& choices) = 0;
};

// Progress and cancel for long work. step() returns false once the person
// asked to cancel; the work then stops and leaves the state as it was.
class Progress {
 public:
  virtual ~Progress() = default;
  virtual void begin(std::string_view what, long total) = 0;
  virtual bool step(long done) = 0;
  virtual void end() = 0;
};

// Progress that shows nothing and never cancels.
class NoProgress final : public Progress {
 public:
  void begin(std::string_view, long) override {}
  bool step(long) override { return true; }
  void end() override {}
};

// Answers from a fixed script, recording what was shown; for tests and for
// the command-line tool.
class ScriptedInteraction : public Interaction {
 public:
  std::vector<std::string> messages;   // every message shown
  std::vector<std::string> questions;  // every question asked
  bool answerYes = false;              // answer to questions when no script is left
  std::vector<bool> yesNoScript;       // consumed front to back
  std::vector<std::optional<std::string>> inputScript;
  std::vector<int> choiceScript;
  std::function<void(std::string_view)> onMessage;  // e.g. print to stderr

  void message(std::string_view text) override;
  bool ask(std::string_view question) override;
  std::optional<std::string> input(std::string_view title, std::string_view prompt,
                                   std::string_view defaultText) override;
  int choose(std::string_view title, std::string_view caption, std::string_view label,
             const std::vector<Choice>& choices) override;
};

}  // namespace velor
