// Feeds arbitrary text to the pseudo-URL functions the movie's requests reach. Input: the relative
// text, optionally a line feed and a base. Checks the one-pass collapse against the literal rule.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "collapse_reference.h"
#include "data/pseudourl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The literal rule is quadratic; longer inputs add nothing but time.
  if (size > 4096) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));  // the functions take C strings
  const size_t newline = text.find('\n');
  const std::string relative = text.substr(0, newline);
  const std::string base = newline == std::string::npos ? std::string() : text.substr(newline + 1);

  CSmallStr package;
  CSmallStr inner;
  SplitPseudoUrl(relative.c_str(), base.c_str(), &package, &inner);
  if (inner.GetLength() > static_cast<int>(relative.size())) std::abort();

  const CSmallStr resolved = ResolveRelativePath(relative.c_str(), base.c_str());
  if (relative.find(kPseudoUrlPrefix) == std::string::npos &&
      relative.find('\\') == std::string::npos && base.empty() &&
      resolved.str() != LiteralCollapse(relative)) {
    std::abort();
  }
  return 0;
}
