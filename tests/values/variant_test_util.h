// Small helpers for tables of script values in tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>

#include "platform/oleauto.h"

namespace values_test {

// A script value written as data: the type and the payload that type uses.
struct Val {
  VARTYPE vt;
  int64_t i;            // integer payloads, raw for their type
  double r;             // VT_R4, VT_R8, VT_DATE
  const wchar_t* text;  // VT_BSTR; null means a null BSTR
};

constexpr Val Empty() {
  return {VT_EMPTY, 0, 0, nullptr};
}
constexpr Val Null() {
  return {VT_NULL, 0, 0, nullptr};
}
constexpr Val Int(VARTYPE vt, int64_t i) {
  return {vt, i, 0, nullptr};
}
constexpr Val I4(int64_t i) {
  return {VT_I4, i, 0, nullptr};
}
constexpr Val Real(VARTYPE vt, double r) {
  return {vt, 0, r, nullptr};
}
constexpr Val R8(double r) {
  return {VT_R8, 0, r, nullptr};
}
constexpr Val Str(const wchar_t* s) {
  return {VT_BSTR, 0, 0, s};
}
constexpr Val Bool(int16_t b) {
  return {VT_BOOL, b, 0, nullptr};
}

// Owns a VARIANT built from a Val.
class CVar {
 public:
  CVar() { VariantInit(&v_); }
  explicit CVar(const Val& val) : CVar() { Set(val); }
  ~CVar() { VariantClear(&v_); }
  CVar(const CVar&) = delete;
  CVar& operator=(const CVar&) = delete;

  void Set(const Val& val) {
    VariantClear(&v_);
    v_.llVal = 0;
    v_.vt = val.vt;
    switch (val.vt & VT_TYPEMASK) {
      case VT_I1:
        v_.cVal = static_cast<CHAR>(val.i);
        break;
      case VT_UI1:
        v_.bVal = static_cast<BYTE>(val.i);
        break;
      case VT_I2:
        v_.iVal = static_cast<SHORT>(val.i);
        break;
      case VT_UI2:
        v_.uiVal = static_cast<USHORT>(val.i);
        break;
      case VT_BOOL:
        v_.boolVal = static_cast<VARIANT_BOOL>(val.i);
        break;
      case VT_I4:
        v_.lVal = static_cast<LONG>(val.i);
        break;
      case VT_UI4:
        v_.ulVal = static_cast<ULONG>(val.i);
        break;
      case VT_INT:
        v_.intVal = static_cast<INT>(val.i);
        break;
      case VT_UINT:
        v_.uintVal = static_cast<UINT>(val.i);
        break;
      case VT_ERROR:
        v_.scode = static_cast<SCODE>(val.i);
        break;
      case VT_CY:
        v_.cyVal.int64 = val.i;
        break;
      case VT_I8:
        v_.llVal = val.i;
        break;
      case VT_R4:
        v_.fltVal = static_cast<float>(val.r);
        break;
      case VT_R8:
        v_.dblVal = val.r;
        break;
      case VT_DATE:
        v_.date = val.r;
        break;
      case VT_BSTR:
        if (!(val.vt & (VT_ARRAY | VT_BYREF)))
          v_.bstrVal = val.text ? SysAllocString(val.text) : nullptr;
        break;
      default:
        break;
    }
    if (val.vt & (VT_ARRAY | VT_BYREF)) v_.byref = nullptr;
  }

  VARIANT* get() { return &v_; }
  const VARIANT& operator*() const { return v_; }

 private:
  VARIANT v_;
};

inline std::wstring BstrText(BSTR b) {
  return b ? std::wstring(b, SysStringLen(b)) : std::wstring();
}

inline int64_t IntegerOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_I1:
      return static_cast<signed char>(v.cVal);
    case VT_UI1:
      return v.bVal;
    case VT_I2:
      return v.iVal;
    case VT_UI2:
      return v.uiVal;
    case VT_BOOL:
      return v.boolVal;
    case VT_I4:
      return v.lVal;
    case VT_UI4:
      return v.ulVal;
    case VT_INT:
      return v.intVal;
    case VT_UINT:
      return v.uintVal;
    case VT_ERROR:
      return v.scode;
    case VT_CY:
      return v.cyVal.int64;
    default:
      return 0;
  }
}

// True when `actual` has the type and value `want` describes (NaN equals NaN here).
inline bool SameValue(const VARIANT& actual, const Val& want) {
  if (actual.vt != want.vt) return false;
  switch (actual.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return true;
    case VT_R4: {
      const float w = static_cast<float>(want.r);
      return (std::isnan(w) && std::isnan(actual.fltVal)) || actual.fltVal == w;
    }
    case VT_R8:
      return (std::isnan(want.r) && std::isnan(actual.dblVal)) || actual.dblVal == want.r;
    case VT_DATE:
      return actual.date == want.r;
    case VT_BSTR:
      return BstrText(actual.bstrVal) == (want.text ? want.text : L"");
    default:
      return IntegerOf(actual) == want.i;
  }
}

inline std::string Describe(const VARIANT& v) {
  std::string s = "vt=" + std::to_string(v.vt);
  if (v.vt == VT_BSTR) {
    s += " \"";
    for (wchar_t c : BstrText(v.bstrVal)) s += c < 128 ? static_cast<char>(c) : '?';
    s += "\"";
  } else if (v.vt == VT_R4) {
    s += " " + std::to_string(v.fltVal);
  } else if (v.vt == VT_R8 || v.vt == VT_DATE) {
    s += " " + std::to_string(v.dblVal);
  } else {
    s += " " + std::to_string(IntegerOf(v));
  }
  return s;
}

inline std::string Describe(const Val& v) {
  CVar var(v);
  return Describe(*var);
}

}  // namespace values_test
