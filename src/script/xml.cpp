#include "script/xml.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace {

// Only ASCII white space: text is bytes in whatever encoding the file has, and a locale-dependent
// isspace() could take the last byte of a UTF-8 sequence (0xA0) for a space.
bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view TrimView(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsXmlSpace(s[b])) ++b;
  while (e > b && IsXmlSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

CSmallStr MakeStr(const char* begin, const char* end) {
  return CSmallStr(begin, static_cast<int>(end - begin));
}

CSmallStr MakeStr(std::string_view s) {
  return CSmallStr(s.data(), static_cast<int>(s.size()));
}

std::string_view View(const CSmallStr& s) {
  return std::string_view(s.c_str(), static_cast<size_t>(s.GetLength()));
}

}  // namespace

bool CXMLNameLess::operator()(std::string_view a, std::string_view b) const {
  size_t n = std::min(a.size(), b.size());
  int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (c != 0) return c < 0;
  return a.size() < b.size();
}

// ---------------------------------------------------------------------------------------------------
// CXMLElement

CXMLElement::~CXMLElement() {
  ElementList pending;
  pending.swap(children_);
  DestroyTrees(std::move(pending));
}

void CXMLElement::DestroyTrees(ElementList pending) {
  // Each element's children are taken over before it is deleted, so no destructor below ever sees a
  // child and the depth of the tree never reaches the call stack.
  while (!pending.empty()) {
    CXMLElement* e = pending.back();
    pending.pop_back();
    if (!e) continue;
    pending.insert(pending.end(), e->children_.begin(), e->children_.end());
    e->children_.clear();
    delete e;
  }
}

void CXMLElement::AppendChild(CXMLElement* child) {
  InsertChild(children_.size(), child);
}

void CXMLElement::InsertChild(size_t index, CXMLElement* child) {
  if (!child) return;
  if (index > children_.size()) index = children_.size();
  children_.insert(children_.begin() + static_cast<ptrdiff_t>(index), child);
  child->parent_ = this;
}

CXMLElement* CXMLElement::DetachChild(CXMLElement* child) {
  auto it = std::find(children_.begin(), children_.end(), child);
  if (!child || it == children_.end()) return nullptr;
  children_.erase(it);
  child->parent_ = nullptr;
  return child;
}

int CXMLElement::GetAttribute(const char* name, CSmallStr& value) const {
  if (!name) return 0;
  auto it = attributes_.find(std::string_view(name));
  if (it == attributes_.end()) return 0;
  value = it->second.value;
  return 1;
}

void CXMLElement::SetAttribute(const char* name, const char* value, int32_t hidden) {
  if (!name) return;
  CSmallStr v(value ? value : "");
  auto it = attributes_.find(std::string_view(name));
  if (it != attributes_.end()) {
    it->second.value = v;
    return;
  }
  CXMLAttribute attribute;
  attribute.value = v;
  attribute.hidden = hidden;
  // emplace keeps an existing entry: a tag that repeats a name keeps its first value.
  attributes_.emplace(MakeStr(TrimView(name)), std::move(attribute));
}

CXMLElement::ElementList CXMLElement::GetChildrenByName(const char* name) const {
  ElementList found;
  if (!name) return found;
  std::string_view wanted(name);
  for (CXMLElement* child : children_) {
    if (View(child->name_) == wanted) found.push_back(child);
  }
  return found;
}

CXMLElement* CXMLElement::ShallowCopy(CXMLElement* parent) const {
  CXMLElement* copy = new CXMLElement;
  copy->name_ = name_;
  copy->attributes_ = attributes_;
  copy->parent_ = parent;
  return copy;
}

CXMLElement::ElementList CXMLElement::CloneChildren(CXMLElement* new_parent) const {
  // The clones are built under a scratch holder so that the pairs (original, clone) can be walked
  // with an explicit stack; the finished list is then handed out.
  CXMLElement holder;
  std::vector<std::pair<const CXMLElement*, CXMLElement*>> stack;
  stack.emplace_back(this, &holder);
  while (!stack.empty()) {
    auto [original, copy] = stack.back();
    stack.pop_back();
    copy->children_.reserve(original->children_.size());
    for (const CXMLElement* child : original->children_) {
      CXMLElement* child_copy = child->ShallowCopy(copy);
      copy->children_.push_back(child_copy);
      stack.emplace_back(child, child_copy);
    }
  }
  ElementList result;
  result.swap(holder.children_);
  for (CXMLElement* child : result) child->parent_ = new_parent;
  return result;
}

