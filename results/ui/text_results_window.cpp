#include "results/ui/text_results_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "results/ui/print_host.h"

namespace velor {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
QString q(const char* s) { return QString::fromUtf8(s); }

constexpr int kTextWindowWidth = 640;
constexpr int kTextWindowHeight = 246;

// Keeps track of the main window's text window and overflow notice.
class TextWindowHost final : public QObject {
 public:
  explicit TextWindowHost(QWidget* mainWindow) : QObject(mainWindow) { setObjectName("velorTextWindowHost"); }
  QPointer<TextResultsWindow> window;
  QPointer<TextOverflowNotice> notice;
  TextFileActions files;
};

TextWindowHost* hostOf(QWidget* mainWindow, bool create) {
  if (!mainWindow) return nullptr;
  auto* h = mainWindow->findChild<TextWindowHost*>("velorTextWindowHost", Qt::FindDirectChildrenOnly);
  if (!h && create) h = new TextWindowHost(mainWindow);
  return h;
}

}  // namespace

// --- overflow notice -----------------------------------------------------------------

TextOverflowNotice::TextOverflowNotice(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setWindowTitle(q(kOverflowCaption));
  setObjectName("TextOverflowNotice");
  QPalette p = palette();
  p.setColor(QPalette::Window, QColor(0xFF, 0x00, 0xFF));
  setPalette(p);
  setAutoFillBackground(true);
  auto* l = new QVBoxLayout(this);
  l->setContentsMargins(6, 4, 6, 4);
  l->setSpacing(0);
  QFont bold = font();
  bold.setBold(true);
  for (const char* line : {kOverflowLine1, kOverflowLine2, kOverflowLine3}) {
    auto* label = new QLabel(q(line), this);
    label->setFont(bold);
    label->setAlignment(Qt::AlignHCenter);
    l->addWidget(label);
  }
  close_ = new QPushButton(q(kOverflowCloseCaption), this);
  l->addWidget(close_, 0, Qt::AlignHCenter);
  connect(close_, &QPushButton::clicked, this, &QWidget::hide);
  setGeometry(350, 24, 241, 96);
}

// --- the window --------------------------------------------------------------------------

