// CVariant: a VARIANT that is initialised on construction and cleared when it goes, so whatever it
// holds (a BSTR, an interface reference) is released on every path out of a scope.
//
// Callers hand `&x.value` to functions that fill a VARIANT; those functions own nothing of it.
// Not copyable: a copy would clear the same BSTR twice (use VariantCopy for a deep copy).
#pragma once

#include "platform/oleauto.h"

struct CVariant {
  CVariant() { VariantInit(&value); }
  ~CVariant() { VariantClear(&value); }
  CVariant(const CVariant&) = delete;
  CVariant& operator=(const CVariant&) = delete;

  // Hands what it holds over to *out, which must own nothing (it is overwritten, not cleared), and
  // is left empty.
  void Detach(VARIANT* out) {
    *out = value;
    VariantInit(&value);
  }

  VARIANT value;
};
