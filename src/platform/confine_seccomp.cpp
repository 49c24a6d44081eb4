// Linux: once both files are open the process needs only to read, write,
// print and exit, and it tells the kernel so with a seccomp filter made at
// build time (seccomp_rules.cpp says why each call is allowed). Any other
// system call fails with EPERM, so a fault in the parsing code could not
// open, remove or run anything.
#include "platform/platform.hpp"

#include <array>
#include <cstdint>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "seccomp_program.inc"

namespace spezzafrasi {

bool confine_to_open_files() {
    std::array<sock_filter, std::size(seccomp_program)> program{};
    for (std::size_t i = 0; i < program.size(); ++i) {
        program[i] = seccomp_program[i];
        // Signals may go to this process only.
        if (program[i].k == seccomp_own_pid) program[i].k = static_cast<std::uint32_t>(getpid());
    }
    sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    // No new privileges: nothing run later could gain rights (a setuid
    // program), and the filter can be loaded without them.
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter, 0, 0) == 0;
}

} // namespace spezzafrasi