TextResultsWindow::TextResultsWindow(StudyState& s, Interaction& ui, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint),
      s_(s),
      ui_(ui),
      journal_(std::make_unique<TextResults>(s.programDir)) {
  setWindowTitle(q(kTextWindowCaption));
  setObjectName("TextResultsWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  edit_ = new QPlainTextEdit(this);
  QFont f(q(kTextFontName), 10);
  f.setStyleHint(QFont::TypeWriter);  // a monospaced face where that one is missing
  edit_->setFont(f);
  edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit_->setWordWrapMode(QTextOption::NoWrap);
  edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit_->installEventFilter(this);
  edit_->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* l = new QVBoxLayout(this);
  l->setContentsMargins(0, 0, 0, 0);
  l->addWidget(edit_);
  buildMenu();
  connect(edit_, &QPlainTextEdit::customContextMenuRequested, this,
          [this](const QPoint& p) { menu_->popup(edit_->mapToGlobal(p)); });
  connect(edit_, &QPlainTextEdit::textChanged, this, [this] {
    if (!updating_) edited_ = true;
  });

  journal_->setEvents({
      .appended =
          [this](const std::string& line) {
            updating_ = true;
            edit_->appendPlainText(q(line));
            updating_ = false;
          },
      .reset = [this] { showText(); },
      .overflow =
          [this] {
            if (notice_) {
              notice_->show();
              notice_->raise();
            }
          },
      .failure = [this](const std::string& m) { ui_.message(m); },
      .pull = [this] { synced(); },
  });

  resize(kTextWindowWidth, kTextWindowHeight);
  if (const QScreen* screen = QApplication::primaryScreen()) {
    const QRect r = screen->availableGeometry();
    move(r.center() - QPoint(kTextWindowWidth / 2, kTextWindowHeight / 2));
  }
  s_.textWindow = journal_.get();
}

TextResultsWindow::~TextResultsWindow() {
  if (s_.textWindow == journal_.get()) s_.textWindow = nullptr;
}

void TextResultsWindow::buildMenu() {
  menu_ = new QMenu(this);
  struct Item {
    const char* caption;
    const char* key;
    std::function<void()> run;
  } items[] = {
      {kMenuRead, "F3", [this] { readFile(); }},
      {kMenuWrite, "F4", [this] { writeFile(); }},
      {kMenuPrint, "F2", [this] { print(); }},
      {kMenuTable, "F6", [this] { toTable(); }},
      {kMenuClear, "", [this] { clearText(); }},
      {kMenuCut, "Ctrl+X", [this] { edit_->cut(); }},
      {kMenuCopy, "Ctrl+C", [this] { edit_->copy(); }},
      {kMenuPaste, "Ctrl+V", [this] { edit_->paste(); }},
      {kMenuExit, "F10", [this] { close(); }},
  };
  for (auto& it : items) {
    // The keys are handled by the window and the text box themselves; the
    // menu only shows them.
    QString text = q(it.caption);
    if (*it.key) text += QLatin1Char('\t') + QString::fromLatin1(it.key);
    QAction* a = menu_->addAction(text);
    a->setObjectName(q(it.caption));
    connect(a, &QAction::triggered, this, it.run);
  }
}

TextResults& TextResultsWindow::synced() {
  if (edited_) {
    edited_ = false;
    journal_->setText(edit_->toPlainText().toStdString());
  }
  return *journal_;
}

void TextResultsWindow::showText() {
  edited_ = false;  // the journal replaced its text: what was typed is superseded
  updating_ = true;
  edit_->setPlainText(q(journal_->text()));
  updating_ = false;
}

void TextResultsWindow::readFile() {
  synced();
  if (!files_.read) return;
  // The window steps aside while the file window is open.
  const bool wasVisible = isVisible();
  hide();
  files_.read();
  if (wasVisible) show();
}

void TextResultsWindow::writeFile() {
  synced();
  if (!files_.write) return;
  const bool wasVisible = isVisible();
  hide();
  files_.write();
  if (wasVisible) show();
}

bool TextResultsWindow::print() {
  synced();
  QPrinter& printer = printerOf(parentWidget());
  if (choosePrinter_) {
    if (!choosePrinter_(printer)) return false;
  } else {
    QPrintDialog d(&printer, this);
    if (d.exec() != QDialog::Accepted) return false;
  }
  if (printTextLines(journal_->lines(), s_.textFont, printer)) return true;
  ui_.message("Печать не удалась.");
  return false;
}

void TextResultsWindow::toTable() { synced().toTable(); }

void TextResultsWindow::clearText() { synced().clear(); }

bool TextResultsWindow::runKey(int key) {
  switch (key) {
    case Qt::Key_F2: print(); return true;
    case Qt::Key_F3: readFile(); return true;
    case Qt::Key_F4: writeFile(); return true;
    case Qt::Key_F6: toTable(); return true;
    case Qt::Key_F10: close(); return true;
    case Qt::Key_Escape: menu_->popup(QPoint(200, 100)); return true;
    default: return false;
  }
}

void TextResultsWindow::keyPressEvent(QKeyEvent* e) {
  if (e->modifiers() == Qt::NoModifier && runKey(e->key())) return;
  QWidget::keyPressEvent(e);
}

bool TextResultsWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && event->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(event);
    if (k->modifiers() == Qt::NoModifier && runKey(k->key())) return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TextResultsWindow::closeEvent(QCloseEvent* e) {
  if (s_.textWindow == journal_.get()) s_.textWindow = nullptr;
  QWidget::closeEvent(e);
}

// --- printing ----------------------------------------------------------------------------

bool printTextLines(const std::vector<std::string>& lines, const FontSpec& font, QPrinter& printer) {
  QPainter p;
  if (!p.begin(&printer)) return false;
  QFont f(font.name.empty() ? QApplication::font().family() : q(font.name), font.size > 0 ? font.size : 10);
  f.setBold(font.bold);
  p.setFont(f);
  const QFontMetrics m(p.font(), p.device());
  const int pageHeight = p.viewport().height();
  const int step = std::max(1, m.lineSpacing());
  int y = 0;
  for (const auto& line : lines) {
    if (y > 0 && y + step > pageHeight) {
      if (!printer.newPage()) {
        p.end();
        return false;
      }
      y = 0;
    }
    p.drawText(0, y + m.ascent(), q(line));
    y += step;
  }
  return p.end();
}

// --- EditCr ------------------------------------------------------------------------------

TextResultsWindow* textWindowOf(QWidget* mainWindow) {
  TextWindowHost* h = hostOf(mainWindow, false);
  return h ? h->window.data() : nullptr;
}

TextResultsWindow* beginTextResults(QWidget* mainWindow, StudyState& s, Interaction& ui, const TextFileActions* files, int mode) {
  TextWindowHost* h = hostOf(mainWindow, true);
  TextResultsWindow* w = h ? h->window.data() : nullptr;
  if (!w) {
    w = new TextResultsWindow(s, ui, mainWindow);
    if (h) {
      if (!h->notice) h->notice = new TextOverflowNotice(mainWindow);
      w->setOverflowNotice(h->notice);
      h->window = w;
    }
  }
  if (h && files) h->files = *files;
  if (h) w->setFileActions(h->files);
  else if (files) w->setFileActions(*files);
  w->synced().beginTextResults(s, mode);
  // a report brings the window back from the task bar
  if (w->isMinimized()) w->showNormal();
  w->show();
  w->raise();
  return w;
}

TextResults& MainWindowTextOpener::beginTextResults(StudyState& s, int mode) {
  return velor::beginTextResults(main_.data(), s, ui_, nullptr, mode)->journal();
}

}  // namespace velor
