// spezzafrasi nomefile1 nomefile2 [n]: writes the text of nomefile1 into
// nomefile2 cut into periods of at most n words (7 by default).
#include "run_loop.hpp"
#include "segmentation/byte_stream.hpp"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int exit_ok = 0;
constexpr int exit_failure = 1;
constexpr int exit_usage = 2;
constexpr std::size_t buffer_size = std::size_t{1} << 16;

// Console output is checked once, at the end: a failed write leaves the
// stream's error flag set.
int console_status(int status) {
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? status : exit_failure;
}

void print_usage() {
    std::fputs("\nUtilizzo:\nspezzafrasi nomefile1 nomefile2\n", stdout);
    std::fputs("oppure:\nspezzafrasi nomefile1 nomefile2 n\n", stdout);
    std::fputs("\nLegge il file di input <nomefile1> e ne trascrive il contenuto\n", stdout);
    std::fputs("nel file <nomefile2>, evidenziando le prime n parole (7 se non specificato)\n\n\n",
               stdout);
}

// A lock that another process holds is an error; a file system without
// locks is not.
bool lock(int fd, const struct stat& info, int operation) {
    if (!S_ISREG(info.st_mode)) return true;
    return flock(fd, operation | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

// Opens the input for reading, shared with other readers only. A folder is
// refused here, since reading it would only fail later.
int open_input(const char* path, struct stat& info) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || !lock(fd, info, LOCK_SH)) {
        close(fd);
        return -1;
    }
    return fd;
}

// Opens the output for exclusive writing. It is emptied only once it is
// known not to be the input under another name and nobody else holds it.
int open_output(const char* path, const struct stat& input_info) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return -1;
    struct stat info {};
    const bool usable = fstat(fd, &info) == 0 &&
                        !(S_ISREG(info.st_mode) && S_ISREG(input_info.st_mode) &&
                          info.st_dev == input_info.st_dev && info.st_ino == input_info.st_ino) &&
                        lock(fd, info, LOCK_EX) &&
                        (!S_ISREG(info.st_mode) || ftruncate(fd, 0) == 0);
    if (!usable) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        print_usage();
        return console_status(exit_usage);
    }
    const char* input_name = argv[1];
    const char* output_name = argv[2];

    struct stat input_info {};
    const int input_fd = open_input(input_name, input_info);
    if (input_fd < 0) {
        std::fputs("Errore apertura file input\n", stdout);
        return console_status(exit_failure);
    }
    const int output_fd = open_output(output_name, input_info);
    if (output_fd < 0) {
        std::fputs("Errore apertura file output\n", stdout);
        return console_status(exit_failure);
    }
    const std::int32_t words_per_period = argc == 4 ? parse_words_per_period(argv[3]) : 7;

    std::printf("Periodizzazione in corso da %s a %s, con %d parole per periodo\n", input_name,
                output_name, static_cast<int>(words_per_period));

    std::array<unsigned char, buffer_size> input_buffer;
    std::array<unsigned char, buffer_size> output_buffer;
    InputStream input{input_fd, input_buffer.data(), input_buffer.size()};
    OutputStream output{output_fd, output_buffer.data(), output_buffer.size()};
    write_periods(input, output, words_per_period);
    // What was read before a read error still reaches the output.
    const bool written = flush_output(output) && close(output_fd) == 0;
    if (input.state == StreamState::Failed) {
        std::fputs("Errore lettura file input\n", stdout);
        return console_status(exit_failure);
    }
    if (!written) {
        std::fputs("Errore scrittura file output\n", stdout);
        return console_status(exit_failure);
    }
    std::printf("Periodizzato in %s\n", output_name);
    return console_status(exit_ok);
}
