// The program's own help window: the topic list with a search field and the
// text of the chosen topic; and the instruction window.
#pragma once

#include <QDialog>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace velor::shell {

class HelpWindow final : public QWidget {
  Q_OBJECT
 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  // Shows the topic of a help context (the contents when it has none).
  void showTopic(int context);
  // Puts the focus into the search field.
  void startSearch();
  int shownContext() const { return shown_; }
  QLineEdit* searchField() const { return search_; }
  QListWidget* topicList() const { return list_; }
  QTextBrowser* textView() const { return text_; }

 private:
  void filter(const QString& query);
  void showRow(int row);

  QLineEdit* search_ = nullptr;
  QListWidget* list_ = nullptr;
  QTextBrowser* text_ = nullptr;
  int shown_ = -1;
};

class InstructionDialog final : public QDialog {
  Q_OBJECT
 public:
  explicit InstructionDialog(QWidget* parent = nullptr);
};

// Paragraphs of plain text (separated by empty lines) as HTML.
QString helpTextAsHtml(const char* title, const char* body);

}  // namespace velor::shell
