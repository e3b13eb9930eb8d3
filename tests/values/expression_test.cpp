// The expression language, evaluated against a small fake host: a map of variables and a record of
// the script functions called.
#include "script/expression.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "script/value.h"
#include "variant_test_util.h"

namespace {

using namespace values_test;

class CFakeHost : public IExpressionHost {
 public:
  void Set(const std::string& name, const Val& value) {
    vars_[name] = std::make_unique<CVar>(value);
  }
  // A function that can be called; `body` (optional) runs when it is.
  void Define(const std::string& name, std::function<HRESULT()> body = nullptr) {
    functions_[name] = std::move(body);
  }

  HRESULT LookupVariable(const char* name, VARIANT* value) override {
    lookups.push_back(name);
    auto it = vars_.find(name);
    if (it == vars_.end()) return E_FAIL;
    EXPECT_EQ(value->vt, VT_EMPTY);
    return VariantCopy(value, it->second->get());
  }

  HRESULT RunScriptFunction(const char* name) override {
    calls.push_back(name);
    auto it = functions_.find(name);
    if (it == functions_.end()) return E_FAIL;
    return it->second ? it->second() : S_OK;
  }

  CVar* Var(const std::string& name) { return vars_.at(name).get(); }

  std::vector<std::string> lookups;
  std::vector<std::string> calls;

