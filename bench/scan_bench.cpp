// The MFT scan over a 1,000,000-record volume in the page cache, against the
// floor of reading the same MFT bytes in 64 KiB reads.
//
// The volume is made once under the build tree from the name model: a boot
// sector and an MFT of ~1 GB in four extents (one placed behind another),
// records as Windows writes them (standard information, an 8.3 alias before
// some long names, resident and non-resident data). Set ZW_BENCH_IMAGE to a
// generator image to scan that as well, with `ntfsls -R -a -f` and
// `fls -r -p` run on it as peers.
//
// Run from the build directory: bench/zw_scan_bench
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../tests/support/ntfs_builder.h"
#include "name_model.h"
#include "ntfs/mft_scan.h"
#include "ntfs/volume_io.h"
#include "ntfs/volume_reader.h"
#include "platform/drive_table.h"

namespace {

using zw::test::ByteVec;
using zw::test::RecordBuilder;

constexpr uint32_t kCount = 1000000;
constexpr uint32_t kRecord = 1024;
constexpr uint32_t kCluster = 4096;

struct Layout {
  std::vector<std::pair<uint64_t, uint64_t>> extents;  // (LCN, clusters)
  uint64_t records = 0;
  uint64_t totalClusters = 0;
};

Layout MakeLayout(uint64_t records) {
  Layout l;
  l.records = records;
  const uint64_t c = (records * kRecord + kCluster - 1) / kCluster;
  const uint64_t q = c / 4;
  l.extents = {{256, q}, {256 + 2 * c, q}, {256 + q + 64, q}, {256 + 3 * c, c - 3 * q}};
  l.totalClusters = 256 + 4 * c;
  return l;
}

uint64_t VolumeOffset(const Layout& l, uint64_t mftOffset) {
  uint64_t vcn = mftOffset / kCluster;
  for (auto& e : l.extents) {
    if (vcn < e.second) return (e.first + vcn) * kCluster + mftOffset % kCluster;
    vcn -= e.second;
  }
  return 0;
}

bool WriteAt(int fd, uint64_t offset, const ByteVec& bytes) {
  return pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
         static_cast<ssize_t>(bytes.size());
}

std::u16string DosAlias(const std::u16string& name) {
  std::u16string alias;
  for (char16_t ch : name) {
    if (alias.size() == 6) break;
    if (ch < 128 && ch != u' ' && ch != u'.') alias += ch >= u'a' && ch <= u'z' ? ch - 32 : ch;
  }
  return alias + u"~1";
}

// Made in ./bench-data (run from the build directory) unless ZW_BENCH_DATA
// names another folder.
std::string SyntheticImage() {
  namespace fs = std::filesystem;
  const char* dir = std::getenv("ZW_BENCH_DATA");
  const std::string folder = dir ? dir : "bench-data";
  const std::string path = folder + "/scan-1m.img";
  if (fs::exists(path)) return path;
  fs::create_directories(folder);
  const std::vector<zw::gen::Node> nodes = zw::gen::MakeTree(1, kCount);
  std::vector<uint64_t> recordOf(nodes.size(), 5);
  uint64_t next = 16;
  for (size_t i = 0; i < nodes.size(); ++i)
    if (zw::gen::IsListed(nodes[i])) recordOf[i] = next++;
  const Layout l = MakeLayout(next);

  const std::string tmp = path + ".part";
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return "";
  bool ok = ftruncate(fd, static_cast<off_t>(l.totalClusters * kCluster)) == 0;
  ByteVec boot(512, 0);
  std::memcpy(boot.data() + 3, "NTFS    ", 8);
  zw::test::PutLe(boot, 0x0B, 512, 2);
  boot[0x0D] = kCluster / 512;
  zw::test::PutLe(boot, 0x28, l.totalClusters * kCluster / 512 - 1, 8);
  zw::test::PutLe(boot, 0x30, l.extents[0].first, 8);
  boot[0x40] = 0xF6;
  ok = ok && WriteAt(fd, 0, boot);

  auto put = [&](uint64_t n, const ByteVec& r) {
    ok = ok && WriteAt(fd, VolumeOffset(l, n * kRecord), r);
  };
  std::vector<zw::test::Run> runs;
  int64_t lcn = 0;
  for (auto& e : l.extents) {
    runs.push_back({e.second, static_cast<int64_t>(e.first) - lcn});
    lcn = static_cast<int64_t>(e.first);
  }
  put(0, RecordBuilder(kRecord)
             .StandardInfo(1, 1, 6)
             .FileName(5, u"$MFT", zw::test::kWin32AndDos)
             .NonResident(0x80, zw::test::EncodeRuns(runs), l.records * kRecord)
             .Finish());
  for (uint64_t n = 1; n < 16; ++n)
    put(n, RecordBuilder(kRecord, n == 5 ? 3 : 1).StandardInfo(1, 1, 6).Finish());
  for (size_t i = 0; i < nodes.size() && ok; ++i) {
    const zw::gen::Node& node = nodes[i];
    if (!zw::gen::IsListed(node)) continue;
    const uint64_t parent = node.parent == zw::gen::kRoot ? 5 : recordOf[node.parent];
    RecordBuilder r(kRecord, node.isFolder ? 3 : 1);
    r.StandardInfo(node.creationTime, node.modificationTime, node.isFolder ? 0x10 : 0x20);
    if (i % 8 == 0) {
      r.FileName(parent, DosAlias(node.name), zw::test::kDos);
      r.FileName(parent, node.name, zw::test::kWin32, node.size);
    } else {
      r.FileName(parent, node.name, zw::test::kWin32AndDos, node.size);
    }
    if (!node.isFolder) {
      if (node.size < 600)
        r.Data(ByteVec(node.size, 0));
      else
        r.NonResident(0x80, zw::test::EncodeRuns({{(node.size + kCluster - 1) / kCluster, 1000}}),
                      node.size);
    }
    put(recordOf[i], r.Finish());
  }
  ok = close(fd) == 0 && ok;
  if (!ok) return "";
  fs::rename(tmp, path);
  return path;
}

void ReadFloor(benchmark::State& state, char16_t letter) {
  zw::VolumeReader reader;
  if (!reader.Open(letter) || !reader.LoadMftLayout()) {
    state.SkipWithError("cannot open the volume");
    return;
  }
  std::vector<uint8_t> buffer(65536);
  uint64_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (const zw::MftRun& run : reader.runs) {
      const uint64_t start = run.startLcn * reader.bytesPerCluster;
      const uint64_t length = run.clusterCount * reader.bytesPerCluster;
      for (uint64_t done = 0; done < length; done += buffer.size()) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - done));
        zw::ntfs::ReadVolumeBytes(reader.handle, start + done, buffer.data(), n);
        bytes += n;
      }
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.counters["MiB"] = double(bytes) / (1024 * 1024);
}

