#include "player/settings.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/ascii.h"
#include "platform/decimal.h"
#include "platform/devicename.h"

namespace vexa::player {

namespace {

int32_t Saturate(int64_t value) {
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

// Reads one number starting at `pos`; advances `pos` past it. False, leaving `pos` alone, when
// there are no digits.
bool ReadNumber(std::string_view text, size_t* pos, int32_t* value) {
  const vexa::platform::DecimalRead read = vexa::platform::ReadDecimal(text.substr(*pos));
  if (!read.digits) return false;
  *value = read.value;
  *pos += read.end;
  return true;
}

// "AxB" into two numbers (empty ones 0). False when there is no 'x'.
bool ParsePair(std::string_view field, int32_t* first, int32_t* second) {
  const size_t x = field.find('x');
  if (x == std::string_view::npos) return false;
  *first = ParseInteger(field.substr(0, x));
  *second = ParseInteger(field.substr(x + 1));
  return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

int32_t ClampCoordinate(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, kMinCoordinate, kMaxCoordinate));
}

int32_t ParseInteger(std::string_view text, bool* found) {
  const vexa::platform::DecimalRead read = vexa::platform::ReadDecimal(text);
  if (found) *found = read.digits;
  return read.value;
}

int ScanIntegers(std::string_view text, char separator, int32_t* values, int count) {
  if (!values) return 0;
  size_t pos = 0;
  int read = 0;
  while (read < count) {
    if (read > 0) {
      if (pos >= text.size() || text[pos] != separator) break;
      ++pos;
    }
    if (!ReadNumber(text, &pos, &values[read])) break;
    ++read;
  }
  return read;
}

std::optional<bool> ParseFlag(std::string_view text) {
  if (text.empty()) return std::nullopt;
  return vexa::platform::EqualsNoCaseAscii(text, "on") ||
         vexa::platform::EqualsNoCaseAscii(text, "true") || text == "1";
}

std::vector<ModeRecord> ParseFSModes(std::string_view text) {
  std::vector<ModeRecord> modes;
  for (std::string_view entry : Split(text, ';')) {
    const std::vector<std::string_view> fields = Split(entry, ',');
    if (fields.size() < 4) continue;
    ModeRecord mode;
    int32_t wide = 0;
    if (!ParsePair(fields[0], &mode.id, &wide)) continue;
    if (!ParsePair(fields[1], &mode.displayWidth, &mode.displayHeight)) continue;
    if (!ParsePair(fields.back(), &mode.movieWidth, &mode.movieHeight)) continue;
    if (!IsValidDimension(mode.movieWidth) || !IsValidDimension(mode.movieHeight)) continue;
    mode.wide = wide > 0 ? 1 : 0;
    // Everything between the second field and the last one, commas included.
    const size_t suffixStart = fields[0].size() + fields[1].size() + 2;
    const size_t suffixEnd = entry.size() - fields.back().size() - 1;
    const std::string_view suffix = entry.substr(suffixStart, suffixEnd - suffixStart);
    mode.urlSuffix = CSmallStr(suffix.data(), static_cast<int>(suffix.size()));
    modes.push_back(mode);
  }
  return modes;
}

bool IsSafeFolderName(std::string_view name) {
  if (name.empty() || name.size() > kMaxFolderNameLength) return false;
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
    if (std::strchr("\\/:<>\"|?*", c)) return false;
  }
  if (name.find("..") != std::string_view::npos) return false;
  if (name.back() == '.' || name.back() == ' ') return false;
  return !vexa::platform::IsDeviceName(name);
}

vexa::platform::WindowRect ComputeMovieRect(const MoviePlacement& placement, int32_t clientWidth,
                                            int32_t clientHeight) {
  int64_t left = 0;
  int64_t top = 0;
  int64_t right = 0;
  int64_t bottom = 0;
  if (placement.resize) {
    right = clientWidth;
    bottom = clientHeight;
  } else {
    if (placement.centre) {
      // Floor division: a movie one pixel wider than the client area starts at -1, not 0.
      const int64_t spareWidth = int64_t{clientWidth} - placement.width;
      const int64_t spareHeight = int64_t{clientHeight} - placement.height;
      left = spareWidth >= 0 ? spareWidth / 2 : -((-spareWidth + 1) / 2);
      top = spareHeight >= 0 ? spareHeight / 2 : -((-spareHeight + 1) / 2);
    } else {
      left = placement.x;
      top = placement.y;
    }
    right = left + placement.width;
    bottom = top + placement.height;
  }
  vexa::platform::WindowRect rect;
  rect.left = Saturate(left);
  rect.top = Saturate(top);
  rect.right = Saturate(right);
  rect.bottom = Saturate(bottom);
  return rect;
}

}  // namespace vexa::player
