// zw-mkimage: makes a deterministic NTFS test image from a seed and a count.
// It writes only the image (and manifest) it creates itself; an existing
// file is replaced only with --force, and never anything but a regular file.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "format.h"
#include "manifest.h"
#include "name_model.h"
#include "writer.h"

namespace {

struct Args {
  uint64_t seed = 1;
  uint64_t count = 0;
  std::string out;
  std::string manifest;
  uint64_t size = 0;
  uint32_t sectorSize = 512;
  uint32_t clusterSize = 0;
  zw::gen::Profile names = zw::gen::Profile::Short;
  bool fragmentMft = false;
  bool force = false;
  bool quiet = false;
};

void Usage() {
  std::fprintf(stderr,
               "usage: zw-mkimage --seed S --count N --out IMG [--size BYTES[K|M|G]]\n"
               "                  [--sector-size 512|1024|2048|4096] [--cluster-size BYTES]\n"
               "                  [--names short|long] [--fragment-mft] [--manifest FILE]\n"
               "                  [--force] [--quiet]\n");
}

bool ParseNumber(const char* text, uint64_t& value, bool allowSuffix) {
  if (text == nullptr || *text == '\0' || *text == '-') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text) return false;
  uint64_t scale = 1;
  if (allowSuffix && *end != '\0') {
    switch (*end) {
      case 'K':
      case 'k':
        scale = 1ull << 10;
        break;
      case 'M':
      case 'm':
        scale = 1ull << 20;
        break;
      case 'G':
      case 'g':
        scale = 1ull << 30;
        break;
      default:
        return false;
    }
    ++end;
  }
  if (*end != '\0' || v > UINT64_MAX / scale) return false;
  value = v * scale;
  return true;
}

bool IsPowerOfTwo(uint64_t v) {
  return v != 0 && (v & (v - 1)) == 0;
}

bool Parse(int argc, char** argv, Args& a) {
  for (int i = 1; i < argc; ++i) {
    std::string opt = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    uint64_t n = 0;
    auto number = [&](bool suffix) {
      if (!ParseNumber(value, n, suffix)) {
        std::fprintf(stderr, "zw-mkimage: %s needs a number, got '%s'\n", opt.c_str(),
                     value ? value : "");
        return false;
      }
      ++i;
      return true;
    };
    if (opt == "--seed") {
      if (!number(false)) return false;
      a.seed = n;
    } else if (opt == "--count") {
      if (!number(false)) return false;
      a.count = n;
    } else if (opt == "--size") {
      if (!number(true)) return false;
      a.size = n;
    } else if (opt == "--sector-size") {
      if (!number(false)) return false;
      a.sectorSize = uint32_t(n);
      if (n < 512 || n > 4096 || !IsPowerOfTwo(n)) {
        std::fprintf(stderr, "zw-mkimage: --sector-size must be 512, 1024, 2048 or 4096\n");
        return false;
      }
    } else if (opt == "--cluster-size") {
      if (!number(true)) return false;
      a.clusterSize = uint32_t(n);
      if (n < 512 || n > (2u << 20) || !IsPowerOfTwo(n)) {
        std::fprintf(stderr, "zw-mkimage: --cluster-size must be a power of two, 512 to 2M\n");
        return false;
      }
    } else if ((opt == "--out" || opt == "--manifest") && value != nullptr) {
      (opt == "--out" ? a.out : a.manifest) = value;
      ++i;
    } else if (opt == "--names") {
      const std::string v = value != nullptr ? value : "";
      if (v != "short" && v != "long") {
        std::fprintf(stderr, "zw-mkimage: --names must be short or long, got '%s'\n", v.c_str());
        return false;
      }
      a.names = v == "long" ? zw::gen::Profile::Long : zw::gen::Profile::Short;
      ++i;
    } else if (opt == "--fragment-mft") {
      a.fragmentMft = true;
    } else if (opt == "--force") {
      a.force = true;
    } else if (opt == "--quiet") {
      a.quiet = true;
    } else if (opt == "--help" || opt == "-h") {
      Usage();
      std::exit(0);
    } else {
      std::fprintf(stderr, "zw-mkimage: unknown or incomplete option '%s'\n", opt.c_str());
      return false;
    }
  }
  if (a.out.empty() || a.count == 0) {
    std::fprintf(stderr, "zw-mkimage: --out and a --count above 0 are required\n");
    return false;
  }
  if (a.count > 50'000'000) {
    std::fprintf(stderr, "zw-mkimage: --count above 50,000,000 is not supported\n");
    return false;
  }
  if (a.clusterSize != 0 && a.clusterSize < a.sectorSize) {
    std::fprintf(stderr, "zw-mkimage: the cluster size must be at least the sector size\n");
    return false;
  }
  return true;
}

