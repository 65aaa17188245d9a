// files.h - the operating-system calls behind the library's own files (the script file,
// snapshots) and the quit signals. One small interface with one implementation per host
// (files_posix.cpp, files_win32.cpp); nothing else in the library opens, syncs or renames
// files or handles signals. A failure comes back as the reason a user should read.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace px {
namespace sys {

// The reason given for a name that exists but is neither a regular file nor a directory
// (a FIFO, a socket, a device).
constexpr const char* NOT_A_REGULAR_FILE = "Not a regular file";

// Opens the script file for reading, or for writing from empty, following symbolic links.
// Never blocks (a FIFO with no peer would) and accepts only a regular file: anything else
// is refused, so a write can never raise SIGPIPE. nullptr on failure, with *reason set. A
// stream opened for writing is written only through write_text, never through stdio.
// A stream opened for writing holds the file exclusively until it is closed (an advisory
// lock on POSIX systems, a sharing mode on Windows): a second writer, in this process or
// another, is refused with SCRIPT_LOCKED before the file is emptied.
std::FILE* open_script(const char* path, bool for_writing, std::string* reason);
constexpr const char* SCRIPT_LOCKED = "another recording is writing it";
// True when a stream open_script opened for writing holds the file now.
bool script_locked(const char* path);
// The reason given on Windows when another program holds the file without sharing it.
constexpr const char* FILE_IN_USE = "the file is in use by another program";

// Writes all n bytes at the stream's end. A full disk or a file size limit makes it fail
// with the reason instead of ending the process (SIGXFSZ). Part of the bytes may have
// reached the file then.
bool write_text(std::FILE* stream, const char* text, size_t n, std::string* reason);

// Cuts a stream opened by open_script for writing back to its first `length` bytes.
bool cut_file(std::FILE* stream, long length, std::string* reason);

// Puts `bytes` at `path` so that the name never shows a part-written file. A missing name
// or a regular file is replaced in one step (written beside it, synced, renamed over it),
// keeping the old file's permissions; a symbolic link is followed, so its target is
// replaced and the link stays. A file a rename would change is written in place instead:
// one with other hard links, one another user owns, one in a directory that takes no new
// name. A read-only file, a directory and anything that is not a regular file are refused.
// Returns "" or the reason.
std::string replace_file(const char* path, const std::vector<unsigned char>& bytes);

#if defined(_WIN32) || defined(__EMSCRIPTEN__)
// For tests, as a file size limit does on POSIX systems: write_text and replace_file write
// no byte past this offset of a file, and fail there as on a full volume ("No space left
// on device"). Negative: no limit. Windows and the browser have no such limit to set.
void set_test_file_size_limit(long long bytes);
#endif

// Quit signals (SIGINT, SIGTERM), for a backend with a user who may press Control+C or a
// session that may end: each one still at its default action is taken over, so that it
// makes the returned descriptor readable instead of ending the process. The first one to
// arrive puts the defaults back, so a second ends a program that has stopped waiting.
// Returns -1 when no signal was taken over (the application handles both itself), or
// where the system has no such signals.
int catch_quit_signals();
// True once for each quit signal that arrived since the last call; empties the descriptor.
bool take_quit_signal();
// Gives each quit signal still taken over back to what it did before catch_quit_signals;
// one the program has handled itself since is left alone. Nothing arrived is kept.
void release_quit_signals();

}  // namespace sys
}  // namespace px
