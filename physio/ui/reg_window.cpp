#include "physio/ui/reg_window.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/ui/dialog_look.h"
#include "physio/ecg_settings.h"
#include "physio/rheo_texts.h"
#include "results/graph.h"

namespace velor {

namespace {

QString q(const char* t) { return QString::fromUtf8(t); }

constexpr int kRegHelpContext = 36;
constexpr int kNormLowRow = 2, kNormHighRow = 3;  // floatStore rows of the norm pairs

}  // namespace

RegWindow::RegWindow(StudyState& s, Interaction& ui, Actions actions, QWidget* parent)
    : QDialog(parent), s_(s), ui_(ui), actions_(std::move(actions)) {
  setWindowTitle(q(kRegWindowCaption));
  setProperty("helpContext", kRegHelpContext);
  auto* top = new QVBoxLayout(this);

  auto* fields = new QHBoxLayout;
  leads_ = new QComboBox(this);
  leads_->addItems({"1", "2", "4"});
  leads_->setToolTip(q("Число РГ каналов"));
  age_ = new QLineEdit(q("20"), this);
  age_->setToolTip(q("Возраст пациента"));
  fields->addWidget(new QLabel(q("РГ-каналы="), this));
  fields->addWidget(leads_);
  fields->addWidget(new QLabel(q("Возраст="), this));
  fields->addWidget(age_);
  top->addLayout(fields);

  auto* dyn = new QGroupBox(q("Динамика"), this);
  auto* dynGrid = new QGridLayout(dyn);
  static const char* const kDynamics[8][2] = {
      {"&1=Мод.упруг.", "Динамика изменения модуля упругости"},
      {"&2=Дикротич.И", "Динамика изменения дикротического индекса"},
      {"&3=Диастолич.И", "Динамика изменения диастодического индекса"},
      {"&4=А-систол", "Динамика изменения амплитуды систолической волны"},
      {"&5=T-волны", "Динамика изменения времени волны"},
      {"&6=T-распростр", "Динамика изменения времени распространения РГ-волны"},
      {"&7=T-систол", "Динамика изменения времени максимального кровенаполнения"},
      {"&8=И-замедл", "Динамика изменения индекса замедления кровонаполнения"}};
  for (int k = 1; k <= 8; ++k) {
    QPushButton* p = makeButton(kDynamics[k - 1][0], kDynamics[k - 1][1], dyn);
    dynamics_.push_back(p);
    dynGrid->addWidget(p, (k - 1) / 4, (k - 1) % 4);
    QObject::connect(p, &QPushButton::clicked, this, [this, k] { runDynamics(k); });
  }
  top->addWidget(dyn);

  auto* methods = new QGroupBox(q("Методы"), this);
  auto* grid = new QGridLayout(methods);
  buttons_ = {makeButton("&9=Статистика", "Статистика РГ-показателей", methods),
              makeButton("&A=Усреднение", "Усреднение РГ-волн", methods),
              makeButton("&B=Кубичек", "Гемодинамика по Кубичеку", methods),
              makeButton("&C=Тищенко", "Показателт гемодинамики", methods),
              makeButton("<Esc>=Отменить", "Отменить меню", methods)};
  grid->addWidget(buttons_[0], 1, 0);
  grid->addWidget(buttons_[1], 1, 1);
  grid->addWidget(new QLabel(q("Гемодинамика:"), methods), 0, 2, 1, 2);
  grid->addWidget(buttons_[2], 1, 2);
  grid->addWidget(buttons_[3], 1, 3);
  grid->addWidget(buttons_[4], 2, 0, 1, 4);
  top->addWidget(methods);
  QObject::connect(buttons_[0], &QPushButton::clicked, this, [this] { runStatistics(); });
  QObject::connect(buttons_[1], &QPushButton::clicked, this, [this] { runAverage(); });
  QObject::connect(buttons_[2], &QPushButton::clicked, this, [this] { runHemodynamics(0); });
  QObject::connect(buttons_[3], &QPushButton::clicked, this, [this] { runHemodynamics(1); });
  QObject::connect(buttons_[4], &QPushButton::clicked, this, [this] { reject(); });
  applyDialogLook(this);
}

QPushButton* RegWindow::button(Button b) const { return buttons_.at(static_cast<std::size_t>(b)); }

QPushButton* RegWindow::makeButton(const char* caption, const char* hint, QWidget* parent) {
  auto* p = new QPushButton(q(caption), parent);
  p->setToolTip(q(hint));
  p->setAutoDefault(false);
  return p;
}

void RegWindow::showEvent(QShowEvent* e) {
  readSettings();
  QDialog::showEvent(e);
}

void RegWindow::done(int r) {
  writeRegSettings(s_.programDir, settings());
  QDialog::done(r);
}

void RegWindow::readSettings() {
  RegSettings st;
  if (!readRegSettings(s_.programDir, st)) {
    QApplication::beep();
    return;  // the form's defaults stay
  }
  const int i = leads_->findText(QString::fromStdString(st.leads));
  leads_->setCurrentIndex(i >= 0 ? i : (st.leadCount() == 4 ? 2 : st.leadCount() - 1));
  age_->setText(QString::fromStdString(st.age));
  restingPropagationMs_ = st.restingPropagationMs;
}

RegSettings RegWindow::settings() const {
  RegSettings st;
  st.leads = leads_->currentText().toStdString();
  st.age = age_->text().toStdString();
  st.restingPropagationMs = restingPropagationMs_;
  return st;
}

int RegWindow::currentChannel() const {
  return std::clamp(s_.firstShownChannel + s_.currentChannelRow, 0, std::max(0, s_.channelCount - 1));
}

RegNorms RegWindow::norms(int age) {
  const std::string path = s_.programDir + kRegNormFile;
  std::string text, message;
  RegNorms n;
  if (!fileExists(path) || !readWholeFile(path, text, 1u << 20)) {
    ui_.message(kRegNoNorms);
  } else if (parseRegNorms(text, age, n, message)) {
    for (int row = 0; row < 14; ++row) {
      setFloatAt(s_, kNormLowRow, row, static_cast<float>(n.low[static_cast<std::size_t>(row)]));
      setFloatAt(s_, kNormHighRow, row, static_cast<float>(n.high[static_cast<std::size_t>(row)]));
    }
    return n;
  } else {
    ui_.message(message);
  }
  for (int row = 0; row < 14; ++row) {
    n.low[static_cast<std::size_t>(row)] = floatAt(s_, kNormLowRow, row);
    n.high[static_cast<std::size_t>(row)] = floatAt(s_, kNormHighRow, row);
  }
  return n;
}

void RegWindow::runDynamics(int k) {
  RegDynamics d;
  std::string message;
  // too few waves: nothing is shown
  if (computeRegDynamics(s_, currentChannel(), k, readEcgDetectorSettings(s_.programDir), d, message)) {
    hide();
    if (actions_.dynamics) actions_.dynamics(d);
  }
  done(QDialog::Accepted);
}

void RegWindow::runStatistics() {
  const RegSettings st = settings();
  const RegNorms n = norms(st.ageYears());
  RegStatistics stats;
  std::string message;
  if (!computeRegStatistics(s_, currentChannel(), st.leadCount(), n, readEcgDetectorSettings(s_.programDir),
                            restingPropagationMs_, stats, message)) {
    ui_.message(message);
    done(QDialog::Accepted);
    return;
  }
  for (const std::string& notice : stats.notices) ui_.message(notice);
  // The resting time is asked once the waves are known; a cancelled box
  // keeps the stored one.
  if (const auto answer = ui_.input(kRegPropagationTitle, kRegPropagationPrompt, integerText(restingPropagationMs_))) {
    const auto v = parseNumber(*answer);
    restingPropagationMs_ =
        sanitizeRestingPropagation(v && std::isfinite(*v) && std::fabs(*v) < 1e6 ? static_cast<int>(std::trunc(*v)) : 0);
  }
  stats.lines[stats.lines.size() - 2] = regIpsLine(stats, restingPropagationMs_);
  s_.firstShownChannel = 0;
  hide();
  if (actions_.statistics) actions_.statistics(stats.lines);
  done(QDialog::Accepted);
}

void RegWindow::runAverage() {
  const int c = currentChannel();
  std::string problem;
  const auto r = regRPositions(s_, readEcgDetectorSettings(s_.programDir), problem);
  const RegWaveSearch w = findRegWaves(s_, c, r);
  if (w.waves.size() <= 1) return;  // too few waves: the window stays open
  RegAverage a;
  std::string message;
  if (!averageRegWave(s_, c, w, a, message)) {
    ui_.message(message);
    return;
  }
  const auto lines = regAverageLines(s_, c, a);
  hide();
  if (actions_.average) actions_.average(c, a, lines);
  done(QDialog::Accepted);
}

void RegWindow::runHemodynamics(int method) {
  const int age = settings().ageYears();
  std::string problem, message;
  const auto r = regRPositions(s_, readEcgDetectorSettings(s_.programDir), problem);
  const RegWaveSearch w = s_.channelCount >= 3 ? findRegWaves(s_, 0, r) : RegWaveSearch{};
  if (w.waves.size() < 2) {
    ui_.message(kRegTooFewWaves);
    done(QDialog::Accepted);
    return;
  }
  const std::optional<RegPatient> p = actions_.patient ? actions_.patient() : std::optional<RegPatient>(RegPatient{});
  if (!p) {
    done(QDialog::Rejected);
    return;
  }
  std::vector<std::string> lines;
  if (!computeHemodynamics(s_, w, method, age, *p, lines, message)) {
    ui_.message(message);
  } else {
    hide();
    if (actions_.hemodynamics) actions_.hemodynamics(lines);
  }
  done(QDialog::Accepted);
}

}  // namespace velor
