// Writing .zip archives (deflate, UTF-8 names) of a shipped game folder, with zlib and no other
// tool, so `vexaship --zip` works the same on Linux and Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexa::ship {

class CZipWriter {
 public:
  // Adds one file. `name` uses '/' between folders and must not be empty, absolute or climb out.
  // Returns false (and *error) for a bad name, a duplicate, or more than 65535 entries or 4 GiB
  // (the archive stays as it was).
  bool Add(const std::string& name, const std::vector<uint8_t>& bytes, std::string* error);
  // The archive's bytes: local headers and data, central directory, end record.
  std::vector<uint8_t> Finish() const;

 private:
  struct Entry {
    std::string name;
    uint32_t crc = 0;
    uint32_t compressed_size = 0;
    uint32_t size = 0;
    uint16_t method = 0;
    uint32_t offset = 0;
  };
  std::vector<Entry> entries_;
  std::vector<uint8_t> data_;  // the local headers and file data written so far
  uint16_t dos_time_ = 0;
  uint16_t dos_date_ = 0;
  bool time_set_ = false;
};

}  // namespace vexa::ship
