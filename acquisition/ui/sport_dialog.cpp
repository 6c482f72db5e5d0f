#include "acquisition/ui/sport_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "acquisition/exam_texts.h"
#include "core/numtext.h"
#include "core/ui/dialog_look.h"

namespace velor {

namespace {
QString q(const char* s) { return QString::fromUtf8(s); }
}  // namespace

SportDialog::SportDialog(StudyState& s, ExaminationPlan& plan, Interaction& ui, QWidget* parent)
    : QDialog(parent), s_(s), plan_(plan), ui_(ui) {
  setWindowTitle(q(exam_texts::kDiagnostics));
  setObjectName("sportDialog");
  auto* grid = new QGridLayout(this);
  athletes_ = new QComboBox;
  for (int i = 1; i <= 6; ++i) athletes_->addItem(QString::number(i));
  grid->addWidget(new QLabel(q(exam_texts::kAthletes)), 0, 0);
  grid->addWidget(athletes_, 0, 1);
  file_ = new QComboBox;
  file_->setEditable(true);
  file_->setInsertPolicy(QComboBox::NoInsert);
  grid->addWidget(new QLabel(q(exam_texts::kRecordFileLabel)), 1, 0);
  grid->addWidget(file_, 1, 1);
  auto button = [this](const char* caption) {
    auto* b = new QPushButton(q(caption), this);
    b->setAutoDefault(false);
    return b;
  };
  auto* header = button(exam_texts::kAthleteNames);
  connect(header, &QPushButton::clicked, this, &SportDialog::headerRequested);
  grid->addWidget(header, 2, 0, 1, 2);
  const char* captions[] = {exam_texts::kTrial, exam_texts::kRelaxation, exam_texts::kLoad};
  for (int i = 0; i < 3; ++i) {
    stages_[i] = button(captions[i]);
    connect(stages_[i], &QPushButton::clicked, this, [this, i] { runStage(static_cast<SportStage>(i)); });
    grid->addWidget(stages_[i], 3 + i, 0, 1, 2);
  }
  ecg_ = button(exam_texts::kEcgAnalysis);
  connect(ecg_, &QPushButton::clicked, this, [this] { analyseEcg(); });
  grid->addWidget(ecg_, 6, 0, 1, 2);
  planMenu_ = button(exam_texts::kPlanMenu);
  connect(planMenu_, &QPushButton::clicked, this, [this] {
    s_.dialogResult = 10;
    done(QDialog::Rejected);
  });
  grid->addWidget(planMenu_, 7, 0, 1, 2);
  auto* cancel = button(exam_texts::kCancel);
  connect(cancel, &QPushButton::clicked, this, [this] {
    s_.dialogResult = 0;
    plan_.interruptMode = false;
    done(QDialog::Rejected);
  });
  grid->addWidget(cancel, 8, 0, 1, 2);
  applyDialogLook(this);

  for (int i = 0; i < kSportFileNames; ++i) names_.push_back("a" + std::to_string(i));
  SportSettings saved;
  readSportSettings(s_.programDir, saved);
  athletes_->setCurrentIndex(saved.athleteItem);
  if (!saved.recordName.empty()) rememberFileName(names_, saved.recordName, kSportFileNames);
  for (const auto& n : names_) file_->addItem(QString::fromStdString(n));
  file_->setEditText(QString::fromStdString(saved.recordName));
}

void SportDialog::runStage(SportStage stage) {
  const std::string name = file_->currentText().toStdString();
  if (!startSportStage(s_, plan_, ui_, stage, athletes_->currentIndex() + 1, name, names_, fd_, path_)) return;
  done(QDialog::Accepted);
}

std::string SportDialog::recordName() const { return trimSpaces(file_->currentText().toStdString()); }

void SportDialog::analyseEcg() {
  // Out of the way of the side window at the right.
  move(0, y());
  if (sportEcgAnalysis(s_, plan_, ui_, recordName(), ecgDrawn)) ecgAnalysed_ = true;
}

void SportDialog::done(int r) {
  SportSettings out;
  out.athleteItem = std::max(0, athletes_->currentIndex());
  out.recordName = file_->currentText().toStdString();
  writeSportSettings(s_.programDir, out);
  QDialog::done(r);
}

}  // namespace velor
