// Windows builds only: the "!=" comparison against the system's own VarCmp, which it stands in
// for. Strings are checked for equality only (the system orders them linguistically).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "script/value.h"
#include "variant_test_util.h"

namespace {

using namespace values_test;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Pair {
  Val left;
  Val right;
};

const Pair kSameTypePairs[] = {
    {Empty(), Empty()},
    {Null(), Null()},
    {Int(VT_I2, 1), Int(VT_I2, 1)},
    {Int(VT_I2, -1), Int(VT_I2, 3)},
    {I4(7), I4(7)},
    {I4(7), I4(-7)},
    {Real(VT_R4, 1.5), Real(VT_R4, 1.5)},
    {Real(VT_R4, 1.5), Real(VT_R4, -1.5)},
    {R8(0.1), R8(0.1)},
    {R8(0.0), R8(-0.0)},
    {R8(1.0), R8(2.0)},
    {R8(kNaN), R8(kNaN)},
    {R8(1.0), R8(kNaN)},
    {Int(VT_CY, 5), Int(VT_CY, 5)},
    {Int(VT_CY, 5), Int(VT_CY, -5)},
    {Real(VT_DATE, 1.5), Real(VT_DATE, 1.25)},
    {Int(VT_ERROR, 1), Int(VT_ERROR, 1)},
    {Int(VT_ERROR, 1), Int(VT_ERROR, 2)},
    {Bool(-1), Bool(0)},
    {Bool(-1), Bool(-1)},
    {Bool(5), Bool(-1)},
    {Int(VT_I1, 5), Int(VT_I1, 5)},
    {Int(VT_UI1, 200), Int(VT_UI1, 3)},
    {Int(VT_UI1, 9), Int(VT_UI1, 9)},
    {Int(VT_UI2, 5), Int(VT_UI2, 5)},
    {Int(VT_UI4, 5), Int(VT_UI4, 5)},
    {Int(VT_INT, 5), Int(VT_INT, 5)},
    {Int(VT_UINT, 5), Int(VT_UINT, 5)},
    {Int(VT_I8, 5), Int(VT_I8, 6)},
};

TEST(VarCmpCrossCheck, NonStringTypesMatchExactly) {
  for (const Pair& p : kSameTypePairs) {
    SCOPED_TRACE(testing::Message() << Describe(p.left) << " vs " << Describe(p.right));
    CVar l(p.left), r(p.right);
    const HRESULT system = VarCmp(l.get(), r.get(), LOCALE_USER_DEFAULT, 0);
    EXPECT_EQ(CompareSameTypeValues(*l, *r), system);
  }
}

TEST(VarCmpCrossCheck, StringEqualityMatches) {
  const wchar_t* const texts[] = {
      L"",  L"a",  L"abc",   L"ABC",  L"abd",           L"ab",          L"a b",
      L"1", L"01", L"co-op", L"coop", L"\u00E9t\u00E9", L"\u4E2D\u6587"};
  for (const wchar_t* a : texts) {
    for (const wchar_t* b : texts) {
      CVar l(Str(a)), r(Str(b));
      const HRESULT system = VarCmp(l.get(), r.get(), LOCALE_USER_DEFAULT, 0);
      EXPECT_EQ(CompareSameTypeValues(*l, *r) == VARCMP_EQ, system == VARCMP_EQ)
          << "texts " << Describe(*l) << " and " << Describe(*r);
    }
  }
  CVar null_string(Str(nullptr)), empty(Str(L""));
  EXPECT_EQ(VarCmp(null_string.get(), empty.get(), LOCALE_USER_DEFAULT, 0), VARCMP_EQ);
  EXPECT_EQ(CompareSameTypeValues(*null_string, *empty), VARCMP_EQ);
}

}  // namespace
