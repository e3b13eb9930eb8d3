// Element trees of the script engine and the small, forgiving, byte-oriented parser that reads
// them.
//
// The parser is deliberately not a conforming XML parser. It knows start tags, end tags, attributes
// in single or double quotes, comments and processing instructions; it never decodes entity
// references
// ("&lt;" stays four bytes) and never checks that an end tag matches: any end tag closes the
// innermost open element. Scripts and data documents written for the game rely on exactly this
// behaviour.
//
// Nesting and stack use:
// - Every tree operation (destruction, Clone, ToXML, ReplaceContent, ReplaceInParent,
// DeleteChildren)
//   walks the tree with an explicit stack, so a tree of any depth built through this interface can
//   be copied, written and destroyed without exhausting the thread's stack.
// - The parser refuses documents nested deeper than kMaxNestingDepth elements: ParseDocument
// returns
//   0 and leaves an empty root. Everything downstream (the interpreter's preprocessing and
//   execution, the base-folder walk of the file loader) recurses per level, and ToXML output grows
//   with the square of the depth because of its indentation; the limit keeps all of that bounded
//   for hostile input while being far beyond anything a real script uses.
//
// Threading: none. A tree and a parser are used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "script/smallstr.h"

// Orders attribute names byte by byte (unsigned, shorter prefix first), case-sensitive.
struct CXMLNameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
  bool operator()(const CSmallStr& a, const CSmallStr& b) const {
    return (*this)(View(a), View(b));
  }
  bool operator()(const CSmallStr& a, std::string_view b) const { return (*this)(View(a), b); }
  bool operator()(std::string_view a, const CSmallStr& b) const { return (*this)(a, View(b)); }

 private:
  static std::string_view View(const CSmallStr& s) {
    return std::string_view(s.c_str(), static_cast<size_t>(s.GetLength()));
  }
};

struct CXMLAttribute {
  CSmallStr value;
  // Non-zero for internal attributes (the loader's "__base__"): kept and copied like any other, but
  // never written by ToXML.
  int32_t hidden = 0;
};

class CXMLElement {
 public:
  using AttributeMap = std::map<CSmallStr, CXMLAttribute, CXMLNameLess>;
  using ElementList = std::vector<CXMLElement*>;

  CXMLElement() = default;
  // Destroys all descendants (iteratively, see the file comment). Does not detach the element from
  // its parent: callers that destroy a child use DetachChild first or one of the tree operations.
  virtual ~CXMLElement();

  CXMLElement(const CXMLElement&) = delete;
  CXMLElement& operator=(const CXMLElement&) = delete;

  // --- Plain data
  // -----------------------------------------------------------------------------------

  const CSmallStr& GetName() const { return name_; }
  void SetName(const CSmallStr& name) { name_ = name; }

  // Trimmed character data that directly followed the start tag when the element was parsed.
  const CSmallStr& GetText() const { return text_; }
  void SetText(const CSmallStr& text) { text_ = text; }

  // Non-owning. Set for every element placed in a tree by the parser, AppendChild, InsertChild and
  // the tree operations; a Clone keeps the parent pointer of the element it was cloned from (even
  // though that parent does not list the clone). Null for a parser's root.
  CXMLElement* GetParent() const { return parent_; }

  // Attribute values may be changed in place (names are map keys and cannot).
  const AttributeMap& GetAttributes() const { return attributes_; }
  AttributeMap& GetAttributes() { return attributes_; }

  // Children in document order; the element owns them.
  const ElementList& GetChildren() const { return children_; }
  size_t GetChildCount() const { return children_.size(); }
  // Null when index is out of range.
  CXMLElement* GetChild(size_t index) const {
    return index < children_.size() ? children_[index] : nullptr;
  }

  // Takes ownership of child and appends it (or inserts it before index; an index past the end
  // appends); child's parent becomes this element. A null child is ignored. The child must not be
  // in another element's list (DetachChild it first).
  void AppendChild(CXMLElement* child);
  void InsertChild(size_t index, CXMLElement* child);
  // Removes child from the list and hands ownership back to the caller (its parent becomes null).
  // Null when child is not a direct child of this element.
  CXMLElement* DetachChild(CXMLElement* child);

  // --- Operations of the script engine
  // ----------------------------------------------------------------

  // Exact, case-sensitive lookup. Found: copies the value into `value` and returns 1. Otherwise
  // returns 0 and leaves `value` unchanged (also for a null name).
  int GetAttribute(const char* name, CSmallStr& value) const;

  // If an attribute with exactly this name exists its value is replaced and its hidden flag kept.
  // Otherwise an attribute is inserted under the name with leading and trailing white space
  // removed, unless that trimmed name already exists, in which case nothing changes (the first
  // occurrence of a repeated attribute in a tag wins). A null name does nothing; a null value
  // counts as empty.
  void SetAttribute(const char* name, const char* value, int32_t hidden);

  // Direct children whose name equals `name` byte for byte, in document order; not owned by the
  // list.
  ElementList GetChildrenByName(const char* name) const;

