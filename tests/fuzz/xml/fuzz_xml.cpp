// Feeds arbitrary bytes to the XML parser, then exercises the tree operations the interpreter uses
// on whatever tree came out, and parses the written XML again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "script/xml.h"

namespace {

// Aborts when a child does not name its container as parent (walked without recursion).
void CheckParents(const CXMLElement* root) {
  std::vector<const CXMLElement*> pending{root};
  while (!pending.empty()) {
    const CXMLElement* e = pending.back();
    pending.pop_back();
    for (const CXMLElement* child : e->GetChildren()) {
      if (child->GetParent() != e) std::abort();
      pending.push_back(child);
    }
  }
}

size_t CountElements(const CXMLElement* root) {
  size_t n = 0;
  std::vector<const CXMLElement*> pending{root};
  while (!pending.empty()) {
    const CXMLElement* e = pending.back();
    pending.pop_back();
    ++n;
    pending.insert(pending.end(), e->GetChildren().begin(), e->GetChildren().end());
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);  // adds the terminator
  CXMLParser parser;
  if (!parser.ParseDocument(text.c_str())) return 0;
  CheckParents(parser.GetRoot());

  CXMLElement* clone = parser.GetRoot()->Clone(true);
  CheckParents(clone);
  if (CountElements(clone) != CountElements(parser.GetRoot())) std::abort();

  CSmallStr xml;
  clone->ToXML(xml, 0, true, true);
  CXMLParser again;
  again.ParseDocument(xml.c_str());
  CheckParents(again.GetRoot());

  // The rewrites of the interpreter: an element statement, an include, an opened ifdef.
  if (clone->GetChildCount() > 0) {
    CXMLElement* first = clone->GetChild(0);
    first->ReplaceContent(*again.GetRoot());
    CheckParents(clone);
    if (first->ReplaceInParent(*parser.GetRoot()) != 1) std::abort();
    CheckParents(clone);
    if (clone->GetChildCount() > 0 && clone->GetChild(0)->Unwrap() != 1) std::abort();
    CheckParents(clone);
  }
  delete clone;
  return 0;
}
