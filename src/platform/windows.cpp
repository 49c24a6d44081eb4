// The platform layer on Windows: the wide API for names and the console,
// share modes for the sharing rules, and text files with CR LF line ends.
#include "platform/platform.hpp"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace spezzafrasi {

const bool crlf_line_ends = true;

namespace {

HANDLE handle_of(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

FileHandle file_of(HANDLE handle) {
    return reinterpret_cast<FileHandle>(handle);
}

// Text that is not valid UTF-8 has no name to open: the conversion fails
// rather than open a file the user did not name.
bool widen(std::string_view text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
    const int size = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) return false;
    wide.resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(),
                               length) == length;
}

std::string narrow(const wchar_t* wide) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
    text.pop_back(); // the terminating NUL
    return text;
}

// Wine refuses GetFileInformationByHandle for a standard handle that is a
// Unix file (a shell's redirection), but tells its file number and size,
// with 0 for the volume: the file is known, its volume is not.
bool identity_by_id(HANDLE handle, FileIdentity& identity) {
    FILE_ID_INFO id{};
    FILE_STANDARD_INFO standard{};
    if (!GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id) ||
        !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
        return false;
    }
    std::memcpy(&identity.file, id.FileId.Identifier, sizeof identity.file);
    identity.device = static_cast<std::uint32_t>(id.VolumeSerialNumber);
    identity.device_unknown = id.VolumeSerialNumber == 0;
    identity.disk_file = true;
    identity.size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
    return true;
}

bool identity_of(HANDLE handle, FileIdentity& identity) {
    identity = {};
    if (GetFileType(handle) != FILE_TYPE_DISK) return true;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return identity_by_id(handle, identity);
    identity.device = info.dwVolumeSerialNumber;
    identity.file = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    identity.disk_file = true;
    identity.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    return true;
}

FileProblem problem_of(DWORD error) {
    const auto because = [error](FileError cause) { return FileProblem{cause, error}; };
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return because(FileError::Missing);
    case ERROR_PATH_NOT_FOUND:
        return because(FileError::MissingFolder);
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return because(FileError::Denied);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return because(FileError::InUse);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return because(FileError::DiskFull);
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
    case ERROR_FILENAME_EXCED_RANGE:
        return because(FileError::BadName);
    default:
        return because(FileError::Other);
    }
}

// CreateFileW says only "access denied" for a folder, and "in use" for the
// input under another name: the name is looked at again to tell which.
FileProblem open_problem(const std::wstring& name, const FileIdentity& input) {
    FileProblem problem = problem_of(GetLastError());
    if (problem.error == FileError::Denied) {
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            problem.error = FileError::IsFolder;
        }
    } else if (problem.error == FileError::InUse && input.disk_file) {
        // No access asked, so no share mode stands in the way.
        const HANDLE look =
            CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        FileIdentity found;
        if (look != INVALID_HANDLE_VALUE) {
            if (identity_of(look, found) && same_file(found, input))
                problem.error = FileError::IsInput;
            CloseHandle(look);
        }
    }
    return problem;
}

} // namespace

std::vector<std::string> command_line(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return {argv, argv + argc};
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        arguments.push_back(narrow(wide[i]));
    LocalFree(wide);
    return arguments;
}

FileHandle open_input(const std::string& name, FileIdentity& identity, FileProblem& problem) {
    std::wstring wide;
    if (!widen(name, wide)) {
        problem = {FileError::BadName, ERROR_NO_UNICODE_TRANSLATION};
        return no_file;
    }
    // Sharing for reading only: nobody may write to the input, and the
    // input cannot be opened again as the output. A folder cannot be opened
    // this way at all.
    const HANDLE handle =
        CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        problem = open_problem(wide, {});
        return no_file;
    }
    if (!identity_of(handle, identity)) {
        problem = problem_of(GetLastError());
        CloseHandle(handle);
        return no_file;
    }
    return file_of(handle);
}

FileHandle open_output(const std::string& name, const FileIdentity& input, FileProblem& problem) {
    std::wstring wide;
    if (!widen(name, wide)) {
        problem = {FileError::BadName, ERROR_NO_UNICODE_TRANSLATION};
        return no_file;
    }
    // No sharing: a file that anybody holds open, the input among them, is
    // refused before anything is written.
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        problem = open_problem(wide, input);
        return no_file;
    }
    // Who the file is, before anything is emptied: the share modes keep
    // the input out, but not on every file system.
    FileIdentity output;
    if (!identity_of(handle, output)) {
        problem = problem_of(GetLastError());
    } else if (same_file(output, input)) {
        problem = {FileError::IsInput, 0};
    } else if (output.disk_file && !SetEndOfFile(handle)) {
        problem = problem_of(GetLastError());
    } else {
        return file_of(handle);
    }
    CloseHandle(handle);
    return no_file;
}

