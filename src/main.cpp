// spezzafrasi nomefile1 nomefile2 [n]: writes the text of nomefile1 into
// nomefile2 cut into periods of at most n words (7 by default).
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

} // namespace

int main(int argc, char** argv) {
    // A failed console write is not success: it is remembered until the end.
    bool console_ok = true;
    const auto say = [&](std::string_view line) { console_ok = write_console(line) && console_ok; };
    const auto finish = [&](int status) {
        return flush_console() && console_ok ? status : exit_failure;
    };
    const std::vector<std::string> args = command_line(argc, argv);
    if (args.size() < 3) {
        say("\nUtilizzo:\nspezzafrasi nomefile1 nomefile2\n");
        say("oppure:\nspezzafrasi nomefile1 nomefile2 n\n");
        say("\nLegge il file di input <nomefile1> e ne trascrive il contenuto\n");
        say("nel file <nomefile2>, evidenziando le prime n parole (7 se non specificato)\n\n\n");
        return finish(exit_usage);
    }
    const std::string& input_name = args[1];
    const std::string& output_name = args[2];

    FileIdentity input_identity;
    const FileHandle input_file = open_input(input_name, input_identity);
    if (input_file == no_file) {
        say("Errore apertura file input\n");
        return finish(exit_failure);
    }
    const FileHandle output_file = open_output(output_name, input_identity);
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
