// The OLE Automation services the core relies on. Every expectation here was checked against the
// platform's oleaut32, so the same file runs unchanged in the Windows build (system library) and
// the native build (platform/posix implementation).
#include "platform/oleauto.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "values/variant_test_util.h"

namespace {

std::wstring Text(BSTR b) {
  return b ? std::wstring(b, SysStringLen(b)) : std::wstring();
}

// A VARIANT that clears itself.
struct Var {
  Var() { VariantInit(&v); }
  ~Var() { VariantClear(&v); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
  VARIANT v;
};

// ---- BSTR ----

TEST(Bstr, AllocatesLengthPrefixedTerminatedText) {
  BSTR s = SysAllocString(L"hello");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(SysStringByteLen(s), 5u * sizeof(OLECHAR));
  EXPECT_EQ(s[5], L'\0');
  EXPECT_EQ(Text(s), L"hello");
  SysFreeString(s);
}

TEST(Bstr, KeepsEmbeddedZeros) {
  const OLECHAR raw[] = {L'a', 0, L'b'};
  BSTR s = SysAllocStringLen(raw, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(Text(s), std::wstring(raw, 3));
  EXPECT_EQ(s[3], L'\0');
  SysFreeString(s);
}

TEST(Bstr, NullAndEmpty) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);  // must be harmless

