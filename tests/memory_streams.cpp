#include "memory_streams.hpp"

#include "run_loop.hpp"

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The harness cannot go on without its files: stop loudly.
void require(bool ok, const char* what) {
    if (ok) return;
    std::perror(what);
    std::abort();
}

int memory_file() {
    const int fd = memfd_create("spezzafrasi-test", MFD_CLOEXEC);
    require(fd >= 0, "memfd_create");
    return fd;
}

} // namespace

MemoryInput::MemoryInput(std::string_view bytes, std::size_t buffer_size)
    : buffer(buffer_size), stream{memory_file(), buffer.data(), buffer.size()} {
    require(bytes.empty() ||
                write(stream.fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()),
            "filling the input");
    lseek(stream.fd, 0, SEEK_SET);
}

MemoryInput::~MemoryInput() {
    close(stream.fd);
}

MemoryOutput::MemoryOutput(std::size_t buffer_size)
    : buffer(buffer_size), stream{memory_file(), buffer.data(), buffer.size()} {}

MemoryOutput::~MemoryOutput() {
    close(stream.fd);
}

std::string MemoryOutput::contents() {
    require(flush_output(stream), "writing the output");
    std::string text(static_cast<std::size_t>(lseek(stream.fd, 0, SEEK_END)), '\0');
    require(text.empty() ||
                pread(stream.fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()),
            "reading the output back");
    return text;
}

std::string periods_of(std::string_view input, std::int32_t words_per_period,
                       std::size_t buffer_size) {
    MemoryInput in(input, buffer_size);
    MemoryOutput out(buffer_size);
    write_periods(in.stream, out.stream, words_per_period);
    return out.contents();
}
