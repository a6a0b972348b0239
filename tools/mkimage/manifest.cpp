#include "manifest.h"

#include "base/utf.h"

namespace zw::gen {

std::string ManifestText(const std::vector<Node>& nodes, const WriteReport& report, uint64_t seed,
                         uint32_t count, Profile profile) {
  std::string out = "# zw-mkimage manifest: seed " + std::to_string(seed) + ", count " +
                    std::to_string(count) + ", mft runs " + std::to_string(report.mftRuns);
  // The short profile's header stays as it was before there were profiles.
  if (profile == Profile::Long) out += ", names long";
  out += "\n";
  for (uint32_t i = 0; i < nodes.size(); ++i) {
    const Node& n = nodes[i];
    const Written& w = report.nodes[i];
    if (!w.ok) continue;
    char kind = n.isFolder ? 'D' : 'F';
    if (n.flags & kHardLink) kind = 'L';
    if ((n.flags & kDeleted) && w.deleted) kind = 'X';
    std::string flags;
    auto add = [&](uint32_t bit, const char* word) {
      if (n.flags & bit) flags += (flags.empty() ? "" : ",") + std::string(word);
    };
    add(kManyLinks, "links");
    add(kManyStreams, "streams");
    add(kFragmented, "fragmented");
    if (w.dosName) flags += flags.empty() ? "dos" : ",dos";
    if (flags.empty()) flags = "-";
    out += kind;
    out += '\t' + std::to_string(w.record) + '\t' + std::to_string(w.size) + '\t' + flags + '\t' +
           zw::ToUtf8(PathOf(nodes, i));
    if (kind == 'L') out += '\t' + zw::ToUtf8(PathOf(nodes, n.linkOf));
    out += '\n';
  }
  return out;
}

}  // namespace zw::gen
