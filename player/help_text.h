// The help box: shown when the command text holds an unrecognised, malformed,
// repeated or refused switch, or no movie at all.
#pragma once

#include <string>

namespace vexil {

inline constexpr const char kHelpCaption[] = "Vexil Video Player Help";
inline constexpr const char kProgramName[] = "VexilPlay";
inline constexpr const char kProgramVersion[] = "1.9h";

// The whole text of the box, every line ending with a line feed.
std::string HelpText();

}  // namespace vexil
