// Real windows: the stand-in subclasses the player window and reports the keys it receives, so the
// Alt-key double dispatch shows in its transcript as one plain key press.
#include <gtest/gtest.h>

#include <vector>

#include "platform/window.h"
#include "support.h"
#include "support/window.h"

namespace {

TEST_F(HolderTest, SystemKeysReachThePlayerWindowTwice) {
  vexa::platform::WindowHandle frame =
      vexa::platform::CreateHostWindow("frame", vexa::testing::Rect(40, 40, 360, 280), false);
  if (!frame) GTEST_SKIP() << "no window system to create windows with";
  Play("on key a\n  log \"key a\"\nend\n");
  ASSERT_EQ(S_OK, holder_.AttachToWindow(frame));
  vexa::platform::WindowHandle player = nullptr;
  holder_.GetWindow(&player);
  transcript_.Take();

  vexa::platform::WindowMessage message;
  message.window = player;
  message.message = vexa::platform::kMsgSysKeyDown;
  message.wParam = 'A';
  message.lParam = 0x20000001;  // Alt held
  EXPECT_EQ(S_OK, holder_.PreTranslate(&message));
  const std::vector<TranscriptEvent> events = transcript_.Take();
  // The plug-in handles plain key-downs: it saw the key once, through the copy.
  const std::vector<TranscriptEvent> keys = Named(events, "key");
  ASSERT_EQ(1u, keys.size());
  EXPECT_EQ("65", keys[0].Get("code"));
  EXPECT_EQ(1u, Named(events, "log", "text", "key a").size());

  // Plain keys are the caller's to dispatch.
  message.message = vexa::platform::kMsgKeyDown;
  EXPECT_EQ(E_FAIL, holder_.PreTranslate(&message));
  EXPECT_EQ(-1, IndexOf(transcript_.Take(), "key"));

  holder_.AttachToWindow(nullptr);
  vexa::platform::DestroyHostWindow(frame);
}

}  // namespace
