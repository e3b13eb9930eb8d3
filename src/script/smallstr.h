// CSmallStrT: the system's reference-counted, copy-on-write string.
//
// Two forms exist: CSmallStr (CSmallStrT<char, wchar_t>, narrow text in the ANSI code page or
// UTF-8) and CSmallWStr (CSmallStrT<wchar_t, char>, wide text). Copies share one record; every
// change detaches first and allocates a fresh block of exactly length + 1 characters, so a string
// handed to another thread under a lock never changes under that thread's feet.
//
// Contracts that callers rely on:
// - c_str() is never null: a string without characters yields a pointer to an empty terminator
// inside
//   the object (valid while the object lives and is not changed).
// - Indexes and counts are in characters; out-of-range counts are clamped, never undefined.
// - Compare() of a string that never had a character block answers -1 whatever the argument; a null
//   argument compares as 1. Strings with a block compare byte-wise (strcmp order).
#pragma once

#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/oleauto.h"
#include "script/stream.h"

namespace smallstr_detail {

// Conversions through the C library's multibyte functions in the current locale. A text that cannot
// be converted completely is converted up to the first bad character.
std::string WideToLocale(const wchar_t* text);
std::wstring LocaleToWide(const char* text);

// Stream encodings of wide text: UTF-16 code units on every platform, so files written by one build
// read in the other (wchar_t is 2 bytes on Windows and 4 on Linux).
std::u16string WideToUtf16Units(const wchar_t* text, size_t length);
std::wstring Utf16UnitsToWide(const char16_t* units, size_t length);

// String table lookup for the narrow form; false when the resource does not exist.
bool LoadResourceText(uint32_t id, std::string* out);

inline int Length(const char* s) {
  return static_cast<int>(std::strlen(s));
}
inline int Length(const wchar_t* s) {
  return static_cast<int>(std::wcslen(s));
}

// What replacing the first occurrence of `token` (not empty) in `text` by `replacement`, then
// searching again from the start, until no occurrence is left, makes of `text`, computed in linear
// time into *out; *count receives the number of replacements. Where the replacement holds the token
// itself that rule would never end: each occurrence of the original text is replaced once, left to
// right, instead.
// Bounds: the work stops once the text would be longer than `maxLength` characters or, where
// replacements keep recreating the token, after `maxCount` replacements. Returns true when the text
// was worked through; false when a bound stopped it, with *out holding the text as it stood then
// (the part worked through, then the rest as it was).
template <class C>
bool ReplaceRepeatedly(std::basic_string_view<C> text, std::basic_string_view<C> token,
                       std::basic_string_view<C> replacement, size_t maxLength, size_t maxCount,
                       std::basic_string<C>* out, size_t* count) {
  using View = std::basic_string_view<C>;
  out->clear();
  *count = 0;
  const size_t n = token.size();
  if (n == 0) {
    out->assign(text);
    return true;
  }
  if (replacement.find(token) != View::npos) {
    size_t from = 0;
    for (size_t pos = text.find(token); pos != View::npos; pos = text.find(token, from)) {
      out->append(text.substr(from, pos - from));
      out->append(replacement);
      from = pos + n;
      ++*count;
      // The length never shrinks here (the replacement is at least as long as the token).
      if (out->size() + (text.size() - from) > maxLength) {
        out->append(text.substr(from));
        return false;
      }
    }
    out->append(text.substr(from));
    return true;
  }
  // `pending` is the unread rest of the text, reversed, so that a replacement goes back in front of
  // it and is read again, just as a new search from the start would meet it. The text left of the
  // first occurrence never holds one, so *out never does either and a new occurrence can only end
  // at its last character.
  std::basic_string<C> pending(text.rbegin(), text.rend());
  const std::basic_string<C> reversed(replacement.rbegin(), replacement.rend());
  const C last = token.back();
  out->reserve(text.size());
  while (!pending.empty()) {
    const C c = pending.back();
    pending.pop_back();
    out->push_back(c);
    if (c != last || out->size() < n || out->compare(out->size() - n, n, token.data(), n) != 0) {
      continue;
    }
    out->resize(out->size() - n);
    pending += reversed;
    // Growth is bounded by the length; rewriting in place (a replacement as long as the token,
    // moving characters along) by the count.
    if (++*count >= maxCount || out->size() + pending.size() > maxLength) {
      out->append(pending.rbegin(), pending.rend());
      return false;
    }
  }
  return true;
}

inline int ToLowerAscii(int c) {
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}
inline bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}
inline bool IsSpace(wchar_t c) {
  return std::iswspace(static_cast<wint_t>(c)) != 0;
}

}  // namespace smallstr_detail

