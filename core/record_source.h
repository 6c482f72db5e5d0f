// The open recording of a study: a file the study moves through record by
// record (".cad" records, EDF pages), or the single record read from another
// system's file. The study state owns it (StudyState::recordSource); the
// navigation of record_file.h (stepRecord, gotoRecord, rereadRecord,
// confirmWriteBack) goes through it, so those steps need not know which
// format is open.
//
// The descriptor stays in recordFileHandle, where the writers, the record
// editor and the tests expect it; closeRecordFile closes it and drops the
// source with it.
#pragma once

#include <string>
#include <utility>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

class RecordSource {
 public:
  RecordSource() = default;
  RecordSource(const RecordSource&) = delete;
  RecordSource& operator=(const RecordSource&) = delete;
  virtual ~RecordSource() = default;

  // Short name of the format: "cad", "edf", "udf", "e32", "bdf",
  // "brainsys", "neuroscan", "text".
  virtual std::string formatName() const = 0;
  // Still the study's open recording. Code that closes or replaces the
  // descriptor by hand leaves a source behind that no longer answers.
  virtual bool isOpen(const StudyState& s) const = 0;
  // Records can be reached by number (1..recordCount).
  virtual bool canStep() const = 0;
  // A changed record can go back into its place in the file (the question
  // "Записать изменения в файл?" is asked before leaving it).
  virtual bool canWriteBack() const = 0;
  // Records (or pages) that can be reached.
  virtual int recordCount(const StudyState& s) const = 0;

  // Record `number` (1..recordCount) into memory; the caller has settled a
  // changed record already. A record that cannot be read leaves the current
  // one in place with a message (false).
  virtual bool moveTo(StudyState& s, int number, Interaction& ui) = 0;
  // The current record read again, dropping changes in memory.
  virtual bool reread(StudyState& s, Interaction& ui) = 0;
  // The changed record in memory written back over its place. False with a
  // message when it cannot be; recordModified is the caller's to clear.
  virtual bool writeBack(StudyState& s, Interaction& ui) = 0;
};

// The study's open recording, or nullptr when there is none.
RecordSource* openRecordSource(StudyState& s);
const RecordSource* openRecordSource(const StudyState& s);

// A recording read whole into memory as one record: nothing to step to,
// reread or write back. It answers for as long as no record file is open.
class SingleRecordSource final : public RecordSource {
 public:
  explicit SingleRecordSource(std::string format) : format_(std::move(format)) {}
  std::string formatName() const override { return format_; }
  bool isOpen(const StudyState& s) const override { return s.recordFileHandle < 0; }
  bool canStep() const override { return false; }
  bool canWriteBack() const override { return false; }
  int recordCount(const StudyState&) const override { return 1; }
  bool moveTo(StudyState&, int, Interaction&) override { return false; }
  bool reread(StudyState&, Interaction&) override { return false; }
  bool writeBack(StudyState&, Interaction&) override { return false; }

 private:
  std::string format_;
};

}  // namespace velor