CXMLElement* CXMLElement::Clone(bool deep) const {
  CXMLElement* copy = ShallowCopy(parent_);
  if (deep) copy->children_ = CloneChildren(copy);
  return copy;
}

void CXMLElement::ToXML(CSmallStr& out, int indent, bool with_tag, bool with_attributes) const {
  // Built in a local buffer and appended once: appending piecewise to a copy-on-write string would
  // copy the whole text for every piece.
  std::string buf;
  const bool out_was_empty = out.GetLength() == 0;
  auto out_empty = [&] { return out_was_empty && buf.empty(); };

  struct Frame {
    const CXMLElement* element;
    int indent;
    bool with_tag;
    size_t next_child;
  };
  std::vector<Frame> stack;

  // Writes the start of an element; false when it was complete (an empty-element tag).
  auto open = [&](const CXMLElement* e, int level, bool tag, bool attrs) {
    if (!tag) return true;
    if (!out_empty()) buf.push_back('\n');
    buf.append(static_cast<size_t>(level), '\t');
    buf.push_back('<');
    buf.append(View(e->name_));
    if (attrs) {
      for (const auto& [name, attribute] : e->attributes_) {
        if (attribute.hidden != 0) continue;
        buf.push_back(' ');
        buf.append(View(name));
        buf.append("=\"");
        buf.append(View(attribute.value));
        buf.append("\" ");
      }
    }
    if (e->children_.empty() && e->text_.GetLength() == 0) {
      buf.append("/>");
      return false;
    }
    buf.push_back('>');
    buf.append(View(e->text_));
    return true;
  };

  const int base = indent < 0 ? 0 : indent;
  if (open(this, base, with_tag, with_attributes)) stack.push_back({this, base, with_tag, 0});
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next_child < top.element->children_.size()) {
      const CXMLElement* child = top.element->children_[top.next_child++];
      int level = top.indent + 1;
      // `top` may dangle after the push below; nothing reads it afterwards.
      if (open(child, level, true, true)) stack.push_back({child, level, true, 0});
      continue;
    }
    buf.push_back('\n');
    if (top.with_tag) {
      buf.append(static_cast<size_t>(top.indent), '\t');
      buf.append("</");
      buf.append(View(top.element->name_));
      buf.push_back('>');
    }
    stack.pop_back();
  }
  out.Append(buf.data(), static_cast<int>(buf.size()));
}

void CXMLElement::ReplaceContent(const CXMLElement& source) {
  // Copy everything first: the source may be this element or lie inside the children destroyed
  // below.
  CSmallStr name = source.name_;
  AttributeMap attributes = source.attributes_;
  ElementList clones = source.CloneChildren(this);
  DeleteChildren();
  name_ = name;
  attributes_.swap(attributes);
  children_.swap(clones);
}

ptrdiff_t CXMLElement::IndexInParent() const {
  if (!parent_) return -1;
  const ElementList& siblings = parent_->children_;
  auto it = std::find(siblings.begin(), siblings.end(), this);
  return it == siblings.end() ? -1 : it - siblings.begin();
}

int CXMLElement::ReplaceInParent(const CXMLElement& source) {
  ptrdiff_t index = IndexInParent();
  if (index < 0) return 0;
  CXMLElement* parent = parent_;
  // Cloned before the list changes: the source may be the parent or this element itself.
  ElementList clones = source.CloneChildren(parent);
  ElementList& siblings = parent->children_;
  siblings.erase(siblings.begin() + index);
  siblings.insert(siblings.begin() + index, clones.begin(), clones.end());
  parent_ = nullptr;
  delete this;
  return 1;
}

int CXMLElement::ReplaceInParentTaking(CXMLElement* source) {
  if (!source) return 0;
  for (const CXMLElement* e = this; e; e = e->parent_) {
    if (e == source) return ReplaceInParent(*source);
  }
  for (const CXMLElement* e = source->parent_; e; e = e->parent_) {
    if (e == this) return ReplaceInParent(*source);
  }
  return TakeChildrenInPlace(source);
}

int CXMLElement::Unwrap() { return TakeChildrenInPlace(this); }

int CXMLElement::TakeChildrenInPlace(CXMLElement* owner) {
  ptrdiff_t index = IndexInParent();
  if (index < 0) return 0;
  CXMLElement* parent = parent_;
  ElementList moved;
  moved.swap(owner->children_);
  for (CXMLElement* child : moved) child->parent_ = parent;
  ElementList& siblings = parent->children_;
  siblings.erase(siblings.begin() + index);
  siblings.insert(siblings.begin() + index, moved.begin(), moved.end());
  parent_ = nullptr;
  delete this;
  return 1;
}

