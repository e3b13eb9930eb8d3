// The host's JRI environment: what the plug-in reaches through NPN_GetJavaEnv, and the strings and
// peer object the host hands to the plug-in's JRI stubs.
//
// There is no Java behind it. The environment answers the handful of operations a Flash plug-in
// uses to call its Java peer (class and global-reference lookups, method identifiers, calls,
// strings) and is inert for every other slot: each returns a zero of its own result type, so even a
// slot with a floating-point result leaves the caller's FPU state intact.
//
// Methods of the peer that the plug-in may call are registered CJRICommand objects, looked up by
// name and signature (GetMethodID) and called by identifier (CallMethod, CallMethodInt).
//
// Strings. A JRI string is a two-word record: a terminated UTF-8 byte array and its byte length.
// The environment owns every string it makes and remembers them, so that a string pointer coming
// from the plug-in is only ever read when it really is one of them; anything else reads as no
// string. How long a string lives depends on who made it:
// - the host's own strings (NewString, for the stubs' arguments) until the host releases them
//   (ReleaseString);
// - the plug-in's strings (NewStringUTF) are local references, as in JRI: valid for the native
//   call they were made in. Made while the host is calling the plug-in (inside a local frame,
//   EnterLocalFrame/LeaveLocalFrame, which the host opens around each of its calls), they are
//   freed when the outermost frame closes; made in a frame of the plug-in's own (its window
//   procedure, its timers), they are freed by the next ReleaseLooseStrings, which the message loop
//   calls once that frame has returned. A plug-in sending an FSCommand every frame therefore holds
//   no more strings than one frame's worth, however long it runs.
// ReleaseAllStrings frees everything at once, for when no frame can hold a string any more.
//
// Everything runs on the main window thread; nothing is locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "flashhost/jri.h"

// Identifiers of the registered methods.
inline constexpr jint kJRIGetPeerMethodId = 2;
inline constexpr jint kJRIFSCommandMethodId = 3;
// Identifier handed out for the first method that is not registered; each further one is one less.
inline constexpr jint kJRIFirstUnregisteredMethodId = -2;
// The signature of FSCommand(String target, String command, String argument).
inline constexpr char kJRIFSCommandSignature[] =
    "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V";

// A string of the environment.
struct CJRIString {
  char* bytes;     // terminated UTF-8, owned (array form of delete)
  int32_t length;  // bytes before the terminator
};

// A method of the Java peer, callable by the plug-in.
class CJRICommand {
 public:
  virtual jint GetIdentifier() const = 0;
  virtual const char* GetSignature() const = 0;
  virtual const char* GetName() const = 0;
  // Runs the method on `object` (the object the plug-in named) with its arguments, one word each,
  // read from the call according to the signature. Returns the method's 32-bit result.
  virtual jint Invoke(jref object, const JRIStackItem* args, int count) = 0;
  virtual ~CJRICommand() = default;
};

// getPeer()I: a handle to the peer object.
class CGetPeer : public CJRICommand {
 public:
  jint GetIdentifier() const override { return kJRIGetPeerMethodId; }
  const char* GetSignature() const override { return "()I"; }
  const char* GetName() const override { return "getPeer"; }
  // The address of the peer object's third word, as a 32-bit value (the handle is only meaningful
  // to a 32-bit plug-in).
  jint Invoke(jref object, const JRIStackItem* args, int count) override;
};

// The JRI peer object of the instance: five words, the second to last pointing to itself. The
// plug-in gets it from class and global-reference lookups, and it is the first argument word of
// every stub call.
struct CJRIPeerObject {
  const void* hostRecord;
  uintptr_t word1;  // 0x1234
  uintptr_t word2;  // 0
  CJRIPeerObject* self;
  uintptr_t word4;  // 0x2345
};

class CJRIEnvironment {
 public:
  // The process-wide environment, with its table built. Never destroyed before exit.
  static CJRIEnvironment& Instance();

  CJRIEnvironment(const CJRIEnvironment&) = delete;
  CJRIEnvironment& operator=(const CJRIEnvironment&) = delete;

  // What NPN_GetJavaEnv answers.
  JRIEnv* GetEnv();
  // The process-wide peer object.
  CJRIPeerObject* GetPeer() { return &peer_; }

  // Adds a method (null is ignored). Methods registered later with the same name and signature are
  // never found.
  void Register(std::unique_ptr<CJRICommand> command);
  // GetMethodID: the identifier of the method with exactly this name and signature, else the next
  // unregistered identifier (counting down from kJRIFirstUnregisteredMethodId).
  jint LookUpMethod(const char* name, const char* signature);
  // The registered method with this identifier, or null.
  CJRICommand* FindMethod(jint identifier) const;

  // A new string of the host's holding a copy of `utf8` up to its terminator; null for null text
  // or when memory runs out. Owned by the environment; lives until ReleaseString.
  jstring NewString(const char* utf8);
  // A new string as the plug-in makes it (NewStringUTF): a local reference of the current frame,
  // or a loose one outside every frame (see the file comment). Null as for NewString.
  jstring NewLocalString(const char* utf8);
  // The bytes of a string of this environment; null for null or for anything it did not make.
  const char* GetStringBytes(jstring str) const;
  // Frees one string of this environment; anything else is ignored.
  void ReleaseString(jstring str);
  // Frees every string.
  void ReleaseAllStrings();
  size_t GetStringCount() const { return strings_.size(); }

  // Local frames: the host opens one around each call into the plug-in; they nest. Closing the
  // outermost frees the strings the plug-in made inside any of them.
  void EnterLocalFrame() { ++frameDepth_; }
  void LeaveLocalFrame();
  int GetFrameDepth() const { return frameDepth_; }
  // Frees the strings the plug-in made outside every frame. Only safe when no plug-in frame that
  // made them is still running (the message loop, between messages). Does nothing while a local
  // frame is open.
  void ReleaseLooseStrings();

 private:
  CJRIEnvironment();
  ~CJRIEnvironment();

  // The record the environment pointer addresses: the table pointer, then 1, 2, 3.
  struct Record {
    const void* table;
    uintptr_t words[3];
  };
  // The table, followed by the host's own words.
  struct Table {
    JRIInterfaceTable slots;
    uintptr_t marker;  // 0x12345
    CJRIPeerObject* peer;
    const void* methods;
    jint nextUnregistered;
  };

  // Who keeps a string alive.
  enum class Lifetime { kHost, kFrame, kLoose };

  jstring MakeString(const char* utf8, Lifetime lifetime);
  void ReleaseStrings(Lifetime lifetime);

  Record record_;
  Table table_;
  CJRIPeerObject peer_;
  std::vector<std::unique_ptr<CJRICommand>> methods_;
  std::unordered_map<CJRIString*, Lifetime> strings_;
  int frameDepth_ = 0;
};
