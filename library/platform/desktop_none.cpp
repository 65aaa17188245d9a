// desktop_none.cpp - stands in for the desktop backend in builds without one.
#include "backend.h"

namespace px {
std::unique_ptr<Backend> make_desktop_backend() { return nullptr; }
}  // namespace px