template <class C, class D>
class CSmallStrT {
 public:
  using Char = C;
  using Other = D;
  using StdString = std::basic_string<C>;

  CSmallStrT() { empty_[0] = 0; }
  CSmallStrT(const C* text) : CSmallStrT() {
    Assign(text, text ? smallstr_detail::Length(text) : 0);
  }
  CSmallStrT(const C* text, int count) : CSmallStrT() { SetN(count, text); }
  explicit CSmallStrT(const D* text) : CSmallStrT() { AssignOther(text); }
  explicit CSmallStrT(const StdString& text) : CSmallStrT() {
    Assign(text.data(), static_cast<int>(text.size()));
  }
  CSmallStrT(const CSmallStrT& other) : CSmallStrT() { Share(other.rep_); }
  CSmallStrT(CSmallStrT&& other) noexcept : CSmallStrT() {
    rep_ = other.rep_;
    other.rep_ = nullptr;
  }
  virtual ~CSmallStrT() { Release(); }

  CSmallStrT& operator=(const CSmallStrT& other) {
    if (rep_ != other.rep_) {
      Release();
      Share(other.rep_);
    }
    return *this;
  }
  CSmallStrT& operator=(CSmallStrT&& other) noexcept {
    if (this != &other) {
      Release();
      rep_ = other.rep_;
      other.rep_ = nullptr;
    }
    return *this;
  }
  CSmallStrT& operator=(const C* text) {
    // Assigning the string's own text (or a pointer into it) must not read freed memory.
    if (rep_ && text == rep_->chars) return *this;
    Assign(text, text ? smallstr_detail::Length(text) : 0);
    return *this;
  }
  CSmallStrT& operator=(const D* text) {
    AssignOther(text);
    return *this;
  }

  // Text, never null.
  const C* c_str() const { return (rep_ && rep_->chars) ? rep_->chars : empty_; }
  operator const C*() const { return c_str(); }
  int GetLength() const { return rep_ ? rep_->length : 0; }
  C operator[](int index) const { return (index >= 0 && index < GetLength()) ? c_str()[index] : 0; }
  StdString str() const { return StdString(c_str(), static_cast<size_t>(GetLength())); }
  // The same characters as str() without a copy; valid while the string lives and is not changed.
  std::basic_string_view<C> view() const {
    return std::basic_string_view<C>(c_str(), static_cast<size_t>(GetLength()));
  }
  // True when the string has its own character block (see Compare).
  bool HasBlock() const { return rep_ && rep_->chars; }

  // The first `count` characters of `text`, fewer if the text ends earlier. A null text or a
  // negative count gives an empty string.
  void SetN(int count, const C* text) {
    if (!text || count <= 0) {
      Assign(text, 0);
      return;
    }
    int n = 0;
    while (n < count && text[n]) ++n;
    Assign(text, n);
  }

  // Appending: a text (nothing for null or empty), one character, an integer in decimal.
  CSmallStrT& Append(const C* text) {
    if (!text || !*text) return *this;
    StdString s = str();
    s.append(text);
    return AssignStd(s);
  }
  CSmallStrT& Append(const C* text, int count) {
    if (!text || count <= 0) return *this;
    StdString s = str();
    s.append(text, static_cast<size_t>(count));
    return AssignStd(s);
  }
  CSmallStrT& AppendChar(C ch) {
    StdString s = str();
    s.push_back(ch);
    return AssignStd(s);
  }
  CSmallStrT& AppendInt(int32_t value) {
    std::string digits = std::to_string(value);
    StdString s = str();
    for (char d : digits) s.push_back(static_cast<C>(d));
    return AssignStd(s);
  }
  CSmallStrT& operator+=(const C* text) { return Append(text); }
  CSmallStrT& operator+=(const CSmallStrT& other) {
    return Append(other.c_str(), other.GetLength());
  }
  CSmallStrT& operator+=(C ch) { return AppendChar(ch); }