  // A new element owned by the caller: same parent pointer, same name, a copy of all attributes
  // (values and hidden flags), empty text. With deep set every descendant is cloned too (again with
  // empty text) and each clone's parent is its cloned parent.
  CXMLElement* Clone(bool deep) const;

  // Appends the element as XML text to `out`:
  //   with_tag: a line feed first when `out` is not empty, `indent` tabs, "<", the name; with
  //   with_attributes each non-hidden attribute in name order as ` name="value" ` (note the
  //   trailing space); "/>" and nothing more when there are neither children nor text, else ">" and
  //   the text. Every child follows with indent + 1, its tag and its attributes. Then a line feed
  //   and, with_tag, `indent` tabs and the end tag.
  // Values and text are written as stored, without escaping. A negative indent counts as 0.
  void ToXML(CSmallStr& out, int indent, bool with_tag, bool with_attributes) const;

  // Takes the source's name and a copy of its attributes; destroys this element's children and
  // receives deep clones of the source's children (parent = this). The own text is kept. The source
  // may be this element or one of its descendants: it is copied before anything is destroyed.
  void ReplaceContent(const CXMLElement& source);

  // Puts deep clones of the source's children into the parent's list at this element's position
  // (their parent = the parent), then removes this element from the parent and destroys it: on
  // success `this` is gone and the caller must not touch it again. Returns 1 on success; 0,
  // changing nothing, when the element has no parent or is not in its parent's list (a clone's
  // inherited parent pointer).
  int ReplaceInParent(const CXMLElement& source);

  // As ReplaceInParent, but moves the source's children (not copies), leaving the source without
  // children: for a source that is thrown away afterwards, such as the root of a document read only
  // to be inserted. A source that is this element, one of its ancestors or one of its descendants is
  // copied instead (moving would destroy or cut off what is being inserted).
  int ReplaceInParentTaking(CXMLElement* source);

  // Moves this element's own children (not copies) into the parent at this element's position, then
  // removes this element from the parent and destroys it. Return value and the fate of `this` as
  // for ReplaceInParent.
  int Unwrap();

  // Destroys all children and empties the list.
  void DeleteChildren();

 private:
  // Detaches and destroys the given elements and all their descendants without recursion.
  static void DestroyTrees(ElementList pending);
  // A copy of name and attributes, without children or text; parent as given.
  CXMLElement* ShallowCopy(CXMLElement* parent) const;
  // Deep clones of this element's children, parented to `new_parent`.
  ElementList CloneChildren(CXMLElement* new_parent) const;
  // Puts `owner`'s children (moved, not copied; `owner` is this element or one outside its
  // tree) into the parent's list at this element's position, then removes this element from the
  // parent and destroys it. 1 on success; 0, changing nothing, without a listing parent.
  int TakeChildrenInPlace(CXMLElement* owner);
  // Index in the parent's list, or -1.
  ptrdiff_t IndexInParent() const;

  AttributeMap attributes_;
  ElementList children_;
  CSmallStr name_;
  CXMLElement* parent_ = nullptr;
  CSmallStr text_;
};

class CXMLParser {
 public:
  // Documents nested deeper than this many elements are refused (see the file comment).
  static constexpr int kMaxNestingDepth = 256;

  CXMLParser() = default;
  // Destroys the root and with it the tree.
  virtual ~CXMLParser() = default;

  CXMLParser(const CXMLParser&) = delete;
  CXMLParser& operator=(const CXMLParser&) = delete;

  // Parses a zero-terminated byte text; the document element becomes the root itself and anything
  // after its end is ignored. Returns 1 on success, 0 when no element could be read (null text, no
  // "<", an end tag first, a start tag without ">", an unterminated comment or processing
  // instruction) or when the document is nested deeper than kMaxNestingDepth. The previous document
  // is discarded first, so on failure the root is empty or holds only what was read of the failing
  // start tag. Names and values of any length are accepted.
  virtual int ParseDocument(const char* text);

  // Reads one element at *cursor (skipping comments and processing instructions before it) and,
  // when parent is not null, appends it to parent; with a null parent the root is filled instead.
  // Returns 1 and advances *cursor past the element, or 0 when no element was read; on meeting an
  // end tag first, *cursor is left at its "/" so the caller can see that its own element ended. The
  // text must be zero-terminated.
  virtual int ParseElement(const char** cursor, CXMLElement* parent);

  // Reads name="value" pairs from [start, end) (the inside of one start tag) into element. Returns
  // 1, or 0 at a malformed attribute; attributes before it are kept. Values are taken as they are.
  virtual int ParseAttributes(const char* start, CXMLElement* element, const char* end);

  // The document element. Owned by the parser; clone it (deep) to keep the tree beyond the parser.
  CXMLElement* GetRoot() { return &root_; }
  const CXMLElement* GetRoot() const { return &root_; }

 private:
  void ClearRoot();

  CXMLElement root_;
  // Elements open around the element being read, and whether the limit was hit (which makes every
  // pending ParseElement give up).
  int depth_ = 0;
  bool too_deep_ = false;
};
