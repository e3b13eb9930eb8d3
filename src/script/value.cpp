#include "script/value.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/codepage.h"

namespace {

CSmallWStr FromAnsi(const char* text) {
  const std::wstring wide = vexa::platform::AnsiToWide(text);
  return CSmallWStr(wide);
}

// "%e" of a double. Non-finite values get fixed spellings so every C library prints the same.
CSmallWStr FormatExponent(double x) {
  if (std::isnan(x)) return FromAnsi("nan");
  if (std::isinf(x)) return FromAnsi(x < 0 ? "-inf" : "inf");
  char buf[48];
  std::snprintf(buf, sizeof buf, "%e", x);
  return FromAnsi(buf);
}

CSmallWStr FormatFixed(float f) {
  const double x = f;
  if (std::isnan(x)) return FromAnsi("nan");
  if (std::isinf(x)) return FromAnsi(x < 0 ? "-inf" : "inf");
  // FLT_MAX needs 39 integer digits; leave room for the sign, point and six decimals.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%f", x);
  return FromAnsi(buf);
}

// Truncation toward zero without the undefined behaviour of an out-of-range cast.
int32_t TruncateToInt(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return INT32_MAX;
  if (x <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(x);
}

enum class Op { kAdd, kSubtract, kMultiply, kDivide };

// Wrapping arithmetic in the width of T (an integer type), computed in unsigned 64-bit so that no
// intermediate overflows. Division is signed or unsigned as T is. Returns false when the step is
// not carried out (division by zero), leaving *a unchanged.
template <class T>
bool ApplyInt(Op op, T* a, T b) {
  using U = std::make_unsigned_t<T>;
  const uint64_t ua = static_cast<U>(*a);
  const uint64_t ub = static_cast<U>(b);
  switch (op) {
    case Op::kAdd:
      *a = static_cast<T>(static_cast<U>(ua + ub));
      return true;
    case Op::kSubtract:
      *a = static_cast<T>(static_cast<U>(ua - ub));
      return true;
    case Op::kMultiply:
      *a = static_cast<T>(static_cast<U>(ua * ub));
      return true;
    case Op::kDivide:
      if (b == 0) return false;
      if constexpr (std::is_signed_v<T>) {
        // The one signed quotient that does not fit: it wraps to the minimum itself.
        if (b == static_cast<T>(-1)) {
          *a = static_cast<T>(static_cast<U>(0 - ua));
          return true;
        }
      }
      *a = static_cast<T>(*a / b);
      return true;
  }
  return false;
}

template <class T>
void ApplyReal(Op op, T* a, T b) {
  switch (op) {
    case Op::kAdd:
      *a += b;
      break;
    case Op::kSubtract:
      *a -= b;
      break;
    case Op::kMultiply:
      *a *= b;
      break;
    case Op::kDivide:
      *a /= b;
      break;
  }
}

// Equal types: computes into `result` (a copy of left's payload). False when the type is not one
// the operation computes (left stays unchanged).
bool ComputeEqualTypes(Op op, const VARIANT& left, const VARIANT& right, VARIANT* result) {
  *result = left;
  const VARTYPE vt = left.vt;
  if (op == Op::kAdd) {
    switch (vt) {
      case VT_I4:
        return ApplyInt(op, &result->lVal, right.lVal), true;
      case VT_UI4:
        return ApplyInt(op, &result->ulVal, right.ulVal), true;
      case VT_INT:
        return ApplyInt(op, &result->intVal, right.intVal), true;
      case VT_UINT:
        return ApplyInt(op, &result->uintVal, right.uintVal), true;
      case VT_R8:
        return ApplyReal(op, &result->dblVal, right.dblVal), true;
      case VT_BOOL:
        return ApplyInt(op, &result->boolVal, right.boolVal), true;
      default:
        return false;
    }
  }
  if (op == Op::kDivide) {
    switch (vt) {
      case VT_I2:
        return ApplyInt(op, &result->iVal, right.iVal);
      case VT_BOOL:
        return ApplyInt(op, &result->boolVal, right.boolVal);
      case VT_I4:
        return ApplyInt(op, &result->lVal, right.lVal);
      case VT_INT:
        return ApplyInt(op, &result->intVal, right.intVal);
      case VT_UI4:
        return ApplyInt(op, &result->ulVal, right.ulVal);
      case VT_UINT:
        return ApplyInt(op, &result->uintVal, right.uintVal);
      case VT_R4:
        return ApplyReal(op, &result->fltVal, right.fltVal), true;
      case VT_R8:
        return ApplyReal(op, &result->dblVal, right.dblVal), true;
      case VT_I1: {
        signed char a = static_cast<signed char>(result->cVal);
        if (!ApplyInt(op, &a, static_cast<signed char>(right.cVal))) return false;
        result->cVal = static_cast<CHAR>(a);
        return true;
      }
      case VT_UI1:
        return ApplyInt(op, &result->bVal, right.bVal);
      case VT_UI2:
        return ApplyInt(op, &result->uiVal, right.uiVal);
      default:
        return false;
    }
  }
  // Subtract and multiply share one table.
  switch (vt) {
    case VT_I2:
      return ApplyInt(op, &result->iVal, right.iVal), true;
    case VT_BOOL:
      return ApplyInt(op, &result->boolVal, right.boolVal), true;
    case VT_UI2:
      return ApplyInt(op, &result->uiVal, right.uiVal), true;
    case VT_I4:
      return ApplyInt(op, &result->lVal, right.lVal), true;
    case VT_UI4:
      return ApplyInt(op, &result->ulVal, right.ulVal), true;
    case VT_INT:
      return ApplyInt(op, &result->intVal, right.intVal), true;
    case VT_UINT:
      return ApplyInt(op, &result->uintVal, right.uintVal), true;
    case VT_R4:
      return ApplyReal(op, &result->fltVal, right.fltVal), true;
    case VT_R8:
      return ApplyReal(op, &result->dblVal, right.dblVal), true;
    case VT_I1: {
      signed char a = static_cast<signed char>(result->cVal);
      ApplyInt(op, &a, static_cast<signed char>(right.cVal));
      result->cVal = static_cast<CHAR>(a);
      return true;
    }
    case VT_UI1:
      return ApplyInt(op, &result->bVal, right.bVal), true;
    default:
      return false;
  }
}

// What an operand of a mixed-type operation contributes.
struct Contribution {
  bool counts = false;
  bool is_real = false;
  double real = 0;
  uint32_t bits = 0;  // integer value as 32 bits (two's complement for signed types)
};

Contribution Contribute(const VARIANT& v, Op op) {
  Contribution c;
  switch (v.vt) {
    case VT_I4:
      c.counts = true, c.bits = static_cast<uint32_t>(v.lVal), c.real = v.lVal;
      break;
    case VT_INT:
      c.counts = true, c.bits = static_cast<uint32_t>(v.intVal), c.real = v.intVal;
      break;
    case VT_UI4:
      c.counts = true, c.bits = v.ulVal, c.real = v.ulVal;
      break;
    case VT_UINT:
      c.counts = true, c.bits = v.uintVal, c.real = v.uintVal;
      break;
    case VT_R8:
      c.counts = true, c.is_real = true, c.real = v.dblVal;
      break;
    case VT_BOOL:
      if (op != Op::kDivide) {
        const bool t = v.boolVal == VARIANT_TRUE;
        c.counts = true, c.bits = t ? 1 : 0, c.real = t ? 1 : 0;
      }
      break;
    default:
      break;
  }
  return c;
}

bool HasType(const VARIANT& a, const VARIANT& b, VARTYPE vt) {
  return a.vt == vt || b.vt == vt;
}

// Different types: computes into `result` (a scalar owning nothing). False when neither side has
// one of the result types, in which case left stays unchanged.
bool ComputeMixedTypes(Op op, const VARIANT& left, const VARIANT& right, VARIANT* result) {
  VARTYPE type;
  if (HasType(left, right, VT_R8))
    type = VT_R8;
  else if (HasType(left, right, VT_UI4))
    type = VT_UI4;
  else if (HasType(left, right, VT_I4))
    type = VT_I4;
  else if (HasType(left, right, VT_UINT))
    type = VT_UINT;
  else if (HasType(left, right, VT_INT))
    type = VT_INT;
  else
    return false;

  const Contribution l = Contribute(left, op);
  const Contribution r = Contribute(right, op);
  VariantInit(result);
  result->llVal = 0;
  result->vt = type;
  if (type == VT_R8) {
    double acc = 0;
    if (l.counts) acc += l.real;
    if (r.counts) ApplyReal(op, &acc, r.real);
    result->dblVal = acc;
    return true;
  }
  if (type == VT_UI4 || type == VT_UINT) {
    uint32_t acc = 0;
    if (l.counts) ApplyInt(Op::kAdd, &acc, l.bits);
    if (r.counts) ApplyInt(op, &acc, r.bits);
    if (type == VT_UI4)
      result->ulVal = acc;
    else
      result->uintVal = acc;
    return true;
  }
  int32_t acc = 0;
  if (l.counts) ApplyInt(Op::kAdd, &acc, static_cast<int32_t>(l.bits));
  if (r.counts) ApplyInt(op, &acc, static_cast<int32_t>(r.bits));
  if (type == VT_I4)
    result->lVal = acc;
  else
    result->intVal = acc;
  return true;
}

// The numeric part shared by the four operations (after their special cases). Stores the result in
// *result and returns true, or returns false when left is to stay unchanged.
bool Compute(Op op, const VARIANT& left, const VARIANT& right, VARIANT* result) {
  if (left.vt == right.vt) return ComputeEqualTypes(op, left, right, result);
  return ComputeMixedTypes(op, left, right, result);
}

void Replace(VARIANT* left, const VARIANT& result) {
  VariantClear(left);
  *left = result;
}

// A base type an empty left can take with a zero payload.
bool CanTakeZeroOf(VARTYPE vt) {
  return vt <= VT_UINT && vt != VT_VARIANT && vt != 15;
}

// Makes left (VT_EMPTY) the zero value of right's type: 0, an empty string or a null reference.
HRESULT BecomeZeroOf(VARIANT* left, VARTYPE vt) {
  if (!CanTakeZeroOf(vt)) return S_OK;
  VARIANT zero;
  std::memset(&zero, 0, sizeof zero);
  if (vt == VT_BSTR) {
    zero.bstrVal = SysAllocStringLen(L"", 0);
    if (!zero.bstrVal) return E_OUTOFMEMORY;
  }
  zero.vt = vt;
  Replace(left, zero);
  return S_OK;
}

// The difference ValueToInt(left - right) the comparisons are built on.
int32_t Difference(const VARIANT& left, const VARIANT& right) {
  if (left.vt == VT_EMPTY) {
    // SubtractValue would first give the empty left right's type; do that on a temporary.
    VARIANT empty, converted;
    VariantInit(&empty);
    VariantInit(&converted);
    int32_t d;
    if (SUCCEEDED(VariantChangeType(&converted, &empty, 0, right.vt))) {
      VARIANT result;
      d = Compute(Op::kSubtract, converted, right, &result) ? ValueToInt(result)
                                                            : ValueToInt(converted);
    } else {
      VARIANT result;
      d = Compute(Op::kSubtract, empty, right, &result) ? ValueToInt(result) : 0;
    }
    VariantClear(&converted);
    return d;
  }
  VARIANT result;
  return Compute(Op::kSubtract, left, right, &result) ? ValueToInt(result) : ValueToInt(left);
}

template <class T>
HRESULT CompareOrdered(T a, T b) {
  if (a == b) return VARCMP_EQ;
  return a < b ? VARCMP_LT : VARCMP_GT;
}

}  // namespace

CSmallWStr ValueToString(const VARIANT& value) {
  std::string text;
  switch (value.vt) {
    case VT_BSTR:
      if (!value.bstrVal) return CSmallWStr();
      return CSmallWStr(value.bstrVal, static_cast<int>(SysStringLen(value.bstrVal)));
    case VT_EMPTY:
      return CSmallWStr();
    case VT_I2:
      text = std::to_string(value.iVal);
      break;
    case VT_I4:
      text = std::to_string(value.lVal);
      break;
    case VT_ERROR:
      text = std::to_string(value.scode);
      break;
    case VT_INT:
      text = std::to_string(value.intVal);
      break;
    case VT_UI1:
      text = std::to_string(value.bVal);
      break;
    case VT_UI2:
      text = std::to_string(value.uiVal);
      break;
    case VT_UI4:
      text = std::to_string(value.ulVal);
      break;
    case VT_UINT:
      text = std::to_string(value.uintVal);
      break;
    case VT_R4:
      return FormatFixed(value.fltVal);
    case VT_R8:
      return FormatExponent(value.dblVal);
    case VT_CY:
      text = std::to_string(value.cyVal.int64);
      break;
    case VT_DATE:
      return FromAnsi("VT_DATE");
    case VT_BOOL:
      return FromAnsi(value.boolVal == VARIANT_TRUE ? "true" : "false");
    default:
      return FromAnsi("NOT_IMPL");
  }
  return FromAnsi(text.c_str());
}

bool ValueToBool(const VARIANT& value) {
  switch (value.vt) {
    case VT_I2:
      return value.iVal != 0;
    case VT_I4:
      return value.lVal != 0;
    case VT_R4:
      return value.fltVal != 0;
    case VT_R8:
      return value.dblVal != 0;
    case VT_CY:
      return value.cyVal.int64 != 0;
    case VT_UI1:
      return value.bVal != 0;
    case VT_UI2:
      return value.uiVal != 0;
    case VT_UI4:
      return value.ulVal != 0;
    case VT_INT:
      return value.intVal != 0;
    case VT_UINT:
      return value.uintVal != 0;
    case VT_DATE:
      return true;
    case VT_ERROR:
      return value.scode >= 0;
    case VT_BOOL:
      return value.boolVal == VARIANT_TRUE;
    default:
      return false;
  }
}

int32_t ValueToInt(const VARIANT& value) {
  switch (value.vt) {
    case VT_I1:
      return static_cast<signed char>(value.cVal);
    case VT_UI1:
      return value.bVal;
    case VT_I2:
      return value.iVal;
    case VT_UI2:
      return value.uiVal;
    case VT_I4:
      return value.lVal;
    case VT_UI4:
      return static_cast<int32_t>(value.ulVal);
    case VT_INT:
      return value.intVal;
    case VT_UINT:
      return static_cast<int32_t>(value.uintVal);
    case VT_CY:
      return static_cast<int32_t>(static_cast<uint32_t>(value.cyVal.int64 & 0xFFFFFFFF));
    case VT_ERROR:
      return value.scode;
    case VT_R4:
      return TruncateToInt(value.fltVal);
    case VT_R8:
      return TruncateToInt(value.dblVal);
    case VT_DATE:
      return 1;
    case VT_BOOL:
      return value.boolVal == VARIANT_TRUE ? 1 : 0;
    default:
      return 0;
  }
}

HRESULT AddValue(VARIANT* left, const VARIANT& right) {
  if (!left) return E_POINTER;
  if (left->vt == VT_BSTR || right.vt == VT_BSTR) {
    CSmallWStr text = ValueToString(*left);
    const CSmallWStr tail = ValueToString(right);
    if (!tail.IsEmpty()) text += tail;
    BSTR joined = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.GetLength()));
    if (!joined) return E_OUTOFMEMORY;
    VARIANT result;
    VariantInit(&result);
    result.vt = VT_BSTR;
    result.bstrVal = joined;
    Replace(left, result);
    return S_OK;
  }
  if (left->vt == VT_EMPTY) {
    if (&right == left) return S_OK;
    return VariantCopy(left, const_cast<VARIANT*>(&right));
  }
  VARIANT result;
  if (Compute(Op::kAdd, *left, right, &result)) Replace(left, result);
  return S_OK;
}

