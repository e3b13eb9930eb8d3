#include "exportfile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

const char kHeader[] = "vexasaves 1";

bool NeedsEscape(unsigned char c) {
  return c < 0x20 || c > 0x7E || c == '"' || c == '%';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Splits a line into its fields: bare words and quoted texts (kept with their quotes). False for
// a quote that is never closed.
bool SplitFields(const std::string& line, std::vector<std::string>* fields) {
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
      ++i;
      continue;
    }
    size_t end = i;
    if (line[i] == '"') {
      end = line.find('"', i + 1);
      if (end == std::string::npos) return false;
      ++end;
    } else {
      while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') {
        ++end;
      }
    }
    fields->push_back(line.substr(i, end - i));
    i = end;
  }
  return true;
}

bool ParseSlot(const std::string& field, int32_t* slot) {
  if (field.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(field.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
  *slot = static_cast<int32_t>(value);
  return true;
}

}  // namespace

std::string QuoteText(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (NeedsEscape(u)) {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

bool UnquoteText(const std::string& field, std::string* text) {
  if (field.size() < 2 || field.front() != '"' || field.back() != '"') return false;
  std::string out;
  for (size_t i = 1; i + 1 < field.size(); ++i) {
    const char c = field[i];
    if (c == '"') return false;
    if (c != '%') {
      out += c;
      continue;
    }
    // Two hex digits must follow before the closing quote.
    if (i + 2 >= field.size() - 1) return false;
    const int high = HexValue(field[i + 1]);
    const int low = HexValue(field[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  *text = std::move(out);
  return true;
}

std::string WriteExport(const ExportContents& contents) {
  std::string out = std::string(kHeader) + "\n";
  for (const ExportSet& set : contents.sets) {
    out += "set " + QuoteText(set.name) + "\n";
    for (const ExportSave& save : set.saves) {
      out += "save " + std::to_string(save.slot) + " " + QuoteText(save.description) + " " +
             QuoteText(save.data) + "\n";
    }
  }
  for (const ExportTable& table : contents.tables) {
    out += "table " + QuoteText(table.name) + "\n";
    for (const std::string& score : table.scores) out += "score " + QuoteText(score) + "\n";
  }
  for (const ExportScope& scope : contents.scopes) {
    out += "scope " + QuoteText(scope.entry) + "\n";
    for (const auto& value : scope.values) {
      out += "value " + QuoteText(value.first) + " " + QuoteText(value.second) + "\n";
    }
  }
  return out;
}

namespace {

// The export's bytes without a byte-order mark, which Windows editors put in front when they save
// (UTF-8, or UTF-16 as Notepad's "Unicode"). An export is ASCII, so UTF-16 text comes back byte for
// byte; anything else in it was not written by vexasaves. False with `why` when it cannot be.
bool StripByteOrderMark(const std::string& text, std::string* plain, std::string* why) {
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    *plain = text.substr(3);
    return true;
  }
  const bool little = text.compare(0, 2, "\xFF\xFE") == 0;
  if (!little && text.compare(0, 2, "\xFE\xFF") != 0) {
    *plain = text;
    return true;
  }
  if (text.size() % 2 != 0) {
    *why = "UTF-16 text cut short";
    return false;
  }
  plain->clear();
  for (size_t i = 2; i < text.size(); i += 2) {
    const unsigned char low = static_cast<unsigned char>(text[little ? i : i + 1]);
    const unsigned char high = static_cast<unsigned char>(text[little ? i + 1 : i]);
    if (high != 0 || low > 0x7F) {
      *why = "UTF-16 text that is not ASCII";
      return false;
    }
    plain->push_back(static_cast<char>(low));
  }
  return true;
}

}  // namespace

bool ParseExport(const std::string& bytes, ExportContents* contents, std::string* error) {
  std::string text, why;
  if (!StripByteOrderMark(bytes, &text, &why)) {
    if (error) *error = "line 1: not a vexasaves export (" + why + ")";
    return false;
  }
  enum { kNone, kSet, kTable, kScope } current = kNone;
  bool header = false;
  size_t lineNumber = 0;
  size_t start = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
    return false;
  };
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;

    std::vector<std::string> fields;
    if (!SplitFields(line, &fields)) return fail("a quote is not closed");
    if (fields.empty() || fields[0][0] == '#') continue;
    if (!header) {
      if (fields.size() != 2 || fields[0] != "vexasaves" || fields[1] != "1") {
        return fail("not a vexasaves export (the first line must be \"vexasaves 1\")");
      }
      header = true;
      continue;
    }
    const std::string& kind = fields[0];
    std::vector<std::string> texts;
    size_t first = 1;
    if (kind == "save") {
      if (fields.size() != 4) return fail("save needs a slot, a description and data");
      first = 2;
    }
    for (size_t i = first; i < fields.size(); ++i) {
      std::string value;
      if (!UnquoteText(fields[i], &value)) return fail("bad quoted text " + fields[i]);
      texts.push_back(std::move(value));
    }
    if (kind == "set" || kind == "table" || kind == "scope") {
      if (texts.size() != 1) return fail(kind + " needs one name");
      if (kind == "set") {
        contents->sets.push_back(ExportSet{texts[0], {}});
        current = kSet;
      } else if (kind == "table") {
        contents->tables.push_back(ExportTable{texts[0], {}});
        current = kTable;
      } else {
        contents->scopes.push_back(ExportScope{texts[0], {}});
        current = kScope;
      }
    } else if (kind == "save") {
      if (current != kSet) return fail("save outside a set");
      ExportSave save;
      if (!ParseSlot(fields[1], &save.slot)) return fail("bad slot number " + fields[1]);
      save.description = texts[0];
      save.data = texts[1];
      contents->sets.back().saves.push_back(std::move(save));
    } else if (kind == "score") {
      if (current != kTable) return fail("score outside a table");
      if (texts.size() != 1) return fail("score needs one text");
      contents->tables.back().scores.push_back(texts[0]);
    } else if (kind == "value") {
      if (current != kScope) return fail("value outside a scope");
      if (texts.size() != 2) return fail("value needs a name and a text");
      contents->scopes.back().values[texts[0]] = texts[1];
    } else {
      return fail("unknown item " + kind);
    }
  }
  if (!header) {
    lineNumber = 1;
    return fail("not a vexasaves export (empty)");
  }
  return true;
}
