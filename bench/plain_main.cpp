// The plain model of the filter as a program, for the benchmark:
// plain_spezzafrasi input output [n]
#include "model/plain_periods.hpp"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: plain_spezzafrasi input output [n]\n", stderr);
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    std::FILE* out = in ? std::fopen(argv[2], "wb") : nullptr;
    if (!out) {
        std::perror("plain_spezzafrasi");
        return 1;
    }
    const int n = argc == 4 ? std::atoi(argv[3]) : 7;
    const bool read_ok = plain_periods(in, out, n);
    return read_ok && std::fclose(out) == 0 ? 0 : 1;
}
