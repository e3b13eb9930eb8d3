// Conversions the non-Windows VariantChangeType leaves out because nothing in this code base asks
// for them: each is refused with DISP_E_TYPEMISMATCH and leaves the destination as it was, where
// the platform's oleaut32 would carry it out. Should a caller come to need one, it shows up here
// first.
#include "platform/oleauto.h"

#include <gtest/gtest.h>

#include <string>

#include "values/variant_test_util.h"

namespace {

using values_test::BstrText;
using values_test::CVar;
using values_test::Int;
using values_test::Real;
using values_test::Str;
using values_test::Val;

struct Refused {
  Val from;
  VARTYPE to;
  USHORT flags;
};

// Numbers among themselves, dates, currency and booleans in either direction, text to anything
// but VT_R8, and any value but VT_EMPTY to VT_EMPTY or VT_NULL.
const Refused kRefused[] = {
    {Int(VT_I4, 5), VT_NULL, 0},
    {Int(VT_I4, 5), VT_EMPTY, 0},
    {Real(VT_R8, 0.5), VT_I4, 0},
    {Real(VT_R8, 1.5), VT_I4, 0},
    {Real(VT_R8, 2.5), VT_I4, 0},
    {Real(VT_R8, -2.5), VT_I4, 0},
    {Real(VT_R8, 2147483647.5), VT_I4, 0},
    {Real(VT_R8, -2147483648.5), VT_I4, 0},
    {Real(VT_R8, 1e20), VT_I4, 0},
    {Real(VT_R8, -2.5), VT_UI1, 0},
    {Real(VT_R8, 123.0), VT_UI1, 0},
    {Real(VT_R8, 1.5), VT_UI1, 0},
    {Real(VT_R8, 123456789.125), VT_CY, 0},
    {Real(VT_R8, 1.0 / 3), VT_CY, 0},
    {Real(VT_R8, 1e300), VT_R4, 0},
    {Real(VT_R8, 1e-300), VT_R4, 0},
    {Real(VT_R8, 0.4), VT_BOOL, 0},
    {Real(VT_R8, 0.0), VT_BOOL, 0},
    {Real(VT_DATE, 1.5), VT_R8, 0},
    {Real(VT_DATE, 1.5), VT_I4, 0},
    {Int(VT_CY, 12345), VT_BSTR, 0},
    {Int(VT_CY, -15000), VT_BSTR, 0},
    {Int(VT_CY, 10000), VT_BSTR, 0},
    {Int(VT_CY, 15000), VT_I4, 0},
    {Int(VT_CY, 25000), VT_I4, 0},
    {Int(VT_BOOL, -1), VT_BSTR, 0},
    {Int(VT_BOOL, -1), VT_BSTR, VARIANT_ALPHABOOL},
    {Int(VT_BOOL, 0), VT_BSTR, VARIANT_ALPHABOOL},
    {Int(VT_BOOL, 5), VT_I4, 0},
    {Int(VT_BOOL, 5), VT_BSTR, 0},
    {Int(VT_BOOL, -1), VT_UI1, 0},
    {Int(VT_BOOL, -1), VT_UI4, 0},
    {Int(VT_BOOL, -1), VT_R8, 0},
    {Int(VT_BOOL, -1), VT_CY, 0},
    {Int(VT_I4, 7), VT_BOOL, 0},
    {Int(VT_I4, -1), VT_UI4, 0},
    {Int(VT_I4, -1), VT_UINT, 0},
    {Int(VT_UI4, 4000000000LL), VT_I4, 0},
    {Int(VT_UINT, 4000000000LL), VT_INT, 0},
    {Int(VT_I4, 70000), VT_UI2, 0},
    {Int(VT_I4, 255), VT_UI1, 0},
    {Int(VT_I4, 256), VT_UI1, 0},
    {Int(VT_I4, -129), VT_I1, 0},
    {Int(VT_I4, 32768), VT_I2, 0},
    {Int(VT_I4, -32768), VT_I2, 0},
    {Int(VT_INT, 12), VT_I4, 0},
    {Int(VT_I4, 3), VT_R8, 0},
    {Str(L"12"), VT_I4, 0},
    {Str(L" 12 "), VT_I4, 0},
    {Str(L"\t7\n"), VT_I4, 0},
    {Str(L"-3"), VT_I4, 0},
    {Str(L"+4"), VT_I4, 0},
    {Str(L"1.5"), VT_I4, 0},
    {Str(L"2.5"), VT_I4, 0},
    {Str(L".5"), VT_I4, 0},
    {Str(L"5."), VT_I4, 0},
    {Str(L"1e3"), VT_I4, 0},
    {Str(L"1.5e1"), VT_I4, 0},
    {Str(L"1E+2"), VT_I4, 0},
    {Str(L"&H10"), VT_I4, 0},
    {Str(L"1,000"), VT_I4, 0},
    {Str(L"-2147483648"), VT_I4, 0},
    {Str(L"4294967295"), VT_I4, 0},
    {Str(L"1e400"), VT_I4, 0},
    {Str(L"4294967295"), VT_UI4, 0},
    {Str(L"-3"), VT_UI4, 0},
    {Str(L"255.5"), VT_UI1, 0},
    {Str(L"1.23456"), VT_CY, 0},
    {Str(L"1.23455"), VT_CY, 0},
    {Str(L"True"), VT_BOOL, 0},
    {Str(L"false"), VT_BOOL, 0},
    {Str(L"TRUE"), VT_BOOL, 0},
    {Str(L"#TRUE#"), VT_BOOL, 0},
    {Str(L"0"), VT_BOOL, 0},
    {Str(L"12"), VT_BOOL, 0},
    {Real(VT_R4, 1.1), VT_R8, 0},
    {Int(VT_UI2, 7), VT_I2, 0},
    {Str(L"1/2/2000"), VT_DATE, 0},
    {Str(L"1.5"), VT_R4, 0},
};

TEST(PosixVariantChangeType, RefusesConversionsNobodyAsksFor) {
  for (const Refused& c : kRefused) {
    SCOPED_TRACE(testing::Message()
                 << values_test::Describe(c.from) << " to vt " << c.to << " flags " << c.flags);
    CVar src(c.from);
    CVar dst(Str(L"keep"));
    EXPECT_EQ(VariantChangeType(dst.get(), src.get(), c.flags, c.to), DISP_E_TYPEMISMATCH);
    ASSERT_EQ((*dst).vt, VT_BSTR);
    EXPECT_EQ(BstrText((*dst).bstrVal), L"keep");
    EXPECT_TRUE(values_test::SameValue(*src, c.from));
  }
}

TEST(PosixVariantChangeType, RefusedInPlaceLeavesTheValue) {
  CVar v(Int(VT_I4, 42));
  EXPECT_EQ(VariantChangeType(v.get(), v.get(), 0, VT_I2), DISP_E_TYPEMISMATCH);
  ASSERT_EQ((*v).vt, VT_I4);
  EXPECT_EQ((*v).lVal, 42);
}

TEST(PosixVariantChangeType, RefusesReferencesAndTouchesNeitherSide) {
  LONG value = 42;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = &value;
  CVar dst(Str(L"keep"));
  EXPECT_EQ(VariantChangeType(dst.get(), &ref, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(BstrText((*dst).bstrVal), L"keep");
  EXPECT_EQ(value, 42);
  EXPECT_EQ(ref.plVal, &value);
}

}  // namespace
