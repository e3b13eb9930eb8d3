#include "data/pseudourl.h"

#include <string>
#include <string_view>

#include "platform/ascii.h"

namespace {

std::string WithForwardSlashes(const char* text) {
  std::string s(text ? text : "");
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

bool StartsWith(const std::string& s, const char* prefix, int prefixLength, bool ignoreCase) {
  const std::string_view head(prefix, static_cast<size_t>(prefixLength));
  if (ignoreCase) return vexa::platform::StartsWithNoCaseAscii(s, head);
  return s.compare(0, head.size(), head) == 0;
}

// URL-style collapse of parent references. The rule is defined on the whole text: take the first
// "../"; stop when there is none or it stands at the very start; otherwise drop the segment before
// it, i.e. cut from the last '/' before the character preceding "../" (or everything, when there is
// no such '/') up to the '/' of "../", and start again.
//
// Doing that literally rescans and copies the text once per "../", which a hostile URL made of
// thousands of them turns into quadratic work. This builds the same result in one pass: characters
// are appended to `out` and a rewrite happens the moment `out` ends in "../". An occurrence that
// starts earlier would have been completed, and handled, earlier, so the one just completed is
// always the first of the current text. After a rewrite `out` is a prefix of a text that held no
// earlier
// "../" plus the '/' of the handled one, so it cannot end in a fresh "../" itself.
std::string CollapseParentReferences(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    out.push_back(s[i]);
    const size_t n = out.size();
    if (s[i] != '/' || n < 3 || out[n - 2] != '.' || out[n - 3] != '.') continue;
    const size_t at = n - 3;
    if (at == 0) {
      // Nothing left to climb: this "../" and everything after it stay as they are.
      out.append(s, i + 1, std::string::npos);
      return out;
    }
    // Last '/' in out[0, at - 1), the text before the character that precedes "../".
    size_t slash = std::string::npos;
    for (size_t k = at - 1; k > 0; --k) {
      if (out[k - 1] == '/') {
        slash = k - 1;
        break;
      }
    }
    if (slash == std::string::npos) {
      out.clear();  // everything after "../" follows
    } else {
      out.resize(slash);
      out.push_back('/');  // the '/' of "../", then the rest
    }
  }
  return out;
}

}  // namespace

CSmallStr PackageRootUrl(const CSmallStr& packageName) {
  CSmallStr url(kPseudoUrlPrefix);
  url += packageName;
  url += kPackagePathMarker;
  url += '\\';
  return url;
}

bool StartsWithPseudoUrlPrefix(const char* text, bool ignoreCase) {
  if (!text) return false;
  return StartsWith(WithForwardSlashes(text), kPseudoUrlPrefix, kPseudoUrlPrefixLength, ignoreCase);
}

void SplitPseudoUrl(const char* path, const char* defaultPackage, CSmallStr* packageName,
                    CSmallStr* innerPath) {
  const std::string copy = WithForwardSlashes(path);
  const size_t prefixAt = copy.find(kPseudoUrlPrefix);
  if (prefixAt != std::string::npos) {
    const size_t markerAt =
        copy.find(kPackagePathMarker, prefixAt + static_cast<size_t>(kPseudoUrlPrefixLength));
    if (markerAt != std::string::npos) {
      if (packageName) {
        CSmallStr package(copy.substr(0, markerAt));
        package.ReplaceAll(kPseudoUrlPrefix, "");
        *packageName = package;
      }
      if (innerPath) {
        size_t start = markerAt + static_cast<size_t>(kPackagePathMarkerLength);
        while (start < copy.size() && (copy[start] == '/' || copy[start] == '\\')) ++start;
        *innerPath = CSmallStr(copy.substr(start));
      }
      return;
    }
  }
  if (packageName) *packageName = defaultPackage ? defaultPackage : kDefaultPackageName;
  if (innerPath) *innerPath = path ? path : "";
}

CSmallStr ResolveRelativePath(const char* relative, const char* base) {
  if (!relative) relative = "";
  const std::string copy = WithForwardSlashes(relative);
  if (StartsWith(copy, kPseudoUrlPrefix, kPseudoUrlPrefixLength, false)) return CSmallStr(relative);

  CSmallStr inner;
  SplitPseudoUrl(copy.c_str(), nullptr, nullptr, &inner);
  std::string joined(base ? base : "");
  joined.append(inner.c_str(), static_cast<size_t>(inner.GetLength()));
  for (char& c : joined)
    if (c == '\\') c = '/';
  return CSmallStr(CollapseParentReferences(joined));
}
