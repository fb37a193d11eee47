#include "core/build_info.h"

#ifndef KORVANE_BUILD_VERSION
#define KORVANE_BUILD_VERSION "2.1.29"
#endif

namespace korvane {

const char* const BuildVersion = KORVANE_BUILD_VERSION;

} // namespace korvane
