// The platform layer on POSIX systems: plain descriptors, flock for the
// sharing rules, stdio for the console.
#include "platform/platform.hpp"
#include "platform/write_retry.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace spezzafrasi {

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
            S_ISREG(info.st_mode),
            S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0};
}

FileProblem problem_of(int error) {
    const auto because = [error](FileError cause) { return FileProblem{cause, error}; };
    switch (error) {
    case ENOENT:
        return because(FileError::Missing);
    case ENOTDIR:
        return because(FileError::MissingFolder);
    case EISDIR:
        return because(FileError::IsFolder);
    case EACCES:
    case EPERM:
    case EROFS:
        return because(FileError::Denied);
    case EWOULDBLOCK:
    case ETXTBSY:
        return because(FileError::InUse);
    case ENOSPC:
    case EDQUOT:
        return because(FileError::DiskFull);
    case EBADF: // only a standard stream's descriptor can be closed here
        return because(FileError::Closed);
    case ENAMETOOLONG:
    case EILSEQ:
        return because(FileError::BadName);
    default:
        return because(FileError::Other);
    }
}

// A missing file in a folder that is missing too: the folder is the cause.
FileProblem open_problem(const std::string& name) {
    FileProblem problem = problem_of(errno);
    const std::size_t slash = name.find_last_of('/');
    struct stat info {};
    if (problem.error == FileError::Missing && slash != std::string::npos && slash != 0 &&
        stat(name.substr(0, slash).c_str(), &info) != 0) {
        problem.error = FileError::MissingFolder;
    }
    return problem;
}

// What a named file and a standard stream share once open: a folder is
// refused here, since reading it would only fail later.
bool accept_input(int fd, FileIdentity& identity, FileProblem& problem) {
    struct stat info {};
    const bool usable = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode) && lock(fd, info, LOCK_SH);
    if (!usable) {
        problem =
            S_ISDIR(info.st_mode) ? FileProblem{FileError::IsFolder, EISDIR} : problem_of(errno);
        return false;
    }
    identity = identity_of(info);
    // A standard input may have been read from.
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (at > 0) identity.start = static_cast<std::uint64_t>(at);
    return true;
}

// The input under another name is refused before anything is written.
bool accept_output(int fd, const FileIdentity& input, bool empty_it, FileProblem& problem) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        problem = problem_of(errno);
        return false;
    }
    if (same_file(identity_of(info), input)) {
        problem = {FileError::IsInput, 0};
        return false;
    }
    if (!lock(fd, info, LOCK_EX) || (empty_it && S_ISREG(info.st_mode) && ftruncate(fd, 0) != 0)) {
        problem = problem_of(errno);
        return false;
    }
    return true;
}

} // namespace

std::vector<std::string> command_line(int argc, char** argv) {
    return {argv, argv + argc};
}

FileHandle open_input(const std::string& name, FileIdentity& identity, FileProblem& problem) {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        problem = open_problem(name);
        return no_file;
    }
    if (!accept_input(fd, identity, problem)) {
        close(fd);
        return no_file;
    }
    return fd;
}

FileHandle open_output(const std::string& name, const FileIdentity& input, FileProblem& problem) {
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        problem = open_problem(name);
        return no_file;
    }
    if (!accept_output(fd, input, true, problem)) {
        close(fd);
        return no_file;
    }
    return fd;
}

FileHandle standard_input(FileIdentity& identity, FileProblem& problem) {
    return accept_input(STDIN_FILENO, identity, problem) ? STDIN_FILENO : no_file;
}

FileHandle standard_output(FileHandle input_file, const FileIdentity& input, FileProblem& problem) {
    // Opened after standard output was closed, the input took its number.
    if (input_file == STDOUT_FILENO) {
        problem = {FileError::Closed, EBADF};
        return no_file;
    }
    return accept_output(STDOUT_FILENO, input, false, problem) ? STDOUT_FILENO : no_file;
}

std::ptrdiff_t read_file(FileHandle file, unsigned char* buffer, std::size_t capacity) {
    for (;;) {
        const ssize_t got = read(descriptor(file), buffer, capacity);
        if (got >= 0 || errno != EINTR) return got < 0 ? -1 : got;
    }
}

bool file_cut_short(FileHandle file, const FileIdentity& identity, std::uint64_t read) {
    struct stat info {};
    return identity.disk_file && identity.start + read < identity.size &&
           fstat(descriptor(file), &info) == 0 &&
           static_cast<std::uint64_t>(info.st_size) < identity.size;
}

std::ptrdiff_t write_file(FileHandle file, const unsigned char* bytes, std::size_t count) {
    int error = 0;
    const std::ptrdiff_t put = write_retrying(
        [&] {
            const ssize_t took = write(descriptor(file), bytes, count);
            return WriteAttempt{took, took < 0 ? errno : 0};
        },
        error);
    if (put < 0) errno = error;
    return put;
}

bool close_file(FileHandle file) {
    return close(descriptor(file)) == 0;
}

FileProblem read_problem() {
    return errno == EIO ? FileProblem{FileError::ReadFault, EIO} : problem_of(errno);
}

FileProblem write_problem() {
    return errno == EIO ? FileProblem{FileError::WriteFault, EIO} : problem_of(errno);
}

bool console_lands_in(ConsoleStream console, FileHandle output) {
    struct stat stream {};
    struct stat file {};
    const int fd = console == ConsoleStream::Error ? STDERR_FILENO : STDOUT_FILENO;
    if (fstat(fd, &stream) != 0 || fstat(descriptor(output), &file) != 0) return false;
    const bool comparable =
        S_ISREG(stream.st_mode) || S_ISFIFO(stream.st_mode) || S_ISSOCK(stream.st_mode);
    return comparable && stream.st_dev == file.st_dev && stream.st_ino == file.st_ino;
}

// Each line goes out at once: standard error is not buffered, and a cause
// must not reach a shared log or pipe before the line it explains.
bool write_console(ConsoleStream console, std::string_view text) {
    std::FILE* stream = console == ConsoleStream::Error ? stderr : stdout;
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size() &&
           std::fflush(stream) == 0;
}

bool flush_console() {
    const auto flushed = [](std::FILE* stream) {
        return std::fflush(stream) == 0 && std::ferror(stream) == 0;
    };
    const bool output_ok = flushed(stdout);
    return flushed(stderr) && output_ok; // both, whichever fails
}

} // namespace spezzafrasi
