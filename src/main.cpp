// spezzafrasi nomefile1 nomefile2 [n]: writes the text of nomefile1 into
// nomefile2 cut into periods of at most n words (7 by default). `-` names
// standard input or standard output.
#include "platform/platform.hpp"
#include "run_loop.hpp"
#include "segmentation/byte_stream.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int exit_ok = 0;
constexpr int exit_failure = 1;
constexpr int exit_usage = 2;
constexpr std::size_t buffer_size = std::size_t{1} << 16;
constexpr std::string_view standard_stream = "-";

constexpr std::string_view usage[] = {
    "\nUtilizzo:\nspezzafrasi nomefile1 nomefile2\n",
    "oppure:\nspezzafrasi nomefile1 nomefile2 n\n",
    "\nLegge il file di input <nomefile1> e ne trascrive il contenuto\n",
    "nel file <nomefile2>, evidenziando le prime n parole (7 se non specificato)\n\n\n",
};

} // namespace

int main(int argc, char** argv) {
    // A failed console write is not success: it is remembered until the end.
    bool console_ok = true;
    Console console = Console::Output;
    const auto say = [&](std::string_view line) {
        console_ok = write_console(console, line) && console_ok;
    };
    const auto finish = [&](int status) {
        return flush_console() && console_ok ? status : exit_failure;
    };
    const std::vector<std::string> args = command_line(argc, argv);
    // Asked-for help and the version are answers, not errors.
    const bool help = args.size() == 2 && args[1] == "--help";
    if (args.size() == 2 && args[1] == "--version") {
        say("spezzafrasi " SPEZZAFRASI_VERSION "\n");
        return finish(exit_ok);
    }
    if (args.size() < 3 || help) {
        for (const std::string_view line : usage)
            say(line);
        return finish(help ? exit_ok : exit_usage);
    }
    const std::string& input_name = args[1];
    const std::string& output_name = args[2];
    // When the periods go to standard output, it holds nothing else.
    const bool periods_to_standard_output = output_name == standard_stream;
    if (periods_to_standard_output) console = Console::Error;

    FileIdentity input_identity;
    const FileHandle input_file = input_name == standard_stream
                                      ? standard_input(input_identity)
                                      : open_input(input_name, input_identity);
    if (input_file == no_file) {
        say("Errore apertura file input\n");
        return finish(exit_failure);
    }
    const FileHandle output_file = periods_to_standard_output
                                       ? standard_output(input_identity)
                                       : open_output(output_name, input_identity);
    if (output_file == no_file) {
        say("Errore apertura file output\n");
        return finish(exit_failure);
    }
    const std::int32_t words_per_period =
        args.size() == 4 ? parse_words_per_period(args[3].c_str()) : 7;
    const std::string progress = "Periodizzazione in corso da " + input_name + " a " + output_name +
                                 ", con " + std::to_string(words_per_period) +
                                 " parole per periodo\n";
    const std::string done = "Periodizzato in " + output_name + "\n";
    // From here on the process only reads, writes and prints.
    confine_to_open_files();
    say(progress);

    std::array<unsigned char, buffer_size> input_buffer;
    std::array<unsigned char, buffer_size> output_buffer;
    InputStream input{input_file, input_buffer.data(), input_buffer.size()};
    OutputStream output{output_file, output_buffer.data(), output_buffer.size(),
                        crlf_line_ends ? crlf_line_end : lf_line_end};
    write_periods(input, output, words_per_period);
    // What was read before a read error still reaches the output.
    const bool written = flush_output(output) && close_file(output_file);
    if (input.state == StreamState::Failed) {
        say("Errore lettura file input\n");
        return finish(exit_failure);
    }
    if (!written) {
        say("Errore scrittura file output\n");
        return finish(exit_failure);
    }
    say(done);
    return finish(exit_ok);
}
