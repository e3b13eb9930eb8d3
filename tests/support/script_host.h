// A script host (the player's side of the script engine) for tests that need only part of it:
// every operation answers "not implemented" (SetSystemVariable: "not a setting") until a test's
// subclass overrides it. Header-only, so fuzz targets can use it without the test library.
#pragma once

#include <memory>

#include "script/dilator.h"

namespace vexa::testing {

class CNullScriptHost : public IScriptDilator {
 public:
  HRESULT LoadIntoLayer(CXMLElement*) override { return E_NOTIMPL; }
  HRESULT LoadReference(CXMLElement*) override { return E_NOTIMPL; }
  HRESULT SetMovie(CXMLElement*) override { return E_NOTIMPL; }
  HRESULT SetSystemVariable(const char*, const VARIANT*, const char*) override { return E_FAIL; }
  HRESULT SetMovieValue(const char*, const VARIANT*) override { return E_NOTIMPL; }
  HRESULT AddTimeout(int32_t, std::unique_ptr<CSmallStr>) override { return E_NOTIMPL; }
  HRESULT AddInterval(int32_t, std::unique_ptr<CSmallStr>) override { return E_NOTIMPL; }
  HRESULT SendFSCommand(const wchar_t*, const wchar_t*) override { return E_NOTIMPL; }
  HRESULT LayoutWindow() override { return E_NOTIMPL; }
  HRESULT AttachMovieWindow() override { return E_NOTIMPL; }
  HRESULT WriteValue(const char*, const char*, bool) override { return E_NOTIMPL; }
  HRESULT ReadValue(const char*, CSmallStr*, bool) override { return E_NOTIMPL; }
  HRESULT SelectMovieVariant() override { return E_NOTIMPL; }
  HRESULT OnQuit() override { return E_NOTIMPL; }
};

}  // namespace vexa::testing
