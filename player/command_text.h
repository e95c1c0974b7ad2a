// The command text: the default command, the real command line and the
// quick-play switches in one text of at most 511 characters. Every switch the
// parser recognises is cut out of it; what is left is the name list.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vexil {

// Room of the command text (a 512-byte buffer with its terminator).
constexpr size_t kCommandTextLimit = 511;

// Appends `more` behind `text` with one blank between them (so a trailing
// switch cannot glue to a following name) and cuts the result to the limit.
void AppendCommandText(std::string& text, std::string_view more);

// Switch cancellation, run once before parsing: a `/-` at the very end cuts the
// text there; `/-X` removes every earlier switch with the letter X (either
// case) together with its argument, then itself.
void CancelSwitches(std::string& text);

}  // namespace vexil
