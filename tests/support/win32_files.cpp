// win32_files.cpp - the Windows calls behind win32_files.h.
#ifdef _WIN32
#include "support/win32_files.h"

#include <windows.h>

namespace plotx_test {

bool set_read_only(const char* path, bool on) {
    return SetFileAttributesA(path, on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL) != 0;
}

void* hold_without_sharing(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

void let_go(void* held) {
    if (held) CloseHandle(held);
}

}  // namespace plotx_test
#endif
