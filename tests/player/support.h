// Fixtures for the player tests: a game folder with a data.pak built in the test, a player whose
// window-side operations and hooks are recorded, and a started player running the real stand-in
// plug-in (carried in the test executable) inside a headless frame window.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "flashhost/holder.h"
#include "flashhost/transcript_reader.h"
#include "platform/oleauto.h"
#include "platform/window.h"
#include "player/player.h"
#include "support/folders.h"

namespace player_test {

using vexa::testing::CGameFolder;

// A player whose frame side is a recorder. `log` holds the hooks and frame operations in call
// order ("layout", "error 131", "caption Demo", "hostcontrol", "pluginlibraries", "addons",
// "select", "quit", "icon <size>", "filter 32 126", ...).
class CTestPlayer : public CBasePlayerImpl {
 public:
  explicit CTestPlayer(CFlashHolder* holder = nullptr, const char* baseFolder = nullptr)
      : CBasePlayerImpl(holder, baseFolder) {}

  std::vector<std::string> log;
  std::vector<int> errors;
  std::vector<std::string> captions;
  std::vector<std::string> icons;  // bytes of each icon handed over
  int layouts = 0;
  int selections = 0;
  int quits = 0;
  std::vector<std::pair<int32_t, std::string>> timeouts;
  std::vector<std::pair<int32_t, std::string>> intervals;
  HRESULT hostControlStatus = S_OK;
  // SelectMovieVariant uses the variant at this index (when it exists).
  size_t variantChoice = 0;
  // Runs inside Quit (to dispatch nested commands).
  std::function<void()> onQuit;

  size_t Count(const std::string& entry) const;

  // ---- Frame operations
  HRESULT AddTimeout(int32_t milliseconds, std::unique_ptr<CSmallStr> expression) override;
  HRESULT AddInterval(int32_t milliseconds, std::unique_ptr<CSmallStr> expression) override;
  HRESULT LayoutWindow() override;
  HRESULT SelectMovieVariant() override;
  HRESULT Quit() override;
  void ShowStartupError(int id) override;

 protected:
  void ApplyCaption(const std::string& utf8) override;
  void ApplyIcon(const uint8_t* bytes, size_t size) override;
  void ApplyKeyboardFilter(int32_t lower, int32_t upper) override;
  HRESULT StartHostControl() override;
  void LoadPluginLibraries() override;
  void LoadAddons() override;
  void ReleasePluginObjects() override;
  void UnloadPluginLibraries() override;
};

// A script value for tests, cleared at the end of its scope.
struct Value {
  Value() { VariantInit(&v); }
  explicit Value(const wchar_t* text);
  explicit Value(int32_t number);
  ~Value() { VariantClear(&v); }
  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;
  VARIANT v;
};

// A player in its own game folder with its own holder, a headless frame window and the
// transcript of the stand-in. Start() runs InitPlayer.
class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes data.pak holding init.xml (the given script) and the other entries, then InitPlayer.
  HRESULT Start(const std::string& initXml,
                std::vector<std::pair<std::string, std::string>> entries = {});
  // Serves the holder's queue (requests, queued FSCommands); returns the transcript since the
  // last take.
  std::vector<TranscriptEvent> Serve();
  // Runs script text as the EXEC command does (global scope, no base folder).
  void Exec(const std::string& xml);
  // The holder's result list as texts.
  std::vector<std::string> Results() const;

  CTranscriptFile transcript_;
  CGameFolder game_;
  CFlashHolder holder_;
  vexa::platform::WindowHandle frame_ = nullptr;
  std::unique_ptr<CTestPlayer> player_;
};

// Text of a VT_BSTR (non-ASCII as '?'), or "<not a string>".
std::string TextOf(const VARIANT& value);

}  // namespace player_test
