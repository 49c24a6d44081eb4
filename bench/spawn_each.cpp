// Starts one process per file named on standard input and per command, the
// commands taking turns file by file so that each sees the same state of
// the machine, and prints the CPU time (user + system) of each command's
// processes in all, in seconds, one line per command. Processes start with
// posix_spawn, so that the figure holds what each program costs from exec
// to exit, and not a shell's fork.
//
// usage: spawn_each COMMAND [:: COMMAND]... < list
// In a command, `{}` stands for the file, a first word `<{}` gives the
// file as standard input and a first word `>PATH` sends standard output to
// PATH (otherwise /dev/null).
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Command {
    std::vector<std::string> words;
    bool stdin_file = false;
    std::string stdout_path = "/dev/null";
    double seconds = 0;
};

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

bool run_one(Command& command, const std::string& file) {
    std::vector<std::string> words;
    words.reserve(command.words.size());
    for (const std::string& word : command.words)
        words.push_back(word == "{}" ? file : word);
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, command.stdin_file ? file.c_str() : "/dev/null",
                                     O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, command.stdout_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (failed != 0 || wait4(pid, &status, 0, &usage) != pid) return false;
    command.seconds += seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<Command> parse(int argc, char** argv) {
    std::vector<Command> commands(1);
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        Command& command = commands.back();
        if (word == "::") {
            commands.emplace_back();
        } else if (command.words.empty() && word == "<{}") {
            command.stdin_file = true;
        } else if (command.words.empty() && word.size() > 1 && word[0] == '>') {
            command.stdout_path = word.substr(1);
        } else {
            command.words.push_back(word);
        }
    }
    return commands;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<Command> commands = parse(argc, argv);
    for (const Command& command : commands) {
        if (command.words.empty()) {
            std::cerr << "usage: spawn_each COMMAND [:: COMMAND]... < list\n";
            return 2;
        }
    }
    std::size_t turn = 0;
    for (std::string file; std::getline(std::cin, file); ++turn) {
        for (std::size_t i = 0; i < commands.size(); ++i) {
            Command& command = commands[(turn + i) % commands.size()];
            if (!run_one(command, file)) {
                std::cerr << "spawn_each: " << command.words[0] << " failed on " << file << "\n";
                return 1;
            }
        }
    }
    for (const Command& command : commands)
        std::printf("%.6f\n", command.seconds);
    return 0;
}
