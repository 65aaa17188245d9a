// process.h - running one untrusted program with limits: processor time, memory, file size
// and processes, a wall-clock timeout after which the program and everything it started are
// killed, standard output and error to files. process_posix.cpp and process_win32.cpp.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace check {

struct Limits {
    double timeout_seconds = 10;  // wall clock; 0: none
    double cpu_seconds = 10;      // processor time; 0: none
    uint64_t memory_bytes = uint64_t{2} << 30;
    uint64_t file_bytes = uint64_t{64} << 20;
    int processes = 64;           // POSIX: counted per user, so a run as root runs as nobody
    bool unprivileged = true;     // POSIX, as root: run as the user nobody
};

struct ProcessResult {
    bool started = false;
    std::string error;        // why it could not be started
    bool timed_out = false;
    int exit_code = -1;       // when it exited
    int signal = 0;           // when a signal ended it (Windows: the exception code)
    double seconds = 0;       // wall clock from start to end
    double cpu_seconds = 0;   // the program's own processor time, user and system
};

// Runs argv[0] (a path) with argv in dir. env: NAME=VALUE entries set over the tool's own
// environment, from which every PLOTX_ variable is removed first. Empty output paths discard.
ProcessResult run_process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                          const std::string& dir, const std::string& stdout_path,
                          const std::string& stderr_path, const Limits& limits);

// Lets the program run_process starts (as nobody, when the tool runs as root) write in dir.
void give_directory_to_program(const std::string& dir, const Limits& limits);

// "exited with status 3", "killed by signal 11 (SIGSEGV, a bad memory access)", "stopped at
// the timeout (10 s)", "could not be started: ...".
std::string describe(const ProcessResult& r, const Limits& limits);

// The status a shell would report: the exit status, 128 + the signal, 124 at the timeout,
// 127 for a program that could not be started.
int shell_status(const ProcessResult& r);

// The processor time this process has used itself (not its children).
double own_cpu_seconds();

}  // namespace check
