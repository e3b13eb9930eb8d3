// Calling conventions and symbol visibility at the plug-in boundary.
//
// On 32-bit Windows the plug-in library's own entry points (NP_GetEntryPoints, NP_Initialize,
// NP_Shutdown) are __stdcall, while every function-table entry, every scripting-class callback,
// every JRI slot and the JRI native stubs use the C default (cdecl). Other targets have a single
// convention, so the macros expand to nothing there.
//
// VEXA_EXPORT marks a function the plug-in library exports by name. Windows builds list their
// exports in a module-definition file instead (so stdcall names stay undecorated), hence nothing is
// needed there; ELF builds are compiled with hidden visibility and mark each export explicitly.
#pragma once

#if defined(_WIN32)
#define VEXA_STDCALL __stdcall
#define VEXA_CDECL __cdecl
#define VEXA_EXPORT
#else
#define VEXA_STDCALL
#define VEXA_CDECL
#define VEXA_EXPORT __attribute__((visibility("default")))
#endif
