// POSIX has no NTFS change journal. The volume itself opens as on Windows
// (so an unbound letter fails at the open, like CreateFile), and the journal
// then answers as Wine does: not supported.
#include "platform/last_error.h"
#include "platform/raw_volume.h"
#include "platform/usn_journal.h"

namespace zw::platform {

namespace {

class NoJournalDevice final : public UsnJournalDevice {
 public:
  explicit NoJournalDevice(RawVolume volume) : volume_(std::move(volume)) {}
  bool Query(UsnJournalInfo&) noexcept override { return Fail(); }
  bool Create(uint64_t, uint64_t) noexcept override { return Fail(); }
  bool Read(const ReadUsnJournalRequest&, void*, uint32_t, uint32_t& returned) noexcept override {
    returned = 0;
    return Fail();
  }
  void Cancel() noexcept override {}

 private:
  static bool Fail() noexcept {
    SetLastError(kErrorNotSupported);
    return false;
  }
  RawVolume volume_;  // held open for the handle's lifetime, read-only
};

}  // namespace

std::unique_ptr<UsnJournalDevice> OpenSystemUsnJournal(char16_t letter) noexcept {
  RawVolume volume;
  if (!volume.Open(letter)) return nullptr;  // LastError set by the open
  try {
    return std::make_unique<NoJournalDevice>(std::move(volume));
  } catch (...) {
    SetLastError(error::kNotEnoughMemory);
    return nullptr;
  }
}

}  // namespace zw::platform
