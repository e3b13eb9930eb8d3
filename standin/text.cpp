#include "standin/text.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace vexa::standin {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseInt(const std::string& text, int64_t* out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return false;
  uint64_t value = 0;
  const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (value > (limit - digit) / 10) return false;
    value = value * 10 + digit;
  }
  if (!negative && value == limit) return false;
  *out = negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
  return true;
}

bool ParseNumber(const std::string& text, double* out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  double value = 0;
  size_t digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) value = value * 10 + (text[i] - '0');
  if (i < text.size() && text[i] == '.') {
    ++i;
    double scale = 0.1;
    for (; i < text.size() && IsDigit(text[i]); ++i, ++digits, scale /= 10) {
      value += (text[i] - '0') * scale;
    }
  }
  if (digits == 0 || i != text.size() || !std::isfinite(value)) return false;
  *out = negative ? -value : value;
  return true;
}

std::string FormatNumber(double value) {
  char buffer[64];
  if (std::isfinite(value) && std::floor(value) == value && std::fabs(value) < 1e15) {
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
    return buffer;
  }
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  std::string result = buffer;
  for (char& c : result) {
    if (c == ',') c = '.';
  }
  // Some C runtimes write three exponent digits; keep the two-digit form everywhere.
  const size_t e = result.find('e');
  if (e != std::string::npos && e + 2 < result.size()) {
    size_t digits = e + 2;
    while (result.size() - digits > 2 && result[digits] == '0') result.erase(digits, 1);
  }
  return result;
}

bool ParseColor(const std::string& text, uint32_t* out) {
  struct Named {
    const char* name;
    uint32_t rgb;
  };
  static const Named kNames[] = {
      {"black", 0x000000}, {"white", 0xFFFFFF},  {"red", 0xFF0000},    {"green", 0x008000},
      {"blue", 0x0000FF},  {"yellow", 0xFFFF00}, {"gray", 0x808080},   {"grey", 0x808080},
      {"navy", 0x000080},  {"orange", 0xFFA500}, {"silver", 0xC0C0C0},
  };
  const std::string lower = ToLowerAscii(text);
  for (const Named& named : kNames) {
    if (lower == named.name) {
      *out = named.rgb;
      return true;
    }
  }
  if (lower.size() != 7 && lower.size() != 4) return false;
  if (lower[0] != '#') return false;
  uint32_t rgb = 0;
  for (size_t i = 1; i < lower.size(); ++i) {
    const int v = HexValue(lower[i]);
    if (v < 0) return false;
    rgb = (rgb << 4) | static_cast<uint32_t>(v);
    if (lower.size() == 4) rgb = (rgb << 4) | static_cast<uint32_t>(v);
  }
  *out = rgb;
  return true;
}

std::string ToLowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string XmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return;
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string XmlUnescape(const std::string& text) {
  static const struct {
    const char* entity;
    char value;
  } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    const size_t semi = text.find(';', i + 1);
    if (semi == std::string::npos || semi - i > 12) {
      out += text[i++];
      continue;
    }
    const std::string name = text.substr(i + 1, semi - i - 1);
    bool done = false;
    for (const auto& named : kNamed) {
      if (name == named.entity) {
        out += named.value;
        done = true;
        break;
      }
    }
    if (!done && name.size() >= 2 && name[0] == '#') {
      uint32_t cp = 0;
      bool ok = true;
      const bool hex = name[1] == 'x' || name[1] == 'X';
      const size_t start = hex ? 2 : 1;
      if (start >= name.size()) ok = false;
      for (size_t k = start; ok && k < name.size(); ++k) {
        const int v = hex ? HexValue(name[k]) : (IsDigit(name[k]) ? name[k] - '0' : -1);
        if (v < 0 || cp > 0x10FFFF) {
          ok = false;
        } else {
          cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(v);
        }
      }
      if (ok && cp != 0 && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
        AppendUtf8(cp, &out);
        done = true;
      }
    }
    if (done) {
      i = semi + 1;
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::string ScriptStringLiteral(const std::string& text) { return QuoteEscaped(text, false); }

std::string QuoteEscaped(std::string_view text, bool escapeNonAscii) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (u < 0x20 || u == 0x7F || (escapeNonAscii && u > 0x7F)) {
          static const char kHex[] = "0123456789ABCDEF";
          out += "\\x";
          out += kHex[u >> 4];
          out += kHex[u & 15];
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::string UrlDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace vexa::standin
