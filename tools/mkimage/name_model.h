// A deterministic model of a user's data volume: folders and files with
// realistic names, depths and sizes, made from a seed and a count. The image
// generator writes it to NTFS; benchmarks build in-memory indexes from it.
// Pure C++, no NTFS library, so anything may link it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zw::gen {

inline constexpr uint32_t kRoot = 0xFFFFFFFFu;  // parent of top-level nodes
inline constexpr uint32_t kNone = 0xFFFFFFFFu;

enum NodeFlag : uint32_t {
  // Another name of nodes[linkOf] (a hard link): it has no record of its own.
  kHardLink = 1u << 0,
  // Created and then deleted, so its record is free and must not be listed.
  kDeleted = 1u << 1,
  // A file given so many hard links that its names no longer fit its base
  // record and move out through $ATTRIBUTE_LIST. The links follow as kHardLink
  // nodes with linkOf pointing here.
  kManyLinks = 1u << 2,
  // A file with enough named streams to push $DATA into extension records.
  kManyStreams = 1u << 3,
  // A file whose $DATA is written in many interleaved pieces, so its run list
  // outgrows the base record.
  kFragmented = 1u << 4,
};

struct Node {
  std::u16string name;      // at most 255 UTF-16 code units, unique in its folder
  uint32_t parent = kRoot;  // index of an earlier folder node, or kRoot
  bool isFolder = false;
  uint64_t size = 0;              // bytes of the unnamed $DATA; 0 for folders
  uint32_t flags = 0;             // NodeFlag bits
  uint32_t linkOf = kNone;        // for kHardLink: the file this is another name of
  uint64_t creationTime = 0;      // FILETIME
  uint64_t modificationTime = 0;  // FILETIME
};

// Which names the tree gets. Short: a user's data volume, short names,
// Korean-heavy. Long: a Windows system drive, about 21 code units a name,
// two thirds with an ASCII capital, about 12% non-ASCII, side-by-side
// component and package folders of 60 to 120 code units.
enum class Profile : uint8_t { Short, Long };

// Makes `count` nodes from `seed`. Parents always come before their children.
// About 2% of the nodes are hard-link names or deleted files; everything
// else is one listed file or folder. The same seed, count and profile give
// the same nodes on every platform and compiler (no std distributions, no
// floating point).
std::vector<Node> MakeTree(uint64_t seed, uint32_t count, Profile profile = Profile::Short);

// True for the nodes that a scan of the volume lists as an entry of its own:
// not deleted and not an extra name of another file.
inline bool IsListed(const Node& n) {
  return (n.flags & (kHardLink | kDeleted)) == 0;
}

// The path of node i below the volume root, folders joined with `separator`
// (no leading separator): u"문서\\보고서.txt".
std::u16string PathOf(const std::vector<Node>& nodes, uint32_t i, char16_t separator = u'\\');

// Depth of node i: top-level nodes have depth 1.
uint32_t DepthOf(const std::vector<Node>& nodes, uint32_t i);

// How many named streams and hard links the generator gives the special files.
inline constexpr int kManyStreamsCount = 40;
inline constexpr int kManyLinksCount = 12;

}  // namespace zw::gen
