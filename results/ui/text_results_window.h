// TextResultsWindow "Окно выдачи результатов": the text result window. A plain,
// editable text box without word wrap over the journal of results/text_results.h,
// its popup menu (read, save, print, table, clear, clipboard, exit), and the
// overflow notice TextOverflowNotice. The main window opens it through beginTextResults; while it
// is open the study state's textWindow points at its journal, so analyses
// and the file dispatch reach it without knowing the window.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "core/interaction.h"
#include "core/study_state.h"
#include "results/text_results.h"

class QMenu;
class QPlainTextEdit;
class QPrinter;
class QPushButton;

namespace velor {

// How the text window reads and writes its files ("Чтение" F3, "Запись" F4):
// the main window's wiring gives the file window and the open/save dispatch.
// Without them the two commands do nothing.
struct TextFileActions {
  std::function<void()> read;
  std::function<void()> write;
};

// TextOverflowNotice "ВНИМАНИЕ!": the notice that the full text went to "REZ.TXT".
class TextOverflowNotice final : public QWidget {
  Q_OBJECT
 public:
  explicit TextOverflowNotice(QWidget* parent = nullptr);
  QPushButton* closeButton() const { return close_; }

 private:
  QPushButton* close_ = nullptr;
};

class TextResultsWindow final : public QWidget {
  Q_OBJECT
 public:
  TextResultsWindow(StudyState& s, Interaction& ui, QWidget* parent = nullptr);
  ~TextResultsWindow() override;

  TextResults& journal() { return *journal_; }
  QPlainTextEdit* textBox() const { return edit_; }
  QMenu* popupMenu() const { return menu_; }
  void setFileActions(TextFileActions files) { files_ = std::move(files); }
  void setOverflowNotice(TextOverflowNotice* notice) { notice_ = notice; }
  // How printing gets its printer; the default asks through Qt's print
  // dialog. Returning false prints nothing.
  void setPrinterChooser(std::function<bool(QPrinter&)> choose) { choosePrinter_ = std::move(choose); }

  // The journal with the person's edits in it.
  TextResults& synced();

  // The popup menu's commands.
  void readFile();   // "Чтение" F3
  void writeFile();  // "Запись" F4
  bool print();      // "Печать" F2
  void toTable();    // "В таблицу" F6
  void clearText();  // "Очистить"

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void buildMenu();
  void showText();
  bool runKey(int key);

  StudyState& s_;
  Interaction& ui_;
  std::unique_ptr<TextResults> journal_;
  QPlainTextEdit* edit_ = nullptr;
  QMenu* menu_ = nullptr;
  TextFileActions files_;
  QPointer<TextOverflowNotice> notice_;
  std::function<bool(QPrinter&)> choosePrinter_;
  bool updating_ = false;  // the text box changes because the journal did
  bool edited_ = false;    // the person changed the text since the last sync
};

// Prints lines, one printed line each, in `font`, pages breaking when full.
bool printTextLines(const std::vector<std::string>& lines, const FontSpec& font, QPrinter& printer);

// EditCr of the main window `mainWindow`: appends the run separator to the
// open text window, or creates one, then initialise(mode). The overflow notice is
// created once per main window. Null `files` keeps the actions given before.
TextResultsWindow* beginTextResults(QWidget* mainWindow, StudyState& s, Interaction& ui, const TextFileActions* files, int mode);

// The same for analyses that know only a TextWindowOpener.
class MainWindowTextOpener final : public TextWindowOpener {
 public:
  MainWindowTextOpener(QWidget* mainWindow, Interaction& ui) : main_(mainWindow), ui_(ui) {}
  TextResults& beginTextResults(StudyState& s, int mode) override;

 private:
  QPointer<QWidget> main_;
  Interaction& ui_;
};
// The open text window of a main window, or nullptr.
TextResultsWindow* textWindowOf(QWidget* mainWindow);

}  // namespace velor
