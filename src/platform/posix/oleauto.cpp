#include "platform/oleauto.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// ---------------------------------------------------------------------------------------------
// BSTR: [uint32 byte count][characters][zero character]. The pointer handed out points at the
// characters, so it can be used as an ordinary zero-terminated wide string.

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);
// Keeps every size computation below far from overflow in 32-bit size_t as well.
constexpr uint64_t kMaxBstrBytes = 0x7FFFFFF0u;

BSTR AllocBytes(const void* data, uint64_t bytes) {
  if (bytes > kMaxBstrBytes) return nullptr;
  const size_t total = kPrefix + static_cast<size_t>(bytes) + 2 * sizeof(OLECHAR);
  auto* block = static_cast<unsigned char*>(std::malloc(total));
  if (!block) return nullptr;
  const uint32_t count = static_cast<uint32_t>(bytes);
  std::memcpy(block, &count, kPrefix);
  unsigned char* chars = block + kPrefix;
  if (data && bytes)
    std::memcpy(chars, data, static_cast<size_t>(bytes));
  else
    std::memset(chars, 0, static_cast<size_t>(bytes));
  // Zero the tail so the string is terminated even when `bytes` is not a multiple of a character.
  std::memset(chars + bytes, 0, 2 * sizeof(OLECHAR));
  return reinterpret_cast<BSTR>(chars);
}

uint32_t ByteCount(BSTR s) {
  uint32_t n = 0;
  std::memcpy(&n, reinterpret_cast<unsigned char*>(s) - kPrefix, kPrefix);
  return n;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  return AllocBytes(text, static_cast<uint64_t>(std::wcslen(text)) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  return AllocBytes(text, static_cast<uint64_t>(length) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) {
  return AllocBytes(bytes, length);
}

INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length) {
  if (!bstr) return 0;
  BSTR fresh = SysAllocStringLen(text, length);
  if (!fresh) return 0;
  SysFreeString(*bstr);
  *bstr = fresh;
  return 1;
}

INT SysReAllocString(BSTR* bstr, const OLECHAR* text) {
  if (!bstr || !text) return 0;
  return SysReAllocStringLen(bstr, text, static_cast<UINT>(std::wcslen(text)));
}

void SysFreeString(BSTR bstr) {
  if (bstr) std::free(reinterpret_cast<unsigned char*>(bstr) - kPrefix);
}

UINT SysStringByteLen(BSTR bstr) {
  return bstr ? ByteCount(bstr) : 0;
}

UINT SysStringLen(BSTR bstr) {
  return bstr ? ByteCount(bstr) / sizeof(OLECHAR) : 0;
}

// ---------------------------------------------------------------------------------------------
// VARIANT lifetime

namespace {

bool IsKnownBaseType(VARTYPE base) {
  return (base <= VT_UINT && base != 15) || base == VT_RECORD;
}

// True for a type code VariantClear and VariantCopy accept.
bool IsValidType(VARTYPE vt) {
  if (vt & (VT_VECTOR | VT_RESERVED)) return false;
  const VARTYPE base = vt & VT_TYPEMASK;
  if (!IsKnownBaseType(base)) return false;
  if ((vt & (VT_ARRAY | VT_BYREF)) && (base == VT_EMPTY || base == VT_NULL)) return false;
  return true;
}

}  // namespace

void VariantInit(VARIANTARG* v) {
  if (v) v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* v) {
  if (!v) return E_INVALIDARG;
  if (!IsValidType(v->vt)) return DISP_E_BADVARTYPE;
  if (!(v->vt & VT_BYREF)) {
    if (v->vt & VT_ARRAY) {
      // This layer has no SAFEARRAY allocator, so a non-null array cannot be ours to free.
      if (v->parray) return DISP_E_BADVARTYPE;
    } else {
      switch (v->vt) {
        case VT_BSTR:
          SysFreeString(v->bstrVal);
          break;
        case VT_UNKNOWN:
          if (v->punkVal) v->punkVal->Release();
          break;
        case VT_DISPATCH:
          if (v->pdispVal) v->pdispVal->Release();
          break;
        case VT_RECORD:
          if (v->pvRecord) return DISP_E_BADVARTYPE;
          break;
        default:
          break;
      }
    }
  }
  v->vt = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  if (!IsValidType(src->vt)) return DISP_E_BADVARTYPE;
  if (!(src->vt & VT_BYREF)) {
    if ((src->vt & VT_ARRAY) && src->parray) return DISP_E_BADVARTYPE;
    if (src->vt == VT_RECORD && src->pvRecord) return DISP_E_BADVARTYPE;
  }
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) return hr;
  *dest = *src;
  if (src->vt & (VT_BYREF | VT_ARRAY)) return S_OK;
  switch (src->vt) {
    case VT_BSTR:
      if (src->bstrVal) {
        dest->bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal),
                                              SysStringByteLen(src->bstrVal));
        if (!dest->bstrVal) {
          dest->vt = VT_EMPTY;
          return E_OUTOFMEMORY;
        }
      }
      break;
    case VT_UNKNOWN:
      if (dest->punkVal) dest->punkVal->AddRef();
      break;
    case VT_DISPATCH:
      if (dest->pdispVal) dest->pdispVal->AddRef();
      break;
    default:
      break;
  }
  return S_OK;
}

