// Variable scopes of the script language.
//
// A CExecContext is one scope: a set of named script values (VARIANTs) and a non-owning pointer to
// the enclosing scope. Scopes form a chain (function scope -> global scope -> frame scope); lookups
// and assignments walk outwards along it, declarations always land in the scope they are made in.
// Variable names are case-sensitive and compared byte for byte.
//
// Threading: none; scopes are used from the UI thread only.
#pragma once

#include <map>
#include <string_view>

#include "platform/oleauto.h"
#include "script/smallstr.h"

class CExecContext {
 public:
  explicit CExecContext(CExecContext* parent = nullptr) : parent_(parent) {}
  // Frees every stored value. Scopes that name this one as their parent must not outlive it.
  virtual ~CExecContext();

  CExecContext(const CExecContext&) = delete;
  CExecContext& operator=(const CExecContext&) = delete;

  // Finds `name` in this scope or, failing that, along the parent chain, and copies its value into
  // *value (whose previous content is cleared). Returns S_OK, E_FAIL when no scope has the name,
  // E_POINTER for null arguments, or the copy's failure (E_OUTOFMEMORY).
  virtual HRESULT LookupVariable(const char* name, VARIANT* value);

  // Adds a variable to this scope under `name` with leading and trailing white space removed,
  // holding a copy of *value. E_FAIL (nothing changed) when that name already exists in this scope;
  // E_INVALIDARG for a name that is empty once trimmed; E_POINTER for null arguments.
  virtual HRESULT DeclareVariable(const char* name, const VARIANT* value);

  // Overwrites the nearest existing variable `name`: this scope's own, else the one the parent
  // chain finds. E_FAIL when no scope has it (nothing changed); E_POINTER for null arguments.
  virtual HRESULT AssignVariable(const char* name, const VARIANT* value);

  CExecContext* GetParent() const { return parent_; }
  // Non-owning; null makes this the outermost scope.
  void SetParent(CExecContext* parent) { parent_ = parent; }

  // True when this scope itself (not its parents) holds `name`.
  bool HasOwnVariable(const char* name) const;

 private:
  struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return a < b; }
  };

  // Owns the BSTR or interface the variant holds.
  struct Slot {
    Slot() { VariantInit(&value); }
    ~Slot() { VariantClear(&value); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    VARIANT value;
  };

  std::map<std::string, Slot, NameLess> variables_;
  CExecContext* parent_;
};

// The outermost scope of the player (embedded in the main frame): answers the variable
// "CURRENTTIME" (exact name) with the current local time as text, hours and minutes; every other
// name is an ordinary variable of this scope.
class CMainFrameCtx : public CExecContext {
 public:
  // Writes the current local time, without seconds, into *text. Returns S_OK or a failure status.
  using TimeFormatter = HRESULT (*)(CSmallWStr* text);

  // `formatter` null means DefaultTimeFormatter. The frame passes the system's locale-aware one.
  explicit CMainFrameCtx(TimeFormatter formatter = nullptr);

  HRESULT LookupVariable(const char* name, VARIANT* value) override;

  // "HH:MM" in 24-hour form from the C library's local time.
  static HRESULT DefaultTimeFormatter(CSmallWStr* text);

 private:
  TimeFormatter formatter_;
};
