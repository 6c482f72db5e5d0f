// Record reorganisation ("Реорганизация записей"): the records of the open
// file are cut into new records of one epoch around reference points, which
// go to a new record file. The reference points are those the evoked
// potential averaging uses as well: a time, mark-channel stimuli and codes,
// marks and one-sample events in a channel, and repetitions of a selected
// waveform.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"
#include "viewer/record_edit.h"

namespace velor {

// A parsed reference point. `parameter` is 0-based for S, M, E and C (S: −1
// means any change of the mark channel), the code for I, O and P; `seconds`
// is the parameter of T.
struct ReferencePoint {
  char kind = 'T';  // T, S, M, E, C, I, O or P
  int parameter = 0;
  double seconds = 0;
};

// Parses "S3", "m2 [i=1-32]" and the like. On failure `error` holds
// "Ошибка типа опорной точки!" or "Ошибка параметра опорной точки".
std::optional<ReferencePoint> parseReferencePoint(std::string_view text, int channelCount, std::string& error);

// One record as the search sees it.
struct ReferenceSearch {
  std::vector<const std::int16_t*> channels;
  std::vector<int> zeroLevel;
  const std::int16_t* mark = nullptr;  // nullptr without a mark channel
  long length = 0;
  int rate = 0;
  std::vector<std::int16_t> waveform;  // the selected template of kind C
};

// The next reference point at or after h, or −1 when there is none. Kind P
// needs the converter board's peak search, which this build does not have:
// it never finds a point.
long findReferencePoint(const ReferenceSearch& r, const ReferencePoint& p, long h);

// What a run needs, checked before anything is written.
struct ReorganisationPlan {
  ReferencePoint point;
  long epoch = 0;         // L: samples per new record, at most 4095
  long startOffset = 0;   // trunc(rate × epoch start), relative to the point
  long step = 1;          // g: added to L after every accepted point
  long firstPosition = 0; // where the search starts in each record
  std::vector<std::int16_t> waveform;
};
// Checks the window's values against the record in memory; shows the first
// failure ("Ошибка типа опорной точки!", "Ошибка параметра опорной точки",
// "Ошибка задания эпохи", "Ошибка маркера", or that a selection condition
// cannot be evaluated in this build) and returns nothing.
std::optional<ReorganisationPlan> planReorganisation(const StudyState& s, const ReorganisationSettings& settings,
                                                     Interaction& ui);

// Runs a plan over every record of the open file into `outputPath` (a new
// file, written through a temporary file: a failure or cancel leaves no
// file). Afterwards the open file's first record is read again, the cursor at
// 100 and no selection. Returns the records written (0 when none was, with a
// message).
int reorganiseRecords(RecordEditor& editor, StudyState& s, const ReorganisationPlan& plan,
                      const std::string& outputPath, Interaction& ui, Progress& progress);

// The whole command: the window ("q17.ini" read before, written on
// "Выполнить"), the checks, the output file (`pickOutput`, nothing when
// cancelled), the run.
int reorganisationCommand(RecordEditor& editor, StudyState& s, Interaction& ui, EditDialogs& dialogs,
                          const std::function<std::optional<std::string>()>& pickOutput, Progress& progress);

}  // namespace velor
