// The invoke XML of calls from the page into the movie (the scriptable object's CallFunction):
//   <invoke name="fn" returntype="xml"><arguments><string>..</string><number>N</number>...
//   </arguments></invoke>
// and the XML form of the value the movie returns.
#pragma once

#include <string>
#include <vector>

namespace vexa::standin {

struct XmlValue {
  enum class Kind { kString, kNumber, kTrue, kFalse, kNull, kUndefined, kArray, kObject };
  Kind kind = Kind::kUndefined;
  // kString: the unescaped text; kNumber: the number as written; kArray/kObject: the raw XML of the
  // whole element; others: empty.
  std::string text;
};

struct InvokeRequest {
  std::string name;
  std::string returntype;
  std::vector<XmlValue> args;
};

// Parses an invoke request. The envelope must be complete; whitespace between elements is allowed,
// an <arguments> element may be missing or empty. Returns false with a short reason on anything
// else. Nesting of arrays and objects is limited to 32 levels.
bool ParseInvokeXml(const std::string& xml, InvokeRequest* out, std::string* error);

// How a scene handler sees an argument: strings and numbers as their text,
// true/false/null/undefined as those words, arrays and objects as their raw XML.
std::string XmlValueText(const XmlValue& value);

// Result encodings of a handler's return value.
std::string XmlString(const std::string& text);    // <string>escaped</string>
std::string XmlNumber(const std::string& number);  // <number>n</number>
constexpr char kXmlUndefined[] = "<undefined/>";

}  // namespace vexa::standin
