#include "transcript_reader.h"

#include <cstdlib>
#include <string>

#include "platform/files.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The variable must outlive the process's use of it: putenv keeps the pointer on POSIX.
void SetTranscriptVariable(const std::string& value) {
  static std::string* setting = nullptr;
  std::string* next = new std::string("VEXA_STANDIN_TRANSCRIPT=" + value);
  putenv(&(*next)[0]);
  delete setting;
  setting = next;
}

}  // namespace

std::string TranscriptEvent::Get(const std::string& key) const {
  auto it = fields.find(key);
  return it == fields.end() ? "<absent>" : it->second;
}

TranscriptEvent ParseTranscriptLine(const std::string& line) {
  TranscriptEvent event;
  event.text = line;
  size_t pos = line.find(' ');
  event.kind = line.substr(0, pos);
  if (pos == std::string::npos) return event;
  size_t next = line.find(' ', pos + 1);
  event.name = line.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
  pos = next;
  while (pos != std::string::npos && pos < line.size()) {
    ++pos;  // the space
    const size_t eq = line.find('=', pos);
    if (eq == std::string::npos) break;
    const std::string key = line.substr(pos, eq - pos);
    std::string value;
    size_t i = eq + 1;
    if (i < line.size() && line[i] == '"') {
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\' || i + 1 >= line.size()) {
          value += line[i];
          continue;
        }
        const char e = line[++i];
        switch (e) {
          case 'n':
            value += '\n';
            break;
          case 'r':
            value += '\r';
            break;
          case 't':
            value += '\t';
            break;
          case 'x':
            if (i + 2 < line.size() && HexDigit(line[i + 1]) >= 0 && HexDigit(line[i + 2]) >= 0) {
              value += static_cast<char>(HexDigit(line[i + 1]) * 16 + HexDigit(line[i + 2]));
              i += 2;
            }
            break;
          default:
            value += e;
            break;
        }
      }
      ++i;                                         // closing quote
      if (i < line.size() && line[i] == '+') ++i;  // cut marker
    } else {
      while (i < line.size() && line[i] != ' ') value += line[i++];
    }
    event.fields[key] = value;
    pos = i < line.size() ? i : std::string::npos;
  }
  return event;
}

CTranscriptFile::CTranscriptFile() {
  vexa::platform::MakeTempFile("vexa.transcript", &path_);
  SetTranscriptVariable(path_);
}

CTranscriptFile::~CTranscriptFile() {
  SetTranscriptVariable("");
  vexa::platform::RemoveFile(path_);
}

void CTranscriptFile::Suspend() {
  SetTranscriptVariable("");
}

void CTranscriptFile::Resume() {
  SetTranscriptVariable(path_);
}

std::vector<TranscriptEvent> CTranscriptFile::Take() {
  std::vector<uint8_t> bytes;
  vexa::platform::ReadFileBytes(path_, &bytes);
  std::vector<TranscriptEvent> events;
  std::string line;
  for (size_t i = consumed_; i < bytes.size(); ++i) {
    const char c = static_cast<char>(bytes[i]);
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      events.push_back(ParseTranscriptLine(line));
      line.clear();
      consumed_ = i + 1;
    } else {
      line += c;
    }
  }
  return events;
}

std::vector<TranscriptEvent> Named(const std::vector<TranscriptEvent>& events,
                                   const std::string& name, const std::string& key,
                                   const std::string& value) {
  std::vector<TranscriptEvent> out;
  for (const TranscriptEvent& event : events) {
    if (event.name != name) continue;
    if (!key.empty() && event.Get(key) != value) continue;
    out.push_back(event);
  }
  return out;
}

int IndexOf(const std::vector<TranscriptEvent>& events, const std::string& name,
            const std::string& key, const std::string& value) {
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i].name != name) continue;
    if (!key.empty() && events[i].Get(key) != value) continue;
    return static_cast<int>(i);
  }
  return -1;
}
