// Runs one program and reports what the kernel accounts to that process
// alone, in the manner of time(1). The benchmark starts its probes through
// this small process rather than directly: a child's peak resident memory
// includes whatever its parent had resident when it was spawned, and the
// benchmark program itself is far larger than an empty window.
//
//   valmora-bench-launch PROGRAM [ARGUMENTS...]
//
// The program's standard output and error pass through. The program finds
// the moment of its spawn in VALMORA_BENCH_SPAWNED_NS (CLOCK_MONOTONIC, in
// nanoseconds), so that a probe can tell the time from its start to its
// window on screen. After the program has ended one more line follows on
// standard output:
//   launched: exit=N wall_ms=N cpu_ms=N peak_kib=N
// exit is -1 when the program did not exit normally, 127 when it could not
// be started.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

double milliseconds(const timespec &time)
{
    return double(time.tv_sec) * 1e3 + double(time.tv_nsec) / 1e6;
}

double milliseconds(const timeval &time)
{
    return double(time.tv_sec) * 1e3 + double(time.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: valmora-bench-launch PROGRAM [ARGUMENTS...]\n");
        return 2;
    }

    timespec started {};
    timespec ended {};
    clock_gettime(CLOCK_MONOTONIC, &started);
    char spawned[32];
    std::snprintf(spawned, sizeof spawned, "%lld",
                  static_cast<long long>(started.tv_sec) * 1000000000LL + static_cast<long long>(started.tv_nsec));
    setenv("VALMORA_BENCH_SPAWNED_NS", spawned, 1);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
        std::printf("launched: exit=127 wall_ms=0 cpu_ms=0 peak_kib=0\n");
        return 0;
    }

    int status = 0;
    rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) { }
    clock_gettime(CLOCK_MONOTONIC, &ended);

    std::fflush(stdout);
    std::printf("launched: exit=%d wall_ms=%.3f cpu_ms=%.3f peak_kib=%ld\n",
                WIFEXITED(status) ? WEXITSTATUS(status) : -1, milliseconds(ended) - milliseconds(started),
                milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime), usage.ru_maxrss);
    return 0;
}
