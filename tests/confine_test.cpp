// A confined process keeps reading and writing the files it has open, and
// nothing else: opening, creating, removing and running files fail with
// EPERM instead of harming anything.
#include "platform/platform.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace spezzafrasi;

namespace {

// Straight to the kernel, and not declared noreturn: a sanitizer's _exit,
// and its check before any call that does not return, need calls that the
// filter forbids.
void leave(int status) {
    syscall(SYS_exit_group, status);
}

// Each check in a child, which exits 0 when it holds; the parent reads the
// outcome from the exit status.
TEST(ConfineTest, OnlyTheOpenFilesRemainUsable) {
    char dir_template[] = "/tmp/spezzafrasi-confine-XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    const std::string dir = dir_template;
    const std::string existing = dir + "/esistente.txt";
    const int made = open(existing.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(made, 0);
    ASSERT_EQ(write(made, "testo", 5), 5);
    close(made);

    const struct {
        const char* what;
        int (*attempt)(const std::string& dir, const std::string& existing, int in, int out);
    } forbidden[] = {
        {"open", [](const std::string&, const std::string& f, int,
                    int) { return open(f.c_str(), O_RDONLY); }},
        {"create", [](const std::string& d, const std::string&, int,
                      int) { return open((d + "/nuovo.txt").c_str(), O_WRONLY | O_CREAT, 0600); }},
        {"unlink",
         [](const std::string&, const std::string& f, int, int) { return unlink(f.c_str()); }},
        {"execute",
         [](const std::string&, const std::string&, int, int) {
             char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
             return static_cast<int>(syscall(SYS_execve, "/bin/true", argv, environ));
         }},
        {"stat a path",
         [](const std::string&, const std::string& f, int, int) {
             struct stat info {};
             return stat(f.c_str(), &info);
         }},
        // Memory is mapped, never executable.
        {"map executable memory",
         [](const std::string&, const std::string&, int, int) {
             const void* p =
                 mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
             return p == MAP_FAILED ? -1 : 0;
         }},
        {"make memory executable",
         [](const std::string&, const std::string&, int, int) {
             void* p =
                 mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
             return p == MAP_FAILED ? 0 : mprotect(p, 4096, PROT_READ | PROT_EXEC);
         }},
        // SIGABRT to itself alone: no other signal (one that is let
        // through ends the child), and no other process (no thread has
        // that id: let through, the call fails with ESRCH).
        {"another signal to itself",
         [](const std::string&, const std::string&, int, int) {
             return static_cast<int>(syscall(SYS_tgkill, getpid(), gettid(), SIGUSR1));
         }},
        {"a signal to another process",
         [](const std::string&, const std::string&, int, int) {
             return static_cast<int>(syscall(SYS_tgkill, 1, 0x3FFFFFF0, SIGABRT));
         }},
    };
    for (const auto& f : forbidden) {
        const int in = open(existing.c_str(), O_RDONLY);
        const int out = open((dir + "/uscita.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(in, 0);
        ASSERT_GE(out, 0);
        const pid_t pid = fork();
        if (pid == 0) {
            char text[5];
            if (!confine_to_open_files()) {
                leave(10);
            } else if (f.attempt(dir, existing, in, out) != -1 || errno != EPERM) {
                leave(11);
            } else if (read(in, text, sizeof text) != 5 || write(out, text, sizeof text) != 5) {
                leave(12);
            } else {
                leave(close(out) == 0 ? 0 : 13);
            }
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status)) << f.what << ": ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << f.what;
        close(in);
        close(out);
        struct stat info {};
        EXPECT_EQ(stat(existing.c_str(), &info), 0) << f.what << " removed the file";
        EXPECT_NE(stat((dir + "/nuovo.txt").c_str(), &info), 0) << f.what << " made a file";
        ASSERT_EQ(stat((dir + "/uscita.txt").c_str(), &info), 0);
        EXPECT_EQ(info.st_size, 5) << f.what << ": the open output was not written";
    }
    unlink(existing.c_str());
    unlink((dir + "/uscita.txt").c_str());
    rmdir(dir.c_str());
}

// While it reads, the filter runs under its seccomp filter, and still
// finishes with the right periods.
TEST(ConfinedProgramTest, ConfinedWhileItReads) {
    char dir_template[] = "/tmp/spezzafrasi-fifo-XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    const std::string dir = dir_template;
    const std::string output = dir + "/periodi.txt";
    const std::string fifo = dir + "/ingresso";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        alarm(20);
        // A sanitizer's leak check cannot run inside the filter.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        execl(SPEZZAFRASI_PATH, SPEZZAFRASI_PATH, fifo.c_str(), output.c_str(), "3", nullptr);
        _exit(127);
    }
    const int writer = open(fifo.c_str(), O_WRONLY); // waits for the filter to open it
    ASSERT_GE(writer, 0);
    std::string seccomp;
    for (int tries = 0; tries < 400 && seccomp != "2"; ++tries) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("Seccomp:", 0) == 0) seccomp = line.substr(line.find_last_of(" \t") + 1);
        }
        if (seccomp != "2") usleep(10000);
    }
    EXPECT_EQ(seccomp, "2");
    const std::string text = "Oggi piove molto forte. Domani no.";
    EXPECT_EQ(write(writer, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(writer);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);
    std::ifstream periods(output);
    std::stringstream written;
    written << periods.rdbuf();
    EXPECT_EQ(written.str(), "Oggi piove molto;\nDomani no;\n;\n");
    unlink(fifo.c_str());
    unlink(output.c_str());
    rmdir(dir.c_str());
}

} // namespace
