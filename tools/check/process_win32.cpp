// process_win32.cpp - run_process on Windows: the program in a job object that holds the
// memory, process-count and processor-time limits and takes every process it started when
// it ends or is stopped at the timeout. Windows has no file-size limit to set.
#include "process.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace check {
namespace {

// One argument quoted as the C runtime's command-line parser reads it back.
std::string quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

HANDLE open_output(const std::string& path) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    return CreateFileA(path.empty() ? "NUL" : path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

double seconds_of(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 1e7;
}

std::string last_error() {
    char buffer[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, GetLastError(), 0, buffer,
                   sizeof buffer, nullptr);
    std::string s = buffer;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
    return s;
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                          const std::string& dir, const std::string& stdout_path,
                          const std::string& stderr_path, const Limits& limits) {
    ProcessResult r;
    if (argv.empty()) {
        r.error = "no program";
        return r;
    }
    std::string command;
    for (const std::string& a : argv) command += (command.empty() ? "" : " ") + quoted(a);
    // The tool's environment without its PLOTX_ variables, then the run's own.
    std::string block;
    if (char* strings = GetEnvironmentStringsA()) {
        for (const char* e = strings; *e; e += std::strlen(e) + 1)
            if (std::strncmp(e, "PLOTX_", 6) != 0) block.append(e).push_back('\0');
        FreeEnvironmentStringsA(strings);
    }
    for (const std::string& e : env) block.append(e).push_back('\0');
    block.push_back('\0');

    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    DWORD flags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (limits.memory_bytes) {
        flags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
        info.ProcessMemoryLimit = static_cast<SIZE_T>(limits.memory_bytes);
    }
    if (limits.processes > 0) {
        flags |= JOB_OBJECT_LIMIT_ACTIVE_PROCESS;
        info.BasicLimitInformation.ActiveProcessLimit = static_cast<DWORD>(limits.processes);
    }
    if (limits.cpu_seconds > 0) {
        flags |= JOB_OBJECT_LIMIT_JOB_TIME;
        info.BasicLimitInformation.PerJobUserTimeLimit.QuadPart = static_cast<LONGLONG>(limits.cpu_seconds * 1e7);
    }
    info.BasicLimitInformation.LimitFlags = flags;
    if (!job || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info)) {
        r.error = "cannot make a job object: " + last_error();
        if (job) CloseHandle(job);
        return r;
    }

    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    HANDLE out = open_output(stdout_path);
    HANDLE err = stderr_path == stdout_path && !stdout_path.empty() ? out : open_output(stderr_path);
    STARTUPINFOA si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi;
    std::memset(&pi, 0, sizeof pi);
    const auto start = std::chrono::steady_clock::now();
    // Started suspended, so it is in the job before it can start anything itself.
    const BOOL created = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE,
                                        CREATE_SUSPENDED | CREATE_NO_WINDOW, &block[0],
                                        dir.empty() ? nullptr : dir.c_str(), &si, &pi);
    const std::string create_error = created ? "" : last_error();
    CloseHandle(in);
    CloseHandle(out);
    if (err != out) CloseHandle(err);
    if (!created) {
        r.error = create_error;
        CloseHandle(job);
        return r;
    }
    AssignProcessToJobObject(job, pi.hProcess);
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    r.started = true;
    const DWORD wait_ms = limits.timeout_seconds > 0 ? static_cast<DWORD>(limits.timeout_seconds * 1000) : INFINITE;
    if (WaitForSingleObject(pi.hProcess, wait_ms) == WAIT_TIMEOUT) {
        r.timed_out = true;
        TerminateJobObject(job, 124);
        WaitForSingleObject(pi.hProcess, INFINITE);
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    FILETIME created_at, exited_at, kernel, user;
    if (GetProcessTimes(pi.hProcess, &created_at, &exited_at, &kernel, &user))
        r.cpu_seconds = seconds_of(kernel) + seconds_of(user);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    // An unhandled exception ends a process with its NTSTATUS code (0xC0000005 an access
    // violation): reported as the signal is on POSIX.
    if (!r.timed_out) {
        if (code >= 0xC0000000u) r.signal = static_cast<int>(code);
        else r.exit_code = static_cast<int>(code);
    }
    CloseHandle(pi.hProcess);
    CloseHandle(job);  // and with it anything the program left running
    return r;
}

void give_directory_to_program(const std::string&, const Limits&) {}

std::string describe(const ProcessResult& r, const Limits& limits) {
    char buffer[128];
    if (!r.started) return "could not be started: " + r.error;
    if (r.timed_out) {
        std::snprintf(buffer, sizeof buffer, "stopped at the timeout (%g s)", limits.timeout_seconds);
        return buffer;
    }
    if (r.signal == 0) return "exited with status " + std::to_string(r.exit_code);
    const unsigned code = static_cast<unsigned>(r.signal);
    std::snprintf(buffer, sizeof buffer, "ended by exception 0x%08X%s", code,
                  code == 0xC0000005u ? " (an access violation)" : code == 0xC00000FDu ? " (a stack overflow)" : "");
    return buffer;
}

int shell_status(const ProcessResult& r) {
    if (!r.started) return 127;
    if (r.timed_out) return 124;
    if (r.signal) return r.signal;  // the exception code, as Windows' own shells report it
    return r.exit_code;
}

double own_cpu_seconds() {
    FILETIME created_at, exited_at, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created_at, &exited_at, &kernel, &user)) return 0;
    return seconds_of(kernel) + seconds_of(user);
}

}  // namespace check
