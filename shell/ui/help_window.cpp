#include "shell/ui/help_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "shell/help_topics.h"

namespace velor::shell {

QString helpTextAsHtml(const char* title, const char* body) {
  QString html = "<h3>" + QString::fromUtf8(title).toHtmlEscaped() + "</h3>";
  const QStringList paragraphs = QString::fromUtf8(body).split("\n\n", Qt::SkipEmptyParts);
  for (const QString& p : paragraphs) html += "<p>" + p.toHtmlEscaped().replace('\n', "<br>") + "</p>";
  return html;
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Справка VELOR"));
  resize(720, 480);
  auto* lay = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  search_ = new QLineEdit(this);
  search_->setPlaceholderText(QStringLiteral("Поиск"));
  search_->setClearButtonEnabled(true);
  list_ = new QListWidget(this);
  left->addWidget(search_);
  left->addWidget(list_);
  text_ = new QTextBrowser(this);
  lay->addLayout(left, 1);
  lay->addWidget(text_, 3);
  connect(search_, &QLineEdit::textChanged, this, &HelpWindow::filter);
  connect(list_, &QListWidget::currentRowChanged, this, &HelpWindow::showRow);
  filter(QString());
}

void HelpWindow::filter(const QString& query) {
  const auto found = searchHelp(query.toStdString());
  list_->blockSignals(true);
  list_->clear();
  for (int context : found) {
    auto* item = new QListWidgetItem(QString::fromUtf8(helpTopicFor(context).title), list_);
    item->setData(Qt::UserRole, context);
  }
  list_->blockSignals(false);
  if (list_->count() > 0) {
    int row = 0;
    for (int i = 0; i < list_->count(); ++i)
      if (list_->item(i)->data(Qt::UserRole).toInt() == shown_) row = i;
    list_->setCurrentRow(row);
    showRow(row);
  } else {
    text_->setHtml("<p>" + QStringLiteral("Ничего не найдено.") + "</p>");
  }
}

void HelpWindow::showRow(int row) {
  if (row < 0 || row >= list_->count()) return;
  const int context = list_->item(row)->data(Qt::UserRole).toInt();
  const HelpTopic& t = helpTopicFor(context);
  shown_ = t.context;
  text_->setHtml(helpTextAsHtml(t.title, t.body));
}

void HelpWindow::showTopic(int context) {
  if (!search_->text().isEmpty()) search_->clear();  // lists every topic again
  const int wanted = helpTopicFor(context).context;
  for (int i = 0; i < list_->count(); ++i)
    if (list_->item(i)->data(Qt::UserRole).toInt() == wanted) {
      list_->setCurrentRow(i);
      showRow(i);
      return;
    }
}

void HelpWindow::startSearch() {
  search_->setFocus();
  search_->selectAll();
}

InstructionDialog::InstructionDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(instructionTitle()));
  resize(560, 420);
  auto* lay = new QVBoxLayout(this);
  auto* text = new QTextBrowser(this);
  text->setObjectName("instructionText");
  text->setHtml(helpTextAsHtml(instructionTitle(), instructionText()));
  lay->addWidget(text);
  auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  lay->addWidget(close, 0, Qt::AlignRight);
}

}  // namespace velor::shell
