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
// VariantChangeType: only the conversions this code base asks for (see the header). Each block
// below names who asks; a conversion nobody asks for is refused rather than half-imitated.

namespace {

// A number parsed from text, kept as decimal digits so that it is converted to a double with a
// single rounding: value = digits * 10^exponent.
struct DecimalText {
  bool negative = false;
  std::string digits;  // no leading zeros; empty means zero
  int exponent = 0;
};

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f';
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

std::string FormatReal(double x, int significant) {
  if (x == 0) return "0";  // also for -0, which the platform prints without a sign
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", significant, x);
  return buf;
}

HRESULT MakeBstr(const std::string& ascii, VARIANT* out) {
  std::wstring wide(ascii.begin(), ascii.end());
  BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!b) return E_OUTOFMEMORY;
  out->vt = VT_BSTR;
  out->bstrVal = b;
  return S_OK;
}

// VT_EMPTY to `vt`: the script engine's subtraction gives an empty left side the right side's type
// (value.cpp), so every type a script value can have is answered, as the platform answers it.
HRESULT ZeroOf(VARTYPE vt, VARIANT* out) {
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
    case VT_BOOL:  // VARIANT_FALSE
    case VT_NULL:
      out->llVal = 0;  // zero bits are 0, 0.0 and false in every one of these
      break;
    case VT_DECIMAL:
      std::memset(&out->decVal, 0, sizeof out->decVal);
      break;
    case VT_BSTR:
      return MakeBstr("", out);
    default:
      return DISP_E_TYPEMISMATCH;
  }
  out->vt = vt;
  return S_OK;
}

// Numbers to text: plug-ins hand their results to the movie as text (the example plug-in formats
// its VT_R8 difference so), and the plug-in tests read any integer or real result that way.
HRESULT NumberToText(const VARIANT& src, VARIANT* out) {
  switch (src.vt) {
    case VT_I1:
      return MakeBstr(std::to_string(static_cast<signed char>(src.cVal)), out);
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
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Text to VT_R8: the example plug-in reads the numbers the movie sends as text.
HRESULT TextToReal(BSTR text, VARIANT* out) {
  if (!text) return DISP_E_TYPEMISMATCH;
  DecimalText dec;
  if (!ParseDecimal(text, SysStringLen(text), &dec)) return DISP_E_TYPEMISMATCH;
  const double value = DecimalToDouble(dec);
  if (std::isinf(value)) return DISP_E_OVERFLOW;
  out->vt = VT_R8;
  out->dblVal = value;
  return S_OK;
}

// Computes the conversion into *result (which owns nothing yet). *src is not changed.
HRESULT Convert(const VARIANT& src, VARTYPE vt, VARIANT* result) {
  result->vt = VT_EMPTY;
  result->llVal = 0;
  if (src.vt == vt) return VariantCopy(result, const_cast<VARIANT*>(&src));
  if (src.vt == VT_EMPTY) return ZeroOf(vt, result);
  if (vt == VT_BSTR) return NumberToText(src, result);
  if (src.vt == VT_BSTR && vt == VT_R8) return TextToReal(src.bstrVal, result);
  return DISP_E_TYPEMISMATCH;
}

}  // namespace

HRESULT VariantChangeTypeEx(VARIANTARG* dest, VARIANTARG* src, LCID, USHORT, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (vt & (VT_ARRAY | VT_BYREF | VT_VECTOR | VT_RESERVED)) return DISP_E_BADVARTYPE;
  if (!IsKnownBaseType(vt)) return DISP_E_BADVARTYPE;
  if (!IsValidType(src->vt)) return DISP_E_BADVARTYPE;
  // Nobody hands in references or arrays.
  if (src->vt & (VT_BYREF | VT_ARRAY)) return DISP_E_TYPEMISMATCH;

  VARIANT result;
  HRESULT hr = Convert(*src, vt, &result);
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
