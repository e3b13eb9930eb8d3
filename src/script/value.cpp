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

// The types each operation computes when both sides have the same type; the sets are part of the
// language (see value.h). Subtract, multiply and divide share one.
bool ComputesEqualTypes(Op op, VARTYPE vt) {
  switch (vt) {
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R8:
    case VT_BOOL:
      return true;
    case VT_I2:
    case VT_UI2:
    case VT_R4:
    case VT_I1:
    case VT_UI1:
      return op != Op::kAdd;
    default:
      return false;
  }
}

// *a op= b in the width and signedness of a's type (VT_BOOL as signed 16 bits, VT_I1 as signed 8
// bits whatever the signedness of char). False when the step is not carried out (an integer
// division by zero, or a type without arithmetic), leaving *a unchanged.
bool ApplyTyped(Op op, VARIANT* a, const VARIANT& b) {
  switch (a->vt) {
    case VT_I2:
      return ApplyInt(op, &a->iVal, b.iVal);
    case VT_BOOL:
      return ApplyInt(op, &a->boolVal, b.boolVal);
    case VT_UI2:
      return ApplyInt(op, &a->uiVal, b.uiVal);
    case VT_I4:
      return ApplyInt(op, &a->lVal, b.lVal);
    case VT_UI4:
      return ApplyInt(op, &a->ulVal, b.ulVal);
    case VT_INT:
      return ApplyInt(op, &a->intVal, b.intVal);
    case VT_UINT:
      return ApplyInt(op, &a->uintVal, b.uintVal);
    case VT_R4:
      return ApplyReal(op, &a->fltVal, b.fltVal), true;
    case VT_R8:
      return ApplyReal(op, &a->dblVal, b.dblVal), true;
    case VT_I1: {
      signed char value = static_cast<signed char>(a->cVal);
      if (!ApplyInt(op, &value, static_cast<signed char>(b.cVal))) return false;
      a->cVal = static_cast<CHAR>(value);
      return true;
    }
    case VT_UI1:
      return ApplyInt(op, &a->bVal, b.bVal);
    default:
      return false;
  }
}

// Equal types: computes into `result` (a copy of left's payload). False when the type is not one
// the operation computes, or the step is not carried out (left stays unchanged).
bool ComputeEqualTypes(Op op, const VARIANT& left, const VARIANT& right, VARIANT* result) {
  *result = left;
  return ComputesEqualTypes(op, left.vt) && ApplyTyped(op, result, right);
}

// The value of an integer-typed VARIANT: VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT,
// VT_UINT, VT_ERROR (its status) and VT_CY (its raw 64-bit count, not divided by 10000). False for
// every other type. Which of these an operation accepts is the operation's own rule.
bool IntegerValue(const VARIANT& v, int64_t* n) {
  switch (v.vt) {
    case VT_I1:
      *n = static_cast<signed char>(v.cVal);
      return true;
    case VT_UI1:
      *n = v.bVal;
      return true;
    case VT_I2:
      *n = v.iVal;
      return true;
    case VT_UI2:
      *n = v.uiVal;
      return true;
    case VT_I4:
      *n = v.lVal;
      return true;
    case VT_UI4:
      *n = v.ulVal;
      return true;
    case VT_INT:
      *n = v.intVal;
      return true;
    case VT_UINT:
      *n = v.uintVal;
      return true;
    case VT_ERROR:
      *n = v.scode;
      return true;
    case VT_CY:
      *n = v.cyVal.int64;
      return true;
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
  int64_t n = 0;
  switch (v.vt) {
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_UINT:
      IntegerValue(v, &n);
      c.counts = true, c.bits = static_cast<uint32_t>(n), c.real = static_cast<double>(n);
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

// The common end of the four operations: left op= right where the operation computes, otherwise
// left stays as it is.
HRESULT ComputeInto(Op op, VARIANT* left, const VARIANT& right) {
  VARIANT result;
  if (Compute(op, *left, right, &result)) Replace(left, result);
  return S_OK;
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
  switch (value.vt) {
    case VT_BSTR:
      if (!value.bstrVal) return CSmallWStr();
      return CSmallWStr(value.bstrVal, static_cast<int>(SysStringLen(value.bstrVal)));
    case VT_EMPTY:
      return CSmallWStr();
    case VT_R4:
      return FormatFixed(value.fltVal);
    case VT_R8:
      return FormatExponent(value.dblVal);
    case VT_DATE:
      return FromAnsi("VT_DATE");
    case VT_BOOL:
      return FromAnsi(value.boolVal == VARIANT_TRUE ? "true" : "false");
    case VT_I1:
      return FromAnsi("NOT_IMPL");  // the one integer type without text
    default:
      break;
  }
  int64_t n = 0;
  if (IntegerValue(value, &n)) return FromAnsi(std::to_string(n).c_str());
  return FromAnsi("NOT_IMPL");
}

bool ValueToBool(const VARIANT& value) {
  switch (value.vt) {
    case VT_R4:
      return value.fltVal != 0;
    case VT_R8:
      return value.dblVal != 0;
    case VT_DATE:
      return true;
    case VT_ERROR:
      return value.scode >= 0;
    case VT_BOOL:
      return value.boolVal == VARIANT_TRUE;
    case VT_I1:
      return false;  // not a number to this rule
    default:
      break;
  }
  int64_t n = 0;
  return IntegerValue(value, &n) && n != 0;
}

int32_t ValueToInt(const VARIANT& value) {
  switch (value.vt) {
    case VT_R4:
      return TruncateToInt(value.fltVal);
    case VT_R8:
      return TruncateToInt(value.dblVal);
    case VT_DATE:
      return 1;
    case VT_BOOL:
      return value.boolVal == VARIANT_TRUE ? 1 : 0;
    default:
      break;
  }
  // The low 32 bits: unsigned values are reinterpreted as signed, VT_CY is cut to its low half.
  int64_t n = 0;
  if (IntegerValue(value, &n)) return static_cast<int32_t>(static_cast<uint32_t>(n));
  return 0;
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
  return ComputeInto(Op::kAdd, left, right);
}

HRESULT SubtractValue(VARIANT* left, const VARIANT& right) {
  if (!left) return E_POINTER;
  if (left->vt == VT_EMPTY) {
    // Where the type change fails the left side simply stays empty.
    VariantChangeType(left, left, 0, right.vt);
  }
  return ComputeInto(Op::kSubtract, left, right);
}

HRESULT MultiplyValue(VARIANT* left, const VARIANT& right) {
  if (!left) return E_POINTER;
  if (left->vt == VT_EMPTY) return BecomeZeroOf(left, right.vt);
  return ComputeInto(Op::kMultiply, left, right);
}

HRESULT DivideValue(VARIANT* left, const VARIANT& right) {
  if (!left) return E_POINTER;
  if (left->vt == VT_EMPTY) return BecomeZeroOf(left, right.vt);
  return ComputeInto(Op::kDivide, left, right);
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
    case VT_I4:
    case VT_UI1:
    case VT_CY: {
      int64_t a = 0;
      int64_t b = 0;
      IntegerValue(left, &a);
      IntegerValue(right, &b);
      return CompareOrdered(a, b);
    }
    case VT_BOOL:
      return CompareOrdered<int64_t>(left.boolVal, right.boolVal);
    case VT_I8:
      return CompareOrdered<int64_t>(left.llVal, right.llVal);
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
