// The script's expression language.
//
// An expression is read strictly from left to right; every operator has the same precedence and
// parentheses are the only grouping (2 + 3 * 4 is 20). Operands are decimal integer literals,
// string literals in single or double quotes (UTF-8, a doubled quote stands for one), variables and
// parenthesised sub-expressions. name(...) runs a script function: its argument text is evaluated
// and discarded, and the call itself yields no operand. Operators: + - * / (the arithmetic of
// script/value.h) and < > = <= >= (which replace the accumulated value by a VT_BOOL). The last
// operator stays in force, so two operands in a row are combined with it ("3 4" is 7); the first
// operand is added to an empty value, so a leading "-" negates. Other characters are skipped.
#pragma once

#include "platform/oleauto.h"

// What an expression needs from the script engine: variables and script functions. The engine
// implements it on top of the scope the expression runs in.
class IExpressionHost {
 public:
  virtual ~IExpressionHost() = default;

  // Copies the value of variable `name` (zero-terminated, case-sensitive) into *value, which is
  // VT_EMPTY on entry. The caller owns what is stored and clears it. A failure status means there
  // is no such variable (whatever was stored is cleared by the caller).
  virtual HRESULT LookupVariable(const char* name, VARIANT* value) = 0;

  // Runs the script function `name` (zero-terminated, case-sensitive). A failure status means the
  // function could not be run. May evaluate further expressions on the same host.
  virtual HRESULT RunScriptFunction(const char* name) = 0;
};

// Deepest nesting of parentheses (sub-expressions and argument lists) Evaluate accepts. Deeper
// expressions fail with E_FAIL rather than exhausting the stack.
constexpr int kMaxExpressionNesting = 256;

// Evaluates the zero-terminated text `expression`.
//
// `cursor`, when not null and *cursor is not null, gives the position inside `expression` where
// reading starts. Reading ends at the end of the text or after a ")" that closes nothing; on
// success *cursor (when `cursor` is not null) is set to the position after the last character
// consumed.
//
// `value` must hold an initialised VARIANT. On success its previous content is released and
// replaced by the result (VT_EMPTY for an expression without operands); on failure neither `value`
// nor *cursor is written.
//
// `host` may be null; then every variable reference and function call fails.
//
// Returns S_OK, or:
//   E_POINTER     null `expression` or `value`;
//   E_FAIL        an unknown variable, a failed function call, a number literal with a dot, a
//                 "(" or argument list not closed by ")", or nesting deeper than
//                 kMaxExpressionNesting;
//   E_OUTOFMEMORY a string could not be allocated.
HRESULT Evaluate(const char* expression, IExpressionHost* host, VARIANT* value,
                 const char** cursor);
