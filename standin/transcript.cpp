#include "standin/transcript.h"

#include <cstdio>
#include <cstdlib>

#include "standin/text.h"

namespace vexa::standin {

CTranscriptLine::CTranscriptLine(const char* kind, const char* name) {
  text_ = kind;
  text_ += ' ';
  text_ += name;
}

CTranscriptLine& CTranscriptLine::Str(const char* key, const char* value) {
  if (!value) return Word(key, "null");
  return Bytes(key, value, std::char_traits<char>::length(value));
}

CTranscriptLine& CTranscriptLine::Str(const char* key, const std::string& value) {
  return Bytes(key, value.data(), value.size());
}

CTranscriptLine& CTranscriptLine::Bytes(const char* key, const char* data, size_t size) {
  text_ += ' ';
  text_ += key;
  text_ += '=';
  text_ += QuoteTranscriptValue(data, size);
  return *this;
}

CTranscriptLine& CTranscriptLine::Int(const char* key, int64_t value) {
  text_ += ' ';
  text_ += key;
  text_ += '=';
  text_ += std::to_string(value);
  return *this;
}

CTranscriptLine& CTranscriptLine::Bool(const char* key, bool value) {
  return Word(key, value ? "true" : "false");
}

CTranscriptLine& CTranscriptLine::Word(const char* key, const char* word) {
  text_ += ' ';
  text_ += key;
  text_ += '=';
  text_ += word;
  return *this;
}

void CTranscriptLine::Write() const {
  WriteTranscriptLine(text_);
}

std::string QuoteTranscriptValue(const char* data, size_t size) {
  const bool cut = size > kMaxValueBytes;
  std::string out = QuoteEscaped(std::string_view(data, cut ? kMaxValueBytes : size), true);
  if (cut) out += '+';
  return out;
}

void WriteTranscriptLine(const std::string& line) {
  const char* path = std::getenv(kTranscriptEnvVar);
  if (!path || !*path) return;
  // Opened per line so that a reader sees every line at once and nothing is lost if the process
  // dies.
  std::FILE* file = std::fopen(path, "ab");
  if (!file) return;
  std::fwrite(line.data(), 1, line.size(), file);
  std::fputc('\n', file);
  std::fclose(file);
}

}  // namespace vexa::standin
