// Helpers shared by the XML tests: a compact, unambiguous picture of a tree that does not depend on
// ToXML, so parser tests and serialiser tests fail independently.
#pragma once

#include <string>

#include "script/xml.h"

namespace xmltest {

// name[attr=value;hidden*=value]{text}(child,child)
inline void DumpInto(const CXMLElement& e, std::string& out) {
  out += e.GetName().str();
  if (!e.GetAttributes().empty()) {
    out += '[';
    bool first = true;
    for (const auto& [name, attribute] : e.GetAttributes()) {
      if (!first) out += ';';
      first = false;
      out += name.str();
      if (attribute.hidden) out += '*';
      out += '=';
      out += attribute.value.str();
    }
    out += ']';
  }
  if (e.GetText().GetLength() > 0) out += "{" + e.GetText().str() + "}";
  if (e.GetChildCount() > 0) {
    out += '(';
    for (size_t i = 0; i < e.GetChildCount(); ++i) {
      if (i) out += ',';
      DumpInto(*e.GetChild(i), out);
    }
    out += ')';
  }
}

inline std::string Dump(const CXMLElement& e) {
  std::string out;
  DumpInto(e, out);
  return out;
}

// True when every child below `e` names its container as parent.
inline bool ParentsConsistent(const CXMLElement& e) {
  for (size_t i = 0; i < e.GetChildCount(); ++i) {
    const CXMLElement* c = e.GetChild(i);
    if (c->GetParent() != &e || !ParentsConsistent(*c)) return false;
  }
  return true;
}

}  // namespace xmltest
