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

} // namespace

std::vector<std::string> command_line(int argc, char** argv) {
    return {argv, argv + argc};
}

FileHandle open_input(const std::string& name, FileIdentity& identity) {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return no_file;
    struct stat info {};
    // A folder is refused here, since reading it would only fail later.
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || !lock(fd, info, LOCK_SH)) {
        close(fd);
        return no_file;
    }
    identity = identity_of(info);
    return fd;
}

FileHandle open_output(const std::string& name, const FileIdentity& input) {
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return no_file;
    struct stat info {};
    const bool inspected = fstat(fd, &info) == 0;
    const FileIdentity output = identity_of(info);
    const bool usable = inspected &&
                        !(output.disk_file && input.disk_file && output.device == input.device &&
                          output.file == input.file) &&
                        lock(fd, info, LOCK_EX) && (!output.disk_file || ftruncate(fd, 0) == 0);
    if (!usable) {
        close(fd);
        return no_file;
    }
    return fd;
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

bool write_console(std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

bool flush_console() {
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}
