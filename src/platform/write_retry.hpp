// How a write is retried, apart from the system call, so that a test can
// drive it: an interrupted write is tried again, a write that takes
// nothing a few times, and then it fails with a cause of its own rather
// than whatever error came before.
#pragma once

#include <cerrno>
#include <cstddef>

namespace spezzafrasi {

// What one write gave: the bytes it took, or -1 and its error.
struct WriteAttempt {
    std::ptrdiff_t put;
    int error;
};

// Calls `attempt` until it takes something or fails; returns what it took,
// or -1 with the cause in `error` (EIO after eight writes that took
// nothing).
template <typename Attempt>
std::ptrdiff_t write_retrying(Attempt attempt, int& error) {
    for (int nothing = 0; nothing < 8;) {
        const WriteAttempt a = attempt();
        if (a.put > 0) return a.put;
        if (a.put < 0 && a.error != EINTR) {
            error = a.error;
            return -1;
        }
        if (a.put == 0) ++nothing;
    }
    error = EIO;
    return -1;
}

} // namespace spezzafrasi
