// Whole-file writing that says why it failed, for tools that report the
// reason to a person.
#pragma once

#include <string>
#include <string_view>

namespace velor {

// Writes like writeFileAtomically (core/binio.h); on failure `reason` says
// why: "the folder … does not exist", or the system's word such as
// "No space left on device".
bool writeFileAtomically(const std::string& path, std::string_view data, std::string& reason);

}  // namespace velor