// ---------------------------------------------------------------------------------------------
// VariantChangeType

namespace {

// A number parsed from text, kept exact as decimal digits so that integer and currency targets
// round exactly as decimal arithmetic would: value = digits * 10^exponent.
struct DecimalText {
  bool negative = false;
  std::string digits;  // no leading zeros; empty means zero
  int exponent = 0;
};

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f';
}

bool EqualsNoCaseAscii(const wchar_t* s, size_t n, const char* word) {
  size_t i = 0;
  for (; i < n && word[i]; ++i) {
    wchar_t c = s[i];
    if (c >= L'A' && c <= L'Z') c = c - L'A' + L'a';
    if (c != static_cast<wchar_t>(word[i])) return false;
  }
  return i == n && word[i] == 0;
}

// Parses [blanks][+|-][digits with ',' group separators][.digits][(e|E)[+|-]digits][blanks], or
// "&H"/"&O" followed by hexadecimal/octal digits. Returns false for anything else (including an
// empty text). Exponents beyond a few thousand are clamped: such numbers overflow every target.
bool ParseDecimal(const wchar_t* s, size_t n, DecimalText* out) {
  size_t i = 0;
  while (i < n && IsBlank(s[i])) ++i;
  while (n > i && IsBlank(s[n - 1])) --n;
  if (i == n) return false;

  if (s[i] == L'&' && i + 1 < n) {
    const wchar_t kind = s[i + 1];
    unsigned base = 0;
    if (kind == L'H' || kind == L'h') base = 16;
    if (kind == L'O' || kind == L'o') base = 8;
    if (!base || i + 2 == n) return false;
    uint64_t value = 0;
    for (size_t k = i + 2; k < n; ++k) {
      const wchar_t c = s[k];
      unsigned d;
      if (c >= L'0' && c <= L'9')
        d = static_cast<unsigned>(c - L'0');
      else if (base == 16 && c >= L'a' && c <= L'f')
        d = static_cast<unsigned>(c - L'a' + 10);
      else if (base == 16 && c >= L'A' && c <= L'F')
        d = static_cast<unsigned>(c - L'A' + 10);
      else
        return false;
      if (d >= base) return false;
      if (value > (std::numeric_limits<uint64_t>::max() >> 4)) return false;
      value = value * base + d;
    }
    out->negative = false;
    out->digits = value ? std::to_string(value) : std::string();
    out->exponent = 0;
    return true;
  }

  DecimalText r;
  if (s[i] == L'+' || s[i] == L'-') {
    r.negative = s[i] == L'-';
    ++i;
  }
  bool any_digit = false;
  int fraction_digits = 0;
  for (; i < n; ++i) {
    const wchar_t c = s[i];
    if (c >= L'0' && c <= L'9') {
      any_digit = true;
      if (!(r.digits.empty() && c == L'0')) r.digits.push_back(static_cast<char>(c));
    } else if (c == L',' && any_digit) {
      continue;
    } else {
      break;
    }
  }
  if (i < n && s[i] == L'.') {
    for (++i; i < n && s[i] >= L'0' && s[i] <= L'9'; ++i) {
      any_digit = true;
      if (!(r.digits.empty() && s[i] == L'0')) r.digits.push_back(static_cast<char>(s[i]));
      ++fraction_digits;
    }
  }
  if (!any_digit) return false;
  long exp = 0;
  if (i < n && (s[i] == L'e' || s[i] == L'E')) {
    ++i;
    bool exp_negative = false;
    if (i < n && (s[i] == L'+' || s[i] == L'-')) {
      exp_negative = s[i] == L'-';
      ++i;
    }
    if (i == n || s[i] < L'0' || s[i] > L'9') return false;
    for (; i < n && s[i] >= L'0' && s[i] <= L'9'; ++i) {
      if (exp < 100000) exp = exp * 10 + (s[i] - L'0');
    }
    if (exp_negative) exp = -exp;
  }
  if (i != n) return false;
  long total = exp - fraction_digits;
  if (total > 100000) total = 100000;
  if (total < -100000) total = -100000;
  r.exponent = static_cast<int>(total);
  // Trailing zeros of the digit string move into the exponent.
  while (!r.digits.empty() && r.digits.back() == '0') {
    r.digits.pop_back();
    ++r.exponent;
  }
  if (r.digits.empty()) r.exponent = 0;
  *out = r;
  return true;
}

