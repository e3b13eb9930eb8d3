// The stand-in plug-in's NPAPI side: the library entry points, the plug-in function table, the
// scriptable object and the two JRI native stubs. exports.cpp exports these under the names a
// browser looks up; everything here runs on the browser's main thread.
#pragma once

#include "flashhost/jri.h"
#include "flashhost/npapi.h"

namespace vexa::standin {

constexpr char kPluginMimeType[] = "application/x-shockwave-flash";
constexpr char kPluginName[] = "VEXA stand-in player";
constexpr char kPluginDescription[] = "Plays VEXA scene movies in place of the Flash plug-in";

// Fills the plug-in table. A table whose size field is set and smaller than ours is filled only as
// far as it reaches; a zero size means "as large as ours". NPERR_INVALID_FUNCTABLE_ERROR for null.
NPError GetEntryPoints(NPPluginFuncs* funcs);

// Keeps a copy of the browser table (entries past its size field are treated as missing; a zero
// size means a full table). NPERR_INVALID_FUNCTABLE_ERROR for null,
// NPERR_INCOMPATIBLE_VERSION_ERROR for a newer major version.
NPError Initialize(const NPNetscapeFuncs* funcs);

// Destroys instances still alive and forgets the browser table.
NPError Shutdown();

// Java_ShockwaveFlash_LoadMovie_stub: args = (peer, layer, url string). Loads the URL into the
// layer of the current instance (the newest live one); an empty URL unloads the layer. No result.
void LoadMovieStub(JRIStackItem* args, JRIEnv* env);

// Java_ShockwaveFlash_GetVariable_stub: args = (peer, name string). Leaves in args[0] a string made
// with the environment's NewStringUTF holding the variable's value, or null when the variable does
// not exist (or there is no instance or environment).
void GetVariableStub(JRIStackItem* args, JRIEnv* env);

}  // namespace vexa::standin
