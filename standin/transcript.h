// The stand-in's transcript: one line per event, appended to the file named by the environment
// variable VEXA_STANDIN_TRANSCRIPT (nothing is written while it is unset or empty). The format is
// described in standin/README.md; end-to-end tests read it, so keep it stable.
//
// A line is "<kind> <name>" followed by " key=value" fields. A value is a decimal integer, one of
// the bare words true, false, null, set, void, object, missing, or a double-quoted string in which
// backslash, quote and bytes outside printable ASCII are escaped (\\ \" \n \r \t \xHH). Strings
// longer than kMaxValueBytes are cut there and the closing quote is followed by '+'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vexa::standin {

constexpr char kTranscriptEnvVar[] = "VEXA_STANDIN_TRANSCRIPT";
constexpr size_t kMaxValueBytes = 8192;

class CTranscriptLine {
 public:
  CTranscriptLine(const char* kind, const char* name);

  // A quoted string; a null pointer is written as the bare word null.
  CTranscriptLine& Str(const char* key, const char* value);
  CTranscriptLine& Str(const char* key, const std::string& value);
  CTranscriptLine& Bytes(const char* key, const char* data, size_t size);
  CTranscriptLine& Int(const char* key, int64_t value);
  CTranscriptLine& Bool(const char* key, bool value);
  // A bare word, written as given (callers pass fixed words only).
  CTranscriptLine& Word(const char* key, const char* word);

  const std::string& text() const { return text_; }

  // Appends the line to the transcript file. Failures are ignored: the transcript must never change
  // what the plug-in does.
  void Write() const;

 private:
  std::string text_;
};

// The quoted form of a value as it appears in a transcript line.
std::string QuoteTranscriptValue(const char* data, size_t size);

// Appends `line` and a line feed to the file named by VEXA_STANDIN_TRANSCRIPT (read on every call,
// so a host or test may set it at any time).
void WriteTranscriptLine(const std::string& line);

}  // namespace vexa::standin
