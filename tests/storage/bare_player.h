// The player with nothing behind its frame operations, for the tests that reach the stores through
// the player object and its command processor.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/oleauto.h"
#include "player/player.h"

namespace store_test {

class CBarePlayer : public CBasePlayerImpl {
 public:
  HRESULT AddTimeout(int32_t, std::unique_ptr<CSmallStr>) override { return S_OK; }
  HRESULT AddInterval(int32_t, std::unique_ptr<CSmallStr>) override { return S_OK; }
  HRESULT LayoutWindow() override { return S_OK; }
  HRESULT SelectMovieVariant() override { return S_OK; }
  HRESULT Quit() override { return S_OK; }
  void ShowStartupError(int) override {}

  // Sets a system variable (GAMENAME, GAMESAVES, ...) to a text, as a script assignment does.
  void SetText(const char* name, const wchar_t* text) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(text);
    EXPECT_EQ(SetSystemVariable(name, &value, ""), S_OK) << name;
    VariantClear(&value);
  }
};

}  // namespace store_test
