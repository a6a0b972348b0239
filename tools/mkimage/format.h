// Making the empty volume: a sparse image file formatted by mkntfs.
#pragma once

#include <cstdint>
#include <string>

namespace zw::gen {

struct FormatOptions {
  uint64_t sizeBytes = 0;
  uint32_t sectorSize = 512;
  uint32_t clusterSize = 0;  // 0: mkntfs chooses
  uint64_t serial = 0;       // written into both boot sectors
  std::string label = "ZWTEST";
};

// Creates `path` (which must not exist), sizes it sparsely and formats it.
// On failure the file is removed and `error` says why.
bool FormatImage(const std::string& path, const FormatOptions& options, std::string& error);

}  // namespace zw::gen