// A standard handle cannot be given share modes after the fact: the input
// is still never the output, by identity.
FileHandle standard_input(FileIdentity& identity, FileProblem& problem) {
    const HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !identity_of(handle, identity)) {
        problem = problem_of(GetLastError());
        return no_file;
    }
    // The caller may have read from it.
    LARGE_INTEGER at{};
    if (identity.disk_file && SetFilePointerEx(handle, LARGE_INTEGER{}, &at, FILE_CURRENT) &&
        at.QuadPart > 0) {
        identity.start = static_cast<std::uint64_t>(at.QuadPart);
    }
    return file_of(handle);
}

FileHandle standard_output(FileHandle /*input_file*/, const FileIdentity& input,
                           FileProblem& problem) {
    const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    FileIdentity output;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !identity_of(handle, output)) {
        problem = problem_of(GetLastError());
        return no_file;
    }
    if (same_file(output, input)) {
        problem = {FileError::IsInput, 0};
        return no_file;
    }
    return file_of(handle);
}

std::ptrdiff_t read_file(FileHandle file, unsigned char* buffer, std::size_t capacity) {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 30));
    DWORD got = 0;
    if (ReadFile(handle_of(file), buffer, wanted, &got, nullptr)) return got;
    // A pipe whose writer has gone has ended, as on POSIX.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

bool file_cut_short(FileHandle file, const FileIdentity& identity, std::uint64_t read) {
    LARGE_INTEGER now{};
    return identity.disk_file && identity.start + read < identity.size &&
           GetFileSizeEx(handle_of(file), &now) &&
           static_cast<std::uint64_t>(now.QuadPart) < identity.size;
}

namespace {

// The errors of a write into a pipe whose reader has closed it.
bool reader_gone(DWORD error) {
    return error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED ||
           error == ERROR_BROKEN_PIPE;
}

// When the reader of a pipe goes away the program ends at once and
// quietly, as SIGPIPE ends it on POSIX, with the status that a POSIX
// shell gives it there (128 + 13).
[[noreturn]] void end_quietly() {
    ExitProcess(128 + 13);
}

} // namespace

std::ptrdiff_t write_file(FileHandle file, const unsigned char* bytes, std::size_t count) {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    // A write that takes nothing is tried again a few times, then failed
    // with a cause of its own rather than whatever error came before.
    for (int nothing = 0; nothing < 8; ++nothing) {
        DWORD put = 0;
        if (!WriteFile(handle_of(file), bytes, wanted, &put, nullptr)) {
            if (reader_gone(GetLastError())) end_quietly();
            return -1;
        }
        if (put > 0) return put;
    }
    SetLastError(ERROR_WRITE_FAULT);
    return -1;
}

bool close_file(FileHandle file) {
    return CloseHandle(handle_of(file)) != 0;
}

FileProblem read_problem() {
    const DWORD error = GetLastError();
    switch (error) {
    case ERROR_CRC:
    case ERROR_NOT_READY: // what Wine makes of EIO
    case ERROR_READ_FAULT:
    case ERROR_IO_DEVICE:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_NOACCESS:
        return {FileError::ReadFault, error};
    default:
        return problem_of(error);
    }
}

FileProblem write_problem() {
    const DWORD error = GetLastError();
    return error == ERROR_WRITE_FAULT ? FileProblem{FileError::WriteFault, error}
                                      : problem_of(error);
}

bool console_lands_in(ConsoleStream console, FileHandle output) {
    const HANDLE stream =
        GetStdHandle(console == ConsoleStream::Error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return false;
    FileIdentity a;
    FileIdentity b;
    return identity_of(stream, a) && identity_of(handle_of(output), b) && same_file(a, b);
}

// A console shows the text through the wide API, whatever its code page;
// a file or a pipe gets the UTF-8 bytes.
bool write_console(ConsoleStream console, std::string_view text) {
    const HANDLE out =
        GetStdHandle(console == ConsoleStream::Error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        std::wstring wide;
        if (!widen(text, wide)) return false;
        DWORD shown = 0;
        return WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &shown, nullptr) &&
               shown == wide.size();
    }
    // Redirected, the lines end in CR LF as text mode writes them.
    std::string bytes;
    for (const char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    for (std::size_t done = 0; done < bytes.size();) {
        const auto* from = reinterpret_cast<const unsigned char*>(bytes.data()) + done;
        const std::ptrdiff_t put = write_file(file_of(out), from, bytes.size() - done);
        if (put < 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool flush_console() {
    return true; // every write has gone out already
}

} // namespace spezzafrasi
