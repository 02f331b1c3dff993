// The client fuzz targets cover both builds: the first byte of an input picks the build
// ("b" tervane-b, any other byte tervane) and the rest is the target's own input.
#pragma once

#include <cstdint>

#include "client/client_build.h"

namespace fuzzsupport {

inline const ClientBuild& BuildFromByte(std::uint8_t byte) {
  return byte == 'b' ? kTervaneBBuild : kTervaneBuild;
}

}  // namespace fuzzsupport
