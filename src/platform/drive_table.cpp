#include "platform/drive_table.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <mutex>

#include "base/ascii.h"

namespace zw::platform {

namespace {

std::mutex tableMutex;
std::map<char16_t, DriveBinding> table;  // guarded by tableMutex

bool IsLetter(char16_t c) {
  return c >= u'A' && c <= u'Z';
}

// Partition numbers above this are not plausible on any table we read.
constexpr int kMaxPartition = 4096;

}  // namespace

void BindDrive(const DriveBinding& binding) {
  DriveBinding copy = binding;
  copy.letter = UpperAscii(binding.letter);
  std::lock_guard lock(tableMutex);
  table[copy.letter] = std::move(copy);
}

void UnbindDrive(char16_t letter) {
  std::lock_guard lock(tableMutex);
  table.erase(UpperAscii(letter));
}

void ClearDriveTable() {
  std::lock_guard lock(tableMutex);
  table.clear();
}

std::optional<DriveBinding> FindDriveBinding(char16_t letter) {
  std::lock_guard lock(tableMutex);
  auto it = table.find(UpperAscii(letter));
  if (it == table.end()) return std::nullopt;
  return it->second;
}

std::vector<DriveBinding> DriveBindings() {
  std::lock_guard lock(tableMutex);
  std::vector<DriveBinding> out;
  out.reserve(table.size());
  for (const auto& entry : table) out.push_back(entry.second);
  return out;
}

std::optional<DriveBinding> ParseDriveBinding(std::string_view text, std::string& error) {
  const std::string quoted = "\"" + std::string(text) + "\"";
  if (text.size() < 2 || text[1] != '=') {
    error = "drive binding " + quoted + " is not LETTER=PATH";
    return std::nullopt;
  }
  DriveBinding binding;
  binding.letter = UpperAscii(char16_t(static_cast<unsigned char>(text[0])));
  if (!IsLetter(binding.letter)) {
    error = "drive binding " + quoted + ": the drive must be a letter from A to Z";
    return std::nullopt;
  }
  std::string_view path = text.substr(2);
  // A trailing ":N" of digits only names a partition; any other colon is part
  // of the path.
  const size_t colon = path.rfind(':');
  if (colon != std::string_view::npos && colon + 1 < path.size() &&
      std::all_of(path.begin() + colon + 1, path.end(),
                  [](char c) { return c >= '0' && c <= '9'; })) {
    const std::string_view digits = path.substr(colon + 1);
    int number = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc() || end != digits.data() + digits.size() || number < 1 ||
        number > kMaxPartition) {
      error = "drive binding " + quoted + ": partition numbers start at 1 and end at " +
              std::to_string(kMaxPartition);
      return std::nullopt;
    }
    binding.partition = number;
    path = path.substr(0, colon);
  }
  if (path.empty()) {
    error = "drive binding " + quoted + " names no file or device";
    return std::nullopt;
  }
  binding.source = std::string(path);
  return binding;
}

}  // namespace zw::platform
