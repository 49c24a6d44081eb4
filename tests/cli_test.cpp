// Runs the built program as a user would and checks its console lines, its
// exit status and what it does to the files it is given.
#include "cli_support.hpp"
#include "spezzafrasi.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string usage = "\nUtilizzo:\nspezzafrasi nomefile1 nomefile2\n"
                          "oppure:\nspezzafrasi nomefile1 nomefile2 n\n"
                          "\nLegge il file di input <nomefile1> e ne trascrive il contenuto\n"
                          "nel file <nomefile2>, evidenziando le prime n parole (7 se non "
                          "specificato)\n\n\n";
const std::string input_error = "Errore apertura file input\n";
const std::string output_error = "Errore apertura file output\n";
const std::string write_error = "Errore scrittura file output\n";
const std::string read_error = "Errore lettura file input\n";

// The confined program cannot run a sanitizer's leak check at its end (it
// would have to trace itself); the unit tests check the same code for
// leaks unconfined. Outside sanitizer builds the variable is not read.
void without_leak_check() {
    const char* options = std::getenv("ASAN_OPTIONS");
    const std::string kept = options != nullptr ? std::string(options) + ":" : "";
    setenv("ASAN_OPTIONS", (kept + "detect_leaks=0").c_str(), 1);
}

// The emulator that runs the program in a cross build; none when the
// environment says so (SPEZZAFRASI_EMULATOR empty: a cross build's tests
// run under its own kernel).
std::string emulator() {
    const char* chosen = std::getenv("SPEZZAFRASI_EMULATOR");
    return chosen != nullptr ? chosen : SPEZZAFRASI_EMULATOR;
}

// The program as a shell command, behind its emulator if any.
std::string program_command() {
    return emulator() + " " + SPEZZAFRASI_PATH;
}

// The emulator, word by word.
std::vector<std::string> emulator_words() {
    std::istringstream line(emulator());
    std::vector<std::string> words;
    for (std::string word; line >> word;)
        words.push_back(word);
    return words;
}

struct Outcome {
    int status = -1;     // exit status, or 128 + signal
    std::string console; // standard output
    std::string errors;  // standard error
};

std::string read_all(int fd) {
    std::string text;
    char chunk[4096];
    for (ssize_t got = 0; (got = read(fd, chunk, sizeof chunk)) > 0;)
        text.append(chunk, static_cast<std::size_t>(got));
    close(fd);
    return text;
}