void CXMLElement::DeleteChildren() {
  ElementList pending;
  pending.swap(children_);
  DestroyTrees(std::move(pending));
}

// ---------------------------------------------------------------------------------------------------
// CXMLParser

void CXMLParser::ClearRoot() {
  root_.DeleteChildren();
  root_.GetAttributes().clear();
  root_.SetName(CSmallStr());
  root_.SetText(CSmallStr());
}

int CXMLParser::ParseDocument(const char* text) {
  // The whole root is reset, not only children and attributes: a new document without text (or one
  // that fails before its name) must not show the previous document's name or text.
  ClearRoot();
  if (!text) return 0;
  const char* cursor = text;
  return ParseElement(&cursor, nullptr);
}

int CXMLParser::ParseElement(const char** cursor, CXMLElement* parent) {
  // A call from outside starts afresh; nested calls give up once the limit was hit.
  if (depth_ == 0) too_deep_ = false;
  if (!cursor || !*cursor || too_deep_) return 0;
  const char* p = *cursor;
  const char* lt = nullptr;

  // Skip comments and processing instructions up to the next tag.
  for (;;) {
    lt = std::strchr(p, '<');
    if (!lt) return 0;
    if (lt[1] == '!' && lt[2] == '-' && lt[3] == '-') {
      const char* close = std::strstr(lt + 4, "-->");
      if (!close) return 0;
      p = close + 3;
      continue;
    }
    if (lt[1] == '?') {
      const char* close = std::strstr(lt + 2, "?>");
      if (!close) return 0;
      p = close + 2;
      continue;
    }
    break;
  }

  if (lt[1] == '/') {
    // Any end tag closes the innermost open element; its name is not read.
    *cursor = lt + 1;
    return 0;
  }

  // Only a space ends the name; a tab or line break becomes part of it.
  const char* e = std::strpbrk(lt, " >");
  if (!e) return 0;
  bool bare_empty_tag = false;
  if (e[-1] == '/') {
    bare_empty_tag = true;
    --e;
  }

  if (depth_ >= kMaxNestingDepth) {
    too_deep_ = true;
    return 0;
  }

  CXMLElement* element = parent ? new CXMLElement : &root_;
  element->SetName(MakeStr(lt + 1, e));

  if (bare_empty_tag) {
    p = e + 2;
  } else {
    const char* g = std::strchr(e, '>');
    if (!g) {
      if (element != &root_) delete element;
      return 0;
    }
    p = g + 1;
    ParseAttributes(e + 1, element, g);

    // The text is whatever follows the start tag up to the next tag, also after "<a x='1'/>".
    const char* next = std::strchr(g + 1, '<');
    if (next) {
      std::string_view text = TrimView(std::string_view(g + 1, static_cast<size_t>(next - g - 1)));
      if (!text.empty()) element->SetText(MakeStr(text));
    }

    if (g[-1] != '/') {
      ++depth_;
      while (ParseElement(&p, element)) {
      }
      --depth_;
      if (too_deep_) {
        // Nothing of a refused document survives: a partial tree would look like a valid one.
        if (element != &root_) {
          delete element;
        } else {
          ClearRoot();
        }
        return 0;
      }
    }
  }

  if (parent) parent->AppendChild(element);
  *cursor = p;
  return 1;
}

int CXMLParser::ParseAttributes(const char* start, CXMLElement* element, const char* end) {
  if (!start || !element || !end) return 0;
  const char* p = start;
  // Every search stays inside the tag: an unbounded search would rescan the rest of the document
  // for each tag.
  for (;;) {
    if (p >= end) return 1;
    const char* eq = static_cast<const char*>(std::memchr(p, '=', static_cast<size_t>(end - p)));
    if (!eq) return 1;

    const char* open = nullptr;
    for (const char* q = eq + 1; q < end; ++q) {
      if (*q == '"' || *q == '\'') {
        open = q;
        break;
      }
    }
    if (!open) return 0;
    const char* close =
        static_cast<const char*>(std::memchr(open + 1, *open, static_cast<size_t>(end - open - 1)));
    if (!close) return 0;

    std::string name(p, eq);
    std::string value(open + 1, close);
    element->SetAttribute(name.c_str(), value.c_str(), 0);
    p = close + 1;
  }
}