double DecimalToDouble(const DecimalText& d) {
  if (d.digits.empty()) return d.negative ? -0.0 : 0.0;
  // Exponents far outside the double range decide the result on their own.
  const long magnitude = d.exponent + static_cast<long>(d.digits.size());
  if (magnitude > 400) return d.negative ? -HUGE_VAL : HUGE_VAL;
  if (magnitude < -400) return d.negative ? -0.0 : 0.0;
  std::string text = d.digits + "e" + std::to_string(d.exponent);
  double value = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone on range errors: decide by magnitude.
    value = magnitude > 0 ? HUGE_VAL : 0.0;
  }
  return d.negative ? -value : value;
}

// Rounds digits*10^(exponent+shift) half to even into a magnitude. False when it does not fit
// 64 bits unsigned.
bool DecimalToMagnitude(const DecimalText& d, int shift, uint64_t* out) {
  *out = 0;
  if (d.digits.empty()) return true;
  const long exp = static_cast<long>(d.exponent) + shift;
  const long len = static_cast<long>(d.digits.size());
  if (exp + len > 20) return false;
  // Split into the integer digits and the first dropped digit plus "anything after it".
  const long int_len = exp >= 0 ? len : len + exp;  // may be <= 0
  uint64_t value = 0;
  for (long k = 0; k < int_len + (exp > 0 ? exp : 0); ++k) {
    const unsigned digit =
        k < len ? static_cast<unsigned>(d.digits[static_cast<size_t>(k)] - '0') : 0;
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
    value = value * 10 + digit;
  }
  if (exp < 0) {
    // Dropped part: digits from index int_len on (with -int_len implicit leading zeros if
    // negative).
    int first = 0;
    bool rest_nonzero = false;
    if (int_len >= 0) {
      if (int_len < len) first = d.digits[static_cast<size_t>(int_len)] - '0';
      for (long k = int_len + 1; k < len; ++k)
        if (d.digits[static_cast<size_t>(k)] != '0') rest_nonzero = true;
    } else {
      // The first dropped digit is an implicit zero; the number is below 0.1.
      first = 0;
      rest_nonzero = true;
    }
    const bool round_up = first > 5 || (first == 5 && (rest_nonzero || (value & 1)));
    if (round_up) {
      if (value == std::numeric_limits<uint64_t>::max()) return false;
      ++value;
    }
  }
  *out = value;
  return true;
}

// The value of a numeric source, exact where the source is an integer or currency.
struct Number {
  enum Kind { kInt, kUInt, kReal, kCurrency } kind = kInt;
  int64_t i = 0;
  uint64_t u = 0;
  double r = 0;
  int64_t cy = 0;  // scaled by 10000
};