HRESULT SubtractValue(VARIANT* left, const VARIANT& right) {
  if (!left) return E_POINTER;
  if (left->vt == VT_EMPTY) {
    // Where the type change fails the left side simply stays empty.
    VariantChangeType(left, left, 0, right.vt);
  }
  VARIANT result;
  if (Compute(Op::kSubtract, *left, right, &result)) Replace(left, result);
  return S_OK;
}

HRESULT MultiplyValue(VARIANT* left, const VARIANT& right) {
  if (!left) return E_POINTER;
  if (left->vt == VT_EMPTY) return BecomeZeroOf(left, right.vt);
  VARIANT result;
  if (Compute(Op::kMultiply, *left, right, &result)) Replace(left, result);
  return S_OK;
}

HRESULT DivideValue(VARIANT* left, const VARIANT& right) {
  if (!left) return E_POINTER;
  if (left->vt == VT_EMPTY) return BecomeZeroOf(left, right.vt);
  VARIANT result;
  if (Compute(Op::kDivide, *left, right, &result)) Replace(left, result);
  return S_OK;
}

bool LessValue(const VARIANT& left, const VARIANT& right) {
  return Difference(left, right) < 0;
}
bool GreaterValue(const VARIANT& left, const VARIANT& right) {
  return Difference(left, right) > 0;
}
bool EqualValue(const VARIANT& left, const VARIANT& right) {
  return Difference(left, right) == 0;
}
bool LessEqualValue(const VARIANT& left, const VARIANT& right) {
  return Difference(left, right) <= 0;
}
bool GreaterEqualValue(const VARIANT& left, const VARIANT& right) {
  return Difference(left, right) >= 0;
}

