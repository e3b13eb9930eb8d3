#pragma once

// Decimal numbers read the way the C library's atoi/wtol read them (leading white space, an
// optional sign, the digits up to the first other character), except that a value past the 32-bit
// range saturates at INT32_MIN / INT32_MAX instead of overflowing. Game files, settings and
// FSCommand arguments all carry numbers in this form, so every reader of them goes through here.
//
// Only the six ASCII white-space characters (' ', '\t', '\n', '\v', '\f', '\r') are skipped and
// only '0'..'9' are digits, whatever the locale and whatever the character type.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vexa::platform {

// Whether white space before the sign is skipped (atoi) or ends the number at once.
enum class DecimalSpace { kSkip, kNone };

struct DecimalRead {
  int32_t value = 0;    // the saturated value; 0 when there are no digits
  size_t end = 0;       // index just past the last digit; 0 when there are no digits
  bool digits = false;  // whether any digit was read
};

namespace decimal_detail {

template <typename Char>
constexpr bool IsSpace(Char c) {
  return c == Char(' ') || (c >= Char('\t') && c <= Char('\r'));
}

template <typename Char>
constexpr bool IsDigit(Char c) {
  return c >= Char('0') && c <= Char('9');
}

template <typename Char>
constexpr DecimalRead Read(std::basic_string_view<Char> text, DecimalSpace space) {
  size_t i = 0;
  if (space == DecimalSpace::kSkip) {
    while (i < text.size() && IsSpace(text[i])) ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == Char('+') || text[i] == Char('-'))) {
    negative = text[i] == Char('-');
    ++i;
  }
  // The magnitude stops growing once it is past both limits, so any number of digits is safe.
  constexpr int64_t kPastLimit = int64_t{INT32_MAX} + 1;
  int64_t magnitude = 0;
  DecimalRead result;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    result.digits = true;
    if (magnitude <= kPastLimit)
      magnitude = magnitude * 10 + static_cast<int64_t>(text[i] - Char('0'));
  }
  if (!result.digits) return result;
  result.end = i;
  const int64_t value = negative ? -magnitude : magnitude;
  result.value = value > INT32_MAX   ? INT32_MAX
                 : value < INT32_MIN ? INT32_MIN
                                     : static_cast<int32_t>(value);
  return result;
}

}  // namespace decimal_detail

// The number at the start of `text`: its value, where it ends and whether there was one. A sign
// without digits is no number (value 0, end 0, digits false).
constexpr DecimalRead ReadDecimal(std::string_view text, DecimalSpace space = DecimalSpace::kSkip) {
  return decimal_detail::Read(text, space);
}
constexpr DecimalRead ReadDecimal(std::wstring_view text,
                                  DecimalSpace space = DecimalSpace::kSkip) {
  return decimal_detail::Read(text, space);
}

// atoi with saturation: the value of the number at the start of `text`, 0 when there is none.
constexpr int32_t DecimalValue(std::string_view text) {
  return ReadDecimal(text).value;
}
constexpr int32_t DecimalValue(std::wstring_view text) {
  return ReadDecimal(text).value;
}
// For C strings; a null pointer reads as the empty text.
constexpr int32_t DecimalValue(const char* text) {
  return text ? DecimalValue(std::string_view(text)) : 0;
}
constexpr int32_t DecimalValue(const wchar_t* text) {
  return text ? DecimalValue(std::wstring_view(text)) : 0;
}

}  // namespace vexa::platform
