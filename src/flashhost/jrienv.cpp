#include "flashhost/jrienv.h"

#include <cstdarg>
#include <cstring>
#include <new>
#include <utility>

namespace {

// The host record the peer object points to. Its content means nothing to the plug-in; it only
// has to stay where it is.
const uintptr_t kHostRecord[4] = {0x56455841u, 0, 0, 0};

// Words the reserved slots hold.
constexpr uintptr_t kReservedSlotWord = 291;

// The most arguments a registered method reads from a call.
constexpr int kMaxMethodArgs = 16;

CJRIEnvironment& Env() {
  return CJRIEnvironment::Instance();
}

// ---- Inert slots: one per kind of result, since a caller reads the result where its type puts
// it (EAX, EDX:EAX, or the FPU stack on 32-bit x86). Extra arguments are the caller's to remove.

intptr_t VEXA_CDECL InertWord() {
  return 0;
}

int64_t VEXA_CDECL InertLong() {
  return 0;
}

double VEXA_CDECL InertDouble() {
  return 0.0;
}

// ---- Working slots

jref VEXA_CDECL FindClass(JRIEnv*, jint, const char*) {
  return Env().GetPeer();
}

jref VEXA_CDECL NewGlobalRef(JRIEnv*, jint, jref) {
  return Env().GetPeer();
}

jref VEXA_CDECL GetGlobalRef(JRIEnv*, jint, jglobal) {
  return Env().GetPeer();
}

jint VEXA_CDECL GetMethodID(JRIEnv*, jint, jclass, const char* name, const char* signature) {
  return Env().LookUpMethod(name, signature);
}

// Reads the method's arguments from `args` as its signature describes them: object and array
// references and the small integer types take one word each; long, float (promoted to double) and
// double take their full size and are passed on as 0, as no registered method has such arguments.
int ReadArguments(const char* signature, va_list args, JRIStackItem* out) {
  int count = 0;
  const char* p = signature ? std::strchr(signature, '(') : nullptr;
  if (!p) return 0;
  for (++p; *p && *p != ')' && count < kMaxMethodArgs; ++p) {
    JRIStackItem item;
    item.p = nullptr;
    const char kind = *p;
    if (kind == '[' || kind == 'L') {
      while (*p == '[') ++p;
      if (*p == 'L') {
        while (*p && *p != ';') ++p;
        if (!*p) break;
      }
      item.p = va_arg(args, void*);
    } else if (kind == 'J') {
      (void)va_arg(args, int64_t);
      item.i = 0;
    } else if (kind == 'D' || kind == 'F') {
      (void)va_arg(args, double);
      item.i = 0;
    } else if (kind == 'Z' || kind == 'B' || kind == 'C' || kind == 'S' || kind == 'I') {
      item.i = va_arg(args, jint);
    } else {
      break;  // not a signature this environment understands: read nothing further
    }
    out[count++] = item;
  }
  return count;
}

jint CallRegistered(jref object, jint method, va_list args) {
  CJRICommand* command = Env().FindMethod(method);
  if (!command) return 0;
  JRIStackItem words[kMaxMethodArgs];
  const int count = ReadArguments(command->GetSignature(), args, words);
  return command->Invoke(object, words, count);
}

jref VEXA_CDECL CallMethod(JRIEnv*, jint, jref object, jint method, ...) {
  va_list args;
  va_start(args, method);
  CallRegistered(object, method, args);
  va_end(args);
  return nullptr;
}

jint VEXA_CDECL CallMethodInt(JRIEnv*, jint, jref object, jint method, ...) {
  va_list args;
  va_start(args, method);
  const jint result = CallRegistered(object, method, args);
  va_end(args);
  return result;
}

jint VEXA_CDECL GetFieldID(JRIEnv*, jint, jclass, const char*, const char*) {
  return 1;
}

jstring VEXA_CDECL NewStringUTF(JRIEnv*, jint, const char* utf8, jint) {
  // The length is not trusted: the text is read up to its terminator.
  return Env().NewLocalString(utf8);
}

const char* VEXA_CDECL GetStringUTFChars(JRIEnv*, jint, jstring str) {
  return Env().GetStringBytes(str);
}

template <class TFunction>
JRIGenericFn Slot(TFunction function) {
  return reinterpret_cast<JRIGenericFn>(function);
}

bool IsLongSlot(int slot) {
  // CallMethodLong (+V, +A), GetFieldLong, CallStaticMethodLong (+V, +A), GetStaticFieldLong.
  return (slot >= 39 && slot <= 41) || slot == 55 || (slot >= 87 && slot <= 89) || slot == 103;
}

bool IsFloatingSlot(int slot) {
  // The Float and Double forms of CallMethod, GetField, CallStaticMethod and GetStaticField.
  return (slot >= 42 && slot <= 47) || slot == 56 || slot == 57 || (slot >= 90 && slot <= 95) ||
         slot == 104 || slot == 105;
}

}  // namespace

jint CGetPeer::Invoke(jref, const JRIStackItem*, int) {
  return static_cast<jint>(reinterpret_cast<uintptr_t>(&Env().GetPeer()->word2));
}

CJRIEnvironment& CJRIEnvironment::Instance() {
  // Never destroyed: the plug-in may call the environment from any exit-time path.
  static CJRIEnvironment* instance = new CJRIEnvironment();
  return *instance;
}

