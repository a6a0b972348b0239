// What the MFT scan makes of one live file or folder: the fields read from its
// records. Paths, folded names and extensions are the index's to derive.
#pragma once

#include <cstdint>
#include <string>

namespace zw {

struct ScanRecord {
  uint64_t recordNumber = 0;        // low 48 bits of the file reference
  uint64_t parentRecordNumber = 0;  // from the same $FILE_NAME as `name`
  uint16_t sequenceNumber = 0;      // the top 16 bits of the file reference
  std::u16string name;
  uint64_t size = 0;
  uint64_t creationTime = 0;
  uint64_t modificationTime = 0;
  uint32_t attributes = 0;
  bool isFolder = false;
};

}  // namespace zw