HRESULT CompareSameTypeValues(const VARIANT& left, const VARIANT& right) {
  if (left.vt != right.vt) return DISP_E_TYPEMISMATCH;
  const VARTYPE vt = left.vt;
  // The platform accepts no flag bits and, on the right-hand side, no code above VT_I8.
  if ((vt & ~VT_TYPEMASK) || vt > VT_I8) return DISP_E_BADVARTYPE;
  switch (vt) {
    case VT_EMPTY:
      return VARCMP_EQ;
    case VT_NULL:
      return VARCMP_NULL;
    case VT_ERROR:
      return VARCMP_EQ;
    case VT_I2:
      return CompareOrdered<int64_t>(left.iVal, right.iVal);
    case VT_BOOL:
      return CompareOrdered<int64_t>(left.boolVal, right.boolVal);
    case VT_I4:
      return CompareOrdered<int64_t>(left.lVal, right.lVal);
    case VT_UI1:
      return CompareOrdered<int64_t>(left.bVal, right.bVal);
    case VT_I8:
      return CompareOrdered<int64_t>(left.llVal, right.llVal);
    case VT_CY:
      return CompareOrdered<int64_t>(left.cyVal.int64, right.cyVal.int64);
    case VT_R4:
      return CompareOrdered<float>(left.fltVal, right.fltVal);
    case VT_R8:
      return CompareOrdered<double>(left.dblVal, right.dblVal);
    case VT_DATE:
      return CompareOrdered<double>(left.date, right.date);
    case VT_BSTR: {
      const UINT ln = SysStringLen(left.bstrVal);
      const UINT rn = SysStringLen(right.bstrVal);
      const UINT common = ln < rn ? ln : rn;
      for (UINT i = 0; i < common; ++i) {
        // Compare as unsigned code units so the order is the same for 2- and 4-byte wchar_t
        // within the Basic Multilingual Plane.
        const uint32_t a = static_cast<uint32_t>(left.bstrVal[i]);
        const uint32_t b = static_cast<uint32_t>(right.bstrVal[i]);
        if (a != b) return a < b ? VARCMP_LT : VARCMP_GT;
      }
      return CompareOrdered(ln, rn);
    }
    default:
      // VT_I1, VT_UI2, VT_UI4, VT_UI8, objects, VT_VARIANT, VT_DECIMAL: refused or not supported.
      return DISP_E_TYPEMISMATCH;
  }
}

bool ValuesDiffer(const VARIANT& left, const VARIANT& right) {
  if (left.vt != right.vt) return true;
  if (left.vt == VT_NULL) return false;
  return CompareSameTypeValues(left, right) != VARCMP_EQ;
}
