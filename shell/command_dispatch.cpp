#include "shell/command_dispatch.h"

namespace velor::shell {

std::optional<std::string> disabledCommandHint(Cmd cmd) {
  // A command may sit in the menu and on the panel; either one naming a
  // module that is missing disables it.
  for (const MenuEntry& e : menuEntries())
    if (e.cmd == cmd && !commandEnabled(e.module)) return shownHint(e.hint, e.module);
  for (const PanelButton& b : panelButtons())
    if (b.cmd == cmd && !commandEnabled(b.module)) return shownHint(b.hint, b.module);
  return std::nullopt;
}

void CommandDispatcher::setHandler(Cmd cmd, CommandHandler handler) { handlers_[cmd] = std::move(handler); }

bool CommandDispatcher::hasHandler(Cmd cmd) const { return handlers_.count(cmd) != 0; }

void CommandDispatcher::addFollowUp(Cmd cmd, CommandFollowUp followUp) {
  followUps_[cmd].push_back(std::move(followUp));
}

void CommandDispatcher::addFollowUpForAll(CommandFollowUp followUp) { followUpsForAll_.push_back(std::move(followUp)); }

CommandResult CommandDispatcher::run(Cmd cmd) {
  if (auto hint = disabledCommandHint(cmd)) return CommandResult::notAvailable(std::move(*hint));
  const auto it = handlers_.find(cmd);
  if (it == handlers_.end() || !it->second) return CommandResult::notAvailable();
  // A handler may replace handlers (a window wiring itself on first use), so
  // the one running is a copy.
  const CommandHandler handler = it->second;
  const CommandResult result = handler();
  if (const auto f = followUps_.find(cmd); f != followUps_.end())
    for (const auto& followUp : f->second) followUp(cmd, result);
  for (const auto& followUp : followUpsForAll_) followUp(cmd, result);
  return result;
}

}  // namespace velor::shell
