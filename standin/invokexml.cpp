#include "standin/invokexml.h"

#include "standin/text.h"

namespace vexa::standin {

namespace {

constexpr int kMaxDepth = 32;

class CXmlReader {
 public:
  explicit CXmlReader(const std::string& text) : s_(text) {}

  void SkipSpace() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\n')) {
      ++pos_;
    }
  }

  bool AtEnd() const { return pos_ >= s_.size(); }

  bool Consume(const char* literal) {
    const size_t n = std::char_traits<char>::length(literal);
    if (s_.compare(pos_, n, literal) != 0) return false;
    pos_ += n;
    return true;
  }

  bool PeekIs(const char* literal) const {
    return s_.compare(pos_, std::char_traits<char>::length(literal), literal) == 0;
  }

  // Reads a start tag "<name attr="v" ...>" or "<name .../>". The name must be `expected`.
  bool StartTag(const char* expected, std::vector<std::pair<std::string, std::string>>* attrs,
                bool* empty) {
    SkipSpace();
    if (!Consume("<")) return false;
    const size_t n = std::char_traits<char>::length(expected);
    if (s_.compare(pos_, n, expected) != 0) return false;
    pos_ += n;
    if (pos_ < s_.size() && IsNameChar(s_[pos_])) return false;
    for (;;) {
      SkipSpace();
      if (Consume("/>")) {
        *empty = true;
        return true;
      }
      if (Consume(">")) {
        *empty = false;
        return true;
      }
      const size_t name_start = pos_;
      while (pos_ < s_.size() && IsNameChar(s_[pos_])) ++pos_;
      if (pos_ == name_start) return false;
      std::string name = s_.substr(name_start, pos_ - name_start);
      SkipSpace();
      if (!Consume("=")) return false;
      SkipSpace();
      if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\'')) return false;
      const char quote = s_[pos_++];
      const size_t end = s_.find(quote, pos_);
      if (end == std::string::npos) return false;
      std::string value = XmlUnescape(s_.substr(pos_, end - pos_));
      pos_ = end + 1;
      if (attrs) attrs->emplace_back(std::move(name), std::move(value));
    }
  }

  bool EndTag(const char* name) {
    SkipSpace();
    const size_t saved = pos_;
    if (Consume("</") && Consume(name)) {
      SkipSpace();
      if (Consume(">")) return true;
    }
    pos_ = saved;
    return false;
  }

  // Character data up to the next '<'.
  std::string Text() {
    const size_t end = s_.find('<', pos_);
    const size_t stop = end == std::string::npos ? s_.size() : end;
    std::string text = s_.substr(pos_, stop - pos_);
    pos_ = stop;
    return text;
  }

  bool Value(XmlValue* out, int depth) {
    if (depth > kMaxDepth) return false;
    SkipSpace();
    const size_t start = pos_;
    bool empty = false;
    struct Simple {
      const char* name;
      XmlValue::Kind kind;
    };
    static const Simple kSimple[] = {{"true", XmlValue::Kind::kTrue},
                                     {"false", XmlValue::Kind::kFalse},
                                     {"null", XmlValue::Kind::kNull},
                                     {"undefined", XmlValue::Kind::kUndefined}};
    for (const Simple& simple : kSimple) {
      pos_ = start;
      if (StartTag(simple.name, nullptr, &empty)) {
        if (!empty && !EndTag(simple.name)) return false;
        out->kind = simple.kind;
        out->text.clear();
        return true;
      }
    }
    pos_ = start;
    if (StartTag("string", nullptr, &empty)) {
      out->kind = XmlValue::Kind::kString;
      out->text.clear();
      if (empty) return true;
      out->text = XmlUnescape(Text());
      return EndTag("string");
    }
    pos_ = start;
    if (StartTag("number", nullptr, &empty)) {
      out->kind = XmlValue::Kind::kNumber;
      out->text.clear();
      if (empty) return false;
      std::string text = Text();
      const size_t first = text.find_first_not_of(" \t\r\n");
      const size_t last = text.find_last_not_of(" \t\r\n");
      if (first == std::string::npos) return false;
      out->text = text.substr(first, last - first + 1);
      return EndTag("number");
    }
    for (const char* container : {"array", "object"}) {
      pos_ = start;
      if (!StartTag(container, nullptr, &empty)) continue;
      out->kind = container[0] == 'a' ? XmlValue::Kind::kArray : XmlValue::Kind::kObject;
      if (!empty) {
        for (;;) {
          if (EndTag(container)) break;
          std::vector<std::pair<std::string, std::string>> attrs;
          bool property_empty = false;
          if (!StartTag("property", &attrs, &property_empty) || property_empty) return false;
          XmlValue inner;
          if (!Value(&inner, depth + 1) || !EndTag("property")) return false;
        }
      }
      out->text = s_.substr(start, pos_ - start);
      const size_t first = out->text.find('<');
      if (first != std::string::npos) out->text.erase(0, first);
      return true;
    }
    return false;
  }

 private:
  static bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == ':' || c == '.';
  }

  const std::string& s_;
  size_t pos_ = 0;
};

}  // namespace

bool ParseInvokeXml(const std::string& xml, InvokeRequest* out, std::string* error) {
  CXmlReader reader(xml);
  std::vector<std::pair<std::string, std::string>> attrs;
  bool empty = false;
  InvokeRequest request;
  if (!reader.StartTag("invoke", &attrs, &empty)) {
    *error = "not an <invoke> element";
    return false;
  }
  bool has_name = false;
  for (const auto& attr : attrs) {
    if (attr.first == "name") {
      request.name = attr.second;
      has_name = true;
    } else if (attr.first == "returntype") {
      request.returntype = attr.second;
    }
  }
  if (!has_name || request.name.empty()) {
    *error = "<invoke> without a name";
    return false;
  }
  if (!empty) {
    bool args_empty = false;
    reader.SkipSpace();
    if (reader.PeekIs("<arguments")) {
      if (!reader.StartTag("arguments", nullptr, &args_empty)) {
        *error = "bad <arguments>";
        return false;
      }
      if (!args_empty) {
        while (!reader.EndTag("arguments")) {
          XmlValue value;
          if (!reader.Value(&value, 0)) {
            *error = "bad argument " + std::to_string(request.args.size() + 1);
            return false;
          }
          request.args.push_back(std::move(value));
        }
      }
    }
    if (!reader.EndTag("invoke")) {
      *error = "missing </invoke>";
      return false;
    }
  }
  reader.SkipSpace();
  if (!reader.AtEnd()) {
    *error = "text after </invoke>";
    return false;
  }
  *out = std::move(request);
  return true;
}

std::string XmlValueText(const XmlValue& value) {
  switch (value.kind) {
    case XmlValue::Kind::kString:
    case XmlValue::Kind::kNumber:
    case XmlValue::Kind::kArray:
    case XmlValue::Kind::kObject:
      return value.text;
    case XmlValue::Kind::kTrue:
      return "true";
    case XmlValue::Kind::kFalse:
      return "false";
    case XmlValue::Kind::kNull:
      return "null";
    case XmlValue::Kind::kUndefined:
      return "undefined";
  }
  return std::string();
}

std::string XmlString(const std::string& text) {
  return "<string>" + XmlEscape(text) + "</string>";
}

std::string XmlNumber(const std::string& number) {
  return "<number>" + number + "</number>";
}

}  // namespace vexa::standin
