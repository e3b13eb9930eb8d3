// Small text helpers of the stand-in plug-in: strict number parsing that does not depend on the C
// locale (the host may change it), colours, and the escapes of the texts it exchanges with the
// browser (XML values, script literals, URL-encoded variables).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexa::standin {

// Decimal integer with an optional sign and nothing else. False (out untouched) on any other text
// or when the value does not fit.
bool ParseInt(const std::string& text, int64_t* out);

// Decimal number: optional sign, digits, optional fraction. No exponent, no spaces.
bool ParseNumber(const std::string& text, double* out);

// Shortest stable form: integers without a fraction, others with up to 15 significant digits and a
// '.' whatever the locale.
std::string FormatNumber(double value);

// "#rrggbb", "#rgb" or one of the names black, white, red, green, blue, yellow, gray, navy, orange,
// silver. Result as 0xRRGGBB.
bool ParseColor(const std::string& text, uint32_t* out);

// ASCII lower case; other bytes unchanged.
std::string ToLowerAscii(std::string text);

// Escapes '&', '<', '>', '"' and '\'' for XML text and attribute values.
std::string XmlEscape(const std::string& text);

// Replaces the five named entities and numeric character references (decimal or hex, written as
// UTF-8). Anything that is not a well-formed reference, such as a bare '&', is kept as it is.
std::string XmlUnescape(const std::string& text);

// A double-quoted script string literal: backslash, quote, line feed, carriage return and tab are
// escaped with a backslash, other control bytes as \xHH.
std::string ScriptStringLiteral(const std::string& text);

// `text` in double quotes with backslash, quote, line feed, carriage return and tab escaped with a
// backslash and other control bytes (and, with escapeNonAscii, every byte from 0x7F up) as \xHH:
// the form of script string literals and of transcript values.
std::string QuoteEscaped(std::string_view text, bool escapeNonAscii);

// Decodes "%HH" and '+' (space) of URL-encoded form data; a malformed '%' stays as it is.
std::string UrlDecode(const std::string& text);

// Appends the UTF-8 form of a code point (nothing for values past U+10FFFF or surrogates).
void AppendUtf8(uint32_t code_point, std::string* out);

}  // namespace vexa::standin