  BSTR empty = SysAllocString(L"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(empty[0], L'\0');
  SysFreeString(empty);

  // Without source text the length is still honoured (the content is unspecified).
  BSTR sized = SysAllocStringLen(nullptr, 4);
  ASSERT_NE(sized, nullptr);
  EXPECT_EQ(SysStringLen(sized), 4u);
  EXPECT_EQ(sized[4], L'\0');
  SysFreeString(sized);
}

TEST(Bstr, ByteLengthStringsMayEndMidCharacter) {
  BSTR s = SysAllocStringByteLen("abc", 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringByteLen(s), 3u);
  EXPECT_EQ(SysStringLen(s), 3u / sizeof(OLECHAR));
  EXPECT_EQ(0, std::memcmp(s, "abc", 3));
  SysFreeString(s);
}

TEST(Bstr, ReallocReplacesText) {
  BSTR s = SysAllocString(L"old");
  ASSERT_TRUE(SysReAllocString(&s, L"newer"));
  EXPECT_EQ(Text(s), L"newer");
  ASSERT_TRUE(SysReAllocStringLen(&s, L"abcdef", 2));
  EXPECT_EQ(Text(s), L"ab");
  SysFreeString(s);
}

// ---- VARIANT lifetime ----

// Counts references so the tests can see VariantClear/VariantCopy release and take them.
class CCountingObject : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
};

TEST(Variant, ClearReleasesWhatItOwns) {
  Var s;
  s.v.vt = VT_BSTR;
  s.v.bstrVal = SysAllocString(L"owned");  // the leak checker sees it if not freed
  EXPECT_EQ(VariantClear(&s.v), S_OK);
  EXPECT_EQ(s.v.vt, VT_EMPTY);

  CCountingObject object;
  Var u;
  u.v.vt = VT_UNKNOWN;
  u.v.punkVal = &object;
  object.AddRef();
  EXPECT_EQ(VariantClear(&u.v), S_OK);
  EXPECT_EQ(object.refs, 1u);
  EXPECT_EQ(u.v.vt, VT_EMPTY);
}

TEST(Variant, ClearRejectsUnknownTypesAndLeavesThem) {
  VARIANT v;
  VariantInit(&v);
  v.vt = 0x7777;
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
  EXPECT_EQ(v.vt, 0x7777);
  v.vt = VT_EMPTY;
}

TEST(Variant, ByReferenceVariantsOwnNothing) {
  BSTR target = SysAllocString(L"still mine");
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_BSTR;
  v.pbstrVal = &target;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(Text(target), L"still mine");
  SysFreeString(target);
}

TEST(Variant, CopyDuplicatesStringsAndReferences) {
  Var src, dst;
  const OLECHAR raw[] = {L'x', 0, L'y'};
  src.v.vt = VT_BSTR;
  src.v.bstrVal = SysAllocStringLen(raw, 3);
  dst.v.vt = VT_BSTR;
  dst.v.bstrVal = SysAllocString(L"overwritten");  // released by the copy
  ASSERT_EQ(VariantCopy(&dst.v, &src.v), S_OK);
  ASSERT_EQ(dst.v.vt, VT_BSTR);
  EXPECT_NE(dst.v.bstrVal, src.v.bstrVal);
  EXPECT_EQ(Text(dst.v.bstrVal), std::wstring(raw, 3));

  CCountingObject object;
  Var unk, copy;
  unk.v.vt = VT_UNKNOWN;
  unk.v.punkVal = &object;
  object.AddRef();
  ASSERT_EQ(VariantCopy(&copy.v, &unk.v), S_OK);
  EXPECT_EQ(copy.v.punkVal, &object);
  EXPECT_EQ(object.refs, 3u);
  VariantClear(&copy.v);
  VariantClear(&unk.v);
  EXPECT_EQ(object.refs, 1u);
}

TEST(Variant, CopyRejectsUnknownSourceType) {
  Var dst;
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x7777;
  EXPECT_EQ(VariantCopy(&dst.v, &bad), DISP_E_BADVARTYPE);
}

// ---- VariantChangeType ----

struct Source {
  VARTYPE vt;
  int64_t i;            // integer payloads (raw, by type)
  double r;             // VT_R4, VT_R8, VT_DATE
  const wchar_t* text;  // VT_BSTR (null: a null BSTR)
};

void Build(const Source& s, VARIANT* v) {
  VariantInit(v);
  v->llVal = 0;
  v->vt = s.vt;
  switch (s.vt) {
    case VT_I1:
      v->cVal = static_cast<CHAR>(s.i);
      break;
    case VT_UI1:
      v->bVal = static_cast<BYTE>(s.i);
      break;
    case VT_I2:
      v->iVal = static_cast<SHORT>(s.i);
      break;
    case VT_UI2:
      v->uiVal = static_cast<USHORT>(s.i);
      break;
    case VT_BOOL:
      v->boolVal = static_cast<VARIANT_BOOL>(s.i);
      break;
    case VT_I4:
      v->lVal = static_cast<LONG>(s.i);
      break;
    case VT_UI4:
      v->ulVal = static_cast<ULONG>(s.i);
      break;
    case VT_INT:
      v->intVal = static_cast<INT>(s.i);
      break;
    case VT_UINT:
      v->uintVal = static_cast<UINT>(s.i);
      break;
    case VT_ERROR:
      v->scode = static_cast<SCODE>(s.i);
      break;
    case VT_CY:
      v->cyVal.int64 = s.i;
      break;
    case VT_R4:
      v->fltVal = static_cast<float>(s.r);
      break;
    case VT_R8:
      v->dblVal = s.r;
      break;
    case VT_DATE:
      v->date = s.r;
      break;
    case VT_BSTR:
      v->bstrVal = s.text ? SysAllocString(s.text) : nullptr;
      break;
    default:
      break;
  }
}

using values_test::IntegerOf;

struct ChangeCase {
  Source from;
  VARTYPE to;
  USHORT flags;
  HRESULT hr;
  int64_t i;            // expected integer result
  double r;             // expected VT_R4/VT_R8/VT_DATE result
  const wchar_t* text;  // expected VT_BSTR result
};

Source I(VARTYPE vt, int64_t i) {
  return {vt, i, 0, nullptr};
}
Source R(VARTYPE vt, double r) {
  return {vt, 0, r, nullptr};
}
Source S(const wchar_t* text) {
  return {VT_BSTR, 0, 0, text};
}
constexpr HRESULT TM = DISP_E_TYPEMISMATCH;
constexpr HRESULT OVF = DISP_E_OVERFLOW;

const ChangeCase kChangeCases[] = {
    // An empty value becomes the zero of every scalar type.
    {I(VT_EMPTY, 0), VT_I2, 0, S_OK, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_I4, 0, S_OK, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_UI4, 0, S_OK, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_INT, 0, S_OK, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_I1, 0, S_OK, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_R8, 0, S_OK, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_R4, 0, S_OK, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_CY, 0, S_OK, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_DATE, 0, S_OK, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_BOOL, 0, S_OK, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_BSTR, 0, S_OK, 0, 0, L""},
    {I(VT_EMPTY, 0), VT_NULL, 0, S_OK, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_ERROR, 0, TM, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_DISPATCH, 0, TM, 0, 0, nullptr},
    {I(VT_EMPTY, 0), VT_UNKNOWN, 0, TM, 0, 0, nullptr},
    // Null and error values convert to nothing but themselves.
    {I(VT_NULL, 0), VT_I4, 0, TM, 0, 0, nullptr},
    {I(VT_NULL, 0), VT_BSTR, 0, TM, 0, 0, nullptr},
    {I(VT_NULL, 0), VT_EMPTY, 0, TM, 0, 0, nullptr},
    {I(VT_NULL, 0), VT_NULL, 0, S_OK, 0, 0, nullptr},
    {I(VT_ERROR, 5), VT_I4, 0, TM, 0, 0, nullptr},
    {I(VT_ERROR, 5), VT_NULL, 0, TM, 0, 0, nullptr},
    {I(VT_ERROR, 5), VT_ERROR, 0, S_OK, 5, 0, nullptr},
    // Reals as text: 15 (VT_R8) or 7 (VT_R4) significant digits.
    {R(VT_R8, 0.5), VT_BSTR, 0, S_OK, 0, 0, L"0.5"},
    {R(VT_R8, 1e20), VT_BSTR, 0, S_OK, 0, 0, L"1E+20"},
    {R(VT_R8, 1.0 / 3), VT_BSTR, 0, S_OK, 0, 0, L"0.333333333333333"},
    {R(VT_R8, 123456789.125), VT_BSTR, 0, S_OK, 0, 0, L"123456789.125"},
    {R(VT_R8, 1e-5), VT_BSTR, 0, S_OK, 0, 0, L"1E-05"},
    {R(VT_R8, 3e9), VT_BSTR, 0, S_OK, 0, 0, L"3000000000"},
    {R(VT_R8, 0.1 + 0.2), VT_BSTR, 0, S_OK, 0, 0, L"0.3"},
    {R(VT_R8, -0.0), VT_BSTR, 0, S_OK, 0, 0, L"0"},
    {R(VT_R8, 999999999999999.9), VT_BSTR, 0, S_OK, 0, 0, L"1E+15"},
    {R(VT_R8, 123456789012345678.0), VT_BSTR, 0, S_OK, 0, 0, L"1.23456789012346E+17"},
    {R(VT_R4, 1.0 / 3), VT_BSTR, 0, S_OK, 0, 0, L"0.3333333"},
    {R(VT_R4, 123456789.125), VT_BSTR, 0, S_OK, 0, 0, L"1.234568E+08"},
    {R(VT_R4, 0.1), VT_BSTR, 0, S_OK, 0, 0, L"0.1"},
    // Integers as text.
    {I(VT_I4, 5), VT_BSTR, 0, S_OK, 0, 0, L"5"},
    {I(VT_I2, -7), VT_BSTR, 0, S_OK, 0, 0, L"-7"},
    {I(VT_I1, -5), VT_BSTR, 0, S_OK, 0, 0, L"-5"},
    {I(VT_UI4, 4000000000LL), VT_BSTR, 0, S_OK, 0, 0, L"4000000000"},
    // Text to numbers: the syntax, read into VT_R8.
    {S(L"12"), VT_R8, 0, S_OK, 0, 12, nullptr},
    {S(L" 12 "), VT_R8, 0, S_OK, 0, 12, nullptr},
    {S(L"\t7\n"), VT_R8, 0, S_OK, 0, 7, nullptr},
    {S(L"-3"), VT_R8, 0, S_OK, 0, -3, nullptr},
    {S(L"+4"), VT_R8, 0, S_OK, 0, 4, nullptr},
    {S(L".5"), VT_R8, 0, S_OK, 0, 0.5, nullptr},
    {S(L"5."), VT_R8, 0, S_OK, 0, 5, nullptr},
    {S(L"1e3"), VT_R8, 0, S_OK, 0, 1000, nullptr},
    {S(L"1.5e1"), VT_R8, 0, S_OK, 0, 15, nullptr},
    {S(L"1E+2"), VT_R8, 0, S_OK, 0, 100, nullptr},
    {S(L"&H10"), VT_R8, 0, S_OK, 0, 16, nullptr},
    {S(L"1,000"), VT_R8, 0, S_OK, 0, 1000, nullptr},
    {S(L"-2147483648"), VT_R8, 0, S_OK, 0, -2147483648.0, nullptr},
    {S(L"4294967295"), VT_R8, 0, S_OK, 0, 4294967295.0, nullptr},
    {S(L"abc"), VT_R8, 0, TM, 0, 0, nullptr},
    {S(L""), VT_R8, 0, TM, 0, 0, nullptr},
    {S(L"12abc"), VT_R8, 0, TM, 0, 0, nullptr},
    {S(L"1 2"), VT_R8, 0, TM, 0, 0, nullptr},
    {S(L"1e"), VT_R8, 0, TM, 0, 0, nullptr},
    {S(L"-"), VT_R8, 0, TM, 0, 0, nullptr},
    {S(L"0x10"), VT_R8, 0, TM, 0, 0, nullptr},
    {S(nullptr), VT_R8, 0, TM, 0, 0, nullptr},
    {S(L"abc"), VT_I4, 0, TM, 0, 0, nullptr},
    {S(L""), VT_I4, 0, TM, 0, 0, nullptr},
    {S(L"  "), VT_I4, 0, TM, 0, 0, nullptr},
    {S(L"12abc"), VT_I4, 0, TM, 0, 0, nullptr},
    {S(L"1 2"), VT_I4, 0, TM, 0, 0, nullptr},
    {S(L"1e"), VT_I4, 0, TM, 0, 0, nullptr},
    {S(L"-"), VT_I4, 0, TM, 0, 0, nullptr},
    {S(L"0x10"), VT_I4, 0, TM, 0, 0, nullptr},
    {S(L"True"), VT_I4, 0, TM, 0, 0, nullptr},
    {S(nullptr), VT_I4, 0, TM, 0, 0, nullptr},
    {S(L"1.5"), VT_R8, 0, S_OK, 0, 1.5, nullptr},
    {S(L"-0.25"), VT_R8, 0, S_OK, 0, -0.25, nullptr},
    {S(L"1e400"), VT_R8, 0, OVF, 0, 0, nullptr},
    {S(L"abc"), VT_R8, 0, TM, 0, 0, nullptr},
    {S(L"yes"), VT_BOOL, 0, TM, 0, 0, nullptr},
    {S(L"on"), VT_BOOL, 0, TM, 0, 0, nullptr},
    {S(L"text"), VT_BSTR, 0, S_OK, 0, 0, L"text"},
};

TEST(VariantChangeType, ConvertsAsThePlatformDoes) {
  for (const ChangeCase& c : kChangeCases) {
    SCOPED_TRACE(testing::Message() << "from vt " << c.from.vt << " (i=" << c.from.i << " r="
                                    << c.from.r << ") to vt " << c.to << " flags " << c.flags);
    Var src, dst;
    Build(c.from, &src.v);
    const HRESULT hr = VariantChangeType(&dst.v, &src.v, c.flags, c.to);
    ASSERT_EQ(hr, c.hr);
    if (FAILED(hr)) {
      EXPECT_EQ(dst.v.vt, VT_EMPTY);  // untouched
      continue;
    }
    ASSERT_EQ(dst.v.vt, c.to);
    switch (c.to) {
      case VT_BSTR:
        ASSERT_NE(dst.v.bstrVal, nullptr);
        EXPECT_EQ(Text(dst.v.bstrVal), c.text);
        break;
      case VT_R8:
        EXPECT_EQ(dst.v.dblVal, c.r);
        break;
      case VT_R4:
        EXPECT_EQ(dst.v.fltVal, static_cast<float>(c.r));
        break;
      case VT_DATE:
        EXPECT_EQ(dst.v.date, c.r);
        break;
      case VT_EMPTY:
      case VT_NULL:
        break;
      default:
        EXPECT_EQ(IntegerOf(dst.v), c.i);
        break;
    }
    // The source is left as it was.
    EXPECT_EQ(src.v.vt, c.from.vt);
  }
}

TEST(VariantChangeType, ConvertsInPlace) {
  Var v;
  v.v.vt = VT_I4;
  v.v.lVal = 42;
  ASSERT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_BSTR), S_OK);
  ASSERT_EQ(v.v.vt, VT_BSTR);
  EXPECT_EQ(Text(v.v.bstrVal), L"42");
  // And back, releasing the string it replaces.
  ASSERT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_R8), S_OK);
  ASSERT_EQ(v.v.vt, VT_R8);
  EXPECT_EQ(v.v.dblVal, 42);
}

