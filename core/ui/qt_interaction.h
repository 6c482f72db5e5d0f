// Dialogs behind velor::Interaction and velor::Progress for every window:
// message boxes with OK, Yes/No questions, a line of input, a choice window
// with one button per choice, and a progress dialog with cancel.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QProgressDialog>
#include <QWidget>

#include "core/interaction.h"

namespace velor {

class QtInteraction final : public Interaction {
 public:
  explicit QtInteraction(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }

  void message(std::string_view text) override;
  bool ask(std::string_view question) override;
  std::optional<std::string> input(std::string_view title, std::string_view prompt,
                                   std::string_view defaultText) override;
  int choose(std::string_view title, std::string_view caption, std::string_view label,
             const std::vector<Choice>& choices) override;

 private:
  QPointer<QWidget> parent_;
};

// The choice window: a caption in a group box, a label, and one button per
// choice (their captions may carry "&" accelerators); Esc or closing gives 0.
class ChoiceDialog final : public QDialog {
  Q_OBJECT
 public:
  ChoiceDialog(QWidget* parent, const QString& title, const QString& caption, const QString& label,
               const std::vector<Interaction::Choice>& choices);
  int chosenCode() const { return code_; }
  // Presses the button with this code, as a click would.
  void pick(int code);

 private:
  int code_ = 0;
};

class QtProgress final : public Progress {
 public:
  explicit QtProgress(QWidget* parent = nullptr) : parent_(parent) {}
  ~QtProgress() override;
  void begin(std::string_view what, long total) override;
  bool step(long done) override;
  void end() override;

 private:
  QPointer<QWidget> parent_;
  QProgressDialog* dialog_ = nullptr;
  long total_ = 0;
};

}  // namespace velor
