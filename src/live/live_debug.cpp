#include "live/live_debug.h"

#include "platform/debug_output.h"

namespace zw::live_debug {

std::u16string Hex8(uint32_t value) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out(8, u'0');
  for (int i = 7; i >= 0; --i, value >>= 4) out[size_t(i)] = kDigits[value & 0xF];
  return out;
}

std::u16string Decimal(uint64_t value) {
  std::u16string out;
  do {
    out.insert(out.begin(), char16_t(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return out;
}

namespace {
void Emit(const std::u16string& line) {
  platform::OutputDebugLine(line);
}
}  // namespace

void OpenFailed(char16_t letter, uint32_t error) {
  Emit(u"OpenUsnJournal: CreateFile failed for " + std::u16string(1, letter) + u": (error=" +
       Decimal(error) + u")\n");
}

void MonitorOpenFailed(char16_t letter, uint32_t error) {
  Emit(u"UsnMonitor: Failed to open " + std::u16string(1, letter) + u": (error=" + Decimal(error) +
       u")\n");
}

void MonitorStarted(char16_t letter) {
  Emit(u"UsnMonitor: Started monitoring " + std::u16string(1, letter) + u":\n");
}

void MonitorThreadFailed(char16_t letter) {
  Emit(u"UsnMonitor: Failed to start a thread for " + std::u16string(1, letter) + u":\n");
}

void PositionLost(char16_t letter) {
  Emit(u"UsnMonitor: Journal of " + std::u16string(1, letter) +
       u": no longer holds the changes made while indexing; reading from its first record\n");
}

namespace {
std::u16string Usn(int64_t usn) {
  return usn < 0 ? u"-" + Decimal(uint64_t(0) - uint64_t(usn)) : Decimal(uint64_t(usn));
}
}  // namespace

void JournalGap(char16_t letter, int64_t from, int64_t to) {
  Emit(u"UsnMonitor: Journal of " + std::u16string(1, letter) + u": changes from USN " + Usn(from) +
       u" to " + Usn(to) + u" are gone; reading on from " + Usn(to) + u"\n");
}

void JournalLost(char16_t letter, uint32_t error) {
  Emit(u"UsnMonitor: Journal of " + std::u16string(1, letter) + u": is gone (error=" +
       Decimal(error) + u"); opening it again at every poll\n");
}

void JournalRecreated(char16_t letter) {
  Emit(u"UsnMonitor: Journal of " + std::u16string(1, letter) +
       u": was made anew; reading it from its first record\n");
}

void NoJournal(char16_t letter) {
  Emit(u"OpenUsnJournal: " + std::u16string(1, letter) +
       u": has no change journal and CreateChangeJournal is off; the volume is not followed\n");
}

void Record(char16_t letter, uint32_t reason, std::u16string_view name) {
  std::u16string line = u"USN ";
  line += letter;
  line += u": reason=0x" + Hex8(reason) + u" name=";
  line += name;
  line += u"\n";
  Emit(line);
}

void Created(uint32_t id, std::u16string_view path) {
  std::u16string line = u"OnFileCreated: id=" + Decimal(id) + u" path=";
  line += path;
  line += u"\n";
  Emit(line);
}

}  // namespace zw::live_debug
