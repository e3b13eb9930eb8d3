// Headless windows record what is dispatched: the Alt-key double dispatch is seen directly.
#include <gtest/gtest.h>

#include <vector>

#include "platform/posix/headless_window.h"
#include "platform/window.h"
#include "support.h"

namespace {

TEST_F(HolderTest, SystemKeysReachThePlayerWindowTwice) {
  vexa::platform::WindowRect rect;
  rect.right = 320;
  rect.bottom = 200;
  vexa::platform::WindowHandle frame = vexa::platform::CreateHostWindow("frame", rect, false);
  holder_.CreateInstance();
  ASSERT_EQ(S_OK, holder_.AttachToWindow(frame));
  vexa::platform::WindowHandle player = nullptr;
  holder_.GetWindow(&player);
  vexa::platform::TakeDispatchedMessages();

  const uint32_t kinds[2][2] = {
      {vexa::platform::kMsgSysKeyDown, vexa::platform::kMsgKeyDown},
      {vexa::platform::kMsgSysKeyUp, vexa::platform::kMsgKeyUp},
  };
  for (const auto& kind : kinds) {
    vexa::platform::WindowMessage message;
    message.window = player;
    message.message = kind[0];
    message.wParam = 'A';
    message.lParam = 0x20000001;  // Alt held
    EXPECT_EQ(S_OK, holder_.PreTranslate(&message));
    const std::vector<vexa::platform::WindowMessage> sent =
        vexa::platform::TakeDispatchedMessages();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ(kind[0], sent[0].message);
    EXPECT_EQ(kind[1], sent[1].message);
    for (const vexa::platform::WindowMessage& m : sent) {
      EXPECT_EQ(player, m.window);
      EXPECT_EQ(static_cast<uintptr_t>('A'), m.wParam);
      EXPECT_EQ(0x20000001, m.lParam);
    }
  }

  // Not the player window, or not a system key: nothing is dispatched.
  vexa::platform::WindowMessage other;
  other.window = frame;
  other.message = vexa::platform::kMsgSysKeyDown;
  EXPECT_EQ(E_FAIL, holder_.PreTranslate(&other));
  other.window = player;
  other.message = vexa::platform::kMsgChar;
  EXPECT_EQ(E_FAIL, holder_.PreTranslate(&other));
  EXPECT_TRUE(vexa::platform::TakeDispatchedMessages().empty());

  holder_.AttachToWindow(nullptr);
  vexa::platform::DestroyHostWindow(frame);
}

}  // namespace
