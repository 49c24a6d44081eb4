#include "memory_file.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// The harness cannot go on without its files: stop loudly.
void require(bool ok, const char* what) {
    if (ok) return;
    std::perror(what);
    std::abort();
}

int fd_of(FileHandle file) {
    return static_cast<int>(file);
}

} // namespace

FileHandle anonymous_file() {
    const char* dir = std::getenv("TMPDIR");
    std::string name =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/spezzafrasi-test-XXXXXX";
    const int fd = mkstemp(name.data());
    require(fd >= 0 && unlink(name.c_str()) == 0, "a temporary file");
    return fd;
}

void fill_file(FileHandle file, std::string_view bytes) {
    require(ftruncate(fd_of(file), 0) == 0 &&
                (bytes.empty() || pwrite(fd_of(file), bytes.data(), bytes.size(), 0) ==
                                      static_cast<ssize_t>(bytes.size())) &&
                lseek(fd_of(file), 0, SEEK_SET) == 0,
            "filling the input");
}

std::string file_contents(FileHandle file) {
    const off_t size = lseek(fd_of(file), 0, SEEK_END);
    require(size >= 0, "the size of the output");
    std::string text(static_cast<std::size_t>(size), '\0');
    require(text.empty() || pread(fd_of(file), text.data(), text.size(), 0) == size,
            "reading the output back");
    return text;
}

std::uint64_t file_position(FileHandle file) {
    return static_cast<std::uint64_t>(lseek(fd_of(file), 0, SEEK_CUR));
}
