// The manifest: what an image holds, for tests to compare listings with.
//
// One line per node, UTF-8, fields separated by tabs:
//   kind  record  size  flags  path  [target]
// kind: D folder, F file, L another name (hard link) of the file at target,
// X a deleted file (its record is free). record is the MFT record number,
// size the bytes of the unnamed stream, flags "-" or a comma list of
// links, streams, fragmented, dos (also has an 8.3 name). Paths start below the root and use "\".
// Lines starting with "#" are comments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "name_model.h"
#include "writer.h"

namespace zw::gen {

std::string ManifestText(const std::vector<Node>& nodes, const WriteReport& report, uint64_t seed,
                         uint32_t count, Profile profile = Profile::Short);

}  // namespace zw::gen
