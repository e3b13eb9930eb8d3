#include "script/expression.h"

#include <cstdint>
#include <string>

#include "platform/codepage.h"
#include "script/smallstr.h"
#include "script/value.h"
#include "script/variant.h"

namespace {

enum class Pending {
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kLess,
  kGreater,
  kEqual,
  kLessEqual,
  kGreaterEqual
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

HRESULT Combine(VARIANT* acc, const VARIANT& operand, Pending op) {
  bool result;
  switch (op) {
    case Pending::kAdd:
      return AddValue(acc, operand);
    case Pending::kSubtract:
      return SubtractValue(acc, operand);
    case Pending::kMultiply:
      return MultiplyValue(acc, operand);
    case Pending::kDivide:
      return DivideValue(acc, operand);
    case Pending::kLess:
      result = LessValue(*acc, operand);
      break;
    case Pending::kGreater:
      result = GreaterValue(*acc, operand);
      break;
    case Pending::kEqual:
      result = EqualValue(*acc, operand);
      break;
    case Pending::kLessEqual:
      result = LessEqualValue(*acc, operand);
      break;
    default:
      result = GreaterEqualValue(*acc, operand);
      break;
  }
  VariantClear(acc);
  acc->vt = VT_BOOL;
  acc->boolVal = result ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

class CEvaluator {
 public:
  explicit CEvaluator(IExpressionHost* host) : host_(host) {}

  // Reads one (sub-)expression from `p` up to the end of the text or a ")" (consumed; *closed is
  // then true). On success *result receives the accumulated value and `p` the position reached.
  HRESULT Run(const char*& p, int depth, bool* closed, VARIANT* result) {
    *closed = false;
    CVariant acc;
    Pending op = Pending::kAdd;
    char prev = 0;
    HRESULT hr;
    while (*p) {
      const char c = *p;
      if (c == ')') {
        ++p;
        *closed = true;
        break;
      }
      if (c == '(') {
        ++p;
        CVariant operand;
        hr = Nested(p, depth, &operand.value);
        if (FAILED(hr)) return hr;
        hr = Combine(&acc.value, operand.value, op);
        if (FAILED(hr)) return hr;
      } else if (IsDigit(c) || c == '.') {
        CVariant operand;
        hr = NumberLiteral(p, &operand.value);
        if (FAILED(hr)) return hr;
        hr = Combine(&acc.value, operand.value, op);
        if (FAILED(hr)) return hr;
      } else if (c == '\'' || c == '"') {
        CVariant operand;
        hr = StringLiteral(p, &operand.value);
        if (FAILED(hr)) return hr;
        hr = Combine(&acc.value, operand.value, op);
        if (FAILED(hr)) return hr;
      } else if (IsLetter(c)) {
        CVariant operand;
        bool has_operand = false;
        hr = Identifier(p, depth, &operand.value, &has_operand);
        if (FAILED(hr)) return hr;
        if (has_operand) {
          hr = Combine(&acc.value, operand.value, op);
          if (FAILED(hr)) return hr;
        }
      } else {
        switch (c) {
          case '+':
            op = Pending::kAdd;
            break;
          case '-':
            op = Pending::kSubtract;
            break;
          case '*':
            op = Pending::kMultiply;
            break;
          case '/':
            op = Pending::kDivide;
            break;
          case '<':
            op = Pending::kLess;
            break;
          case '>':
            op = Pending::kGreater;
            break;
          case '=':
            op = prev == '<'   ? Pending::kLessEqual
                 : prev == '>' ? Pending::kGreaterEqual
                               : Pending::kEqual;
            break;
          default:
            break;  // spaces and every other character mean nothing
        }
        ++p;
      }
      prev = p[-1];
    }
    acc.Detach(result);
    return S_OK;
  }

 private:
  // A sub-expression whose "(" has been consumed; it must end at its ")".
  HRESULT Nested(const char*& p, int depth, VARIANT* result) {
    if (depth >= kMaxExpressionNesting) return E_FAIL;
    bool closed = false;
    HRESULT hr = Run(p, depth + 1, &closed, result);
    if (FAILED(hr)) return hr;
    if (!closed) {
      VariantClear(result);
      return E_FAIL;
    }
    return S_OK;
  }

  // The run of digits and dots at `p`: a decimal VT_I4 (saturated at INT32_MAX), or E_FAIL when
  // it holds a dot.
  static HRESULT NumberLiteral(const char*& p, VARIANT* result) {
    int64_t value = 0;
    bool dot = false;
    for (; IsDigit(*p) || *p == '.'; ++p) {
      if (*p == '.') {
        dot = true;
      } else if (value <= INT32_MAX) {
        value = value * 10 + (*p - '0');
      }
    }
    if (dot) return E_FAIL;
    result->vt = VT_I4;
    result->lVal = value > INT32_MAX ? INT32_MAX : static_cast<LONG>(value);
    return S_OK;
  }

  // The quoted text at `p` (which is on the opening quote), UTF-8 decoded into a VT_BSTR.
  static HRESULT StringLiteral(const char*& p, VARIANT* result) {
    const char quote = *p++;
    const char* start = p;
    bool doubled = false;
    while (*p) {
      if (*p == quote) {
        if (p[1] != quote) break;
        doubled = true;
        p += 2;
      } else {
        ++p;
      }
    }
    const char* end = p;
    if (*p) ++p;  // the closing quote; an unclosed literal runs to the end of the text
    std::wstring wide;
    if (doubled) {
      CSmallStr raw(start, static_cast<int>(end - start));
      const char pair[3] = {quote, quote, 0};
      const char single[2] = {quote, 0};
      raw.ReplaceAll(pair, single);
      wide = vexa::platform::Utf8ToWide(std::string_view(raw.c_str(), raw.GetLength()));
    } else {
      wide = vexa::platform::Utf8ToWide(std::string_view(start, static_cast<size_t>(end - start)));
    }
    BSTR text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!text) return E_OUTOFMEMORY;
    result->vt = VT_BSTR;
    result->bstrVal = text;
    return S_OK;
  }

  // A name at `p`: a function call (no operand) or a variable reference (*has_operand set).
  HRESULT Identifier(const char*& p, int depth, VARIANT* result, bool* has_operand) {
    const char* start = p;
    while (IsLetter(*p) || IsDigit(*p)) ++p;
    const CSmallStr name(start, static_cast<int>(p - start));
    const char* after = p;
    while (*after == ' ') ++after;
    if (*after == '(') {
      p = after + 1;
      CVariant arguments;  // evaluated for their effects only
      HRESULT hr = Nested(p, depth, &arguments.value);
      if (FAILED(hr)) return hr;
      if (!host_ || FAILED(host_->RunScriptFunction(name.c_str()))) return E_FAIL;
      *has_operand = false;
      return S_OK;
    }
    p = after;
    if (!host_) return E_FAIL;
    CVariant value;
    if (FAILED(host_->LookupVariable(name.c_str(), &value.value))) return E_FAIL;
    value.Detach(result);
    *has_operand = true;
    return S_OK;
  }

  IExpressionHost* host_;
};

}  // namespace

HRESULT Evaluate(const char* expression, IExpressionHost* host, VARIANT* value,
                 const char** cursor) {
  if (!expression || !value) return E_POINTER;
  const char* p = (cursor && *cursor) ? *cursor : expression;
  CEvaluator evaluator(host);
  bool closed = false;
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = evaluator.Run(p, 0, &closed, &result);
  if (FAILED(hr)) return hr;
  VariantClear(value);
  *value = result;
  if (cursor) *cursor = p;
  return S_OK;
}
