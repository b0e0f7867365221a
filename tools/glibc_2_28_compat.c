/* Two glibc names that the release wheel's module needs and glibc 2.28 lacks, defined inside the
 * module (hidden: nothing outside it sees them). tools/build_wheels.sh compiles this file and links
 * it into the module, with GCC's C++ runtime (libstdc++.a, built against a newer glibc) and the
 * glibc 2.28 link libraries; any other name newer than 2.28 fails that check there. */
#include <errno.h>
#include <stdint.h>
#include <sys/random.h>
#include <sys/types.h>

/* glibc 2.32 and later set this to 1 while the process has one thread, and libstdc++ (its headers
 * and libstdc++.a) then skips the atomic instructions of its reference counts. Zero only means
 * "other threads may exist": the atomic path, correct always. */
__attribute__((visibility("hidden"))) char __libc_single_threaded = 0;

/* std::random_device's entropy source (glibc 2.36). libstdc++.a's std::string instantiations
 * pull random_device's object file into every static link, though brindle never asks for a random
 * number; getrandom (glibc 2.25) gives the same bytes. A failure other than an interrupted call
 * aborts, as glibc's arc4random does. */
__attribute__((visibility("hidden"))) uint32_t arc4random(void)
{
    uint32_t value;
    for (;;) {
        ssize_t got = getrandom(&value, sizeof value, 0);
        if (got == (ssize_t)sizeof value) {
            return value;
        }
        if (got < 0 && errno != EINTR) {
            __builtin_abort();
        }
    }
}
