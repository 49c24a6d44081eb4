// Runs the built program on Windows as a user would: console lines, exit
// status, CR LF line ends, Unicode names and the share modes that guard
// the user's files.
#include "cli_support.hpp"
#include "spezzafrasi.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string crlf = "\r\n";
const std::string input_error = "Errore apertura file input\r\n";
const std::string output_error = "Errore apertura file output\r\n";

struct Outcome {
    DWORD status = 999;
    std::string console; // standard output
    std::string errors;  // standard error
};

std::wstring wide(const std::string& utf8) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                        length);
    return text;
}

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::string read_all(HANDLE pipe) {
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    CloseHandle(pipe);
    return text;
}

// Runs the program with `args` (UTF-8), standard input from `stdin_path`
// (NUL if empty), standard output into a pipe or, if `append_to` is given,
// appended to that file, and standard error into a pipe of its own.
Outcome run(const std::vector<std::string>& args, const fs::path& stdin_path = {},
            const fs::path& append_to = {}, bool errors_too = false) {
    std::wstring command = L"\"" + wide(SPEZZAFRASI_PATH) + L"\"";
    for (const auto& a : args)
        command += L" \"" + wide(a) + L"\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out_read = nullptr;
    HANDLE out_write = nullptr;
    HANDLE err_read = nullptr;
    HANDLE err_write = nullptr;
    if (!CreatePipe(&out_read, &out_write, &inherit, 0) ||
        !CreatePipe(&err_read, &err_write, &inherit, 0)) {
        return {};
    }
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const HANDLE in = CreateFileW(stdin_path.empty() ? L"NUL" : stdin_path.c_str(), GENERIC_READ,
                                  share, &inherit, OPEN_EXISTING, 0, nullptr);
    const HANDLE appended = append_to.empty()
                                ? INVALID_HANDLE_VALUE
                                : CreateFileW(append_to.c_str(), FILE_APPEND_DATA, share, &inherit,
                                              OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = append_to.empty() ? out_write : appended;
    startup.hStdError = errors_too && appended != INVALID_HANDLE_VALUE ? appended : err_write;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    for (const HANDLE h : {out_write, err_write, in, appended}) {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    Outcome result;
    result.console = read_all(out_read);
    result.errors = read_all(err_read);
    if (!started) return result;
    WaitForSingleObject(process.hProcess, 30000);
    GetExitCodeProcess(process.hProcess, &result.status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return result;
}

bool under_wine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::string done(const std::string& out) {
    return "Periodizzato in " + out + "\r\n";
}

class WindowsCliTest : public testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0U);
        dir = fs::path(temp) / ("spezzafrasi-cli-" + std::to_string(GetCurrentProcessId()) + "-" +
                                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        input = dir / "testo.txt";
        output = dir / "periodi.txt";
        write_file(input, "Oggi piove molto forte.\r\nDomani no.\r\n");
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
    fs::path input;
    fs::path output;
};

TEST_F(WindowsCliTest, UsageWithCrLf) {
    const Outcome r = run({"solo-uno.txt"});
    EXPECT_EQ(r.status, 2U);
    EXPECT_EQ(r.console, "\r\nUtilizzo:\r\nspezzafrasi nomefile1 nomefile2\r\n"
                         "oppure:\r\nspezzafrasi nomefile1 nomefile2 n\r\n"
                         "\r\nLegge il file di input <nomefile1> e ne trascrive il contenuto\r\n"
                         "nel file <nomefile2>, evidenziando le prime n parole (7 se non "
                         "specificato)\r\n\r\n\r\n");
}

// Lines end in CR LF; every other byte is the input's, 0x1A included.
TEST_F(WindowsCliTest, PeriodsEndInCrLf) {
    const struct {
        std::string text;
        std::string n;
        std::string periods;
    } cases[] = {
        {"Oggi piove molto forte.\r\nDomani no.\r\n", "3",
         "Oggi piove molto;\r\nDomani no;\r\n;\r\n"},
        {"Oggi piove molto forte.\nDomani no.\n", "3", "Oggi piove molto;\r\nDomani no;\r\n;\r\n"},
        {"uno\x1A"
         "due tre. quattro\x1A cinque",
         "7",
         "uno\x1A"
         "due tre;\r\nquattro\x1A cinque;\r\n"},
        {"", "7", ";\r\n"},
    };
    for (const auto& c : cases) {
        write_file(input, c.text);
        const Outcome r = run({utf8(input), utf8(output), c.n});
        EXPECT_EQ(r.status, 0U) << c.periods;
        EXPECT_EQ(r.console,
                  progress(utf8(input), utf8(output), std::stoi(c.n), crlf) + done(utf8(output)));
        EXPECT_EQ(read_file(output), c.periods);
    }
}

TEST_F(WindowsCliTest, SampleTextAsOnLinuxButCrLf) {
    std::string expected;
    for (const char c : read_file(SAMPLE_PERIODS_PATH)) {
        if (c == '\n') expected += '\r';
        expected += c;
    }
    const Outcome r = run({SAMPLE_TEXT_PATH, utf8(output)});
    EXPECT_EQ(r.status, 0U);
    EXPECT_EQ(read_file(output), expected);
}

// Names outside any ANSI code page reach the files, and the console lines
// show them as typed (UTF-8, since the console here is a pipe).
TEST_F(WindowsCliTest, UnicodeNames) {
    for (const std::string& name :
         std::vector<std::string>{"perché è già", "κείμενο", "テキスト"}) {
        const fs::path in = dir / fs::path(std::u8string(name.begin(), name.end()) + u8".txt");
        const fs::path out = dir / fs::path(std::u8string(name.begin(), name.end()) + u8".periodi");
        write_file(in, "Ciao mondo.");
        const Outcome r = run({utf8(in), utf8(out)});
        EXPECT_EQ(r.status, 0U) << name;
        EXPECT_EQ(r.console, progress(utf8(in), utf8(out), 7, crlf) + done(utf8(out))) << name;
        EXPECT_EQ(read_file(out), "Ciao mondo;\r\n;\r\n") << name;
    }
}

// The input is open for reading with sharing for reading only: under no
// name can it be opened again for writing.
TEST_F(WindowsCliTest, InputUnderAnyNameIsNeverItsOutput) {
    const std::string original = read_file(input);
    const fs::path hard = dir / "collegamento.txt";
    ASSERT_TRUE(CreateHardLinkW(hard.c_str(), input.c_str(), nullptr));
    for (const std::string& out :
         {utf8(input), utf8(dir / "TESTO.txt"), utf8(dir / "Testo.TXT"),
          utf8(dir / "." / "testo.txt"), utf8(dir / "sotto" / ".." / "testo.txt"), utf8(hard)}) {
        fs::create_directories(dir / "sotto");
        const Outcome r = run({utf8(input), out});
        EXPECT_EQ(r.status, 1U) << out;
        EXPECT_EQ(r.console, output_error) << out;
        EXPECT_EQ(read_file(input), original) << out;
    }
}

TEST_F(WindowsCliTest, FileHeldOpenByAnotherProgramIsNotEmptied) {
    write_file(output, "in uso");
    const HANDLE held =
        CreateFileW(output.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Outcome r = run({utf8(input), utf8(output)});
    EXPECT_EQ(r.status, 1U);
    EXPECT_EQ(r.console, output_error);
    CloseHandle(held);
    EXPECT_EQ(read_file(output), "in uso");

    // A writer holds the input: it cannot be read as a stable text.
    const HANDLE writing =
        CreateFileW(input.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writing, INVALID_HANDLE_VALUE);
    r = run({utf8(input), utf8(dir / "altro.txt")});
    EXPECT_EQ(r.status, 1U);
    EXPECT_EQ(r.console, input_error);
    CloseHandle(writing);
    EXPECT_FALSE(fs::exists(dir / "altro.txt"));
}

TEST_F(WindowsCliTest, UnopenableInputLeavesOutputAlone) {
    write_file(output, "da non toccare");
    const fs::path created = dir / "nuovo.txt";
    for (const auto& [in, out] : {std::pair{dir / "manca.txt", output}, std::pair{dir, output},
                                  std::pair{dir / "manca.txt", created}}) {
        const Outcome r = run({utf8(in), utf8(out)});
        EXPECT_EQ(r.status, 1U) << utf8(in);
        EXPECT_EQ(r.console, input_error) << utf8(in);
    }
    EXPECT_EQ(read_file(output), "da non toccare");
    EXPECT_FALSE(fs::exists(created));
}

// `-` is standard input or standard output, in binary, with the line ends
// of files; with the periods on standard output the console lines go to
// standard error. The input is never the output: a handle that writes to
// it keeps it from being read, and a handle that reads it from being
// written.
TEST_F(WindowsCliTest, StandardStreams) {
    const std::string periods = "Oggi piove;\r\nDomani no;\r\n;\r\n";
    const std::string kept = "già scritto\r\n";
    const std::string in = utf8(input);
    const std::string out = utf8(output);
    const struct {
        std::vector<std::string> args;
        fs::path stdin_path;
        fs::path append_to;
        DWORD status;
        std::string console;
        std::string errors;
        std::string written;
        bool errors_too = false; // standard error appended to the same file
    } cases[] = {
        {{"-", out, "2"}, input, {}, 0, progress("-", out, 2, crlf) + done(out), "", periods},
        {{in, "-", "2"}, {}, {}, 0, periods, progress(in, "-", 2, crlf) + done("-"), kept},
        {{"-", "-", "2"}, input, {}, 0, periods, progress("-", "-", 2, crlf) + done("-"), kept},
        {{in, "-", "2"}, {}, output, 0, "", progress(in, "-", 2, crlf) + done("-"), kept + periods},
        // Both standard streams are the periods' file: no console line.
        {{in, "-", "2"}, {}, output, 0, "", "", kept + periods, true},
        {{in, "-"},
         {},
         input,
         1,
         "",
         input_error + "spezzafrasi: " + in + ": in uso da un altro programma" + crlf,
         kept},
        {{"-", in},
         input,
         {},
         1,
         output_error,
         "spezzafrasi: " + in + ": è il file di ingresso" + crlf,
         kept},
    };
    const std::string original = read_file(input);
    for (const auto& c : cases) {
        const std::string where = c.args[0] + " " + c.args[1] + " >> " + utf8(c.append_to);
        write_file(output, kept);
        const Outcome r = run(c.args, c.stdin_path, c.append_to, c.errors_too);
        EXPECT_EQ(r.status, c.status) << where;
        EXPECT_EQ(r.console, c.console) << where;
        EXPECT_EQ(r.errors, c.errors) << where;
        EXPECT_EQ(read_file(input), original) << where;
        EXPECT_EQ(read_file(output), c.written) << where;
    }
}

// After each failure line, standard error names the file as typed and the
// cause in plain words.
TEST_F(WindowsCliTest, EachFailureNamesItsFileAndCause) {
    const std::string in = utf8(input);
    const std::string missing = utf8(dir / "manca.txt");
    const std::string in_missing_folder = utf8(dir / "nessuna" / "testo.txt");
    const std::string folder = utf8(dir);
    const std::string held_name = utf8(dir / "in-uso.txt");
    // Wine runs as a user who may write a read-only file; the host's sysfs
    // refuses even that user.
    const std::string read_only =
        under_wine() ? R"(\\?\unix\sys\kernel\notes)" : utf8(dir / "sola-lettura.txt");
    write_file(dir / "in-uso.txt", "in uso");
    write_file(dir / "sola-lettura.txt", "");
    ASSERT_TRUE(SetFileAttributesW((dir / "sola-lettura.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    const HANDLE held =
        CreateFileW((dir / "in-uso.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::string other_case = utf8(dir / "TESTO.txt");
    const struct {
        std::string in;
        std::string out;
        std::string failure_line;
        std::string named;
        std::string cause;
    } cases[] = {
        {missing, utf8(output), input_error, missing, "file inesistente"},
        {in_missing_folder, utf8(output), input_error, in_missing_folder,
         "cartella inesistente nel percorso"},
        {folder, utf8(output), input_error, folder, "è una cartella"},
        {in, folder, output_error, folder, "è una cartella"},
        {in, in_missing_folder, output_error, in_missing_folder,
         "cartella inesistente nel percorso"},
        {in, held_name, output_error, held_name, "in uso da un altro programma"},
        {in, other_case, output_error, other_case, "è il file di ingresso"},
        {in, read_only, output_error, read_only, "permesso negato"},
        {in, "a<b>.txt", output_error, "a<b>.txt", "nome non valido"},
    };
    for (const auto& c : cases) {
        const Outcome r = run({c.in, c.out});
        EXPECT_EQ(r.status, 1U) << c.cause;
        EXPECT_EQ(r.console, c.failure_line) << c.cause;
        EXPECT_EQ(r.errors, "spezzafrasi: " + c.named + ": " + c.cause + crlf) << c.cause;
    }
    CloseHandle(held);
    SetFileAttributesW((dir / "sola-lettura.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WindowsCliTest, HelpAndVersion) {
    Outcome r = run({"--version"});
    EXPECT_EQ(r.status, 0U);
    EXPECT_EQ(r.console, std::string("spezzafrasi ") + SPEZZAFRASI_VERSION + crlf +
                             "kernel: " + spezzafrasi_kernel_name() + crlf);
    r = run({"--help"});
    EXPECT_EQ(r.status, 0U);
    EXPECT_EQ(r.console.rfind("\r\nUtilizzo:\r\n", 0), 0U);
}

TEST_F(WindowsCliTest, DevicesAsOutput) {
    for (const std::string& device : std::vector<std::string>{"NUL", "nul"}) {
        const Outcome r = run({utf8(input), device});
        EXPECT_EQ(r.status, 0U) << device;
        EXPECT_EQ(r.console, progress(utf8(input), device, 7, crlf) + done(device)) << device;
    }
}

// Wine reaches the host's devices through \\?\unix\: a full disk, and a
// file whose every read fails.
TEST_F(WindowsCliTest, FullDiskAndReadErrorsUnderWine) {
    const std::string full = R"(\\?\unix\dev\full)";
    const std::string failing = R"(\\?\unix\proc\self\mem)";
    if (!under_wine()) GTEST_SKIP() << "not under Wine";
    Outcome r = run({utf8(input), full});
    EXPECT_EQ(r.status, 1U);
    EXPECT_EQ(r.console, progress(utf8(input), full, 7, crlf) + "Errore scrittura file output\r\n");
    EXPECT_EQ(r.errors, "spezzafrasi: " + full + ": disco pieno\r\n");
    r = run({failing, utf8(output)});
    EXPECT_EQ(r.status, 1U);
    EXPECT_EQ(r.console,
              progress(failing, utf8(output), 7, crlf) + "Errore lettura file input\r\n");
    EXPECT_EQ(r.errors, "spezzafrasi: " + failing + ": errore di lettura del dispositivo\r\n");
}

} // namespace