 private:
  std::map<std::string, std::unique_ptr<CVar>> vars_;
  std::map<std::string, std::function<HRESULT()>> functions_;
};

struct EvalCase {
  const char* expression;
  HRESULT hr;
  Val result;  // when hr is S_OK
};

const Val kAny = Empty();

const EvalCase kEvalCases[] = {
    // No precedence, left to right; parentheses group.
    {"1 + 2 * 3", S_OK, I4(9)},
    {"1 + (2 * 3)", S_OK, I4(7)},
    {"2 + 3 * 4", S_OK, I4(20)},
    {"10 - 3 - 2", S_OK, I4(5)},
    {"((2))", S_OK, I4(2)},
    {"(1 + 2) * (3 + 4)", S_OK, I4(21)},
    {"7 / 2", S_OK, I4(3)},
    {"5 / 0", S_OK, I4(5)},
    // The first operand is added to an empty value; the last operator stays in force.
    {"-5", S_OK, I4(-5)},
    {"- 5 + 1", S_OK, I4(-4)},
    {"3 4", S_OK, I4(7)},
    {"10 - 3 2", S_OK, I4(5)},
    {"*5", S_OK, I4(0)},
    {"1 < 2 3", S_OK, Bool(-1)},  // true compared again: 1 - 3 < 0
    // Literals.
    {"0", S_OK, I4(0)},
    {"007", S_OK, I4(7)},
    {"2147483647", S_OK, I4(2147483647)},
    {"99999999999999", S_OK, I4(2147483647)},  // saturates
    {"2.5", E_FAIL, kAny},
    {".", E_FAIL, kAny},
    {"1.2.3", E_FAIL, kAny},
    {"1 + .5", E_FAIL, kAny},
    {"'abc'", S_OK, Str(L"abc")},
    {"\"abc\"", S_OK, Str(L"abc")},
    {"''", S_OK, Str(L"")},
    {"'it''s'", S_OK, Str(L"it's")},
    {"'it''''s'", S_OK, Str(L"it's")},  // doubled quotes collapse run by run
    {"\"say \"\"hi\"\"\"", S_OK, Str(L"say \"hi\"")},
    {"'a\"b'", S_OK, Str(L"a\"b")},
    {"'abc", S_OK, Str(L"abc")},  // unclosed: the rest of the text
    {"'ab) + 1", S_OK, Str(L"ab) + 1")},
    {"'\xC3\xA9\xE6\x97\xA5'", S_OK, Str(L"\u00E9\u65E5")},  // UTF-8
    {"'\xF0\x9F\x98\x80'", S_OK, Str(L"\U0001F600")},
    {"'a\xFF'", S_OK, Str(L"a\uFFFD")},
    // Strings and numbers.
    {"'abc' + 1", S_OK, Str(L"abc1")},
    {"1 + 'abc'", S_OK, Str(L"1abc")},
    {"'a' 'b'", S_OK, Str(L"ab")},
    {"-'abc'", S_OK, Str(L"")},
    {"'abc' - 1", S_OK, I4(-1)},
    // Comparisons.
    {"'a' = 'b'", S_OK, Bool(-1)},
    {"5 = '5'", S_OK, Bool(0)},
    {"1 < 2", S_OK, Bool(-1)},
    {"2 < 1", S_OK, Bool(0)},
    {"2 > 1", S_OK, Bool(-1)},
    {"1 <= 1", S_OK, Bool(-1)},
    {"1 >= 2", S_OK, Bool(0)},
    {"2 >= 2", S_OK, Bool(-1)},
    {"1 = 1", S_OK, Bool(-1)},
    {"1 == 1", S_OK, Bool(-1)},
    {"1 != 2", S_OK, Bool(0)},   // '!' means nothing: this is 1 = 2
    {"1 < = 2", S_OK, Bool(0)},  // '=' after a space is plain equality
    {"(1 < 2) + 1", S_OK, I4(2)},
    // Other characters are skipped.
    {"", S_OK, Empty()},
    {"   ", S_OK, Empty()},
    {"()", S_OK, Empty()},
    {"1 & 2", S_OK, I4(3)},
    {"1 \xC3\xA9 2", S_OK, I4(3)},
    {"\t1\n+\r2", S_OK, I4(3)},
    // A ')' that closes nothing ends the evaluation.
    {"1) + 2", S_OK, I4(1)},
    {")", S_OK, Empty()},
    // Unclosed groups fail.
    {"(1", E_FAIL, kAny},
    {"((1)", E_FAIL, kAny},
    {"1 + (2", E_FAIL, kAny},
    // Variables (host: n = 5, s = "x", t = true, my = 1, var = 2, empty = VT_EMPTY).
    {"n", S_OK, I4(5)},
    {"n ", S_OK, I4(5)},
    {"n + 1", S_OK, I4(6)},
    {"n*n", S_OK, I4(25)},
    {"s + n", S_OK, Str(L"x5")},
    {"t", S_OK, Bool(-1)},
    {"my_var", S_OK, I4(3)},  // '_' ends a name: "my" then "var"
    {"empty + 1", S_OK, I4(1)},
    {"x", E_FAIL, kAny},
    {"x ", E_FAIL, kAny},
    {"1 + x", E_FAIL, kAny},
    {"N", E_FAIL, kAny},     // names are case-sensitive
    {"true", E_FAIL, kAny},  // no boolean literals
    // Function calls yield no operand.
    {"f()", S_OK, Empty()},
    {"1 + f()", S_OK, I4(1)},
    {"f() + 1", S_OK, I4(1)},
    {"f (1)", S_OK, Empty()},
    {"f(1", E_FAIL, kAny},
    {"nosuch()", E_FAIL, kAny},
    {"f(x)", E_FAIL, kAny},
};

class ExpressionTest : public testing::Test {
 protected:
  ExpressionTest() {
    host.Set("n", I4(5));
    host.Set("s", Str(L"x"));
    host.Set("t", Bool(-1));
    host.Set("my", I4(1));
    host.Set("var", I4(2));
    host.Set("empty", Empty());
    host.Define("f");
  }
  CFakeHost host;
};

TEST_F(ExpressionTest, EvaluatesByTheLanguageRules) {
  for (const EvalCase& c : kEvalCases) {
    SCOPED_TRACE(c.expression);
    CVar out;
    const HRESULT hr = Evaluate(c.expression, &host, out.get(), nullptr);
    ASSERT_EQ(hr, c.hr);
    if (SUCCEEDED(hr)) {
      EXPECT_TRUE(SameValue(*out, c.result))
          << "got " << Describe(*out) << ", want " << Describe(c.result);
    } else {
      EXPECT_EQ(out.get()->vt, VT_EMPTY) << "out value written on failure";
    }
  }
}

TEST_F(ExpressionTest, NameAfterItsSpacesIsLookedUpOnce) {
  CVar out;
  ASSERT_EQ(Evaluate("n  + my", &host, out.get(), nullptr), S_OK);
  EXPECT_EQ(host.lookups, (std::vector<std::string>{"n", "my"}));
  EXPECT_EQ(out.get()->lVal, 6);
}

TEST_F(ExpressionTest, CallsRunInTextOrderArgumentsFirst) {
  host.Define("g");
  CVar out;
  ASSERT_EQ(Evaluate("f() + g(f(), 1)", &host, out.get(), nullptr), S_OK);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"f", "f", "g"}));
  EXPECT_EQ(out.get()->vt, VT_EMPTY);
}

