// What the program asks of the operating system: its command line, its two
// files, the console and, where the system has a way, giving up the rights
// it no longer needs. One implementation per system; nothing else in the
// program calls the system directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace spezzafrasi {

// A descriptor on POSIX, a HANDLE on Windows.
using FileHandle = std::intptr_t;
inline constexpr FileHandle no_file = -1;

// Who an open file is, so that the input is never taken as the output
// under another name.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    bool disk_file = false;      // devices, pipes and consoles have no identity to compare
    std::uint64_t size = 0;      // a disk file's, when it was opened
    std::uint64_t start = 0;     // where its reading began
    bool device_unknown = false; // the file is known, not its volume (Wine's standard handles)
};

// Why a file could not be opened, read or written, as its user would say
// it; Other keeps the system's own code.
enum class FileError {
    None,
    Missing,       // no such file
    MissingFolder, // a folder of the path does not exist
    IsFolder,
    Denied,  // no permission
    InUse,   // held or locked by another program
    IsInput, // the output is the input, under whatever name
    DiskFull,
    ReadFault,  // the device failed to read
    WriteFault, // the device failed to write, or took nothing
    BadName,    // no file can have that name
    Shrunk,     // the input ended before the size it had when it was opened
    Closed,     // a standard stream that the program was started without
    Other,
};

struct FileProblem {
    FileError error = FileError::None;
    std::int64_t system_code = 0; // errno, or the Win32 error
};

// Whether two identities may be one file: where a volume is unknown, the
// same file number on any volume is taken for it.
inline bool same_file(const FileIdentity& a, const FileIdentity& b) {
    return a.disk_file && b.disk_file && a.file == b.file &&
           (a.device == b.device || a.device_unknown || b.device_unknown);
}

// Whether lines end in CR LF, as text files do on this system.
extern const bool crlf_line_ends;

// The arguments as UTF-8, the program's name first. On Windows they are
// taken from the wide command line, so that any file name comes through.
std::vector<std::string> command_line(int argc, char** argv);

// Opens the input for reading, so that nobody may write to it while it is
// open. A folder is refused. Returns no_file on failure, and why in
// `problem`.
FileHandle open_input(const std::string& name, FileIdentity& identity, FileProblem& problem);

// Opens the output for exclusive writing, creating it if it is missing. The
// input under any name, and a file that another program holds, are refused
// untouched; a disk file is emptied only once accepted. Returns no_file on
// failure, and why in `problem`.
FileHandle open_output(const std::string& name, const FileIdentity& input, FileProblem& problem);

// The standard streams as the input and the output, under the same rules as
// named files, except that the output is written where the caller left it
// (`>` has emptied it, `>>` appends) and never emptied here. Binary on every
// system.
// A standard stream that the caller closed is refused as such, also when
// the input file took its descriptor (`input_file`).
FileHandle standard_input(FileIdentity& identity, FileProblem& problem);
FileHandle standard_output(FileHandle input_file, const FileIdentity& input, FileProblem& problem);

// At most `capacity` bytes: their count, 0 at the end of the input, -1 on
// a read error.
std::ptrdiff_t read_file(FileHandle file, unsigned char* buffer, std::size_t capacity);

// Whether a disk file that gave `read` bytes up to its end was cut short
// while it was read: fewer than it had when it was opened, and it is
// smaller now. (A file of the kernel's may give fewer bytes than its size
// says, and is not cut short.)
bool file_cut_short(FileHandle file, const FileIdentity& identity, std::uint64_t read);

// Some of the bytes, at least one: their count, or -1 on a write error.
std::ptrdiff_t write_file(FileHandle file, const unsigned char* bytes, std::size_t count);

bool close_file(FileHandle file);

// Why the last read_file, or the last write_file or close_file, failed.
FileProblem read_problem();
FileProblem write_problem();

// Where the console lines go: standard output, or standard error when the
// periods themselves go to standard output.
enum class ConsoleStream { Output, Error };

// Whether what is written to that standard stream would land in `output`:
// the same file or the same pipe, under whatever name (`>`, `>>`, a link,
// /dev/stdout, a descriptor that the file was given because the stream was
// closed). Terminals and other devices are never the same.
bool console_lands_in(ConsoleStream console, FileHandle output);

// A console line in UTF-8, shown as the user's console shows text, and out
// before anything written after it to the other stream. The result of
// every write is known at the latest by flush_console.
bool write_console(ConsoleStream console, std::string_view text);
bool flush_console();

// Forbids the process every system call that reading, writing, printing
// and exiting do not need, where the system offers a way. Returns false if
// the system refused; the run then goes on unconfined.
bool confine_to_open_files();

} // namespace spezzafrasi
