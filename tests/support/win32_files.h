// win32_files.h - Windows' ways to keep a writer out of a file, for the tests of the
// library's refusals there. Kept apart from the tests so <windows.h>, whose macros would
// rename the layer's constants, stays out of them.
#pragma once
#ifdef _WIN32

namespace plotx_test {

// Sets or clears the read-only attribute; false when Windows refused.
bool set_read_only(const char* path, bool on);
// Opens the file as another program may, sharing it with nobody; nullptr on failure.
void* hold_without_sharing(const char* path);
void let_go(void* held);

}  // namespace plotx_test

#endif
