// Reading a volume image through RawVolume against plain pread on the same
// file: the layer must add nothing measurable to 64 KiB reads from the page
// cache. The image (256 MiB) is made once beside the working directory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/drive_table.h"
#include "platform/raw_volume.h"

namespace {

constexpr size_t kImageBytes = size_t(256) << 20;
constexpr size_t kReadBytes = size_t(64) << 10;

const std::string& ImagePath() {
  static const std::string path = [] {
    const std::string p = "raw_volume_bench.img";
    if (!std::filesystem::exists(p) || std::filesystem::file_size(p) != kImageBytes) {
      std::vector<char> block(1 << 20);
      for (size_t i = 0; i < block.size(); ++i) block[i] = char(i * 131);
      std::memcpy(block.data() + 3, "NTFS    ", 8);
      block[0x0B] = 0;
      block[0x0C] = 2;  // 512-byte sectors
      std::ofstream out(p, std::ios::binary | std::ios::trunc);
      for (size_t done = 0; done < kImageBytes; done += block.size())
        out.write(block.data(), std::streamsize(block.size()));
    }
    return p;
  }();
  return path;
}

void BM_RawVolumeRead64K(benchmark::State& state) {
  zw::platform::BindDrive({u'B', ImagePath(), 0, ""});
  zw::platform::RawVolume volume;
  if (!volume.Open(u'B')) {
    state.SkipWithError("cannot open the image");
    return;
  }
  std::vector<unsigned char> buffer(kReadBytes);
  for (auto _ : state) {
    for (uint64_t offset = 0; offset < kImageBytes; offset += kReadBytes) {
      size_t got = 0;
      if (!volume.ReadAt(offset, buffer.data(), kReadBytes, got)) {
        state.SkipWithError("read failed");
        return;
      }
      benchmark::DoNotOptimize(got);
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kImageBytes));
}
BENCHMARK(BM_RawVolumeRead64K)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peer: the system call alone.
void BM_PreadRead64K(benchmark::State& state) {
  const int fd = ::open(ImagePath().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    state.SkipWithError("cannot open the image");
    return;
  }
  std::vector<unsigned char> buffer(kReadBytes);
  for (auto _ : state) {
    for (uint64_t offset = 0; offset < kImageBytes; offset += kReadBytes) {
      benchmark::DoNotOptimize(::pread(fd, buffer.data(), kReadBytes, off_t(offset)));
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kImageBytes));
  ::close(fd);
}
BENCHMARK(BM_PreadRead64K)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
