// The script's value rules, table by table. Several expectations look odd (two VT_I2 values do not
// add, any two strings compare equal); they are the language's rules and scripts depend on them.
#include "script/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "variant_test_util.h"

namespace {

using namespace values_test;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// ---- ValueToString ----

struct StringCase {
  Val value;
  const wchar_t* text;
};

const StringCase kStringCases[] = {
    {Str(L"abc"), L"abc"},
    {Str(L""), L""},
    {Empty(), L""},
    {Int(VT_I2, -5), L"-5"},
    {I4(-123), L"-123"},
    {I4(2147483647), L"2147483647"},
    {Int(VT_ERROR, -2147467259), L"-2147467259"},
    {Int(VT_INT, -7), L"-7"},
    {Int(VT_UI1, 200), L"200"},
    {Int(VT_UI2, 65535), L"65535"},
    {Int(VT_UI4, 4294967295LL), L"4294967295"},
    {Int(VT_UINT, 4000000000LL), L"4000000000"},
    {Real(VT_R4, 1.5), L"1.500000"},
    {Real(VT_R4, -0.25), L"-0.250000"},
    {R8(1.0), L"1.000000e+00"},
    {R8(-12345.678), L"-1.234568e+04"},
    {R8(1e100), L"1.000000e+100"},
    {R8(0.0), L"0.000000e+00"},
    {R8(kInf), L"inf"},
    {R8(-kInf), L"-inf"},
    {R8(kNaN), L"nan"},
    {Int(VT_CY, 12345), L"12345"},  // the raw value, not 1.2345
    {Int(VT_CY, -1), L"-1"},
    {Real(VT_DATE, 45000.5), L"VT_DATE"},
    {Bool(-1), L"true"},
    {Bool(0), L"false"},
    {Bool(1), L"false"},
    {Null(), L"NOT_IMPL"},
    {Int(VT_I1, 5), L"NOT_IMPL"},
    {Int(VT_I8, 5), L"NOT_IMPL"},
    {Int(VT_ARRAY | VT_I4, 0), L"NOT_IMPL"},
    {Int(VT_BYREF | VT_I4, 0), L"NOT_IMPL"},
    {Int(VT_DISPATCH, 0), L"NOT_IMPL"},
};

TEST(ValueToString, FollowsTheTable) {
  for (const StringCase& c : kStringCases) {
    SCOPED_TRACE(Describe(c.value));
    CVar v(c.value);
    EXPECT_EQ(ValueToString(*v).str(), std::wstring(c.text));
  }
}

TEST(ValueToString, NullStringGivesNullResult) {
  CVar null_string(Str(nullptr));
  const CSmallWStr text = ValueToString(*null_string);
  EXPECT_TRUE(text.IsEmpty());
  EXPECT_FALSE(text.HasBlock());
}

TEST(ValueToString, StringStopsAtEmbeddedZero) {
  const OLECHAR raw[] = {L'a', 0, L'b'};
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(raw, 3);
  EXPECT_EQ(ValueToString(v).str(), L"a");
  VariantClear(&v);
}

TEST(ValueToString, KeepsCharactersOutsideAscii) {
  CVar v(Str(L"\u00E9\u4E2D\U0001F600"));
  EXPECT_EQ(ValueToString(*v).str(), L"\u00E9\u4E2D\U0001F600");
}

// ---- ValueToBool and ValueToInt ----

struct ScalarCase {
  Val value;
  bool as_bool;
  int32_t as_int;
};

const ScalarCase kScalarCases[] = {
    {Int(VT_I2, 0), false, 0},
    {Int(VT_I2, -3), true, -3},
    {I4(7), true, 7},
    {I4(0), false, 0},
    {Real(VT_R4, 2.9), true, 2},
    {Real(VT_R4, 0.0), false, 0},
    {R8(-2.7), true, -2},
    {R8(0.4), true, 0},  // true (not zero) though its integer is 0
    {R8(3e9), true, 2147483647},
    {R8(-3e9), true, -2147483647 - 1},
    {R8(kNaN), true, 0},
    {R8(kInf), true, 2147483647},
    {Int(VT_CY, 0x100000005LL), true, 5},  // low 32 bits
    {Int(VT_CY, -1), true, -1},
    {Int(VT_CY, 0), false, 0},
    {Int(VT_UI1, 255), true, 255},
    {Int(VT_UI2, 65535), true, 65535},
    {Int(VT_UI4, 4294967295LL), true, -1},
    {Int(VT_INT, -9), true, -9},
    {Int(VT_UINT, 3), true, 3},
    {Int(VT_I1, -5), false, -5},  // VT_I1 is not among the truth types
    {Real(VT_DATE, 0.0), true, 1},
    {Int(VT_ERROR, 0), true, 0},
    {Int(VT_ERROR, -2147467259), false, -2147467259},
    {Bool(-1), true, 1},
    {Bool(0), false, 0},
    {Bool(1), false, 0},  // only VARIANT_TRUE is true
    {Str(L"1"), false, 0},
    {Str(L"true"), false, 0},
    {Empty(), false, 0},
    {Null(), false, 0},
    {Int(VT_I8, 5), false, 0},
};

TEST(ValueToBoolAndInt, FollowTheTables) {
  for (const ScalarCase& c : kScalarCases) {
    SCOPED_TRACE(Describe(c.value));
    CVar v(c.value);
    EXPECT_EQ(ValueToBool(*v), c.as_bool);
    EXPECT_EQ(ValueToInt(*v), c.as_int);
  }
}

// ---- Arithmetic ----

enum class Op { kAdd, kSub, kMul, kDiv };

struct ArithmeticCase {
  Op op;
  Val left;
  Val right;
  Val result;
};

constexpr int64_t kIntMin = -2147483647LL - 1;
constexpr int64_t kIntMax = 2147483647LL;

const ArithmeticCase kArithmeticCases[] = {
    // Add, equal types.
    {Op::kAdd, I4(2), I4(3), I4(5)},
    {Op::kAdd, I4(kIntMax), I4(1), I4(kIntMin)},
    {Op::kAdd, Int(VT_UI4, 4294967295LL), Int(VT_UI4, 1), Int(VT_UI4, 0)},
    {Op::kAdd, Int(VT_INT, 2), Int(VT_INT, 3), Int(VT_INT, 5)},
    {Op::kAdd, Int(VT_UINT, 2), Int(VT_UINT, 3), Int(VT_UINT, 5)},
    {Op::kAdd, R8(1.5), R8(2.25), R8(3.75)},
    {Op::kAdd, Bool(-1), Bool(-1), Bool(-2)},                 // raw values
    {Op::kAdd, Int(VT_I2, 2), Int(VT_I2, 3), Int(VT_I2, 2)},  // not computed
    {Op::kAdd, Real(VT_R4, 1.5), Real(VT_R4, 1), Real(VT_R4, 1.5)},
    {Op::kAdd, Int(VT_UI1, 1), Int(VT_UI1, 2), Int(VT_UI1, 1)},
    {Op::kAdd, Int(VT_I1, 1), Int(VT_I1, 2), Int(VT_I1, 1)},
    {Op::kAdd, Int(VT_UI2, 1), Int(VT_UI2, 2), Int(VT_UI2, 1)},
    {Op::kAdd, Int(VT_CY, 1), Int(VT_CY, 2), Int(VT_CY, 1)},
    {Op::kAdd, Real(VT_DATE, 1), Real(VT_DATE, 2), Real(VT_DATE, 1)},
    {Op::kAdd, Int(VT_ERROR, 1), Int(VT_ERROR, 2), Int(VT_ERROR, 1)},
    // Add with a string: concatenation of the texts.
    {Op::kAdd, Str(L"abc"), I4(1), Str(L"abc1")},
    {Op::kAdd, I4(1), Str(L"abc"), Str(L"1abc")},
    {Op::kAdd, Str(L"a"), Str(L"b"), Str(L"ab")},
    {Op::kAdd, Str(L"a"), Empty(), Str(L"a")},
    {Op::kAdd, Empty(), Str(L"x"), Str(L"x")},
    {Op::kAdd, Str(nullptr), Str(L"b"), Str(L"b")},
    {Op::kAdd, Str(L"a"), R8(1), Str(L"a1.000000e+00")},
    {Op::kAdd, Str(L"a"), Bool(-1), Str(L"atrue")},
    {Op::kAdd, Str(L"a"), Null(), Str(L"aNOT_IMPL")},
    {Op::kAdd, Int(VT_I2, 7), Str(L"!"), Str(L"7!")},
    // Add to an empty left: a copy of the right side.
    {Op::kAdd, Empty(), I4(5), I4(5)},
    {Op::kAdd, Empty(), R8(2.5), R8(2.5)},
    {Op::kAdd, Empty(), Int(VT_I2, 4), Int(VT_I2, 4)},
    {Op::kAdd, Empty(), Empty(), Empty()},
    {Op::kAdd, Empty(), Null(), Null()},
    // Add, different types: result type by priority, only some operands count.
    {Op::kAdd, I4(5), R8(0.5), R8(5.5)},
    {Op::kAdd, Int(VT_I2, 5), I4(3), I4(3)},  // VT_I2 contributes nothing
    {Op::kAdd, I4(5), Int(VT_I2, 3), I4(5)},
    {Op::kAdd, Int(VT_UI4, 1), I4(-2), Int(VT_UI4, 4294967295LL)},
    {Op::kAdd, I4(1), Int(VT_UINT, 2), I4(3)},
    {Op::kAdd, Int(VT_INT, 1), Int(VT_UINT, 2), Int(VT_UINT, 3)},
    {Op::kAdd, Bool(-1), I4(1), I4(2)},
    {Op::kAdd, I4(1), Bool(0), I4(1)},
    {Op::kAdd, Bool(1), I4(1), I4(1)},  // not VARIANT_TRUE: counts 0
    {Op::kAdd, R8(1), Bool(-1), R8(2)},
    {Op::kAdd, Null(), I4(3), I4(3)},
    {Op::kAdd, Real(VT_DATE, 5), I4(2), I4(2)},
    {Op::kAdd, Int(VT_I2, 5), Int(VT_UI1, 3), Int(VT_I2, 5)},  // no result type: unchanged
    {Op::kAdd, Bool(-1), Int(VT_I2, 1), Bool(-1)},

    // Subtract: an empty left takes the right type first (so "-" negates).
    {Op::kSub, Empty(), I4(5), I4(-5)},
    {Op::kSub, Empty(), R8(2.5), R8(-2.5)},
    {Op::kSub, Empty(), Int(VT_I2, 3), Int(VT_I2, -3)},
    {Op::kSub, Empty(), Str(L"x"), Str(L"")},
    {Op::kSub, Empty(), Bool(-1), Bool(1)},
    {Op::kSub, Empty(), Int(VT_ERROR, 3), Empty()},  // that type change fails
    {Op::kSub, Empty(), Null(), Null()},
    {Op::kSub, Empty(), Int(VT_CY, 5), Int(VT_CY, 0)},  // VT_CY does not subtract
    // Subtract, equal types, in their own width.
    {Op::kSub, Int(VT_I2, 5), Int(VT_I2, 7), Int(VT_I2, -2)},
    {Op::kSub, Int(VT_I2, -32768), Int(VT_I2, 1), Int(VT_I2, 32767)},
    {Op::kSub, Int(VT_UI2, 0), Int(VT_UI2, 1), Int(VT_UI2, 65535)},
    {Op::kSub, Bool(0), Bool(-1), Bool(1)},
    {Op::kSub, I4(kIntMin), I4(1), I4(kIntMax)},
    {Op::kSub, Int(VT_UI4, 0), Int(VT_UI4, 1), Int(VT_UI4, 4294967295LL)},
    {Op::kSub, Int(VT_INT, 1), Int(VT_INT, 3), Int(VT_INT, -2)},
    {Op::kSub, Int(VT_UINT, 1), Int(VT_UINT, 3), Int(VT_UINT, 4294967294LL)},
    {Op::kSub, Real(VT_R4, 1.5), Real(VT_R4, 0.25), Real(VT_R4, 1.25)},
    {Op::kSub, R8(1.5), R8(0.25), R8(1.25)},
    {Op::kSub, Int(VT_I1, -128), Int(VT_I1, 1), Int(VT_I1, 127)},
    {Op::kSub, Int(VT_UI1, 0), Int(VT_UI1, 1), Int(VT_UI1, 255)},
    {Op::kSub, Int(VT_CY, 5), Int(VT_CY, 1), Int(VT_CY, 5)},
    {Op::kSub, Real(VT_DATE, 5), Real(VT_DATE, 1), Real(VT_DATE, 5)},
    {Op::kSub, Str(L"a"), Str(L"b"), Str(L"a")},
    {Op::kSub, Int(VT_ERROR, 5), Int(VT_ERROR, 1), Int(VT_ERROR, 5)},
    // Subtract, different types.
    {Op::kSub, I4(5), R8(0.5), R8(4.5)},
    {Op::kSub, Str(L"abc"), I4(3), I4(-3)},  // a string counts 0 on the left
    {Op::kSub, I4(3), Str(L"abc"), I4(3)},   // and is skipped on the right
    {Op::kSub, Int(VT_UI4, 1), I4(2), Int(VT_UI4, 4294967295LL)},
    {Op::kSub, I4(1), Bool(-1), I4(0)},

    // Multiply: an empty left becomes right's type with value 0.
    {Op::kMul, Empty(), I4(5), I4(0)},
    {Op::kMul, Empty(), R8(5), R8(0)},
    {Op::kMul, Empty(), Str(L"x"), Str(L"")},
    {Op::kMul, Empty(), Int(VT_ERROR, 3), Int(VT_ERROR, 0)},
    {Op::kMul, Empty(), Empty(), Empty()},
    {Op::kMul, Empty(), Int(VT_ARRAY | VT_I4, 0), Empty()},
    // Multiply, equal types (wrapping in their width).
    {Op::kMul, Int(VT_I2, 300), Int(VT_I2, 300), Int(VT_I2, 24464)},
    {Op::kMul, Int(VT_UI2, 65535), Int(VT_UI2, 65535), Int(VT_UI2, 1)},
    {Op::kMul, I4(65536), I4(65536), I4(0)},
    {Op::kMul, I4(-6), I4(7), I4(-42)},
    {Op::kMul, Int(VT_UI4, 65536), Int(VT_UI4, 65537), Int(VT_UI4, 65536)},
    {Op::kMul, Int(VT_INT, -3), Int(VT_INT, 3), Int(VT_INT, -9)},
    {Op::kMul, Int(VT_UINT, 3), Int(VT_UINT, 3), Int(VT_UINT, 9)},
    {Op::kMul, Real(VT_R4, 1.5), Real(VT_R4, 2), Real(VT_R4, 3)},
    {Op::kMul, R8(1.5), R8(2), R8(3)},
    {Op::kMul, Int(VT_I1, 16), Int(VT_I1, 16), Int(VT_I1, 0)},
    {Op::kMul, Int(VT_UI1, 16), Int(VT_UI1, 17), Int(VT_UI1, 16)},
    {Op::kMul, Bool(-1), Bool(-1), Bool(1)},
    {Op::kMul, Int(VT_CY, 2), Int(VT_CY, 3), Int(VT_CY, 2)},
    {Op::kMul, Str(L"a"), Str(L"b"), Str(L"a")},
    // Multiply, different types.
    {Op::kMul, I4(6), R8(0.5), R8(3)},
    {Op::kMul, Str(L"x"), I4(3), I4(0)},
    {Op::kMul, I4(6), Bool(-1), I4(6)},

    // Divide: an empty left becomes right's type with value 0.
    {Op::kDiv, Empty(), I4(5), I4(0)},
    {Op::kDiv, Empty(), I4(0), I4(0)},
    // Divide, equal types.
    {Op::kDiv, I4(7), I4(2), I4(3)},
    {Op::kDiv, I4(-7), I4(2), I4(-3)},  // toward zero
    {Op::kDiv, I4(kIntMin), I4(-1), I4(kIntMin)},
    {Op::kDiv, I4(7), I4(0), I4(7)},  // division by zero is skipped
    {Op::kDiv, Int(VT_INT, kIntMin), Int(VT_INT, -1), Int(VT_INT, kIntMin)},
    {Op::kDiv, Int(VT_INT, 7), Int(VT_INT, 0), Int(VT_INT, 7)},
    {Op::kDiv, Int(VT_UI4, 7), Int(VT_UI4, 2), Int(VT_UI4, 3)},
    {Op::kDiv, Int(VT_UI4, 4294967295LL), Int(VT_UI4, 2), Int(VT_UI4, 2147483647)},
    {Op::kDiv, Int(VT_UI4, 7), Int(VT_UI4, 0), Int(VT_UI4, 7)},
    {Op::kDiv, Int(VT_UINT, 4294967295LL), Int(VT_UINT, 16), Int(VT_UINT, 268435455)},
    {Op::kDiv, Int(VT_I2, -32768), Int(VT_I2, -1), Int(VT_I2, -32768)},
    {Op::kDiv, Int(VT_I2, -7), Int(VT_I2, 2), Int(VT_I2, -3)},
    {Op::kDiv, Int(VT_I2, 7), Int(VT_I2, 0), Int(VT_I2, 7)},
    {Op::kDiv, Bool(-1), Bool(-1), Bool(1)},
    {Op::kDiv, Bool(-1), Bool(0), Bool(-1)},
    {Op::kDiv, Real(VT_R4, 1), Real(VT_R4, 4), Real(VT_R4, 0.25)},
    {Op::kDiv, R8(1), R8(4), R8(0.25)},
    {Op::kDiv, R8(1), R8(0), R8(kInf)},
    {Op::kDiv, R8(0), R8(0), R8(kNaN)},
    {Op::kDiv, Int(VT_I1, -128), Int(VT_I1, -1), Int(VT_I1, -128)},
    {Op::kDiv, Int(VT_I1, -7), Int(VT_I1, 2), Int(VT_I1, -3)},
    {Op::kDiv, Int(VT_I1, 7), Int(VT_I1, 0), Int(VT_I1, 7)},
    {Op::kDiv, Int(VT_UI1, 200), Int(VT_UI1, 3), Int(VT_UI1, 66)},
    {Op::kDiv, Int(VT_UI1, 200), Int(VT_UI1, 0), Int(VT_UI1, 200)},
    {Op::kDiv, Int(VT_UI2, 60000), Int(VT_UI2, 7), Int(VT_UI2, 8571)},
    {Op::kDiv, Int(VT_CY, 6), Int(VT_CY, 3), Int(VT_CY, 6)},
    {Op::kDiv, Str(L"a"), Str(L"b"), Str(L"a")},
    // Divide, different types: booleans are skipped, a zero integer divisor too.
    {Op::kDiv, I4(7), Int(VT_UINT, 0), I4(7)},
    {Op::kDiv, I4(7), Bool(-1), I4(7)},
    {Op::kDiv, Bool(-1), I4(1), I4(0)},
    {Op::kDiv, R8(7), I4(2), R8(3.5)},
    {Op::kDiv, I4(7), R8(2), R8(3.5)},
    {Op::kDiv, Int(VT_UI4, 7), I4(-1), Int(VT_UI4, 0)},
    {Op::kDiv, I4(kIntMin), Int(VT_INT, -1), I4(kIntMin)},
    {Op::kDiv, Int(VT_INT, 9), Int(VT_UI4, 0), Int(VT_UI4, 9)},
};

HRESULT Apply(Op op, VARIANT* left, const VARIANT& right) {
  switch (op) {
    case Op::kAdd:
      return AddValue(left, right);
    case Op::kSub:
      return SubtractValue(left, right);
    case Op::kMul:
      return MultiplyValue(left, right);
    case Op::kDiv:
      return DivideValue(left, right);
  }
  return E_FAIL;
}

const char* Name(Op op) {
  static const char* const kNames[] = {"add", "subtract", "multiply", "divide"};
  return kNames[static_cast<int>(op)];
}

TEST(Arithmetic, FollowsTheTables) {
  for (const ArithmeticCase& c : kArithmeticCases) {
    SCOPED_TRACE(testing::Message()
                 << Describe(c.left) << " " << Name(c.op) << " " << Describe(c.right));
    CVar left(c.left), right(c.right);
    ASSERT_EQ(Apply(c.op, left.get(), *right), S_OK);
    EXPECT_TRUE(SameValue(*left, c.result))
        << "got " << Describe(*left) << ", want " << Describe(c.result);
    EXPECT_TRUE(SameValue(*right, c.right)) << "right side changed";
  }
}

TEST(Arithmetic, RightSideMayBeTheLeftSide) {
  CVar s(Str(L"ab"));
  ASSERT_EQ(AddValue(s.get(), *s), S_OK);
  EXPECT_EQ(BstrText(s.get()->bstrVal), L"abab");

  CVar n(I4(21));
  ASSERT_EQ(AddValue(n.get(), *n), S_OK);
  EXPECT_EQ(n.get()->lVal, 42);
  ASSERT_EQ(DivideValue(n.get(), *n), S_OK);
  EXPECT_EQ(n.get()->lVal, 1);

  CVar e;
  ASSERT_EQ(SubtractValue(e.get(), *e), S_OK);
  EXPECT_EQ(e.get()->vt, VT_EMPTY);
}

TEST(Arithmetic, NullLeftIsRejected) {
  CVar right(I4(1));
  EXPECT_EQ(AddValue(nullptr, *right), E_POINTER);
  EXPECT_EQ(SubtractValue(nullptr, *right), E_POINTER);
  EXPECT_EQ(MultiplyValue(nullptr, *right), E_POINTER);
  EXPECT_EQ(DivideValue(nullptr, *right), E_POINTER);
}

TEST(Arithmetic, ConcatenationKeepsCharactersOutsideAscii) {
  CVar left(Str(L"\u00E9")), right(Str(L"\U0001F600"));
  ASSERT_EQ(AddValue(left.get(), *right), S_OK);
  EXPECT_EQ(BstrText(left.get()->bstrVal), L"\u00E9\U0001F600");
}

// ---- Comparisons ----

struct CompareCase {
  Val left;
  Val right;
  int sign;  // of the difference the comparisons are built on
};

const CompareCase kCompareCases[] = {
    {I4(1), I4(2), -1},
    {I4(2), I4(2), 0},
    {I4(3), I4(2), 1},
    {R8(1.2), R8(1.9), 0},  // reals that differ by less than 1 are equal
    {R8(1), R8(2.5), -1},
    {R8(3e9), I4(0), 1},  // saturated, not wrapped
    {R8(-3e9), I4(0), -1},
    {Str(L"a"), Str(L"b"), 0},  // any two strings are equal
    {Str(L"abc"), I4(5), -1},   // a string counts as 0
    {I4(5), Str(L"5"), 1},
    {Empty(), I4(3), -1},
    {I4(0), Empty(), 0},
    {Empty(), Empty(), 0},
    {Bool(-1), Bool(0), 1},
    {Bool(0), Bool(-1), 0},  // 0 - (-1) is a raw VT_BOOL 1, whose integer is 0
    {Int(VT_I2, 1), Int(VT_I2, 5), -1},
    {Int(VT_UI1, 1), Int(VT_UI1, 5), 1},  // 1 - 5 wraps to 252 in 8 bits
    {I4(kIntMax), I4(-1), -1},            // the 32-bit difference wraps
    {Real(VT_DATE, 9), I4(1), -1},
    {Int(VT_CY, 5), Int(VT_CY, 9), 1},  // VT_CY does not subtract: d is the left's low bits
};

TEST(Comparisons, AreTheSignOfTheDifference) {
  for (const CompareCase& c : kCompareCases) {
    SCOPED_TRACE(testing::Message() << Describe(c.left) << " vs " << Describe(c.right));
    CVar left(c.left), right(c.right);
    EXPECT_EQ(LessValue(*left, *right), c.sign < 0);
    EXPECT_EQ(GreaterValue(*left, *right), c.sign > 0);
    EXPECT_EQ(EqualValue(*left, *right), c.sign == 0);
    EXPECT_EQ(LessEqualValue(*left, *right), c.sign <= 0);
    EXPECT_EQ(GreaterEqualValue(*left, *right), c.sign >= 0);
    EXPECT_TRUE(SameValue(*left, c.left)) << "left side changed";
  }
}

// ---- The "!=" comparison ----

struct DifferCase {
  Val left;
  Val right;
  HRESULT compare;  // CompareSameTypeValues; ignored for different types
  bool differ;
};

const DifferCase kDifferCases[] = {
    {I4(1), Int(VT_I2, 1), DISP_E_TYPEMISMATCH, true},  // types differ
    {Str(L"1"), I4(1), DISP_E_TYPEMISMATCH, true},
    {Null(), Null(), VARCMP_NULL, false},
    {Empty(), Empty(), VARCMP_EQ, false},
    {I4(1), I4(1), VARCMP_EQ, false},
    {I4(1), I4(2), VARCMP_LT, true},
    {I4(2), I4(-1), VARCMP_GT, true},
    {Int(VT_I2, 5), Int(VT_I2, 5), VARCMP_EQ, false},
    {Int(VT_UI1, 200), Int(VT_UI1, 3), VARCMP_GT, true},
    {Bool(-1), Bool(0), VARCMP_LT, true},  // true is -1
    {Bool(-1), Bool(-1), VARCMP_EQ, false},
    {R8(0.5), R8(0.5), VARCMP_EQ, false},
    {R8(0.0), R8(-0.0), VARCMP_EQ, false},
    {R8(1.0), R8(1.0000000000000002), VARCMP_LT, true},
    {R8(kNaN), R8(kNaN), VARCMP_GT, true},
    {Real(VT_R4, 1.5), Real(VT_R4, 1.5), VARCMP_EQ, false},
    {Real(VT_DATE, 1.5), Real(VT_DATE, 1.25), VARCMP_GT, true},
    {Int(VT_CY, 5), Int(VT_CY, 6), VARCMP_LT, true},
    {Int(VT_ERROR, 1), Int(VT_ERROR, 2), VARCMP_EQ, false},  // errors always compare equal
    {Str(L"abc"), Str(L"abc"), VARCMP_EQ, false},
    {Str(L"abc"), Str(L"abd"), VARCMP_LT, true},
    {Str(L"abc"), Str(L"ABC"), VARCMP_GT, true},  // case matters
    {Str(L"a"), Str(L""), VARCMP_GT, true},
    {Str(L""), Str(nullptr), VARCMP_EQ, false},  // null is the empty string
    {Str(nullptr), Str(nullptr), VARCMP_EQ, false},
    // Types the platform's comparison refuses: even equal values differ.
    {Int(VT_UI4, 5), Int(VT_UI4, 5), DISP_E_TYPEMISMATCH, true},
    {Int(VT_UI2, 5), Int(VT_UI2, 5), DISP_E_TYPEMISMATCH, true},
    {Int(VT_I1, 5), Int(VT_I1, 5), DISP_E_TYPEMISMATCH, true},
    {Int(VT_INT, 5), Int(VT_INT, 5), DISP_E_BADVARTYPE, true},
    {Int(VT_UINT, 5), Int(VT_UINT, 5), DISP_E_BADVARTYPE, true},
    {Int(VT_ARRAY | VT_I4, 0), Int(VT_ARRAY | VT_I4, 0), DISP_E_BADVARTYPE, true},
    {Int(VT_DISPATCH, 0), Int(VT_DISPATCH, 0), DISP_E_TYPEMISMATCH, true},
};

TEST(ValuesDiffer, FollowsThePlatformComparison) {
  for (const DifferCase& c : kDifferCases) {
    SCOPED_TRACE(testing::Message() << Describe(c.left) << " vs " << Describe(c.right));
    CVar left(c.left), right(c.right);
    EXPECT_EQ(CompareSameTypeValues(*left, *right), c.compare);
    EXPECT_EQ(ValuesDiffer(*left, *right), c.differ);
  }
}

TEST(ValuesDiffer, StringsWithEmbeddedZerosCompareWhole) {
  const OLECHAR a[] = {L'a', 0, L'b'};
  const OLECHAR b[] = {L'a', 0, L'c'};
  VARIANT l, r;
  VariantInit(&l);
  VariantInit(&r);
  l.vt = r.vt = VT_BSTR;
  l.bstrVal = SysAllocStringLen(a, 3);
  r.bstrVal = SysAllocStringLen(b, 3);
  EXPECT_EQ(CompareSameTypeValues(l, r), VARCMP_LT);
  EXPECT_TRUE(ValuesDiffer(l, r));
  VariantClear(&l);
  VariantClear(&r);
}

TEST(ValuesDiffer, IsNotTheNegationOfEqual) {
  // "==" treats any two strings as equal; "!=" compares their text.
  CVar a(Str(L"red")), b(Str(L"blue"));
  EXPECT_TRUE(EqualValue(*a, *b));
  EXPECT_TRUE(ValuesDiffer(*a, *b));
}

}  // namespace
