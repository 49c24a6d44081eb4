// What the command-line tests of every system share: whole files in and
// out, and the console lines the program prints.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_file(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The progress line, ending in `newline`.
inline std::string progress(const std::string& in, const std::string& out, int n,
                            const std::string& newline = "\n") {
    return "Periodizzazione in corso da " + in + " a " + out + ", con " + std::to_string(n) +
           " parole per periodo" + newline;
}