// Runs the program with `args`, standard input from `stdin_path`, standard
// output into a pipe or appended to `append_to`, and a time limit so that a
// run that never ends fails instead of hanging.
Outcome run(const std::vector<std::string>& args, const std::string& stdin_path = "/dev/null",
            const std::string& append_to = "") {
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(stdin_path.c_str(), O_RDONLY);
        dup2(in, 0);
        const int out =
            append_to.empty() ? out_pipe[1] : open(append_to.c_str(), O_WRONLY | O_APPEND);
        dup2(out, 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        alarm(20);
        without_leak_check();
        std::vector<std::string> words = emulator_words();
        words.emplace_back(SPEZZAFRASI_PATH);
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        argv.reserve(words.size() + 1);
        for (auto& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    Outcome result;
    result.console = read_all(out_pipe[0]);
    result.errors = read_all(err_pipe[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return result;
}

// Runs `command` with bash, as std::system would with sh, but through a
// plain fork and exec: under qemu-user the child of the C library's
// posix_spawn, which std::system uses, was once seen spinning forever.
int shell(const std::string& command) {
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/bash", "bash", "-c", command.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

class CliTest : public testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/spezzafrasi-cli-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        input = (dir / "testo.txt").string();
        output = (dir / "periodi.txt").string();
        write_file(input, "a b c d e f g h i. Oggi piove molto forte. Domani no.");
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
    std::string input;
    std::string output;
};

// Command lines that open no file: help asked for is an answer, too few
// arguments a mistake.
TEST_F(CliTest, CommandLinesWithoutFiles) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string console;
    } cases[] = {
        {{}, 2, usage},
        {{input}, 2, usage},
        {{"--help"}, 0, usage},
        {{"--version"},
         0,
         std::string("spezzafrasi ") + SPEZZAFRASI_VERSION +
             "\nkernel: " + spezzafrasi_kernel_name() + "\n"},
    };
    for (const auto& c : cases) {
        const Outcome r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.size();
        EXPECT_EQ(r.console, c.console) << c.args.size();
        EXPECT_EQ(r.errors, "");
    }
    EXPECT_FALSE(fs::exists(output));
    // Anywhere else they are file names, as before.
    const Outcome r = run({"--help", output});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, input_error);
}

TEST_F(CliTest, NumberOfWordsFromTheThirdArgumentOnly) {
    const struct {
        std::vector<std::string> extra;
        int shown;
        std::string periods;
    } cases[] = {
        {{}, 7, "a b c d e f g;\nOggi piove molto forte;\nDomani no;\n;\n"},
        {{"3"}, 3, "a b c;\nOggi piove molto;\nDomani no;\n;\n"},
        // Each period then takes one character and writes an empty line.
        {{"-2"}, -2, ";\n;\n;\n;\n"},
        {{"abc"}, 0, ";\n;\n;\n;\n"},
        {{"3", "x"}, 7, "a b c d e f g;\nOggi piove molto forte;\nDomani no;\n;\n"},
        {{"99999999999"},
         2147483647,
         "a b c d e f g h i;\nOggi piove molto forte;\nDomani no;\n;\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{input, output};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.console, progress(input, output, c.shown) + "Periodizzato in " + output + "\n");
        EXPECT_EQ(read_file(output), c.periods) << c.shown;
    }
}

// The sample text, and the same text many times over, read in many
// chunks, named and as standard input: its periods as many times over, the
// last line alone ending the text.
TEST_F(CliTest, SampleItalianText) {
    const std::string text = read_file(SAMPLE_TEXT_PATH);
    const std::string periods = read_file(SAMPLE_PERIODS_PATH);
    const std::string last_line = ";\n";
    const std::string one_less = periods.substr(0, periods.size() - last_line.size());
    for (const int copies : {1, 300}) {
        std::string many;
        std::string want;
        for (int i = 0; i < copies; ++i) {
            many += text;
            want += one_less;
        }
        want += last_line;
        write_file(input, many);
        for (const std::string& from : {input, std::string("-")}) {
            const Outcome r = run({from, output}, input);
            EXPECT_EQ(r.status, 0) << copies << " from " << from;
            EXPECT_EQ(read_file(output), want) << copies << " from " << from;
        }
    }
}

TEST_F(CliTest, NamesWithSpacesPrintedAsTyped) {
    const std::string spaced = (dir / "il mio testo.txt").string();
    fs::copy_file(input, spaced);
    const std::string target = (dir / "i miei periodi.txt").string();
    const Outcome r = run({spaced, target, " 2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console, progress(spaced, target, 2) + "Periodizzato in " + target + "\n");
}

// `-` is standard input or standard output. When the periods go to
// standard output, the console lines go to standard error, and the input
// is still never the output.
TEST_F(CliTest, StandardStreams) {
    const std::string periods = "a b;\nOggi piove;\nDomani no;\n;\n";
    const std::string missing = (dir / "manca.txt").string();
    const std::string kept = "già scritto\n";
    const struct {
        std::vector<std::string> args;
        std::string stdin_path;
        std::string append_to; // standard output appended to this file, not a pipe
        int status;
        std::string console;
        std::string errors;
        std::string written; // to the output file
    } cases[] = {
        {{"-", output, "2"},
         input,
         "",
         0,
         progress("-", output, 2) + "Periodizzato in " + output + "\n",
         "",
         periods},
        {{input, "-", "2"},
         "/dev/null",
         "",
         0,
         periods,
         progress(input, "-", 2) + "Periodizzato in -\n",
         kept},
        {{"-", "-", "2"},
         input,
         "",
         0,
         periods,
         progress("-", "-", 2) + "Periodizzato in -\n",
         kept},
        // `>>`: appended to, never emptied
        {{input, "-", "2"},
         "/dev/null",
         output,
         0,
         "",
         progress(input, "-", 2) + "Periodizzato in -\n",
         kept + periods},
        {{"/dev/stdin", output, "2"},
         input,
         "",
         0,
         progress("/dev/stdin", output, 2) + "Periodizzato in " + output + "\n",
         "",
         periods},
        {{missing, "-"},
         "/dev/null",
         "",
         1,
         "",
         input_error + "spezzafrasi: " + missing + ": file inesistente\n",
         kept},
        {{input, "-"},
         "/dev/null",
         input,
         1,
         "",
         output_error + "spezzafrasi: -: è il file di ingresso\n",
         kept},
        {{"-", input},
         input,
         "",
         1,
         output_error,
         "spezzafrasi: " + input + ": è il file di ingresso\n",
         kept},
        {{"-", "-"},
         dir.string(),
         "",
         1,
         "",
         input_error + "spezzafrasi: -: è una cartella\n",
         kept},
    };
    const std::string original = read_file(input);
    for (const auto& c : cases) {
        const std::string where = c.args[0] + " " + c.args[1] + " >> " + c.append_to;
        write_file(output, kept);
        const Outcome r = run(c.args, c.stdin_path, c.append_to);
        EXPECT_EQ(r.status, c.status) << where;
        EXPECT_EQ(r.console, c.console) << where;
        EXPECT_EQ(r.errors, c.errors) << where;
        EXPECT_EQ(read_file(input), original) << where;
        EXPECT_EQ(read_file(output), c.written) << where;
    }
}

// A reader that goes away ends the run at once: quietly, as for cat, or,
// where the caller ignores SIGPIPE, as a write error.
TEST_F(CliTest, ReaderThatGoesAway) {
    std::string long_text;
    for (int i = 0; i < 100000; ++i)
        long_text += "Oggi piove. ";
    write_file(input, long_text);
    const struct {
        const char* signal_setting;
        int status;
        std::string errors;
    } cases[] = {
        {"trap - PIPE", 128 + SIGPIPE, progress(input, "-", 7)},
        {"trap '' PIPE", 1,
         progress(input, "-", 7) + write_error + "spezzafrasi: -: errore del sistema (codice " +
             std::to_string(EPIPE) + ")\n"},
    };
    std::signal(SIGPIPE, SIG_DFL); // whatever this test was started with
    for (const auto& c : cases) {
        without_leak_check();
        const std::string errors = (dir / "errori.txt").string();
        // The writer's status through a file: any POSIX shell, busybox's too.
        const std::string kept = (dir / "stato").string();
        std::string command;
        for (const std::string& part :
             {std::string("{ ") + c.signal_setting, "; timeout 20 " + program_command(),
              " '" + input + "' - 2> '" + errors, "'; echo $? > '" + kept,
              "'; } | head -n 3 > '" + output, "'; exit $(cat '" + kept + "')"}) {
            command += part;
        }
        const int status = shell(command);
        ASSERT_TRUE(WIFEXITED(status)) << c.signal_setting;
        EXPECT_EQ(WEXITSTATUS(status), c.status) << c.signal_setting;
        EXPECT_EQ(read_file(errors), c.errors) << c.signal_setting;
        EXPECT_EQ(read_file(output), "Oggi piove;\nOggi piove;\nOggi piove;\n");
        EXPECT_EQ(read_file(input), long_text);
    }
}

TEST_F(CliTest, EmptyInputGivesOneEmptyLine) {
    write_file(input, "");
    EXPECT_EQ(run({input, output}).status, 0);
    EXPECT_EQ(read_file(output), ";\n");
}

TEST_F(CliTest, UnopenableInputLeavesOutputAlone) {
    write_file(output, "da non toccare");
    const std::string missing = (dir / "manca.txt").string();
    const std::string created = (dir / "nuovo.txt").string();
    for (const auto& [in, out] : {std::pair{missing, output}, std::pair{dir.string(), output},
                                  std::pair{missing, created}}) {
        const Outcome r = run({in, out});
        EXPECT_EQ(r.status, 1) << in;
        EXPECT_EQ(r.console, input_error) << in;
    }
    EXPECT_EQ(read_file(output), "da non toccare");
    EXPECT_FALSE(fs::exists(created));
}

TEST_F(CliTest, InputUnderAnyNameIsNeverItsOwnOutput) {
    const std::string original = read_file(input);
    const std::string hard = (dir / "collegamento.txt").string();
    const std::string soft = (dir / "simbolico.txt").string();
    fs::create_hard_link(input, hard);
    fs::create_symlink(input, soft);
    const std::string relative = (dir / "." / "testo.txt").string();
    for (const auto& out : {input, hard, soft, relative}) {
        const Outcome r = run({input, out});
        EXPECT_EQ(r.status, 1) << out;
        EXPECT_EQ(r.console, output_error) << out;
        EXPECT_EQ(read_file(input), original) << out;
    }
}

TEST_F(CliTest, UnopenableOutput) {
    for (const auto& out : {dir.string(), (dir / "manca" / "periodi.txt").string()}) {
        const Outcome r = run({input, out});
        EXPECT_EQ(r.status, 1) << out;
        EXPECT_EQ(r.console, output_error) << out;
    }
}

TEST_F(CliTest, FilesLockedByAnotherProgram) {
    write_file(output, "in uso");
    const int held = open(output.c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    Outcome r = run({input, output});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, output_error);
    EXPECT_EQ(read_file(output), "in uso");

    // A reader may share the output, no writer may take the input.
    const int reading = open(input.c_str(), O_RDONLY);
    ASSERT_EQ(flock(reading, LOCK_EX), 0);
    r = run({input, (dir / "altro.txt").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, input_error);
    close(reading);
    close(held);
}

// After each failure line, standard error names the file as typed and the
// cause in plain words.
TEST_F(CliTest, EachFailureNamesItsFileAndCause) {
    const std::string missing = (dir / "manca.txt").string();
    const std::string in_missing_folder = (dir / "nessuna" / "testo.txt").string();
    const std::string hard = (dir / "collegamento.txt").string();
    const std::string locked = (dir / "bloccato.txt").string();
    const std::string long_name = (dir / std::string(300, 'a')).string();
    fs::create_hard_link(input, hard);
    write_file(locked, "in uso");
    const int held = open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    // Even root may not write there; elsewhere a file without the right.
    std::string read_only = "/sys/kernel/notes";
    if (geteuid() != 0) {
        read_only = (dir / "sola-lettura.txt").string();
        write_file(read_only, "");
        fs::permissions(read_only, fs::perms::owner_read);
    }
    const struct {
        std::string in;
        std::string out;
        std::string failure_line; // on standard output, as always
        std::string named;
        std::string cause;
    } cases[] = {
        {missing, output, input_error, missing, "file inesistente"},
        {in_missing_folder, output, input_error, in_missing_folder,
         "cartella inesistente nel percorso"},
        {dir.string(), output, input_error, dir.string(), "è una cartella"},
        {long_name, output, input_error, long_name, "nome non valido"},
        {input, dir.string(), output_error, dir.string(), "è una cartella"},
        {input, in_missing_folder, output_error, in_missing_folder,
         "cartella inesistente nel percorso"},
        {input, hard, output_error, hard, "è il file di ingresso"},
        {input, locked, output_error, locked, "in uso da un altro programma"},
        {input, read_only, output_error, read_only, "permesso negato"},
        {input, "/dev/full", progress(input, "/dev/full", 7) + write_error, "/dev/full",
         "disco pieno"},
        {"/proc/self/mem", output, progress("/proc/self/mem", output, 7) + read_error,
         "/proc/self/mem", "errore di lettura del dispositivo"},
    };
    for (const auto& c : cases) {
        const Outcome r = run({c.in, c.out});
        EXPECT_EQ(r.status, 1) << c.cause;
        EXPECT_EQ(r.console, c.failure_line) << c.cause;
        EXPECT_EQ(r.errors, "spezzafrasi: " + c.named + ": " + c.cause + "\n");
    }
    close(held);
}

TEST_F(CliTest, WriteErrorIsReported) {
    for (const auto& in : {input, std::string("/dev/zero")}) {
        const Outcome r = run({in, "/dev/full"});
        EXPECT_EQ(r.status, 1) << in;
        EXPECT_EQ(r.console, progress(in, "/dev/full", 7) + write_error) << in;
    }
}

TEST_F(CliTest, ReadErrorIsReported) {
    // Reading a process's memory from address 0 fails with an I/O error.
    const Outcome r = run({"/proc/self/mem", output});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, progress("/proc/self/mem", output, 7) + read_error);
}

// A file cut short while it is read (truncated while the program waits on
// a full pipe) fails as a read error, with the periods of what it held.
TEST_F(CliTest, InputCutShortWhileReadIsAReadError) {
    without_leak_check();
    std::string text;
    while (text.size() < 4000000)
        text += "Oggi piove molto forte, e domani? Chi sa: forse no. ";
    write_file(input, text);
    const std::string fifo = (dir / "tubo").string();
    const std::string got = (dir / "ricevuti.txt").string();
    const std::string console = (dir / "console.txt").string();
    const std::string command =
        "cd '" + dir.string() + "' && mkfifo tubo || exit 1; (timeout 20 " + program_command() +
        " testo.txt tubo > " + console + " 2>&1; echo $? > stato) & exec 3< '" + fifo +
        "'; sleep 1; truncate -s 1000000 '" + input + "'; timeout 20 cat <&3 > '" + got + "'; wait";
    ASSERT_EQ(shell(command), 0);
    EXPECT_EQ(read_file((dir / "stato").string()), "1\n");
    EXPECT_EQ(read_file(console), progress("testo.txt", "tubo", 7) + read_error +
                                      "spezzafrasi: testo.txt: il file si è accorciato durante "
                                      "la lettura\n");
    EXPECT_EQ(run({input, output}).status, 0);
    EXPECT_EQ(read_file(got), read_file(output));
}

TEST_F(CliTest, ConsoleWriteErrorIsNotSuccess) {
    without_leak_check();
    const std::string command = program_command() + " '" + input + "' '" + output + "' > /dev/full";
    const int status = shell(command);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(read_file(output), "a b c d e f g;\nOggi piove molto forte;\nDomani no;\n;\n");
}

// The file that receives the periods takes no console line, however the
// shell names it or hands it over, and the lines that do reach a shared
// log or pipe come in order: progress first, each cause after its failure.
TEST_F(CliTest, PeriodsFileTakesNoConsoleLine) {
    const std::string periods = "a b c;\nOggi piove molto;\nDomani no;\n;\n";
    const std::string log = (dir / "log").string();
    const std::string done = progress(input, output, 3) + "Periodizzato in " + output + "\n";
    const std::string full =
        progress(input, "/dev/full", 3) + write_error + "spezzafrasi: /dev/full: disco pieno\n";
    const std::string closed = "spezzafrasi: -: flusso standard chiuso\n";
    const struct {
        const char* name;
        const char* command; // $P the program, with its emulator
        int status;
        const char* periods_file; // holds exactly the periods
        std::string log;          // what $LOG holds, unless "-"
    } cases[] = {
        {"redirect", "$P \"$IN\" \"$OUT\" 3 > \"$OUT\"", 0, "$OUT", "-"},
        {"append", "echo x > \"$OUT\"; $P \"$IN\" \"$OUT\" 3 >> \"$OUT\"", 0, "$OUT", "-"},
        {"dev_stdout", "$P \"$IN\" /dev/stdout 3 > \"$OUT\"", 0, "$OUT", "-"},
        {"proc_fd", "$P \"$IN\" /proc/self/fd/1 3 > \"$OUT\"", 0, "$OUT", "-"},
        {"hard_link", ": > \"$OUT\"; ln \"$OUT\" \"$OUT.l\"; $P \"$IN\" \"$OUT.l\" 3 > \"$OUT\"", 0,
         "$OUT", "-"},
        {"both_streams", "$P \"$IN\" \"$OUT\" 3 > \"$OUT\" 2>&1", 0, "$OUT", "-"},
        {"dash_both_streams", "$P \"$IN\" - 3 > \"$OUT\" 2>&1", 0, "$OUT", "-"},
        {"dash_one_pipe", "$P \"$IN\" - 3 2>&1 | cat > \"$OUT\"", 0, "$OUT", "-"},
        {"stdin_closed", "$P \"$IN\" \"$OUT\" 3 <&- > \"$LOG\"", 0, "$OUT", done},
        {"stdout_closed", "$P \"$IN\" \"$OUT\" 3 >&- 2> \"$LOG\"", 0, "$OUT", done},
        {"stderr_closed", "$P \"$IN\" \"$OUT\" 3 2>&- > \"$LOG\"", 0, "$OUT", done},
        {"all_closed", "$P \"$IN\" \"$OUT\" 3 <&- >&- 2>&-", 1, "$OUT", "-"},
        // A closed stream named as a file is said as such, also when the
        // input took its descriptor.
        {"dash_stdout_closed", "$P \"$IN\" - 3 >&- 2> \"$LOG\"", 1, "", output_error + closed},
        {"dash_stdin_closed", "$P - \"$OUT\" 3 <&- > \"$LOG\" 2>&1", 1, "", input_error + closed},
        {"order_in_a_file", "$P \"$IN\" /dev/full 3 > \"$LOG\" 2>&1", 1, "", full},
        {"order_in_a_pipe", "$P \"$IN\" /dev/full 3 2>&1 | cat > \"$LOG\"", 1, "", full},
    };
    without_leak_check();
    setenv("P", program_command().c_str(), 1);
    setenv("IN", input.c_str(), 1);
    setenv("OUT", output.c_str(), 1);
    setenv("LOG", log.c_str(), 1);
    for (const auto& c : cases) {
        fs::remove(output);
        fs::remove(output + ".l");
        fs::remove(log);
        const int status = shell(std::string("set -o pipefail; ") + c.command);
        ASSERT_TRUE(WIFEXITED(status)) << c.name;
        EXPECT_EQ(WEXITSTATUS(status), c.status) << c.name;
        if (*c.periods_file != '\0') {
            EXPECT_EQ(read_file(output), periods) << c.name;
        }
        if (c.log != "-") {
            EXPECT_EQ(read_file(log), c.log) << c.name;
        }
    }
}

// Text that is not UTF-8 is cut as always, and said once, last, on
// standard error, with where its first fault is; a byte-order mark is no
// fault. The status stays 0.
TEST_F(CliTest, TextThatIsNotUtf8IsSaidOnce) {
    const struct {
        const char* name;
        std::string text;
        std::string warning;
    } cases[] = {
        {"latin1", "Ciao.\nperch\xE9 no?\nSi\xE0.",
         ": non \xC3\xA8 testo UTF-8 valido (primo errore al byte 12, riga 2); le frasi vicine "
         "possono risultare unite\n"},
        {"cut_at_the_end", "a\n" + std::string(70000, 'a') + "\n\xE2\x82",
         ": non \xC3\xA8 testo UTF-8 valido (primo errore al byte 70004, riga 3); le frasi vicine "
         "possono risultare unite\n"},
        {"byte_order_mark",
         "\xEF\xBB\xBF"
         "Ciao. Tutto bene \xC3\xA8.",
         ""},
    };
    for (const auto& c : cases) {
        write_file(input, c.text);
        const Outcome r = run({input, output});
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_EQ(r.console, progress(input, output, 7) + "Periodizzato in " + output + "\n")
            << c.name;
        EXPECT_EQ(r.errors, c.warning.empty() ? "" : "spezzafrasi: " + input + c.warning) << c.name;
        // From a pipe, which cannot be read again, the line is counted as
        // the text goes by.
        without_leak_check();
        const std::string log = (dir / "log").string();
        const int status = shell("cat '" + input + "' | " + program_command() + " - '" + output +
                                 "' > /dev/null 2> '" + log + "'");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name;
        EXPECT_EQ(read_file(log), c.warning.empty() ? "" : "spezzafrasi: -" + c.warning) << c.name;
    }
}

TEST_F(CliTest, DeviceOutputIsNotTruncatedOrRefused) {
    const Outcome r = run({input, "/dev/null"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console, progress(input, "/dev/null", 7) + "Periodizzato in /dev/null\n");
}

} // namespace
