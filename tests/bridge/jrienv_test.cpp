// The JRI environment as a plug-in sees it through its table.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "flashhost/bridge.h"
#include "flashhost/jrienv.h"

namespace {

class JriEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GetScriptingBridge();  // registers the peer's methods
    env_ = CJRIEnvironment::Instance().GetEnv();
  }

  template <class TFunction>
  TFunction Slot(int slot) {
    return reinterpret_cast<TFunction>((*env_)->slots[slot]);
  }

  JRIEnv* env_ = nullptr;
};

TEST_F(JriEnvTest, RecordAndTableLayout) {
  const uintptr_t* record = reinterpret_cast<const uintptr_t*>(env_);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(*env_), record[0]);
  EXPECT_EQ(1u, record[1]);
  EXPECT_EQ(2u, record[2]);
  EXPECT_EQ(3u, record[3]);
  for (int slot = 0; slot < kJRIReservedSlots; ++slot) {
    EXPECT_EQ(291u, reinterpret_cast<uintptr_t>((*env_)->slots[slot])) << slot;
  }
  for (int slot = kJRIReservedSlots; slot < kJRISlotCount; ++slot) {
    EXPECT_NE(nullptr, (*env_)->slots[slot]) << slot;
  }
  // The host's words follow the 133 slots.
  const uintptr_t* after = reinterpret_cast<const uintptr_t*>(&(*env_)->slots[kJRISlotCount]);
  EXPECT_EQ(0x12345u, after[0]);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(CJRIEnvironment::Instance().GetPeer()), after[1]);
}

TEST_F(JriEnvTest, LookupsAnswerThePeerObject) {
  CJRIPeerObject* peer = CJRIEnvironment::Instance().GetPeer();
  EXPECT_EQ(0x1234u, peer->word1);
  EXPECT_EQ(0u, peer->word2);
  EXPECT_EQ(peer, peer->self);
  EXPECT_EQ(0x2345u, peer->word4);
  EXPECT_NE(nullptr, peer->hostRecord);
  EXPECT_EQ(peer, Slot<JRIFindClassFn>(kJRIFindClass)(env_, kJRIFindClass, "ShockwaveFlash"));
  EXPECT_EQ(peer, Slot<JRINewGlobalRefFn>(kJRINewGlobalRef)(env_, kJRINewGlobalRef, nullptr));
  EXPECT_EQ(peer, Slot<JRIGetGlobalRefFn>(kJRIGetGlobalRef)(env_, kJRIGetGlobalRef, nullptr));
  EXPECT_EQ(1, Slot<JRIGetFieldIDFn>(kJRIGetFieldID)(env_, kJRIGetFieldID, nullptr, "f", "I"));
}

TEST_F(JriEnvTest, MethodIdentifiersAndCalls) {
  auto getMethod = Slot<JRIGetMethodIDFn>(kJRIGetMethodID);
  EXPECT_EQ(kJRIFSCommandMethodId,
            getMethod(env_, kJRIGetMethodID, nullptr, "FSCommand", kJRIFSCommandSignature));
  EXPECT_EQ(kJRIGetPeerMethodId, getMethod(env_, kJRIGetMethodID, nullptr, "getPeer", "()I"));
  // Name and signature must both match exactly; everything else gets fresh negative identifiers.
  const jint first = getMethod(env_, kJRIGetMethodID, nullptr, "getPeer", "()J");
  const jint second =
      getMethod(env_, kJRIGetMethodID, nullptr, "fscommand", kJRIFSCommandSignature);
  const jint third = getMethod(env_, kJRIGetMethodID, nullptr, nullptr, nullptr);
  EXPECT_LE(first, kJRIFirstUnregisteredMethodId);
  EXPECT_EQ(first - 1, second);
  EXPECT_EQ(second - 1, third);

  auto callInt = Slot<JRICallMethodIntFn>(kJRICallMethodInt);
  CJRIPeerObject* peer = CJRIEnvironment::Instance().GetPeer();
  EXPECT_EQ(static_cast<jint>(reinterpret_cast<uintptr_t>(&peer->word2)),
            callInt(env_, kJRICallMethodInt, peer, kJRIGetPeerMethodId));
  EXPECT_EQ(0, callInt(env_, kJRICallMethodInt, peer, first));
  auto call = Slot<JRICallMethodFn>(kJRICallMethod);
  EXPECT_EQ(nullptr, call(env_, kJRICallMethod, peer, kJRIGetPeerMethodId));
}

