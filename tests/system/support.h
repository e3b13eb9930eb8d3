// Shared pieces of the plug-in library tests: game folders with packages and copied plug-ins, a
// recording Flash holder, and calls into plug-in objects with arguments in call order.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/loader.h"
#include "flashhost/holder.h"
#include "platform/oleauto.h"
#include "support/folders.h"
#include "system/hostcontrol.h"
#include "system/pluginlibs.h"
#include "vexa/plugin.h"

namespace system_test {

// A game folder (see vexa::testing::CGameFolder) that also takes the test plug-ins.
class CGameFolder : public vexa::testing::CGameFolder {
 public:
  // Copies the test plug-in `file` (a file name in the test plug-in folder, e.g.
  // "system_plugin_alpha.dll") into the game folder as `as`.
  void Plugin(const std::string& file, const std::string& as) const;
  // Copies the example plug-in in as `as`.
  void Sample(const std::string& as) const;
};

// Test plug-in files.
inline constexpr const char* kAlpha = "system_plugin_alpha.dll";
inline constexpr const char* kBeta = "system_plugin_beta.dll";
inline constexpr const char* kFailing = "system_plugin_failing.dll";
inline constexpr const char* kEmpty = "system_plugin_empty.dll";
inline constexpr const char* kNoExport = "system_plugin_noexport.dll";

// An IFlashHolder that records results and answers movie variables from a table. Everything the
// host control does not use answers E_NOTIMPL.
class CFakeHolder : public IFlashHolder {
 public:
  std::map<std::wstring, std::string> variables;  // wide name -> narrow (ANSI) value
  std::vector<std::pair<std::wstring, std::wstring>> results;
  std::vector<std::wstring> narrowVariableReads;
  int reserved12Calls = 0;

  // The texts of results named `name`, oldest first (UTF-8).
  std::vector<std::string> Named(const std::wstring& name) const;

  HRESULT LoadMovieIntoLayer(int32_t, const char*, const char*) override { return E_NOTIMPL; }
  HRESULT LoadMovieData(int32_t, const char*, int32_t, const char*) override { return E_NOTIMPL; }
  HRESULT OpenMovie(const char*) override { return E_NOTIMPL; }
  HRESULT AddResult(const wchar_t* name, const wchar_t* text) override;
  HRESULT AddResultA(const char* name, const char* text) override;
  HRESULT GetMovieVariable(const wchar_t* name, CSmallStr* value) override;
  HRESULT GetMovieVariableA(const char* name, CSmallStr* value) override;
  HRESULT SetFocus(int32_t) override { return E_NOTIMPL; }
  HRESULT SetWindowRect(int32_t, int32_t, int32_t, int32_t) override { return E_NOTIMPL; }
  HRESULT AttachToWindow(vexa::platform::WindowHandle) override { return E_NOTIMPL; }
  HRESULT SetMovieSize(int32_t, int32_t) override { return E_NOTIMPL; }
  HRESULT CloseMovie() override { return E_NOTIMPL; }
  HRESULT Reserved12() override {
    ++reserved12Calls;
    return E_FAIL;
  }
  HRESULT PreTranslate(const vexa::platform::WindowMessage*) override { return E_NOTIMPL; }
  HRESULT GetWindow(vexa::platform::WindowHandle*) override { return E_NOTIMPL; }
  HRESULT Reserved15() override { return E_NOTIMPL; }
  HRESULT SetFlashVars(const char*) override { return E_NOTIMPL; }
  HRESULT SetOption(int32_t) override { return E_NOTIMPL; }
  HRESULT CallMovieFunction(const wchar_t*, const VARIANT*, int32_t, VARIANT*) override {
    return E_NOTIMPL;
  }
  HRESULT SetResultCallback(const wchar_t*) override { return E_NOTIMPL; }
};

// A host control over a game folder of the test's own and a plug-in library list that uses it,
// wired as the player wires them. StartHost() (from a subclass's SetUp, after writing the game's
// files) creates and wires them.
class PluginHostTest : public ::testing::Test {
 protected:
  void StartHost();

  CGameFolder game_;
  CFakeHolder holder_;
  std::unique_ptr<CFileLoader> loader_;
  CHostControlPtr host_;
  CPluginLibraryList list_;  // destroyed first: unloads before the host control goes
};

// What an invocation gave: its status and the result as text (UTF-8; "<empty>" for VT_EMPTY,
// "<not text>" when it does not convert).
struct Outcome {
  HRESULT hr = E_UNEXPECTED;
  std::string text;
};

// Invokes `member` on `object` with `args` in call order, passed the way the command processor
// passes them (VT_BSTR values, last argument first).
Outcome Invoke(IVEXAPluginObject* object, const wchar_t* member, LONG kind,
               const std::vector<std::wstring>& args = {});

// UTF-8 of a wide text, for readable expectations.
std::string Utf8(const std::wstring& text);
// UTF-8 of a BSTR (null gives "<null>").
std::string Utf8(BSTR text);

}  // namespace system_test