  friend CSmallStrT operator+(const CSmallStrT& a, const CSmallStrT& b) {
    CSmallStrT r(a);
    r += b;
    return r;
  }
  friend CSmallStrT operator+(const CSmallStrT& a, const C* b) {
    CSmallStrT r(a);
    r += b;
    return r;
  }
  friend CSmallStrT operator+(const C* a, const CSmallStrT& b) {
    CSmallStrT r(a);
    r += b;
    return r;
  }

  bool IsEmpty() const { return !rep_ || !rep_->chars || rep_->length == 0 || rep_->chars[0] == 0; }
  void Empty() { Release(); }

  // Byte-wise comparison (strcmp order): <0, 0, >0. See the header comment for the two special
  // cases.
  int Compare(const C* text) const { return CompareImpl(text, false); }
  int CompareNoCase(const C* text) const { return CompareImpl(text, true); }
  bool operator==(const CSmallStrT& o) const { return Equals(o.c_str(), o.GetLength()); }
  bool operator!=(const CSmallStrT& o) const { return !(*this == o); }
  bool operator==(const C* text) const {
    return text ? Equals(text, smallstr_detail::Length(text)) : false;
  }
  bool operator!=(const C* text) const { return !(*this == text); }
  // Strict weak order by content, for use as a map key: the order of str() (character traits order,
  // all GetLength() characters, a prefix first), compared in place.
  bool operator<(const CSmallStrT& o) const { return view() < o.view(); }

  // True for "on", "true" or "1", ignoring case.
  bool IsTrue() const {
    static const C kOn[] = {'o', 'n', 0};
    static const C kTrue[] = {'t', 'r', 'u', 'e', 0};
    static const C kOne[] = {'1', 0};
    return HasBlock() &&
           (CompareNoCase(kOn) == 0 || CompareNoCase(kTrue) == 0 || CompareNoCase(kOne) == 0);
  }

  // Searches: each gives the index found or -1.
  int Find(C ch, int start = 0) const {
    const C* s = c_str();
    for (int i = start < 0 ? 0 : start; i < GetLength(); ++i)
      if (s[i] == ch) return i;
    return -1;
  }
  int Find(const C* text) const {
    if (!text) return -1;
    const size_t pos = view().find(text);
    return pos == StdString::npos ? -1 : static_cast<int>(pos);
  }
  int ReverseFind(C ch) const {
    const C* s = c_str();
    for (int i = GetLength() - 1; i >= 0; --i)
      if (s[i] == ch) return i;
    return -1;
  }
  // The first `\` or `/` at or after `start`.
  int FindSeparator(int start = 0) const {
    const C* s = c_str();
    for (int i = start < 0 ? 0 : start; i < GetLength(); ++i)
      if (s[i] == '\\' || s[i] == '/') return i;
    return -1;
  }

  CSmallStrT Left(int count) const { return Mid(0, count); }
  CSmallStrT Right(int count) const {
    int len = GetLength();
    if (count > len) count = len;
    if (count < 0) count = 0;
    return Mid(len - count, count);
  }
  CSmallStrT Mid(int index, int count) const {
    int len = GetLength();
    if (index < 0) index = 0;
    if (index > len) index = len;
    if (count < 0) count = 0;
    if (count > len - index) count = len - index;
    CSmallStrT r;
    r.Assign(c_str() + index, count);
    return r;
  }
  CSmallStrT Mid(int index) const { return Mid(index, GetLength()); }

