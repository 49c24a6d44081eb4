// spezzafrasi nomefile1 nomefile2 [n]: writes the text of nomefile1 into
// nomefile2 cut into periods of at most n words (7 by default). `-` names
// standard input or standard output.
#include "messages.hpp"
#include "platform/platform.hpp"
#include "run_loop.hpp"
#include "segmentation/byte_stream.hpp"
#include "segmentation/kernels.hpp"
#include "segmentation/periods.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace spezzafrasi {

namespace {

constexpr int exit_ok = 0;
constexpr int exit_failure = 1;
constexpr int exit_usage = 2;
constexpr std::size_t buffer_size = std::size_t{1} << 16;
// The input buffer starts a page: a read into a place a few bytes past a
// page's start was measured four times slower.
constexpr std::size_t page_size = 4096;
constexpr std::string_view standard_stream = "-";

// Where the console lines of one run go, and whether they all got there:
// a failed console write is not success.
struct Console {
    ConsoleStream stream = ConsoleStream::Output;
    bool lines = true;  // false when neither stream may take them
    bool causes = true; // whether standard error may take the cause lines
    bool ok = true;
};

void say(Console& console, std::string_view line) {
    if (console.lines) console.ok = write_console(console.stream, line) && console.ok;
}

// Each failure line is followed, on standard error, by the file and the
// cause.
void fail(Console& console, Failure failure, std::string_view name, const FileProblem& problem) {
    say(console, failure_line(failure));
    if (console.causes) {
        console.ok = write_console(ConsoleStream::Error, cause_line(name, problem)) && console.ok;
    }
}

// Text that is not UTF-8 is cut as the rules say, and some of its phrases
// may run together: the user is told once, after the other lines, where
// the first fault is. It is not a failure.
void warn_not_utf8(Console& console, std::string_view name, const PeriodState& state) {
    std::uint64_t offset = 0;
    std::uint64_t line = 0;
    if (!first_fault(state, offset, line) || !console.causes) return;
    console.ok =
        write_console(ConsoleStream::Error, not_utf8_line(name, offset, line)) && console.ok;
}

// No console line goes into `file`, the input or the output, under
// whatever name the shell gave it: the lines move to standard error when
// standard output is the file, and are not written when standard error is
// the file too.
void keep_out_of(Console& console, FileHandle file) {
    if (console_lands_in(ConsoleStream::Error, file)) console.causes = false;
    if (console.stream == ConsoleStream::Output && console_lands_in(ConsoleStream::Output, file)) {
        console.stream = ConsoleStream::Error;
    }
    if (console.stream == ConsoleStream::Error && !console.causes) console.lines = false;
}

int finish(const Console& console, int status) {
    return flush_console() && console.ok ? status : exit_failure;
}

// Reads the whole input, writes its periods and says how it went.
int transcribe(Console& console, FileHandle input_file, const FileIdentity& input_identity,
               FileHandle output_file, const std::vector<std::string>& args) {
    const std::string& input_name = args[1];
    const std::string& output_name = args[2];
    const std::int32_t words_per_period =
        args.size() == 4 ? parse_words_per_period(args[3].c_str()) : 7;
    const std::string progress = progress_line(input_name, output_name, words_per_period);
    // From here on the process only reads, writes and prints.
    confine_to_open_files();
    say(console, progress);

    std::array<unsigned char, page_size + buffer_size> input_space;
    void* input_start = input_space.data();
    std::size_t input_room = input_space.size();
    unsigned char* const input_buffer =
        static_cast<unsigned char*>(std::align(page_size, buffer_size, input_start, input_room));
    std::array<unsigned char, buffer_size> output_buffer;
    FileSink sink{output_file};
    OutputStream output{output_buffer.data(), output_buffer.size(),
                        crlf_line_ends ? crlf_line_end : lf_line_end, flush_to_file, &sink};
    PeriodState state; // NOLINT(cppcoreguidelines-pro-type-member-init): start_periods sets it
    start_periods(state, words_per_period);
    FileProblem read_failure;
    const bool read_ok = write_periods(input_file, input_identity, input_buffer, buffer_size, state,
                                       output, read_failure);
    bool written = flush_output(output);
    if (!close_file(output_file) && written) {
        written = false;
        sink.problem = write_problem();
    }
    int status = exit_ok;
    if (!read_ok) {
        fail(console, Failure::Read, input_name, read_failure);
        status = exit_failure;
    } else if (!written) {
        fail(console, Failure::Write, output_name, sink.problem);
        status = exit_failure;
    } else {
        say(console, done_line(output_name));
    }
    warn_not_utf8(console, input_name, state);
    return finish(console, status);
}

// The program itself, from its arguments to its exit status.
int run_program(int argc, char** argv) {
    Console console;
    const std::vector<std::string> args = command_line(argc, argv);
    // Asked-for help and the version are answers, not errors.
    const bool help = args.size() == 2 && args[1] == "--help";
    if (args.size() == 2 && args[1] == "--version") {
        say(console, version_text(chosen_kernel().name));
        return finish(console, exit_ok);
    }
    if (args.size() < 3 || help) {
        say(console, usage_text());
        return finish(console, help ? exit_ok : exit_usage);
    }
    const std::string& input_name = args[1];
    const std::string& output_name = args[2];
    // When the periods go to standard output, it holds nothing else.
    const bool periods_to_standard_output = output_name == standard_stream;
    if (periods_to_standard_output) console.stream = ConsoleStream::Error;

    FileIdentity input_identity;
    FileProblem problem;
    const FileHandle input_file = input_name == standard_stream
                                      ? standard_input(input_identity, problem)
                                      : open_input(input_name, input_identity, problem);
    if (input_file == no_file) {
        fail(console, Failure::OpenInput, input_name, problem);
        return finish(console, exit_failure);
    }
    keep_out_of(console, input_file);
    const FileHandle output_file = periods_to_standard_output
                                       ? standard_output(input_file, input_identity, problem)
                                       : open_output(output_name, input_identity, problem);
    if (output_file == no_file) {
        fail(console, Failure::OpenOutput, output_name, problem);
        return finish(console, exit_failure);
    }
    keep_out_of(console, output_file);
    return transcribe(console, input_file, input_identity, output_file, args);
}

} // namespace

} // namespace spezzafrasi

int main(int argc, char** argv) {
    return spezzafrasi::run_program(argc, argv);
}
