// Script values: conversion, arithmetic and comparison of VARIANTs by the script engine's own
// rules.
//
// The script language computes with OLE Automation VARIANTs but not by the platform's rules: each
// operation below knows a fixed set of types and leaves everything else alone. The rules are part
// of the language that game scripts were written against, quirks included (for example, any two
// strings compare equal, and adding two VT_I2 values changes nothing), so they are kept exactly.
//
// Types the engine distinguishes: VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE,
// VT_BSTR, VT_ERROR, VT_BOOL, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_INT, VT_UINT.
//
// Integer arithmetic wraps around in the width of the type (two's complement), so it never traps.
// Integer division by zero is not carried out: the division step is skipped, which leaves the left
// side unchanged when both sides have the same type (and, for mixed types, gives the left operand
// converted to the result type). INT_MIN / -1 gives INT_MIN (the wrapped quotient). Real division
// by zero follows IEEE arithmetic (infinity or NaN).
//
// Ownership: `left` arguments are initialised VARIANTs owned by the caller; an operation that
// replaces the left value releases what it held first. `right` arguments are only read and may be
// the same object as `left`.
#pragma once

#include <cstdint>

#include "platform/oleauto.h"
#include "script/smallstr.h"

// The value as text:
//   VT_BSTR: the string itself (a null BSTR gives a string without text; characters after an
//            embedded zero are not part of it); VT_EMPTY: empty;
//   VT_I2, VT_I4, VT_ERROR, VT_INT, VT_UI1: signed decimal; VT_UI2, VT_UI4, VT_UINT: unsigned
//   decimal; VT_R4: printf "%f"; VT_R8: printf "%e" (two-digit exponent at least; non-finite values
//   as "inf", "-inf", "nan"); VT_CY: the raw 64-bit integer (not divided by 10000);
//   VT_DATE: "VT_DATE"; VT_BOOL: "true" for VARIANT_TRUE, otherwise "false";
//   every other type (VT_NULL, VT_I1, arrays, references, objects...): "NOT_IMPL".
CSmallWStr ValueToString(const VARIANT& value);

// Numbers (VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_UI1, VT_UI2, VT_UI4, VT_INT, VT_UINT) are true
// when not zero (NaN is not zero); VT_DATE is always true; VT_ERROR is true when the status is not
// negative; VT_BOOL only for VARIANT_TRUE; every other type, strings included, is false.
bool ValueToBool(const VARIANT& value);

// Integers of every width (VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT) as their
// value, unsigned ones reinterpreted as 32-bit signed; VT_CY its low 32 bits; VT_ERROR its status;
// VT_R4 and VT_R8 truncated toward zero, saturated at INT32_MIN/INT32_MAX, NaN giving 0; VT_DATE 1;
// VT_BOOL 1 for VARIANT_TRUE and 0 otherwise; every other type, strings included, 0.
int32_t ValueToInt(const VARIANT& value);

// left op= right. Return S_OK (also when the combination is not supported and left is unchanged),
// E_POINTER for a null left, or E_OUTOFMEMORY when a string cannot be allocated (left unchanged).
//
// Add: if either side is a string, left becomes the string ValueToString(left) followed by
//   ValueToString(right). Otherwise an empty left becomes a copy of right.
// Subtract: an empty left first takes right's type through VariantChangeType (0, or an empty
//   string; it stays empty where that conversion fails), so a leading minus negates a number.
// Multiply, divide: an empty left becomes right's type with a zero value (an empty string for
//   VT_BSTR) and that is the result. Right types with flag bits (arrays, references) or outside
//   VT_EMPTY..VT_UINT leave it empty.
// Then, for equal types, only these are computed (others leave left unchanged):
//   add: VT_I4, VT_UI4, VT_INT, VT_UINT, VT_R8, VT_BOOL (raw 16-bit values added);
//   subtract, multiply: VT_I2, VT_BOOL, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_R4, VT_R8,
//     VT_I1, VT_UI1, in their own width;
//   divide: VT_I2 and VT_BOOL (signed 16-bit), VT_I4 and VT_INT (signed), VT_UI4 and VT_UINT
//     (unsigned), VT_R4, VT_R8, VT_I1 (signed 8-bit), VT_UI1 and VT_UI2 (unsigned).
// For different types the result type is VT_R8 if either side is VT_R8, else VT_UI4, VT_I4,
// VT_UINT, VT_INT in that order; if neither side has one of these, left is unchanged. The result
// starts at 0, adds left and applies the operation with right, where only VT_I4, VT_INT, VT_UI4,
// VT_UINT and VT_R8 operands count with their value and VT_BOOL with 1 (VARIANT_TRUE) or 0 (skipped
// entirely in a division); every other operand is skipped.
HRESULT AddValue(VARIANT* left, const VARIANT& right);
HRESULT SubtractValue(VARIANT* left, const VARIANT& right);
HRESULT MultiplyValue(VARIANT* left, const VARIANT& right);
HRESULT DivideValue(VARIANT* left, const VARIANT& right);

// Comparisons: the difference d = ValueToInt(left - right) (SubtractValue on a copy of left) is
// compared with 0. Any two strings are equal; a string against a number compares 0 with the number;
// reals that differ by less than 1 are equal.
bool LessValue(const VARIANT& left, const VARIANT& right);
bool GreaterValue(const VARIANT& left, const VARIANT& right);
bool EqualValue(const VARIANT& left, const VARIANT& right);
bool LessEqualValue(const VARIANT& left, const VARIANT& right);
bool GreaterEqualValue(const VARIANT& left, const VARIANT& right);

// The platform's variant comparison (VarCmp with the user's default locale and no flags) of two
// values of the same type. Returns VARCMP_LT, VARCMP_EQ, VARCMP_GT or VARCMP_NULL (two VT_NULL), or
// the failure the platform gives:
//   VT_EMPTY, VT_I2, VT_I4, VT_BOOL (as signed 16-bit), VT_UI1: compared as integers; VT_R4, VT_R8,
//   VT_DATE: as reals (a NaN on either side gives VARCMP_GT); VT_CY: as 64-bit integers; VT_ERROR:
//   always VARCMP_EQ; VT_BSTR: a null string equals an empty one, strings of the same characters
//   are equal, others are ordered by character code;
//   VT_I1, VT_UI2, VT_UI4 and other types the platform refuses: DISP_E_TYPEMISMATCH; VT_INT,
//   VT_UINT, types with flag bits (arrays, references) and unknown codes: DISP_E_BADVARTYPE.
// Values of different types: DISP_E_TYPEMISMATCH (the engine never asks).
// Unlike the platform, strings are not compared linguistically: texts the platform treats as equal
// though their characters differ (canonically equivalent forms, ignorable characters such as a soft
// hyphen) count as different here, and different texts may be ordered differently.
HRESULT CompareSameTypeValues(const VARIANT& left, const VARIANT& right);

// The `if` statement's "!=": values differ when their types differ; two VT_NULL values are equal;
// otherwise they differ unless CompareSameTypeValues reports VARCMP_EQ (so equal values of a type
// the platform cannot compare, such as VT_UI4, differ).
bool ValuesDiffer(const VARIANT& left, const VARIANT& right);