TEST(VariantChangeType, FailureLeavesDestinationUnchanged) {
  Var src, dst;
  src.v.vt = VT_BSTR;
  src.v.bstrVal = SysAllocString(L"not a number");
  dst.v.vt = VT_BSTR;
  dst.v.bstrVal = SysAllocString(L"keep");
  EXPECT_EQ(VariantChangeType(&dst.v, &src.v, 0, VT_R8), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(dst.v.vt, VT_BSTR);
  EXPECT_EQ(Text(dst.v.bstrVal), L"keep");
}

TEST(VariantChangeType, RejectsUnknownTypes) {
  Var src, dst;
  src.v.vt = VT_I4;
  src.v.lVal = 1;
  EXPECT_EQ(VariantChangeType(&dst.v, &src.v, 0, 0x7777), DISP_E_BADVARTYPE);
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x7777;
  EXPECT_EQ(VariantChangeType(&dst.v, &bad, 0, VT_I4), DISP_E_BADVARTYPE);
}

// ---- Status codes ----

TEST(StatusCodes, HaveThePlatformValues) {
  EXPECT_EQ(S_OK, 0);
  EXPECT_EQ(S_FALSE, 1);
  EXPECT_EQ(static_cast<uint32_t>(E_FAIL), 0x80004005u);
  EXPECT_EQ(static_cast<uint32_t>(E_INVALIDARG), 0x80070057u);
  EXPECT_EQ(static_cast<uint32_t>(E_ACCESSDENIED), 0x80070005u);
  EXPECT_EQ(static_cast<uint32_t>(E_NOTIMPL), 0x80004001u);
  EXPECT_EQ(static_cast<uint32_t>(E_UNEXPECTED), 0x8000FFFFu);
  EXPECT_EQ(static_cast<uint32_t>(E_POINTER), 0x80004003u);
  EXPECT_EQ(static_cast<uint32_t>(E_OUTOFMEMORY), 0x8007000Eu);
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
  EXPECT_EQ(sizeof(HRESULT), 4u);
  EXPECT_EQ(sizeof(VARIANT_BOOL), 2u);
  EXPECT_EQ(VARIANT_TRUE, -1);
}

}  // namespace
