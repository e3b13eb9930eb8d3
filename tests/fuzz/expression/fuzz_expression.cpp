// Evaluates arbitrary text as a script expression against a host with a few variables of
// different types and some functions (one that fails, one that evaluates an expression itself),
// then pushes the result through the value conversions and the platform's type change.
#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "platform/codepage.h"
#include "platform/oleauto.h"
#include "script/expression.h"
#include "script/value.h"

namespace {

class CFuzzHost : public IExpressionHost {
 public:
  CFuzzHost() {
    Put("n", VT_I4)->lVal = 5;
    Put("m", VT_I4)->lVal = INT32_MIN;
    Put("r", VT_R8)->dblVal = 2.5;
    Put("b", VT_BOOL)->boolVal = VARIANT_TRUE;
    Put("u", VT_UI4)->ulVal = 0xFFFFFFFFu;
    Put("w", VT_I2)->iVal = -32768;
    Put("c", VT_CY)->cyVal.int64 = 123456;
    Put("d", VT_DATE)->date = 1.5;
    Put("e", VT_EMPTY);
    Put("z", VT_NULL);
    VARIANT* s = Put("s", VT_BSTR);
    s->bstrVal = SysAllocString(L"text");
  }
  ~CFuzzHost() override {
    for (auto& entry : vars_) VariantClear(&entry.second);
  }

  HRESULT LookupVariable(const char* name, VARIANT* value) override {
    auto it = vars_.find(name);
    if (it == vars_.end()) return E_FAIL;
    return VariantCopy(value, &it->second);
  }

  HRESULT RunScriptFunction(const char* name) override {
    if (std::strcmp(name, "f") == 0) return S_OK;
    if (std::strcmp(name, "g") == 0 && depth_ < 2) {
      // A function whose body evaluates an expression, as script functions do.
      ++depth_;
      VARIANT v;
      VariantInit(&v);
      HRESULT hr = Evaluate("n + g() + 1", this, &v, nullptr);
      VariantClear(&v);
      --depth_;
      return hr;
    }
    return E_FAIL;
  }

 private:
  VARIANT* Put(const char* name, VARTYPE vt) {
    VARIANT& v = vars_[name];
    VariantInit(&v);
    v.llVal = 0;
    v.vt = vt;
    return &v;
  }

  std::map<std::string, VARIANT> vars_;
  int depth_ = 0;
};

void Exercise(VARIANT* value) {
  (void)ValueToString(*value);
  (void)ValueToBool(*value);
  (void)ValueToInt(*value);
  (void)ValuesDiffer(*value, *value);
  static const VARTYPE kTypes[] = {VT_I1, VT_UI1, VT_I2, VT_UI2,  VT_I4,   VT_UI4,  VT_I8,
                                   VT_R4, VT_R8,  VT_CY, VT_BOOL, VT_BSTR, VT_NULL, VT_EMPTY};
  for (VARTYPE vt : kTypes) {
    VARIANT out;
    VariantInit(&out);
    VariantChangeType(&out, value, 0, vt);
    VariantClear(&out);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);  // stops at the first zero
  CFuzzHost host;

  VARIANT result;
  VariantInit(&result);
  const char* cursor = text.c_str() + (size ? data[0] % (text.size() + 1) : 0);
  const char* end = text.c_str() + text.size();
  if (SUCCEEDED(Evaluate(text.c_str(), &host, &result, &cursor))) {
    // The cursor stays inside the text.
    if (cursor < text.c_str() || cursor > end) __builtin_trap();
    Exercise(&result);
    // Combine the result with itself and with a string the input spells.
    VARIANT other;
    VariantInit(&other);
    const std::wstring wide = vexa::platform::Utf8ToWide(text);
    other.vt = VT_BSTR;
    other.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    Exercise(&other);
    AddValue(&result, other);
    SubtractValue(&result, result);
    DivideValue(&result, result);
    Exercise(&result);
    VariantClear(&other);
  }
  VariantClear(&result);

  // The conversions in both directions must agree on valid text and never fail on any.
  const std::wstring wide = vexa::platform::Utf8ToWide(text);
  const std::string back = vexa::platform::WideToUtf8(wide);
  if (vexa::platform::Utf8ToWide(back) != wide) __builtin_trap();
  return 0;
}
