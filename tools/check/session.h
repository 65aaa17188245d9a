// session.h - one headless run of a PLOTX program: a fresh folder for it, its script played
// from the start, a seed, and what it leaves (last canvas, GIF capture, JSON Lines log,
// standard output and error) under fixed names in that folder.
#pragma once
#include <string>
#include <vector>

#include "process.h"

namespace check {

// The names a session's files have in its folder.
inline constexpr const char* CANVAS_FILE = "canvas.png";
inline constexpr const char* GIF_FILE = "run.gif";
inline constexpr const char* LOG_FILE = "log.jsonl";
inline constexpr const char* STDOUT_FILE = "stdout.txt";
inline constexpr const char* STDERR_FILE = "stderr.txt";

struct Session {
    std::string program;            // made absolute before it runs
    std::vector<std::string> args;
    std::string script;             // empty: no playback
    std::string seed = "1";
    bool gif = false;               // ask the library for a GIF capture
    Limits limits;
};

// Runs the session in dir (made afresh, emptied first if it exists). Returns the process's
// result; the files it left are in dir. error (with started false) when dir cannot be made
// or the script cannot be copied.
ProcessResult run_session(const Session& session, const std::string& dir);

// A new empty folder under the system's temporary folder ("" when it cannot be made).
std::string make_scratch_directory();

}  // namespace check