TEST_F(ExpressionTest, FailedArgumentsSkipTheCall) {
  CVar out;
  EXPECT_EQ(Evaluate("f(x)", &host, out.get(), nullptr), E_FAIL);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(Evaluate("f(1", &host, out.get(), nullptr), E_FAIL);
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(ExpressionTest, FunctionEffectsAreSeenByLaterOperands) {
  host.Define("inc", [this] {
    CVar one(I4(1));
    return AddValue(host.Var("n")->get(), *one);
  });
  CVar out;
  ASSERT_EQ(Evaluate("n + inc() + n", &host, out.get(), nullptr), S_OK);
  EXPECT_EQ(out.get()->lVal, 5 + 6);
}

TEST_F(ExpressionTest, FunctionsMayEvaluateExpressionsThemselves) {
  host.Define("nested", [this] {
    CVar inner;
    HRESULT hr = Evaluate("n * 2", &host, inner.get(), nullptr);
    if (FAILED(hr)) return hr;
    return VariantCopy(host.Var("n")->get(), inner.get());
  });
  CVar out;
  ASSERT_EQ(Evaluate("nested() n", &host, out.get(), nullptr), S_OK);
  EXPECT_EQ(out.get()->lVal, 10);
}

TEST_F(ExpressionTest, ReplacesThePreviousOutValue) {
  CVar out(Str(L"previous"));  // released by Evaluate, or the leak checker complains
  ASSERT_EQ(Evaluate("1 + 1", &host, out.get(), nullptr), S_OK);
  ASSERT_EQ(out.get()->vt, VT_I4);
  EXPECT_EQ(out.get()->lVal, 2);
}

TEST_F(ExpressionTest, FailureLeavesOutValueAndCursorAlone) {
  const char* text = "1 + x";
  const char* cursor = text;
  CVar out(I4(77));
  EXPECT_EQ(Evaluate(text, &host, out.get(), &cursor), E_FAIL);
  EXPECT_EQ(out.get()->lVal, 77);
  EXPECT_EQ(cursor, text);
}

TEST_F(ExpressionTest, CursorGivesStartAndReceivesEnd) {
  const char* text = "skip 1 + 2";
  const char* cursor = text + 5;
  CVar out;
  ASSERT_EQ(Evaluate(text, &host, out.get(), &cursor), S_OK);
  EXPECT_EQ(out.get()->lVal, 3);
  EXPECT_EQ(cursor, text + 10);

  // A stray ')' stops the evaluation just after itself.
  const char* text2 = "1) + 2";
  const char* cursor2 = nullptr;  // null: start at the beginning
  ASSERT_EQ(Evaluate(text2, &host, out.get(), &cursor2), S_OK);
  EXPECT_EQ(out.get()->lVal, 1);
  EXPECT_EQ(cursor2, text2 + 2);
  // Going on from there evaluates the rest.
  ASSERT_EQ(Evaluate(text2, &host, out.get(), &cursor2), S_OK);
  EXPECT_EQ(out.get()->lVal, 2);
  EXPECT_EQ(cursor2, text2 + 6);

  // A name at the end consumes the spaces after it.
  const char* text3 = "n   ";
  const char* cursor3 = nullptr;
  ASSERT_EQ(Evaluate(text3, &host, out.get(), &cursor3), S_OK);
  EXPECT_EQ(cursor3, text3 + 4);
}

TEST(Expression, WorksWithoutHostUntilANameAppears) {
  CVar out;
  ASSERT_EQ(Evaluate("1 + 2", nullptr, out.get(), nullptr), S_OK);
  EXPECT_EQ(out.get()->lVal, 3);
  EXPECT_EQ(Evaluate("a", nullptr, out.get(), nullptr), E_FAIL);
  EXPECT_EQ(Evaluate("f()", nullptr, out.get(), nullptr), E_FAIL);
}

TEST(Expression, RejectsNullArguments) {
  CVar out;
  EXPECT_EQ(Evaluate(nullptr, nullptr, out.get(), nullptr), E_POINTER);
  EXPECT_EQ(Evaluate("1", nullptr, nullptr, nullptr), E_POINTER);
}

std::string Nested(int depth, const std::string& open, const std::string& inner) {
  std::string s;
  for (int i = 0; i < depth; ++i) s += open;
  s += inner;
  s.append(static_cast<size_t>(depth), ')');
  return s;
}

TEST_F(ExpressionTest, NestingIsBounded) {
  CVar out;
  ASSERT_EQ(Evaluate(Nested(kMaxExpressionNesting, "(", "1+1").c_str(), &host, out.get(), nullptr),
            S_OK);
  EXPECT_EQ(out.get()->lVal, 2);
  EXPECT_EQ(
      Evaluate(Nested(kMaxExpressionNesting + 1, "(", "1").c_str(), &host, out.get(), nullptr),
      E_FAIL);
  // Hostile depth fails cleanly instead of exhausting the stack.
  EXPECT_EQ(Evaluate(Nested(100000, "(", "1").c_str(), &host, out.get(), nullptr), E_FAIL);
  EXPECT_EQ(Evaluate(std::string(100000, '(').c_str(), &host, out.get(), nullptr), E_FAIL);
  // Argument lists count as nesting too.
  EXPECT_EQ(Evaluate(Nested(100000, "f(", "").c_str(), &host, out.get(), nullptr), E_FAIL);
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(ExpressionTest, LongFlatExpressionsNeedNoNesting) {
  std::string text = "0";
  for (int i = 0; i < 20000; ++i) text += " + 1";
  CVar out;
  ASSERT_EQ(Evaluate(text.c_str(), &host, out.get(), nullptr), S_OK);
  EXPECT_EQ(out.get()->lVal, 20000);
}

TEST_F(ExpressionTest, LiteralWithManyDoubledQuotes) {
  // 'a''b''...': every doubled quote stands for one.
  std::string text = "'";
  std::wstring want;
  for (int i = 0; i < 5000; ++i) {
    text += "x''";
    want += L"x'";
  }
  text += "'";
  CVar out;
  ASSERT_EQ(Evaluate(text.c_str(), &host, out.get(), nullptr), S_OK);
  EXPECT_EQ(BstrText(out.get()->bstrVal), want);
}

}  // namespace
