// png_reader.h - the tests read saved pictures back with the reader plotx-check uses
// (library/host/png/png_reader.h), under the names the tests know it by.
#pragma once
#include "host/png/png_reader.h"

namespace plotx_test {

using Png = px::Png;
using px::read_png;

}  // namespace plotx_test
