// Runs the commands of the command table by `Cmd`, with or without a window:
// menus, keys, tests, velor-cli and macros all end in `run`. Each command has
// one handler. The engine registers the handlers that work on the study state
// alone (shell/engine_commands.h); a window registers those that need it
// (dialogs, monitor steps, help) and follows engine commands with its redraw.
//
// What a handler returns:
//   Done          the command did its work.
//   Refused       it did nothing: cancelled, not allowed in this state, or the
//                 engine refused. The state is as it was. `message` holds a
//                 reason the person has not been told yet (the main window
//                 puts it in its status line); it is empty when the handler
//                 already told them through Interaction or there is nothing
//                 to say.
//   NotAvailable  the command cannot run here. For a command whose module is
//                 not in this build the handler is not even called, and
//                 `message` is the command's hint as the command table shows
//                 it (shownHint: the hint and "пока недоступно..."). A command
//                 without a handler, or whose service is missing (no record
//                 editor yet), answers NotAvailable with an empty message.
// `view` says what the signal monitor must show again afterwards; a refusal
// may set it too (a cancelled open still shows the monitor anew).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "shell/commands.h"

namespace velor::shell {

enum class CommandStatus { Done, Refused, NotAvailable };

// What a command changed of the signal monitor's picture.
enum class ViewChange {
  None,
  Redraw,    // values, marks or axes: the same layout drawn again
  Relayout,  // the record, its length or its channels: laid out anew
};

struct CommandResult {
  CommandStatus status = CommandStatus::Done;
  std::string message;
  ViewChange view = ViewChange::None;

  static CommandResult done(ViewChange v = ViewChange::None) { return {CommandStatus::Done, {}, v}; }
  static CommandResult refused(std::string why = {}, ViewChange v = ViewChange::None) {
    return {CommandStatus::Refused, std::move(why), v};
  }
  static CommandResult notAvailable(std::string why = {}) { return {CommandStatus::NotAvailable, std::move(why)}; }
  // Done when `ok`, else a silent refusal; both with the same view change.
  static CommandResult from(bool ok, ViewChange v = ViewChange::None) {
    return {ok ? CommandStatus::Done : CommandStatus::Refused, {}, v};
  }
};

using CommandHandler = std::function<CommandResult()>;
// Work a window adds after a command's handler, given its result.
using CommandFollowUp = std::function<void(Cmd, const CommandResult&)>;

class CommandDispatcher {
 public:
  // The handler of `cmd`; a later registration replaces an earlier one.
  void setHandler(Cmd cmd, CommandHandler handler);
  bool hasHandler(Cmd cmd) const;
  // Runs after the handler of `cmd` only, in the order added.
  void addFollowUp(Cmd cmd, CommandFollowUp followUp);
  // Runs after every command that reached its handler, after its own
  // follow-ups (the window's redraw by `view`).
  void addFollowUpForAll(CommandFollowUp followUp);

  // Carries out `cmd`: a module not in this build answers with its hint
  // without calling anything; otherwise the handler, then the follow-ups.
  CommandResult run(Cmd cmd);

 private:
  std::map<Cmd, CommandHandler> handlers_;
  std::map<Cmd, std::vector<CommandFollowUp>> followUps_;
  std::vector<CommandFollowUp> followUpsForAll_;
};

// The shown hint of a table entry of `cmd` whose module is not in this build,
// or nothing when every entry of the command is enabled.
std::optional<std::string> disabledCommandHint(Cmd cmd);

}  // namespace velor::shell