double NumberToDouble(const Number& n) {
  switch (n.kind) {
    case Number::kInt:
      return static_cast<double>(n.i);
    case Number::kUInt:
      return static_cast<double>(n.u);
    case Number::kReal:
      return n.r;
    case Number::kCurrency:
      return static_cast<double>(n.cy) / 10000.0;
  }
  return 0;
}

// Rounds a double half to even into [lo, hi]; false on overflow or NaN.
bool RoundToRange(double x, double lo, double hi, double* out) {
  if (std::isnan(x)) return false;
  const double r = std::nearbyint(x);  // default rounding mode: half to even
  if (r < lo || r > hi) return false;
  *out = r;
  return true;
}

// Converts to a signed integer in [lo, hi] with half-to-even rounding. False on overflow.
bool NumberToSigned(const Number& n, int64_t lo, int64_t hi, int64_t* out) {
  switch (n.kind) {
    case Number::kInt:
      if (n.i < lo || n.i > hi) return false;
      *out = n.i;
      return true;
    case Number::kUInt:
      if (n.u > static_cast<uint64_t>(hi)) return false;
      *out = static_cast<int64_t>(n.u);
      return true;
    case Number::kCurrency: {
      int64_t q = n.cy / 10000;
      int64_t rem = n.cy % 10000;
      if (rem > 5000 || (rem == 5000 && (q & 1))) ++q;
      if (rem < -5000 || (rem == -5000 && (q & 1))) --q;
      if (q < lo || q > hi) return false;
      *out = q;
      return true;
    }
    case Number::kReal: {
      double r;
      // The bounds as doubles: hi of int64 is not representable, so compare against 2^63.
      const double dlo = static_cast<double>(lo);
      const double dhi = hi == std::numeric_limits<int64_t>::max() ? 9223372036854775807.0
                                                                   : static_cast<double>(hi);
      if (!RoundToRange(n.r, dlo, dhi, &r)) return false;
      if (hi == std::numeric_limits<int64_t>::max() && r >= 9223372036854775808.0) return false;
      *out = static_cast<int64_t>(r);
      return true;
    }
  }
  return false;
}

bool NumberToUnsigned(const Number& n, uint64_t hi, uint64_t* out) {
  switch (n.kind) {
    case Number::kInt:
      if (n.i < 0 || static_cast<uint64_t>(n.i) > hi) return false;
      *out = static_cast<uint64_t>(n.i);
      return true;
    case Number::kUInt:
      if (n.u > hi) return false;
      *out = n.u;
      return true;
    case Number::kCurrency: {
      int64_t v;
      if (!NumberToSigned(n, 0, std::numeric_limits<int64_t>::max(), &v)) return false;
      if (static_cast<uint64_t>(v) > hi) return false;
      *out = static_cast<uint64_t>(v);
      return true;
    }
    case Number::kReal: {
      double r;
      const double dhi = hi == std::numeric_limits<uint64_t>::max() ? 18446744073709551615.0
                                                                    : static_cast<double>(hi);
      if (!RoundToRange(n.r, 0.0, dhi, &r)) return false;
      if (hi == std::numeric_limits<uint64_t>::max() && r >= 18446744073709551616.0) return false;
      *out = static_cast<uint64_t>(r);
      return true;
    }
  }
  return false;
}

bool NumberToCurrency(const Number& n, int64_t* out) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  switch (n.kind) {
    case Number::kInt:
      if (n.i > kMax / 10000 || n.i < kMin / 10000) return false;
      *out = n.i * 10000;
      return true;
    case Number::kUInt:
      if (n.u > static_cast<uint64_t>(kMax / 10000)) return false;
      *out = static_cast<int64_t>(n.u) * 10000;
      return true;
    case Number::kCurrency:
      *out = n.cy;
      return true;
    case Number::kReal: {
      double r;
      if (!RoundToRange(n.r * 10000.0, -9223372036854775808.0, 9223372036854775807.0, &r))
        return false;
      if (r >= 9223372036854775808.0) return false;
      *out = static_cast<int64_t>(r);
      return true;
    }
  }
  return false;
}

bool NumberIsZero(const Number& n) {
  switch (n.kind) {
    case Number::kInt:
      return n.i == 0;
    case Number::kUInt:
      return n.u == 0;
    case Number::kReal:
      return n.r == 0;
    case Number::kCurrency:
      return n.cy == 0;
  }
  return true;
}

