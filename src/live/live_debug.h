// The debugger lines of live update, built as UTF-16 text. Names and paths
// are written whole; nothing is cut to fit a buffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zw::live_debug {

std::u16string Hex8(uint32_t value);  // "%08X"
std::u16string Decimal(uint64_t value);

void OpenFailed(char16_t letter, uint32_t error);         // OpenUsnJournal: CreateFile failed ...
void MonitorOpenFailed(char16_t letter, uint32_t error);  // UsnMonitor: Failed to open ...
void MonitorStarted(char16_t letter);
void MonitorThreadFailed(char16_t letter);
void PositionLost(char16_t letter);  // the indexing run's position is gone from the journal
void JournalGap(char16_t letter, int64_t from, int64_t to);  // records between them were lost
void JournalLost(char16_t letter, uint32_t error);
void JournalRecreated(char16_t letter);
void NoJournal(char16_t letter);  // none on the volume, and creating one is not allowed
void Record(char16_t letter, uint32_t reason, std::u16string_view name);
void Created(uint32_t id, std::u16string_view path);

}  // namespace zw::live_debug
