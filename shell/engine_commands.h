// The commands that need no window, registered on a dispatcher: open, save
// and settings files through the file chooser, back to signals, the sample
// rate question, axes, device and monitor placement choices, and the record
// steps and edits of the record editor. Each tells the person through the
// Interaction it is given and says in its result what the monitor must show
// again; a window adds only its redraw.
#pragma once

#include <functional>

#include "core/interaction.h"
#include "core/study_state.h"
#include "shell/command_dispatch.h"
#include "shell/main_commands.h"
#include "viewer/record_edit.h"

namespace velor::shell {

// What the engine commands work with. The providers are asked on every run,
// so a caller may swap the file window or the editing windows in between.
struct EngineCommandServices {
  StudyState& study;
  Interaction& ui;
  std::function<FileChooser&()> chooser;
  // The record editor with the windows and progress of its edits. While
  // `editor` gives nullptr (no record editor yet) the record steps and edits
  // answer NotAvailable; `editDialogs` and `progress` are asked only when
  // there is an editor.
  std::function<RecordEditor*()> editor;
  std::function<EditDialogs&()> editDialogs;
  std::function<Progress&()> progress;
};

// Registers the handlers of the engine commands. Record steps and edits
// refused by the state of the study (an examination recording, edits outside
// the signal view) answer Refused with the status-line reason.
void registerEngineCommands(CommandDispatcher& dispatcher, EngineCommandServices services);

}  // namespace velor::shell