  // Replaces every occurrence of `search` by `replacement`, searching again from the start after
  // each replacement, so replacements combine (four quotes with "''" -> "'" give one). Returns the
  // number of replacements. Two cases would never end under that rule, and are bounded:
  // - the replacement contains the search text: each occurrence of the original text is replaced
  //   once, left to right;
  // - replacements that keep recreating the search text elsewhere: the work stops after
  //   kReplaceAllBudget replacements.
  // In both, the work also stops once the text would exceed kReplaceAllMaxLength characters. A
  // stop leaves the text as it stands then. See smallstr_detail::ReplaceRepeatedly.
  static constexpr int kReplaceAllBudget = 1000000;
  static constexpr size_t kReplaceAllMaxLength = 64u << 20;
  int ReplaceAll(const C* search, const C* replacement) {
    if (IsEmpty() || !search || !*search) return 0;
    StdString out;
    size_t count = 0;
    smallstr_detail::ReplaceRepeatedly<C>(view(), search, replacement ? replacement : empty_,
                                          kReplaceAllMaxLength, kReplaceAllBudget, &out, &count);
    if (count) AssignStd(out);
    return static_cast<int>(count);
  }

  // Replaces every `from` by `to`; returns the count.
  int Replace(C from, C to) {
    int n = Count(from);
    if (n == 0) return 0;
    StdString s = str();
    for (auto& c : s)
      if (c == from) c = to;
    AssignStd(s);
    return n;
  }

  int Count(C ch) const {
    int n = 0;
    const C* s = c_str();
    for (int i = 0; i < GetLength(); ++i)
      if (s[i] == ch) ++n;
    return n;
  }

  // Removes leading and trailing white space.
  CSmallStrT& Trim() {
    if (!rep_) return *this;
    const C* s = c_str();
    int b = 0, e = GetLength();
    while (b < e && smallstr_detail::IsSpace(s[b])) ++b;
    while (e > b && smallstr_detail::IsSpace(s[e - 1])) --e;
    if (b == 0 && e == GetLength()) return *this;
    StdString t(s + b, static_cast<size_t>(e - b));
    return AssignStd(t);
  }

  // ASCII lower case in place.
  CSmallStrT& MakeLower() {
    if (!rep_ || !rep_->chars) return *this;
    StdString s = str();
    for (auto& c : s) c = static_cast<C>(smallstr_detail::ToLowerAscii(c));
    return AssignStd(s);
  }

  // Loads string `id` of the program's string table (user's default language, then US English).
  // Narrow form only. False, and the string unchanged, when there is no such string.
  bool LoadResourceString(uint32_t id) {
    static_assert(std::is_same<C, char>::value,
                  "LoadResourceString exists on the narrow form only");
    std::string text;
    if (!smallstr_detail::LoadResourceText(id, &text)) return false;
    AssignStd(text);
    return true;
  }

  // Stream form: a 32-bit length in characters, then the characters without a terminator. The wide
  // form stores UTF-16 code units.
  HRESULT WriteToStream(IByteStream* stream) const;
  // Reads the stream form. E_FAIL when the length cannot be read completely; on a failed or short
  // read of the characters the string is left empty and the failure returned.
  HRESULT ReadFromStream(IByteStream* stream);

 private:
  struct Rep {
    C* chars;
    int length;
    int allocated;  // length + 1
    std::atomic<int> refs;
  };

