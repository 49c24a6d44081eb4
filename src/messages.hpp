// Every text that the program writes on its console, in Italian: the usage,
// the version, the progress and the failure lines, and the lines that name
// a file and a cause on standard error.
#pragma once

#include "platform/platform.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace spezzafrasi {

// What went wrong, for the failure line that says it.
enum class Failure { OpenInput, OpenOutput, Read, Write };

std::string_view usage_text();
std::string version_text(std::string_view kernel_name);
std::string progress_line(std::string_view input_name, std::string_view output_name,
                          std::int32_t words_per_period);
std::string done_line(std::string_view output_name);
std::string_view failure_line(Failure failure);

// The line that follows each failure line of the program on standard
// error, in the usual form of Unix tools: "spezzafrasi: <name>: <cause>",
// the name as typed and the cause in plain Italian.
std::string cause_line(std::string_view name, const FileProblem& problem);

// The warning for a text that is not UTF-8, with its first faulty byte
// (`offset` from 0, said from 1) and line (from 1).
std::string not_utf8_line(std::string_view name, std::uint64_t offset, std::uint64_t line);

} // namespace spezzafrasi
