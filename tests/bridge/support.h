// Fixtures for the holder and bridge tests: a recording notification sink, a game folder of the
// test's own, and a holder running the real stand-in plug-in (carried in the test executable) with
// its transcript.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/loader.h"
#include "flashhost/holder.h"
#include "flashhost/notifysink.h"
#include "flashhost/transcript_reader.h"
#include "support/folders.h"

// Records every FSCommand; `reaction` (when set) runs inside the call, as a command handler would.
class CRecordingSink : public IFlashPlayerNotifySink {
 public:
  struct Call {
    std::wstring command;
    std::wstring argument;
  };

  HRESULT OnFSCommand(const wchar_t* command, const wchar_t* argument) override;
  HRESULT OnPlayerNotification(int32_t, int32_t, int32_t, void*) override { return E_NOTIMPL; }

  std::vector<Call> calls;
  std::function<void(const Call&)> reaction;
};

// A started holder with the stand-in loaded: JRI peer, file loader (the game folder) and the
// recording sink are wired, as the player does at start. The instance is not created yet.
class HolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes `scene` as movie.scene and opens it as the main movie. Returns what the plug-in reported
  // meanwhile.
  std::vector<TranscriptEvent> Play(const std::string& scene);
  // PreTranslate with no message (serves the queue); returns the transcript since the last take.
  std::vector<TranscriptEvent> Serve();

  // The browser table entries as the plug-in calls them.
  NPNetscapeFuncs* Browser() { return holder_.GetBrowserFuncs(); }

  // First: the plug-in must see the transcript variable from its first call.
  CTranscriptFile transcript_;
  vexa::testing::CTempFolder game_;
  std::unique_ptr<CFileLoader> loader_;
  CRecordingSink sink_;
  CFlashHolder holder_;
};

// Wide text from ASCII, for expectations.
std::wstring W(const std::string& ascii);
// ASCII of wide text (other characters become '?'), for messages.
std::string A(const std::wstring& wide);
// The text of a VT_BSTR variant, or "<not a string>".
std::string VariantText(const VARIANT& value);