// Reads a numeric, boolean, date or empty source. False for other types.
bool ReadNumber(const VARIANT& v, Number* n) {
  switch (v.vt) {
    case VT_EMPTY:
      n->kind = Number::kInt, n->i = 0;
      return true;
    case VT_I1:
      n->kind = Number::kInt, n->i = v.cVal;
      return true;
    case VT_UI1:
      n->kind = Number::kInt, n->i = v.bVal;
      return true;
    case VT_I2:
      n->kind = Number::kInt, n->i = v.iVal;
      return true;
    case VT_BOOL:
      n->kind = Number::kInt, n->i = v.boolVal;
      return true;
    case VT_UI2:
      n->kind = Number::kInt, n->i = v.uiVal;
      return true;
    case VT_I4:
      n->kind = Number::kInt, n->i = v.lVal;
      return true;
    case VT_INT:
      n->kind = Number::kInt, n->i = v.intVal;
      return true;
    case VT_UI4:
      n->kind = Number::kInt, n->i = v.ulVal;
      return true;
    case VT_UINT:
      n->kind = Number::kInt, n->i = v.uintVal;
      return true;
    case VT_I8:
      n->kind = Number::kInt, n->i = v.llVal;
      return true;
    case VT_UI8:
      n->kind = Number::kUInt, n->u = v.ullVal;
      return true;
    case VT_R4:
      n->kind = Number::kReal, n->r = v.fltVal;
      return true;
    case VT_R8:
      n->kind = Number::kReal, n->r = v.dblVal;
      return true;
    case VT_DATE:
      n->kind = Number::kReal, n->r = v.date;
      return true;
    case VT_CY:
      n->kind = Number::kCurrency, n->cy = v.cyVal.int64;
      return true;
    default:
      return false;
  }
}

bool ParseBoolWord(const wchar_t* s, size_t n, VARIANT_BOOL* out) {
  size_t i = 0;
  while (i < n && IsBlank(s[i])) ++i;
  while (n > i && IsBlank(s[n - 1])) --n;
  const wchar_t* w = s + i;
  const size_t len = n - i;
  if (EqualsNoCaseAscii(w, len, "true") || EqualsNoCaseAscii(w, len, "#true#")) {
    *out = VARIANT_TRUE;
    return true;
  }
  if (EqualsNoCaseAscii(w, len, "false") || EqualsNoCaseAscii(w, len, "#false#")) {
    *out = VARIANT_FALSE;
    return true;
  }
  return false;
}

std::string FormatReal(double x, int significant) {
  if (x == 0) return "0";  // also for -0, which the platform prints without a sign
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", significant, x);
  return buf;
}

std::string FormatCurrency(int64_t cy) {
  const bool negative = cy < 0;
  // Work on the magnitude in unsigned arithmetic so INT64_MIN is safe.
  uint64_t m = negative ? (~static_cast<uint64_t>(cy) + 1) : static_cast<uint64_t>(cy);
  std::string text = std::to_string(m / 10000);
  unsigned frac = static_cast<unsigned>(m % 10000);
  if (frac) {
    char buf[8];
    std::snprintf(buf, sizeof buf, ".%04u", frac);
    std::string f = buf;
    while (f.back() == '0') f.pop_back();
    text += f;
  }
  return negative ? "-" + text : text;
}

HRESULT MakeBstr(const std::string& ascii, VARIANT* out) {
  std::wstring wide(ascii.begin(), ascii.end());
  BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!b) return E_OUTOFMEMORY;
  out->vt = VT_BSTR;
  out->bstrVal = b;
  return S_OK;
}

bool IsConvertibleScalar(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
    case VT_BSTR:
      return true;
    default:
      return false;
  }
}

