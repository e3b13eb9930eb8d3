#include "zipwriter.h"

#include <zlib.h>

#include <ctime>

namespace vexa::ship {

namespace {

constexpr uint32_t kMaxArchiveBytes = 0xFFFFFFFFu;

void Put16(std::vector<uint8_t>* out, uint32_t value) {
  out->push_back(static_cast<uint8_t>(value));
  out->push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>* out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

bool NameIsSafe(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.back() == '/' || name.size() > 0xFFFF)
    return false;
  if (name.find('\\') != std::string::npos || name.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

// Raw deflate (no zlib header), as zip stores it. False when zlib fails.
bool Deflate(const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  z_stream stream = {};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return false;
  out->resize(deflateBound(&stream, static_cast<uLong>(in.size())));
  stream.next_in = const_cast<Bytef*>(in.data());
  stream.avail_in = static_cast<uInt>(in.size());
  stream.next_out = out->data();
  stream.avail_out = static_cast<uInt>(out->size());
  const int result = deflate(&stream, Z_FINISH);
  out->resize(stream.total_out);
  deflateEnd(&stream);
  return result == Z_STREAM_END;
}

}  // namespace

bool CZipWriter::Add(const std::string& name, const std::vector<uint8_t>& bytes,
                     std::string* error) {
  if (!NameIsSafe(name)) {
    if (error) *error = "not a safe name inside a zip archive: " + name;
    return false;
  }
  for (const Entry& entry : entries_) {
    if (entry.name == name) {
      if (error) *error = "twice in the archive: " + name;
      return false;
    }
  }
  if (entries_.size() >= 0xFFFF || bytes.size() >= kMaxArchiveBytes) {
    if (error) *error = "the archive would need the 64-bit zip format: too many or too large files";
    return false;
  }
  if (!time_set_) {
    const std::time_t now = std::time(nullptr);
    std::tm parts = {};
    if (const std::tm* local = std::localtime(&now)) parts = *local;
    const int year = parts.tm_year + 1900 < 1980 ? 1980 : parts.tm_year + 1900;
    dos_time_ =
        static_cast<uint16_t>((parts.tm_hour << 11) | (parts.tm_min << 5) | (parts.tm_sec / 2));
    dos_date_ =
        static_cast<uint16_t>(((year - 1980) << 9) | ((parts.tm_mon + 1) << 5) | parts.tm_mday);
    time_set_ = true;
  }

  Entry entry;
  entry.name = name;
  entry.size = static_cast<uint32_t>(bytes.size());
  entry.crc = static_cast<uint32_t>(
      crc32(crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
  std::vector<uint8_t> packed;
  const bool deflated = Deflate(bytes, &packed) && packed.size() < bytes.size();
  entry.method = deflated ? 8 : 0;
  const std::vector<uint8_t>& stored = deflated ? packed : bytes;
  entry.compressed_size = static_cast<uint32_t>(stored.size());

  const uint64_t needed = data_.size() + 30 + name.size() + stored.size();
  if (needed >= kMaxArchiveBytes) {
    if (error) *error = "the archive would need the 64-bit zip format: larger than 4 GiB";
    return false;
  }
  entry.offset = static_cast<uint32_t>(data_.size());
  Put32(&data_, 0x04034b50);
  Put16(&data_, 20);       // version needed: 2.0
  Put16(&data_, 1 << 11);  // names are UTF-8
  Put16(&data_, entry.method);
  Put16(&data_, dos_time_);
  Put16(&data_, dos_date_);
  Put32(&data_, entry.crc);
  Put32(&data_, entry.compressed_size);
  Put32(&data_, entry.size);
  Put16(&data_, static_cast<uint32_t>(name.size()));
  Put16(&data_, 0);
  data_.insert(data_.end(), name.begin(), name.end());
  data_.insert(data_.end(), stored.begin(), stored.end());
  entries_.push_back(entry);
  return true;
}

std::vector<uint8_t> CZipWriter::Finish() const {
  std::vector<uint8_t> out = data_;
  const uint32_t directory_start = static_cast<uint32_t>(out.size());
  for (const Entry& entry : entries_) {
    Put32(&out, 0x02014b50);
    Put16(&out, 0x031E);  // made by: Unix, 3.0 (so the mode bits below are read)
    Put16(&out, 20);
    Put16(&out, 1 << 11);
    Put16(&out, entry.method);
    Put16(&out, dos_time_);
    Put16(&out, dos_date_);
    Put32(&out, entry.crc);
    Put32(&out, entry.compressed_size);
    Put32(&out, entry.size);
    Put16(&out, static_cast<uint32_t>(entry.name.size()));
    Put16(&out, 0);               // extra
    Put16(&out, 0);               // comment
    Put16(&out, 0);               // disk
    Put16(&out, 0);               // internal attributes
    Put32(&out, 0100644u << 16);  // a plain file, rw-r--r--
    Put32(&out, entry.offset);
    out.insert(out.end(), entry.name.begin(), entry.name.end());
  }
  const uint32_t directory_size = static_cast<uint32_t>(out.size()) - directory_start;
  Put32(&out, 0x06054b50);
  Put16(&out, 0);
  Put16(&out, 0);
  Put16(&out, static_cast<uint32_t>(entries_.size()));
  Put16(&out, static_cast<uint32_t>(entries_.size()));
  Put32(&out, directory_size);
  Put32(&out, directory_start);
  Put16(&out, 0);
  return out;
}

}  // namespace vexa::ship
