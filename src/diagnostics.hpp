#pragma once

#include "platform/platform.hpp"

#include <string>
#include <string_view>

// The line that follows each failure line of the program on standard
// error, in the usual form of Unix tools: "spezzafrasi: <name>: <cause>",
// the name as typed and the cause in plain Italian.
std::string cause_line(std::string_view name, const FileProblem& problem);