// Enough room for the records, the folder indexes and the bytes the writer
// really stores (most large files are holes).
uint64_t DefaultSize(const std::vector<zw::gen::Node>& nodes, const Args& a) {
  const uint64_t cluster = a.clusterSize != 0 ? a.clusterSize : 4096;
  const uint64_t record = a.sectorSize > 1024 ? a.sectorSize : 1024;
  auto clusters = [&](uint64_t bytes) { return (bytes + cluster - 1) / cluster * cluster; };
  uint64_t total = 128ull << 20;
  for (uint32_t i = 0; i < nodes.size(); ++i) {
    const zw::gen::Node& n = nodes[i];
    total += 2 * record + 512;
    if (n.isFolder || (n.flags & zw::gen::kHardLink)) continue;
    if (n.flags & zw::gen::kFragmented)
      total += 2 * clusters(n.size);
    else if (n.size <= 2048)
      total += clusters(n.size);
    else if (i % 16 == 0)
      total += clusters(n.size < 8192 ? n.size : 8192);
  }
  total += total / 4;
  // libntfs-3g keeps the $MFT growing inside its zone, an eighth of the
  // volume; past it, the MFT interleaves with data until its run list no
  // longer fits record 0, which libntfs-3g cannot handle. Sparse, so cheap.
  const uint64_t mft = uint64_t(nodes.size() + 64) * record * 5 / 4;
  if (total < 9 * mft) total = 9 * mft;
  // Most large files are sparse; a sparse run longer than the whole volume
  // is legal but unusual, and The Sleuth Kit refuses it. Keep them shorter.
  uint64_t largest = 0;
  for (const zw::gen::Node& n : nodes) largest = std::max(largest, n.size);
  if (total < largest + largest / 4) total = largest + largest / 4;
  return (total + (1 << 20) - 1) & ~uint64_t((1 << 20) - 1);
}

bool IsRegularOrMissing(const std::string& path, bool& exists) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    exists = false;
    return errno == ENOENT;
  }
  exists = true;
  return S_ISREG(st.st_mode);
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::string tmp = path + ".partial";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok;
  if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  if (!Parse(argc, argv, a)) {
    Usage();
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  bool exists = false;
  if (!IsRegularOrMissing(a.out, exists)) {
    std::fprintf(stderr, "zw-mkimage: %s exists and is not a regular file; refusing to touch it\n",
                 a.out.c_str());
    return 2;
  }
  if (exists && !a.force) {
    std::fprintf(stderr, "zw-mkimage: %s exists (use --force to replace it)\n", a.out.c_str());
    return 2;
  }
  // Built under a temporary name and renamed at the end, so an interrupted
  // run never leaves a half-written image under the real name.
  const std::string tmp = a.out + ".partial";
  bool tmpExists = false;
  if (!IsRegularOrMissing(tmp, tmpExists)) {
    std::fprintf(stderr, "zw-mkimage: %s is in the way\n", tmp.c_str());
    return 2;
  }
  if (tmpExists) unlink(tmp.c_str());

  std::vector<zw::gen::Node> nodes = zw::gen::MakeTree(a.seed, uint32_t(a.count), a.names);
  zw::gen::FormatOptions fo;
  fo.sizeBytes = a.size != 0 ? a.size : DefaultSize(nodes, a);
  fo.sizeBytes -= fo.sizeBytes % a.sectorSize;
  fo.sectorSize = a.sectorSize;
  fo.clusterSize = a.clusterSize;
  fo.serial = 0x5A57000000000000ull ^ (a.seed * 0x9E3779B97F4A7C15ull >> 16);
  std::string error;
  if (!zw::gen::FormatImage(tmp, fo, error)) {
    std::fprintf(stderr, "zw-mkimage: %s\n", error.c_str());
    return 1;
  }
  zw::gen::WriteOptions wo;
  wo.fragmentMft = a.fragmentMft;
  wo.progress = !a.quiet && a.count >= 50000;
  zw::gen::WriteReport report;
  if (!zw::gen::WriteTree(tmp, nodes, wo, report, error)) {
    std::fprintf(stderr, "zw-mkimage: %s\n", error.c_str());
    unlink(tmp.c_str());
    return 1;
  }
  if (!a.manifest.empty() &&
      !WriteFile(a.manifest,
                 zw::gen::ManifestText(nodes, report, a.seed, uint32_t(a.count), a.names))) {
    std::fprintf(stderr, "zw-mkimage: cannot write %s (%s)\n", a.manifest.c_str(),
                 std::strerror(errno));
    unlink(tmp.c_str());
    return 1;
  }
  if (std::rename(tmp.c_str(), a.out.c_str()) != 0) {
    std::fprintf(stderr, "zw-mkimage: cannot rename %s to %s (%s)\n", tmp.c_str(), a.out.c_str(),
                 std::strerror(errno));
    unlink(tmp.c_str());
    return 1;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!a.quiet)
    std::fprintf(stderr, "zw-mkimage: %s: %zu nodes, %u failed, $MFT in %llu runs, %.1f s\n",
                 a.out.c_str(), nodes.size(), report.failures, (unsigned long long)report.mftRuns,
                 seconds);
  return report.failures == 0 ? 0 : 1;
}
