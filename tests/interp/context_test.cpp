// Variable scopes on their own: declaration, lookup and assignment along the parent chain.
#include "script/context.h"

#include <gtest/gtest.h>

#include "interp/script_fixture.h"

namespace {

using script_test::Show;
using script_test::Variant;

void SetInt(VARIANT* v, int32_t n) {
  VariantClear(v);
  v->vt = VT_I4;
  v->lVal = n;
}

std::string Lookup(CExecContext& scope, const char* name) {
  Variant v;
  HRESULT hr = scope.LookupVariable(name, &v.v);
  return FAILED(hr) ? "<none>" : Show(v.v);
}

TEST(ExecContextTest, DeclareLookupAndAssignAlongTheChain) {
  CExecContext outer;
  CExecContext inner(&outer);
  Variant one, two, three;
  SetInt(&one.v, 1);
  SetInt(&two.v, 2);
  SetInt(&three.v, 3);

  EXPECT_EQ(outer.DeclareVariable("g", &one.v), S_OK);
  EXPECT_EQ(inner.DeclareVariable("l", &two.v), S_OK);
  // A second declaration in the same scope is refused and changes nothing.
  EXPECT_EQ(outer.DeclareVariable("g", &three.v), E_FAIL);
  EXPECT_EQ(Lookup(outer, "g"), "1");

  EXPECT_EQ(Lookup(inner, "g"), "1");       // found in the parent
  EXPECT_EQ(Lookup(outer, "l"), "<none>");  // never in a child
  EXPECT_EQ(Lookup(inner, "G"), "<none>");  // names are case-sensitive

  // Assignment reaches the scope that has the name...
  EXPECT_EQ(inner.AssignVariable("g", &three.v), S_OK);
  EXPECT_EQ(Lookup(outer, "g"), "3");
  EXPECT_FALSE(inner.HasOwnVariable("g"));
  // ...and creates nothing when no scope has it.
  EXPECT_EQ(inner.AssignVariable("missing", &three.v), E_FAIL);
  EXPECT_EQ(Lookup(inner, "missing"), "<none>");

  // A declaration in the inner scope shadows the outer one.
  EXPECT_EQ(inner.DeclareVariable("g", &one.v), S_OK);
  EXPECT_EQ(inner.AssignVariable("g", &two.v), S_OK);
  EXPECT_EQ(Lookup(inner, "g"), "2");
  EXPECT_EQ(Lookup(outer, "g"), "3");
}

TEST(ExecContextTest, DeclarationTrimsTheNameAndRefusesEmptyOnes) {
  CExecContext scope;
  Variant v;
  SetInt(&v.v, 7);
  EXPECT_EQ(scope.DeclareVariable("  spaced\t", &v.v), S_OK);
  EXPECT_EQ(Lookup(scope, "spaced"), "7");
  // The trimmed name exists: a declaration under another spelling of it is refused.
  EXPECT_EQ(scope.DeclareVariable("spaced ", &v.v), E_FAIL);
  EXPECT_EQ(scope.DeclareVariable("   ", &v.v), E_INVALIDARG);
  EXPECT_EQ(scope.DeclareVariable(nullptr, &v.v), E_POINTER);
  EXPECT_EQ(scope.LookupVariable(nullptr, &v.v), E_POINTER);
  EXPECT_EQ(scope.AssignVariable("spaced", nullptr), E_POINTER);
}

TEST(ExecContextTest, StoredStringsAreCopies) {
  CExecContext scope;
  Variant s;
  s.v.vt = VT_BSTR;
  s.v.bstrVal = SysAllocString(L"text");
  ASSERT_EQ(scope.DeclareVariable("s", &s.v), S_OK);
  VariantClear(&s.v);  // the caller's value goes away; the scope keeps its own
  EXPECT_EQ(Lookup(scope, "s"), "'text'");
}

TEST(MainFrameCtxTest, AnswersCurrentTimeAndKeepsOrdinaryVariables) {
  CMainFrameCtx frame([](CSmallWStr* text) -> HRESULT {
    *text = L"09:05";
    return S_OK;
  });
  CExecContext child(&frame);
  EXPECT_EQ(Lookup(child, "CURRENTTIME"), "'09:05'");
  EXPECT_EQ(Lookup(child, "currenttime"), "<none>");  // exact name only

  // It is not a variable: it cannot be assigned, and a variable of that name in a nearer scope
  // hides it.
  Variant v;
  SetInt(&v.v, 1);
  EXPECT_EQ(child.AssignVariable("CURRENTTIME", &v.v), E_FAIL);
  EXPECT_EQ(child.DeclareVariable("CURRENTTIME", &v.v), S_OK);
  EXPECT_EQ(Lookup(child, "CURRENTTIME"), "1");

  EXPECT_EQ(frame.DeclareVariable("x", &v.v), S_OK);
  EXPECT_EQ(Lookup(child, "x"), "1");
}

TEST(MainFrameCtxTest, DefaultFormatterGivesHoursAndMinutes) {
  CMainFrameCtx frame;
  Variant v;
  ASSERT_EQ(frame.LookupVariable("CURRENTTIME", &v.v), S_OK);
  ASSERT_EQ(v.v.vt, VT_BSTR);
  std::string text = Show(v.v);  // 'HH:MM'
  ASSERT_EQ(text.size(), 7u) << text;
  EXPECT_EQ(text[3], ':');
}

}  // namespace