  void Share(Rep* rep) {
    rep_ = rep;
    if (rep_) rep_->refs.fetch_add(1, std::memory_order_relaxed);
  }
  void Release() {
    Rep* r = rep_;
    rep_ = nullptr;
    if (r && r->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      delete[] r->chars;
      delete r;
    }
  }
  // Replaces the text by a new block holding `count` characters of `text` (which may point into the
  // current block: it is copied before the old record is released).
  void Assign(const C* text, int count) {
    if (count < 0) count = 0;
    Rep* r = new Rep;
    r->chars = new C[static_cast<size_t>(count) + 1];
    if (count) std::memcpy(r->chars, text, sizeof(C) * static_cast<size_t>(count));
    r->chars[count] = 0;
    r->length = count;
    r->allocated = count + 1;
    r->refs.store(1, std::memory_order_relaxed);
    Release();
    rep_ = r;
  }
  CSmallStrT& AssignStd(const StdString& s) {
    Assign(s.data(), static_cast<int>(s.size()));
    return *this;
  }
  void AssignOther(const D* text) {
    if (!text) {
      Assign(nullptr, 0);
      return;
    }
    if constexpr (std::is_same<C, char>::value) {
      AssignStd(smallstr_detail::WideToLocale(text));
    } else {
      AssignStd(smallstr_detail::LocaleToWide(text));
    }
  }
  int CompareImpl(const C* text, bool fold) const {
    if (!HasBlock()) return -1;
    if (!text) return 1;
    const C* s = rep_->chars;
    for (size_t i = 0;; ++i) {
      using U = typename std::make_unsigned<C>::type;
      int a = static_cast<U>(s[i]);
      int b = static_cast<U>(text[i]);
      if (fold) {
        a = smallstr_detail::ToLowerAscii(a);
        b = smallstr_detail::ToLowerAscii(b);
      }
      if (a != b) return a < b ? -1 : 1;
      if (a == 0) return 0;
    }
  }
  bool Equals(const C* text, int length) const {
    return length == GetLength() &&
           (length == 0 ||
            std::memcmp(c_str(), text, sizeof(C) * static_cast<size_t>(length)) == 0);
  }

  Rep* rep_ = nullptr;
  C empty_[1];
};

using CSmallStr = CSmallStrT<char, wchar_t>;
using CSmallWStr = CSmallStrT<wchar_t, char>;

template <class C, class D>
HRESULT CSmallStrT<C, D>::WriteToStream(IByteStream* stream) const {
  if (!stream) return E_POINTER;
  if constexpr (std::is_same<C, char>::value) {
    uint32_t n = static_cast<uint32_t>(GetLength());
    HRESULT hr = WriteExact(stream, &n, sizeof n);
    if (FAILED(hr) || n == 0) return hr;
    return WriteExact(stream, c_str(), n);
  } else {
    std::u16string units =
        smallstr_detail::WideToUtf16Units(c_str(), static_cast<size_t>(GetLength()));
    uint32_t n = static_cast<uint32_t>(units.size());
    HRESULT hr = WriteExact(stream, &n, sizeof n);
    if (FAILED(hr) || n == 0) return hr;
    return WriteExact(stream, units.data(), n * 2);
  }
}

template <class C, class D>
HRESULT CSmallStrT<C, D>::ReadFromStream(IByteStream* stream) {
  if (!stream) return E_POINTER;
  uint32_t n = 0;
  uint32_t got = 0;
  HRESULT hr = stream->Read(&n, sizeof n, &got);
  if (FAILED(hr) || got != sizeof n) return E_FAIL;
  Assign(nullptr, 0);
  if (n == 0) return S_OK;
  // Read in bounded pieces so a corrupt length cannot make us allocate gigabytes up front.
  constexpr size_t kUnit = std::is_same<C, char>::value ? 1 : 2;
  std::string bytes;
  uint64_t remaining = static_cast<uint64_t>(n) * kUnit;
  char chunk[4096];
  while (remaining > 0) {
    uint32_t want = remaining < sizeof chunk ? static_cast<uint32_t>(remaining) : sizeof chunk;
    uint32_t piece = 0;
    hr = stream->Read(chunk, want, &piece);
    if (FAILED(hr) || piece != want) {
      Assign(nullptr, 0);
      return FAILED(hr) ? hr : E_FAIL;
    }
    bytes.append(chunk, piece);
    remaining -= piece;
  }
  if constexpr (std::is_same<C, char>::value) {
    Assign(bytes.data(), static_cast<int>(bytes.size()));
  } else {
    std::u16string units(n, u'\0');
    std::memcpy(&units[0], bytes.data(), bytes.size());
    AssignStd(smallstr_detail::Utf16UnitsToWide(units.data(), units.size()));
  }
  return S_OK;
}
