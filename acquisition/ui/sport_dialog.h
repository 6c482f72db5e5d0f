// "Диагностика": the sports-diagnostics examination — the athlete count
// ("Спортсменов=", one channel each), the record file ("Файл записи:", 30
// names), "ФИО спортсменов" (the header), and the stages "Проба",
// "Релаксация", "Нагрузка". "Меню планирования" leaves with `dialogResult`
// 10 for the ordinary plan. "Анализ ЭКГ" analyses the heart rate of the
// recordings of the chosen name and hands each picture to ecgDrawn (the side
// window "RR-диаграммы"). Opening reads "qpln_s.ini", closing writes it.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/exam_plan.h"
#include "acquisition/sport_stage.h"
#include "core/interaction.h"
#include "core/study_state.h"

class QComboBox;
class QPushButton;

namespace velor {

class SportDialog final : public QDialog {
  Q_OBJECT
 public:
  SportDialog(StudyState& s, ExaminationPlan& plan, Interaction& ui, QWidget* parent = nullptr);

  int examFd() const { return fd_; }
  const std::string& examPath() const { return path_; }
  QComboBox* athletesList() const { return athletes_; }
  QComboBox* fileList() const { return file_; }
  QPushButton* stageButton(SportStage stage) const { return stages_[static_cast<int>(stage)]; }
  QPushButton* planMenuButton() const { return planMenu_; }
  QPushButton* ecgButton() const { return ecg_; }

  void runStage(SportStage stage);
  // "Анализ ЭКГ".
  void analyseEcg();
  bool ecgAnalysed() const { return ecgAnalysed_; }
  // The trimmed name in "Файл записи:".
  std::string recordName() const;
  // Where the heart-rate pictures go (the side window); set by the caller.
  std::function<void(std::shared_ptr<const ExpressPicture>)> ecgDrawn;

 Q_SIGNALS:
  void headerRequested();

 protected:
  void done(int r) override;

 private:
  StudyState& s_;
  ExaminationPlan& plan_;
  Interaction& ui_;
  int fd_ = -1;
  std::string path_;
  std::vector<std::string> names_;
  QComboBox* athletes_ = nullptr;
  QComboBox* file_ = nullptr;
  QPushButton* stages_[3] = {};
  QPushButton* planMenu_ = nullptr;
  QPushButton* ecg_ = nullptr;
  bool ecgAnalysed_ = false;
};

}  // namespace velor
