// Writes a tree model onto a freshly formatted NTFS image through libntfs-3g
// (no FUSE, no mount point).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "name_model.h"

namespace zw::gen {

struct WriteOptions {
  bool fragmentMft = false;  // make $MFT's $DATA land in several runs
  bool progress = false;     // a line on stderr every so often
};

// What became of each node: the MFT record that holds it (for hard links,
// the shared record) and the size written; ok is false for a node that could
// not be created, which the manifest then leaves out.
struct Written {
  uint64_t record = 0;
  uint64_t size = 0;
  bool ok = false;
  bool deleted = false;  // a kDeleted node whose delete went through
  bool dosName = false;  // also has an 8.3 name
};

struct WriteReport {
  std::vector<Written> nodes;
  uint32_t failures = 0;
  uint64_t mftRuns = 0;  // runs of $MFT's unnamed $DATA at the end
};

bool WriteTree(const std::string& image, const std::vector<Node>& nodes,
               const WriteOptions& options, WriteReport& report, std::string& error);

}  // namespace zw::gen