CJRIEnvironment::CJRIEnvironment() {
  peer_.hostRecord = kHostRecord;
  peer_.word1 = 0x1234;
  peer_.word2 = 0;
  peer_.self = &peer_;
  peer_.word4 = 0x2345;

  for (int slot = 0; slot < kJRISlotCount; ++slot) {
    if (slot < kJRIReservedSlots) {
      table_.slots.slots[slot] = reinterpret_cast<JRIGenericFn>(kReservedSlotWord);
    } else if (IsLongSlot(slot)) {
      table_.slots.slots[slot] = Slot(&InertLong);
    } else if (IsFloatingSlot(slot)) {
      table_.slots.slots[slot] = Slot(&InertDouble);
    } else {
      table_.slots.slots[slot] = Slot(&InertWord);
    }
  }
  table_.slots.slots[kJRIFindClass] = Slot(&FindClass);
  table_.slots.slots[kJRINewGlobalRef] = Slot(&NewGlobalRef);
  table_.slots.slots[kJRIGetGlobalRef] = Slot(&GetGlobalRef);
  table_.slots.slots[kJRIGetMethodID] = Slot(&GetMethodID);
  table_.slots.slots[kJRICallMethod] = Slot(&CallMethod);
  table_.slots.slots[kJRICallMethodInt] = Slot(&CallMethodInt);
  table_.slots.slots[kJRIGetFieldID] = Slot(&GetFieldID);
  table_.slots.slots[kJRINewStringUTF] = Slot(&NewStringUTF);
  table_.slots.slots[kJRIGetStringUTFChars] = Slot(&GetStringUTFChars);
  table_.marker = 0x12345;
  table_.peer = &peer_;
  table_.methods = &methods_;
  table_.nextUnregistered = kJRIFirstUnregisteredMethodId;

  record_.table = &table_.slots;
  record_.words[0] = 1;
  record_.words[1] = 2;
  record_.words[2] = 3;
}

CJRIEnvironment::~CJRIEnvironment() {
  ReleaseAllStrings();
}

JRIEnv* CJRIEnvironment::GetEnv() {
  // The record's first word is the table pointer, which is what a JRIEnv* addresses.
  return reinterpret_cast<JRIEnv*>(&record_);
}

void CJRIEnvironment::Register(std::unique_ptr<CJRICommand> command) {
  if (command) methods_.push_back(std::move(command));
}

jint CJRIEnvironment::LookUpMethod(const char* name, const char* signature) {
  if (name && signature) {
    for (const auto& method : methods_) {
      if (std::strcmp(method->GetName(), name) == 0 &&
          std::strcmp(method->GetSignature(), signature) == 0) {
        return method->GetIdentifier();
      }
    }
  }
  return table_.nextUnregistered--;
}

CJRICommand* CJRIEnvironment::FindMethod(jint identifier) const {
  for (const auto& method : methods_) {
    if (method->GetIdentifier() == identifier) return method.get();
  }
  return nullptr;
}

jstring CJRIEnvironment::NewString(const char* utf8) {
  return MakeString(utf8, Lifetime::kHost);
}

jstring CJRIEnvironment::NewLocalString(const char* utf8) {
  return MakeString(utf8, frameDepth_ > 0 ? Lifetime::kFrame : Lifetime::kLoose);
}

jstring CJRIEnvironment::MakeString(const char* utf8, Lifetime lifetime) {
  if (!utf8) return nullptr;
  const size_t length = std::strlen(utf8);
  if (length > 0x7FFFFFFE) return nullptr;
  auto* str = new (std::nothrow) CJRIString;
  if (!str) return nullptr;
  str->bytes = new (std::nothrow) char[length + 1];
  if (!str->bytes) {
    delete str;
    return nullptr;
  }
  std::memcpy(str->bytes, utf8, length + 1);
  str->length = static_cast<int32_t>(length);
  strings_.emplace(str, lifetime);
  return str;
}

const char* CJRIEnvironment::GetStringBytes(jstring str) const {
  auto* record = static_cast<CJRIString*>(str);
  if (!record || strings_.count(record) == 0) return nullptr;
  return record->bytes;
}

void CJRIEnvironment::ReleaseString(jstring str) {
  auto* record = static_cast<CJRIString*>(str);
  if (!record || strings_.erase(record) == 0) return;
  delete[] record->bytes;
  delete record;
}

void CJRIEnvironment::ReleaseAllStrings() {
  for (const auto& entry : strings_) {
    delete[] entry.first->bytes;
    delete entry.first;
  }
  strings_.clear();
}

void CJRIEnvironment::LeaveLocalFrame() {
  if (frameDepth_ == 0) return;
  if (--frameDepth_ == 0) ReleaseStrings(Lifetime::kFrame);
}

void CJRIEnvironment::ReleaseLooseStrings() {
  if (frameDepth_ == 0) ReleaseStrings(Lifetime::kLoose);
}

void CJRIEnvironment::ReleaseStrings(Lifetime lifetime) {
  for (auto it = strings_.begin(); it != strings_.end();) {
    if (it->second != lifetime) {
      ++it;
      continue;
    }
    delete[] it->first->bytes;
    delete it->first;
    it = strings_.erase(it);
  }
}
