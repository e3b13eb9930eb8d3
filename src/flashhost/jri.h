// The JRI (Java Runtime Interface) surface shared by the player and the plug-in: the environment
// record, the interface table, the slots both sides use and the native stub signature.
//
// A JRI environment is reached through `JRIEnv*`: that pointer addresses a record whose first word
// is the interface table pointer. Every call goes through the table as `(*env)->slots[op](env, op,
// ...)`; the operation id passed second always equals the slot index. Calls exist in three forms:
// the variadic base slot, the va_list form at base + 1 and the argument-array form at base + 2.
// Only the base forms are declared here because only those are used.
//
// Everything here is plain C data and cdecl function pointers, so either side may implement it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/callconv.h"

typedef int32_t jint;
typedef uint8_t jbool;
// An object reference; strings are objects too. Its representation belongs to the environment.
typedef void* jref;
typedef jref jstring;
typedef jref jclass;
// A global (pinned) reference handle.
typedef void* jglobal;

// Slot indices (= operation ids) of the interface table.
enum JRISlot : jint {
  kJRIReservedSlots = 4,  // slots 0..3 carry no functions
  kJRIFindClass = 4,
  kJRINewGlobalRef = 10,
  kJRIGetGlobalRef = 12,
  kJRIGetMethodID = 20,
  kJRICallMethod = 21,
  kJRICallMethodInt = 36,
  kJRIGetFieldID = 48,
  kJRINewStringUTF = 118,
  kJRIGetStringUTFChars = 120,
  kJRISlotCount = 133,
};

// A slot holds any of the function types below (or, for the reserved slots, a data word); callers
// cast to the slot's real type before calling.
typedef void(VEXA_CDECL* JRIGenericFn)(void);

struct JRIInterfaceTable {
  JRIGenericFn slots[kJRISlotCount];
};

// The environment pointer handed across the interface is a JRIEnv*, that is a pointer to a word
// holding the table pointer.
typedef const JRIInterfaceTable* JRIEnv;

// Function types of the slots used. `op` is the slot index.
typedef jclass(VEXA_CDECL* JRIFindClassFn)(JRIEnv* env, jint op, const char* name);
typedef jref(VEXA_CDECL* JRINewGlobalRefFn)(JRIEnv* env, jint op, jref ref);
typedef jref(VEXA_CDECL* JRIGetGlobalRefFn)(JRIEnv* env, jint op, jglobal global);
// Returns a method id; the caller passes it unchanged to the call slots.
typedef jint(VEXA_CDECL* JRIGetMethodIDFn)(JRIEnv* env, jint op, jclass clazz, const char* name,
                                           const char* signature);
// Calls a method of `obj`; the method's arguments follow as one word each.
typedef jref(VEXA_CDECL* JRICallMethodFn)(JRIEnv* env, jint op, jref obj, jint method, ...);
typedef jint(VEXA_CDECL* JRICallMethodIntFn)(JRIEnv* env, jint op, jref obj, jint method, ...);
typedef jint(VEXA_CDECL* JRIGetFieldIDFn)(JRIEnv* env, jint op, jclass clazz, const char* name,
                                          const char* signature);
// Makes a string from UTF-8 bytes. Implementations may ignore `length` and read up to the
// terminator, so callers always pass terminated text.
typedef jstring(VEXA_CDECL* JRINewStringUTFFn)(JRIEnv* env, jint op, const char* utf8, jint length);
// The UTF-8 bytes of a string, owned by the environment; null for a null string.
typedef const char*(VEXA_CDECL* JRIGetStringUTFCharsFn)(JRIEnv* env, jint op, jstring str);

// One word of the argument array a native stub receives. Four bytes on 32-bit targets,
// pointer-sized elsewhere.
union JRIStackItem {
  jint i;
  void* p;
};

// A native method stub, exported as Java_<Class>_<method>_stub. `args` holds `this` (the peer
// object) in slot 0 followed by the method's arguments, one word each; the stub leaves its result,
// if any, in slot 0. There is no argument count: the method's signature fixes it.
typedef void(VEXA_CDECL* JRINativeStubFn)(JRIStackItem* args, JRIEnv* env);

// Layout on every target: the other side of the interface may be foreign code.
static_assert(sizeof(JRIInterfaceTable) == sizeof(void*) * kJRISlotCount,
              "JRI interface table is 133 words");
static_assert(sizeof(JRIStackItem) == sizeof(void*), "JRI stack items are one word");