TEST_F(JriEnvTest, StringsAreCopiedUpToTheTerminatorAndForeignOnesAreNotRead) {
  CJRIEnvironment& env = CJRIEnvironment::Instance();
  const size_t before = env.GetStringCount();
  auto make = Slot<JRINewStringUTFFn>(kJRINewStringUTF);
  auto read = Slot<JRIGetStringUTFCharsFn>(kJRIGetStringUTFChars);
  char text[] = "hello";
  jstring str = make(env_, kJRINewStringUTF, text, 2);  // the length is not used
  ASSERT_NE(nullptr, str);
  text[0] = 'j';  // a copy was taken
  EXPECT_STREQ("hello", read(env_, kJRIGetStringUTFChars, str));
  EXPECT_EQ(5, static_cast<CJRIString*>(str)->length);
  EXPECT_EQ(nullptr, make(env_, kJRINewStringUTF, nullptr, 0));
  EXPECT_EQ(nullptr, read(env_, kJRIGetStringUTFChars, nullptr));
  CJRIString foreign = {text, 5};
  EXPECT_EQ(nullptr, read(env_, kJRIGetStringUTFChars, &foreign));
  EXPECT_EQ(before + 1, env.GetStringCount());
  env.ReleaseString(&foreign);  // not the environment's: ignored
  env.ReleaseString(str);
  EXPECT_EQ(before, env.GetStringCount());
}

TEST_F(JriEnvTest, PluginStringsLiveForTheCallTheyWereMadeIn) {
  CJRIEnvironment& env = CJRIEnvironment::Instance();
  auto make = Slot<JRINewStringUTFFn>(kJRINewStringUTF);
  const size_t before = env.GetStringCount();
  jstring host = env.NewString("host");

  // Made while the host calls the plug-in, in nested calls: valid until the outermost returns.
  env.EnterLocalFrame();
  jstring outer = make(env_, kJRINewStringUTF, "outer", 5);
  env.EnterLocalFrame();
  jstring inner = make(env_, kJRINewStringUTF, "inner", 5);
  env.ReleaseLooseStrings();  // a frame is open: nothing may go
  env.LeaveLocalFrame();
  EXPECT_STREQ("inner", env.GetStringBytes(inner));
  EXPECT_STREQ("outer", env.GetStringBytes(outer));
  env.LeaveLocalFrame();
  EXPECT_EQ(nullptr, env.GetStringBytes(inner));
  EXPECT_EQ(nullptr, env.GetStringBytes(outer));
  EXPECT_STREQ("host", env.GetStringBytes(host));

  // Made in a frame of the plug-in's own: kept through the host's later calls, freed at the next
  // sweep of the message loop.
  jstring loose = make(env_, kJRINewStringUTF, "loose", 5);
  env.EnterLocalFrame();
  env.LeaveLocalFrame();
  EXPECT_STREQ("loose", env.GetStringBytes(loose));
  env.ReleaseLooseStrings();
  EXPECT_EQ(nullptr, env.GetStringBytes(loose));

  // The host's own string lives until the host lets it go.
  EXPECT_STREQ("host", env.GetStringBytes(host));
  env.ReleaseString(host);
  EXPECT_EQ(before, env.GetStringCount());
  env.LeaveLocalFrame();  // unbalanced: ignored
  EXPECT_EQ(0, env.GetFrameDepth());
}

TEST_F(JriEnvTest, OtherSlotsAnswerZeroOfTheirType) {
  typedef jint(VEXA_CDECL * WordFn)(JRIEnv*, jint, void*, jint);
  typedef int64_t(VEXA_CDECL * LongFn)(JRIEnv*, jint, void*, jint);
  typedef double(VEXA_CDECL * DoubleFn)(JRIEnv*, jint, void*, jint);
  CJRIPeerObject* peer = CJRIEnvironment::Instance().GetPeer();
  EXPECT_EQ(0, Slot<WordFn>(5)(env_, 5, peer, 0));    // Throw
  EXPECT_EQ(0, Slot<WordFn>(37)(env_, 37, peer, 3));  // CallMethodIntV: only the base form works
  EXPECT_EQ(0, Slot<LongFn>(39)(env_, 39, peer, 3));  // CallMethodLong
  EXPECT_EQ(0.0, Slot<DoubleFn>(45)(env_, 45, peer, 3));    // CallMethodDouble
  EXPECT_EQ(0.0, Slot<DoubleFn>(104)(env_, 104, peer, 0));  // GetStaticFieldFloat
  EXPECT_EQ(0, Slot<WordFn>(132)(env_, 132, peer, 0));
}

}  // namespace
