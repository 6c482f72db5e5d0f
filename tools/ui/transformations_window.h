// "Преобразования": the commands that change the samples of the record in
// memory (tools/transformations.h), with the window's values kept in
// "qtrn.ini". Each command that changes the record first copies it into the
// undo copy the caller keeps, so "Отменить преобразование" gives it back.
// Most commands close the window with dialogResult 1 (the caller redraws);
// "&3=Усреднить" closes with 7; "Граф", the second "Ф" and "&J=Ampl" leave it open.
#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/formula.h"
#include "core/interaction.h"
#include "core/record_snapshot.h"
#include "core/study_state.h"
#include "tools/transformations.h"
#include "viewer/record_edit.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velor {

class SpectralEngine;

enum class TransformCommand : int {
  Amplitude, Delete, Copy, Compare, AverageInside, Generator, ReadChannel, AverageFile, Reorganise, Decimate,
  Standardise, Filter, Graph, Smooth, WindowSmooth, Spikes, Reverse, Derivative, Envelope, ZScores, Formula,
  CommonReference, Program, HeaderLine, Undo, Cancel,
};

class TransformationsWindow final : public QDialog {
  Q_OBJECT
 public:
  TransformationsWindow(StudyState& s, Interaction& ui, SpectralEngine& engine, RecordUndo& undo,
                        std::vector<std::string>& headerLines, QWidget* parent = nullptr);

  // What the window needs from others (set by the wiring; tests script them).
  std::function<std::string()> chooseRecordFile;                    // "" when cancelled
  std::function<std::optional<CompiledFormula>()> chooseFormula;     // the formula window, use 1
  std::function<int(DeleteSettings&)> segmentChoice;                 // the delete window: a DeleteChoice
  std::function<void()> openGenerator;
  std::function<void()> reorganise;
  std::function<void(const std::vector<ResponsePoint>&)> showResponse;
  std::function<void(const ChannelComparison&)> showComparison;

  QPushButton* button(TransformCommand c) const;
  QLineEdit* amplitudeEdit() const { return amplitude_; }
  QLineEdit* targetEdit() const { return target_; }
  QLineEdit* lowEdit() const { return low_; }
  QLineEdit* highEdit() const { return high_; }
  QLineEdit* orderEdit() const { return order_; }
  QLineEdit* epsEdit() const { return eps_; }
  QLineEdit* windowEdit() const { return window_; }
  QLineEdit* stepEdit() const { return step_; }
  QLineEdit* otherChannelEdit() const { return otherChannel_; }
  QComboBox* filterTypeBox() const { return type_; }
  QCheckBox* allChannelsBox() const { return all_; }
  QCheckBox* twoWayBox() const { return twoWay_; }
  QCheckBox* maxBox() const { return max_; }

  // The values as the fields hold them.
  TransformSettings settings() const;
  // Runs one command as its button does.
  void run(TransformCommand c);

 protected:
  void done(int result) override;

 private:
  void showSettings(const TransformSettings& t);
  void typeChanged(int type);
  void finish(int dialogResult);
  bool change(const std::function<bool()>& work);

  StudyState& s_;
  Interaction& ui_;
  SpectralEngine& engine_;
  RecordUndo& undo_;
  std::vector<std::string>& headerLines_;
  std::map<TransformCommand, QPushButton*> buttons_;
  QLineEdit* amplitude_ = nullptr;
  QLineEdit* target_ = nullptr;
  QLineEdit* low_ = nullptr;
  QLineEdit* high_ = nullptr;
  QComboBox* program_ = nullptr;
  QLineEdit* otherChannel_ = nullptr;
  QCheckBox* all_ = nullptr;
  QLineEdit* order_ = nullptr;
  QLineEdit* eps_ = nullptr;
  QLabel* orderLabel_ = nullptr;
  QLabel* epsLabel_ = nullptr;
  QComboBox* type_ = nullptr;
  QLineEdit* window_ = nullptr;
  QLineEdit* step_ = nullptr;
  QCheckBox* twoWay_ = nullptr;
  QCheckBox* max_ = nullptr;
  bool saved_ = false;
};

}  // namespace velor
