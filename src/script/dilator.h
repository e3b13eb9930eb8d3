// IScriptDilator: the host operations the script engine calls out to.
//
// The player object implements this interface; the script engine holds a non-owning pointer to it
// (CScriptEngine::SetHost). Every operation returns a status: 0 (or another non-negative value) for
// success, a negative code for failure. Operations never throw.
//
// Threading: every call comes from the UI thread, like every entry into the script engine.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/oleauto.h"
#include "script/smallstr.h"

class CXMLElement;

class IScriptDilator {
 public:
  virtual ~IScriptDilator() = default;

  // <load>: the statement element itself; the host reads its attributes (url, layer). The element
  // is only borrowed for the call. The script ignores the status.
  virtual HRESULT LoadIntoLayer(CXMLElement* element) = 0;
  // <ref>: as LoadIntoLayer (url, alias).
  virtual HRESULT LoadReference(CXMLElement* element) = 0;
  // <movie>: as LoadIntoLayer (url, width, height, resize, posx, posy, center).
  virtual HRESULT SetMovie(CXMLElement* element) = 0;

  // <assign>, offered before the script's own variables. `base` is the folder URL of the file the
  // statement came from (may be empty). A status of 0 or more means the host took the name as one
  // of its settings and the script does nothing more; a failure means the name is not the host's.
  virtual HRESULT SetSystemVariable(const char* name, const VARIANT* value, const char* base) = 0;

  // <set>: hands a value to the movie under the movie variable `name`.
  virtual HRESULT SetMovieValue(const char* name, const VARIANT* value) = 0;

  // <timeout> / <timeinterval>: a one-shot or repeating timer of `milliseconds` (as the script
  // wrote it, saturated to 32 bits; never 0, possibly negative) that evaluates `expression` in the
  // global scope when it fires. The host owns the expression string from the call on, whatever
  // status it returns.
  virtual HRESULT AddTimeout(int32_t milliseconds, std::unique_ptr<CSmallStr> expression) = 0;
  virtual HRESULT AddInterval(int32_t milliseconds, std::unique_ptr<CSmallStr> expression) = 0;

  // <fscommand>: dispatches the pair exactly like a command sent by the movie. Neither is null.
  virtual HRESULT SendFSCommand(const wchar_t* command, const wchar_t* args) = 0;

  // Host operations that statements do not call; they complete the player's side of the interface.
  virtual HRESULT LayoutWindow() = 0;
  virtual HRESULT AttachMovieWindow() = 0;
  // Virtual-registry values; `shared` picks the default scope (true) or the current user's (false).
  virtual HRESULT WriteValue(const char* name, const char* value, bool shared) = 0;
  virtual HRESULT ReadValue(const char* name, CSmallStr* value, bool shared) = 0;
  virtual HRESULT SelectMovieVariant() = 0;
  virtual HRESULT OnQuit() = 0;
};
