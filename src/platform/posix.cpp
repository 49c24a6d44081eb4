// The platform layer on POSIX systems: plain descriptors, flock for the
// sharing rules, stdio for the console.
#include "platform/platform.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

const bool crlf_line_ends = false;

namespace {

int descriptor(FileHandle file) {
    return static_cast<int>(file);
}

// A lock that another process holds is an error; a file system without
// locks is not.
bool lock(int fd, const struct stat& info, int operation) {
    if (!S_ISREG(info.st_mode)) return true;
    return flock(fd, operation | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

FileIdentity identity_of(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            S_ISREG(info.st_mode)};
}

// What a named file and a standard stream share once open: a folder is
// refused here, since reading it would only fail later.
bool accept_input(int fd, FileIdentity& identity) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || !lock(fd, info, LOCK_SH)) return false;
    identity = identity_of(info);
    return true;
}

// The input under another name is refused before anything is written.
bool accept_output(int fd, const FileIdentity& input, bool empty_it) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return false;
    const FileIdentity output = identity_of(info);
    return !same_file(output, input) && lock(fd, info, LOCK_EX) &&
           (!empty_it || !output.disk_file || ftruncate(fd, 0) == 0);
}

} // namespace

std::vector<std::string> command_line(int argc, char** argv) {
    return {argv, argv + argc};
}

FileHandle open_input(const std::string& name, FileIdentity& identity) {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return no_file;
    if (!accept_input(fd, identity)) {
        close(fd);
        return no_file;
    }
    return fd;
}

FileHandle open_output(const std::string& name, const FileIdentity& input) {
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return no_file;
    if (!accept_output(fd, input, true)) {
        close(fd);
        return no_file;
    }
    return fd;
}

FileHandle standard_input(FileIdentity& identity) {
    return accept_input(STDIN_FILENO, identity) ? STDIN_FILENO : no_file;
}

FileHandle standard_output(const FileIdentity& input) {
    return accept_output(STDOUT_FILENO, input, false) ? STDOUT_FILENO : no_file;
}

std::ptrdiff_t read_file(FileHandle file, unsigned char* buffer, std::size_t capacity) {
    for (;;) {
        const ssize_t got = read(descriptor(file), buffer, capacity);
        if (got >= 0 || errno != EINTR) return got < 0 ? -1 : got;
    }
}

std::ptrdiff_t write_file(FileHandle file, const unsigned char* bytes, std::size_t count) {
    for (;;) {
        const ssize_t put = write(descriptor(file), bytes, count);
        if (put > 0) return put;
        if (put < 0 && errno == EINTR) continue;
        return -1;
    }
}

bool close_file(FileHandle file) {
    return close(descriptor(file)) == 0;
}

bool write_console(Console console, std::string_view text) {
    std::FILE* stream = console == Console::Error ? stderr : stdout;
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

bool flush_console() {
    const auto flushed = [](std::FILE* stream) {
        return std::fflush(stream) == 0 && std::ferror(stream) == 0;
    };
    const bool output_ok = flushed(stdout);
    return flushed(stderr) && output_ok; // both, whichever fails
}