// Stores `n` as type `vt` in *out (which holds nothing owned).
HRESULT StoreNumber(const Number& n, VARTYPE vt, VARIANT* out) {
  int64_t s = 0;
  uint64_t u = 0;
  switch (vt) {
    case VT_I1:
      if (!NumberToSigned(n, -128, 127, &s)) return DISP_E_OVERFLOW;
      out->cVal = static_cast<CHAR>(s);
      break;
    case VT_I2:
      if (!NumberToSigned(n, -32768, 32767, &s)) return DISP_E_OVERFLOW;
      out->iVal = static_cast<SHORT>(s);
      break;
    case VT_I4:
      if (!NumberToSigned(n, INT32_MIN, INT32_MAX, &s)) return DISP_E_OVERFLOW;
      out->lVal = static_cast<LONG>(s);
      break;
    case VT_INT:
      if (!NumberToSigned(n, INT32_MIN, INT32_MAX, &s)) return DISP_E_OVERFLOW;
      out->intVal = static_cast<INT>(s);
      break;
    case VT_I8:
      if (!NumberToSigned(n, INT64_MIN, INT64_MAX, &s)) return DISP_E_OVERFLOW;
      out->llVal = s;
      break;
    case VT_UI1:
      if (!NumberToUnsigned(n, 0xFF, &u)) return DISP_E_OVERFLOW;
      out->bVal = static_cast<BYTE>(u);
      break;
    case VT_UI2:
      if (!NumberToUnsigned(n, 0xFFFF, &u)) return DISP_E_OVERFLOW;
      out->uiVal = static_cast<USHORT>(u);
      break;
    case VT_UI4:
      if (!NumberToUnsigned(n, 0xFFFFFFFFu, &u)) return DISP_E_OVERFLOW;
      out->ulVal = static_cast<ULONG>(u);
      break;
    case VT_UINT:
      if (!NumberToUnsigned(n, 0xFFFFFFFFu, &u)) return DISP_E_OVERFLOW;
      out->uintVal = static_cast<UINT>(u);
      break;
    case VT_UI8:
      if (!NumberToUnsigned(n, UINT64_MAX, &u)) return DISP_E_OVERFLOW;
      out->ullVal = u;
      break;
    case VT_R4: {
      const double d = NumberToDouble(n);
      if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
        return DISP_E_OVERFLOW;
      out->fltVal = static_cast<float>(d);
      break;
    }
    case VT_R8:
      out->dblVal = NumberToDouble(n);
      break;
    case VT_DATE:
      out->date = NumberToDouble(n);
      break;
    case VT_CY:
      if (!NumberToCurrency(n, &s)) return DISP_E_OVERFLOW;
      out->cyVal.int64 = s;
      break;
    case VT_BOOL:
      out->boolVal = NumberIsZero(n) ? VARIANT_FALSE : VARIANT_TRUE;
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  out->vt = vt;
  return S_OK;
}

HRESULT NumberToText(const VARIANT& src, USHORT flags, VARIANT* out) {
  switch (src.vt) {
    case VT_EMPTY:
      return MakeBstr("", out);
    case VT_I1:
      return MakeBstr(std::to_string(src.cVal), out);
    case VT_UI1:
      return MakeBstr(std::to_string(src.bVal), out);
    case VT_I2:
      return MakeBstr(std::to_string(src.iVal), out);
    case VT_UI2:
      return MakeBstr(std::to_string(src.uiVal), out);
    case VT_I4:
      return MakeBstr(std::to_string(src.lVal), out);
    case VT_UI4:
      return MakeBstr(std::to_string(src.ulVal), out);
    case VT_INT:
      return MakeBstr(std::to_string(src.intVal), out);
    case VT_UINT:
      return MakeBstr(std::to_string(src.uintVal), out);
    case VT_I8:
      return MakeBstr(std::to_string(src.llVal), out);
    case VT_UI8:
      return MakeBstr(std::to_string(src.ullVal), out);
    case VT_R4:
      return MakeBstr(FormatReal(src.fltVal, 7), out);
    case VT_R8:
      return MakeBstr(FormatReal(src.dblVal, 15), out);
    case VT_CY:
      return MakeBstr(FormatCurrency(src.cyVal.int64), out);
    case VT_BOOL:
      if (flags & VARIANT_ALPHABOOL) {
        if (src.boolVal == VARIANT_FALSE) return MakeBstr("False", out);
        return MakeBstr("True", out);
      }
      return MakeBstr(std::to_string(src.boolVal), out);
    default:
      // Dates would need the locale's date format, which this layer does not have.
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT TextToType(BSTR text, VARTYPE vt, VARIANT* out) {
  if (!text) return DISP_E_TYPEMISMATCH;
  const size_t n = SysStringLen(text);
  if (vt == VT_BOOL) {
    VARIANT_BOOL b;
    if (ParseBoolWord(text, n, &b)) {
      out->vt = VT_BOOL;
      out->boolVal = b;
      return S_OK;
    }
  }
  DecimalText dec;
  if (!ParseDecimal(text, n, &dec)) return DISP_E_TYPEMISMATCH;
  Number num;
  switch (vt) {
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_BOOL: {
      num.kind = Number::kReal;
      num.r = DecimalToDouble(dec);
      if (std::isinf(num.r)) return DISP_E_OVERFLOW;
      return StoreNumber(num, vt, out);
    }
    case VT_CY: {
      uint64_t m;
      if (!DecimalToMagnitude(dec, 4, &m)) return DISP_E_OVERFLOW;
      if (dec.negative) {
        if (m > static_cast<uint64_t>(INT64_MAX) + 1) return DISP_E_OVERFLOW;
        num.kind = Number::kCurrency;
        num.cy = static_cast<int64_t>(0 - m);
      } else {
        if (m > static_cast<uint64_t>(INT64_MAX)) return DISP_E_OVERFLOW;
        num.kind = Number::kCurrency;
        num.cy = static_cast<int64_t>(m);
      }
      return StoreNumber(num, vt, out);
    }
    default: {
      uint64_t m;
      if (!DecimalToMagnitude(dec, 0, &m)) return DISP_E_OVERFLOW;
      if (dec.negative) {
        if (m > static_cast<uint64_t>(INT64_MAX) + 1) return DISP_E_OVERFLOW;
        num.kind = Number::kInt;
        num.i = static_cast<int64_t>(0 - m);
      } else {
        num.kind = Number::kUInt;
        num.u = m;
      }
      return StoreNumber(num, vt, out);
    }
  }
}

// Copies a by-reference scalar into a by-value variant that shares no ownership (a BSTR is
// referenced, not copied). False for anything but a known scalar.
bool Dereference(const VARIANT& src, VARIANT* out) {
  const VARTYPE base = src.vt & VT_TYPEMASK;
  if (!src.byref) return false;
  out->vt = base;
  switch (base) {
    case VT_I1:
      out->cVal = *src.pcVal;
      return true;
    case VT_UI1:
      out->bVal = *src.pbVal;
      return true;
    case VT_I2:
      out->iVal = *src.piVal;
      return true;
    case VT_UI2:
      out->uiVal = *src.puiVal;
      return true;
    case VT_I4:
      out->lVal = *src.plVal;
      return true;
    case VT_UI4:
      out->ulVal = *src.pulVal;
      return true;
    case VT_INT:
      out->intVal = *src.pintVal;
      return true;
    case VT_UINT:
      out->uintVal = *src.puintVal;
      return true;
    case VT_I8:
      out->llVal = *src.pllVal;
      return true;
    case VT_UI8:
      out->ullVal = *src.pullVal;
      return true;
    case VT_R4:
      out->fltVal = *src.pfltVal;
      return true;
    case VT_R8:
      out->dblVal = *src.pdblVal;
      return true;
    case VT_DATE:
      out->date = *src.pdate;
      return true;
    case VT_CY:
      out->cyVal = *src.pcyVal;
      return true;
    case VT_BOOL:
      out->boolVal = *src.pboolVal;
      return true;
    case VT_ERROR:
      out->scode = *src.pscode;
      return true;
    case VT_BSTR:
      out->bstrVal = *src.pbstrVal;
      return true;
    default:
      return false;
  }
}

VARTYPE SameKind(VARTYPE vt) {
  if (vt == VT_INT) return VT_I4;
  if (vt == VT_UINT) return VT_UI4;
  return vt;
}

bool SameWidthPair(VARTYPE a, VARTYPE b) {
  auto pair = [a, b](VARTYPE x, VARTYPE y) { return (a == x && b == y) || (a == y && b == x); };
  return pair(VT_I1, VT_UI1) || pair(VT_I2, VT_UI2) || pair(VT_I4, VT_UI4) || pair(VT_I8, VT_UI8);
}

// Computes the conversion into *result (which owns nothing yet). *src is not changed.
HRESULT Convert(const VARIANT& src, VARTYPE vt, USHORT flags, VARIANT* result) {
  result->vt = VT_EMPTY;
  result->llVal = 0;
  // VT_INT and VT_UINT are VT_I4 and VT_UI4 under another name.
  if (SameKind(src.vt) == SameKind(vt)) {
    const HRESULT hr = VariantCopy(result, const_cast<VARIANT*>(&src));
    if (SUCCEEDED(hr)) result->vt = vt;
    return hr;
  }
  if (vt == VT_EMPTY || vt == VT_NULL) {
    // Every plain type but VT_ERROR can be emptied; VT_NULL cannot become VT_EMPTY.
    if (src.vt > VT_UINT || src.vt == 15 || src.vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
    if (vt == VT_EMPTY && src.vt == VT_NULL) return DISP_E_TYPEMISMATCH;
    result->vt = vt;
    return S_OK;
  }
  if (src.vt == VT_NULL || src.vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
  if (vt == VT_DECIMAL) {
    if (src.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
    std::memset(&result->decVal, 0, sizeof result->decVal);
    result->vt = VT_DECIMAL;
    return S_OK;
  }
  if (!IsConvertibleScalar(vt)) return DISP_E_TYPEMISMATCH;

  if (vt == VT_BSTR) return NumberToText(src, flags, result);
  if (src.vt == VT_BSTR) return TextToType(src.bstrVal, vt, result);

  // Signed and unsigned integers of the same width are reinterpreted, not range-checked, as the
  // platform does.
  if (SameWidthPair(SameKind(src.vt), SameKind(vt))) {
    result->llVal = src.llVal;
    result->vt = vt;
    return S_OK;
  }
  Number n;
  if (!ReadNumber(src, &n)) return DISP_E_TYPEMISMATCH;
  // The platform widens a boolean's raw 16-bit value into unsigned targets without a range check
  // (true becomes 255, 65535, ...); keep that so both builds agree.
  if (src.vt == VT_BOOL &&
      (vt == VT_UI1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_UINT || vt == VT_UI8)) {
    const uint64_t raw = static_cast<uint64_t>(static_cast<int64_t>(src.boolVal));
    result->vt = vt;
    switch (vt) {
      case VT_UI1:
        result->bVal = static_cast<BYTE>(raw);
        break;
      case VT_UI2:
        result->uiVal = static_cast<USHORT>(raw);
        break;
      case VT_UI4:
        result->ulVal = static_cast<ULONG>(raw);
        break;
      case VT_UINT:
        result->uintVal = static_cast<UINT>(raw);
        break;
      default:
        result->ullVal = raw;
        break;
    }
    return S_OK;
  }
  return StoreNumber(n, vt, result);
}

}  // namespace

HRESULT VariantChangeTypeEx(VARIANTARG* dest, VARIANTARG* src, LCID, USHORT flags, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (vt & (VT_ARRAY | VT_BYREF | VT_VECTOR | VT_RESERVED)) return DISP_E_BADVARTYPE;
  if (!IsKnownBaseType(vt) && vt != VT_RECORD) return DISP_E_BADVARTYPE;
  if (!IsValidType(src->vt)) return DISP_E_BADVARTYPE;

  VARIANT value;
  value.vt = VT_EMPTY;
  value.llVal = 0;
  const VARIANT* from = src;
  if (src->vt & VT_BYREF) {
    if (!Dereference(*src, &value)) return DISP_E_TYPEMISMATCH;
    from = &value;
  } else if (src->vt & VT_ARRAY) {
    return DISP_E_TYPEMISMATCH;
  }

  VARIANT result;
  HRESULT hr = Convert(*from, vt, flags, &result);
  if (FAILED(hr)) return hr;
  // Only now may the destination (which can be the source) be released.
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *dest = result;
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, VARIANTARG* src, USHORT flags, VARTYPE vt) {
  return VariantChangeTypeEx(dest, src, LOCALE_USER_DEFAULT, flags, vt);
}
