// win32_compat.h - the POSIX environment and directory calls the tests use, spelled for Windows. The
// Windows build puts this before every test source, so the tests stay as they are.
#pragma once
#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <cstdlib>
#include <cstring>

inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && std::getenv(name)) return 0;
    return _putenv_s(name, value);
}
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
// Replaces the trailing XXXXXX of tmpl and creates that directory.
inline char* mkdtemp(char* tmpl) {
    if (_mktemp_s(tmpl, std::strlen(tmpl) + 1) != 0 || _mkdir(tmpl) != 0) return nullptr;
    return tmpl;
}
#endif