void Scan(benchmark::State& state, char16_t letter, bool keep) {
  uint64_t delivered = 0;
  uint64_t records = 0;
  for (auto _ : state) {
    zw::VolumeReader reader;
    if (!reader.Open(letter)) {
      state.SkipWithError("cannot open the volume");
      return;
    }
    std::vector<zw::ScanRecord> entries;
    if (keep) entries.reserve(kCount + kCount / 8);
    zw::ScanCounters counters;
    zw::ScanMft(
        reader,
        [&](zw::ScanRecord& e) {
          if (keep) entries.push_back(std::move(e));
          return true;
        },
        nullptr, &counters);
    delivered = counters.delivered;
    records = counters.recordsRead;
    benchmark::DoNotOptimize(entries.data());
  }
  state.counters["entries"] = double(delivered);
  state.counters["records"] = double(records);
}

void Peer(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError(("failed: " + command).c_str());
      return;
    }
  }
}

void Register(const std::string& label, char16_t letter) {
  auto tune = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->ReportAggregatesOnly(true);
  };
  tune(benchmark::RegisterBenchmark(("ReadFloor/" + label).c_str(),
                                    [letter](benchmark::State& s) { ReadFloor(s, letter); }));
  tune(benchmark::RegisterBenchmark(("ScanMft/" + label).c_str(),
                                    [letter](benchmark::State& s) { Scan(s, letter, true); }));
  // The scan alone, entries dropped by the callback.
  tune(benchmark::RegisterBenchmark(("ScanMftDiscard/" + label).c_str(),
                                    [letter](benchmark::State& s) { Scan(s, letter, false); }));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string synthetic = SyntheticImage();
  if (synthetic.empty()) {
    std::fprintf(stderr, "scan_bench: could not write the synthetic image\n");
    return 1;
  }
  zw::platform::BindDrive({u'B', synthetic, 0, ""});
  Register("synthetic-1M", u'B');
  if (const char* image = std::getenv("ZW_BENCH_IMAGE")) {
    zw::platform::BindDrive({u'G', image, 0, ""});
    Register("image", u'G');
    const std::string img = std::string("'") + image + "'";
    for (auto [name, cmd] :
         {std::pair<const char*, std::string>{"Peer/ntfsls", "ntfsls -R -a -f " + img},
          {"Peer/fls", "fls -r -p " + img}}) {
      benchmark::RegisterBenchmark(
          name, [cmd = cmd + " >/dev/null 2>&1"](benchmark::State& s) { Peer(s, cmd); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->Repetitions(5)
          ->ReportAggregatesOnly(true)
          ->Iterations(1);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
