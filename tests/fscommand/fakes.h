// Stand-ins for what the command processor is wired to: a recording player (IFSCommandDilator), a
// recording Flash holder (IFlashHolder), plug-in objects and their source, and the volume and
// wallpaper services. Shared by the processor tests and the dispatch fuzz target, so no test
// framework here.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "flashhost/holder.h"
#include "fscommand/dilator.h"
#include "fscommand/pluginsource.h"
#include "fscommand/services.h"
#include "platform/codepage.h"
#include "script/smallstr.h"

namespace fscommand_test {

inline std::string Str(const char* text) {
  return text ? text : "<null>";
}

// Records every operation as "Name(arg,arg,...)" with narrow texts as they arrived. Outputs are
// fixed values; `status` (S_OK by default) is what every operation returns, except GetSave, which
// returns `getSaveStatus`.
class CFakeDilator : public IFSCommandDilator {
 public:
  std::vector<std::string> calls;
  HRESULT status = S_OK;
  HRESULT getSaveStatus = S_OK;
  std::string baseDir = "/game/";
  // Runs inside SetMouseInput, as the frame's message pump would run further commands.
  std::function<void(int32_t)> onMouseInput;
  // Runs inside CreateFolderPath (SEF), before the file is written.
  std::function<void(const char*)> onCreateFolderPath;

  HRESULT WriteSharedValue(const char* name, const char* value) override {
    return Call("WriteSharedValue(" + Str(name) + "," + Str(value) + ")");
  }
  HRESULT ReadSharedValue(const char* name, CSmallStr* value) override {
    if (Call("ReadSharedValue(" + Str(name) + ")") >= 0) *value = ("v:" + Str(name)).c_str();
    return status;
  }
  HRESULT EnumSaves(const char* setName, CSmallStr* listing) override {
    if (Call("EnumSaves(" + Str(setName) + ")") >= 0)
      *listing = ("<saves " + Str(setName) + "/>").c_str();
    return status;
  }
  HRESULT GetSave(const char* setName, int32_t slot, CSmallStr* data) override {
    calls.push_back("GetSave(" + Str(setName) + "," + std::to_string(slot) + ")");
    if (getSaveStatus >= 0) *data = ("d:" + Str(setName) + ":" + std::to_string(slot)).c_str();
    return getSaveStatus;
  }
  HRESULT SetSave(const char* setName, int32_t slot, const char* description,
                  const char* data) override {
    return Call("SetSave(" + Str(setName) + "," + std::to_string(slot) + "," + Str(description) +
                "," + Str(data) + ")");
  }
  HRESULT RemoveSave(const char* setName, int32_t slot) override {
    return Call("RemoveSave(" + Str(setName) + "," + std::to_string(slot) + ")");
  }
  HRESULT GetHighScores(const char* table, CSmallStr* listing) override {
    if (Call("GetHighScores(" + Str(table) + ")") >= 0)
      *listing = ("<scores " + Str(table) + "/>").c_str();
    return status;
  }
  HRESULT SetHighScore(int32_t tableSize, const char* table, const char* score) override {
    return Call("SetHighScore(" + std::to_string(tableSize) + "," + Str(table) + "," + Str(score) +
                ")");
  }
  HRESULT IsHighScore(int32_t tableSize, const char* table, const char* score,
                      int32_t* position) override {
    if (Call("IsHighScore(" + std::to_string(tableSize) + "," + Str(table) + "," + Str(score) +
             ")") >= 0) {
      *position = 3;
    }
    return status;
  }
  HRESULT SetHighScoreAt(int32_t position, int32_t tableSize, const char* table,
                         const char* score) override {
    return Call("SetHighScoreAt(" + std::to_string(position) + "," + std::to_string(tableSize) +
                "," + Str(table) + "," + Str(score) + ")");
  }
  HRESULT SetFullScreen(int32_t on) override {
    return Call("SetFullScreen(" + std::to_string(on) + ")");
  }
  HRESULT GetFullScreen(int32_t* on) override {
    if (Call("GetFullScreen()") >= 0) *on = 1;
    return status;
  }
  HRESULT Quit() override { return Call("Quit()"); }
  HRESULT Minimize() override { return Call("Minimize()"); }
  HRESULT GetBaseDir(CSmallStr* folder) override {
    if (!folder) return E_INVALIDARG;
    if (status >= 0) *folder = baseDir.c_str();
    return status;
  }
  HRESULT SetMouseInput(int32_t on) override {
    Call("SetMouseInput(" + std::to_string(on) + ")");
    if (onMouseInput) onMouseInput(on);
    return status;
  }
  HRESULT SetKeyRepeat(int32_t on) override {
    return Call("SetKeyRepeat(" + std::to_string(on) + ")");
  }
  // Screen to player-window coordinates: the window sits at (100, 50). A failure leaves the input.
  HRESULT SetCursorPosition(int32_t* x, int32_t* y) override {
    if (Call("SetCursorPosition(" + std::to_string(*x) + "," + std::to_string(*y) + ")") >= 0) {
      *x -= 100;
      *y -= 50;
    }
    return status;
  }
  HRESULT GetCursorPosition(int32_t* x, int32_t* y) override {
    if (Call("GetCursorPosition()") >= 0) {
      *x = 5;
      *y = 7;
    }
    return status;
  }
  HRESULT CreateFolderPath(const char* path, int32_t pathNamesFile) override {
    Call("CreateFolderPath(" + Str(path) + "," + std::to_string(pathNamesFile) + ")");
    if (onCreateFolderPath) onCreateFolderPath(path);
    return status;
  }
  HRESULT GetMaxDisplayMode(int32_t* width, int32_t* height, int32_t* bitsPerPixel) override {
    if (Call("GetMaxDisplayMode()") >= 0) {
      *width = 1920;
      *height = 1080;
      *bitsPerPixel = 32;
    }
    return status;
  }
  HRESULT WriteUserValue(const char* name, const char* value) override {
    return Call("WriteUserValue(" + Str(name) + "," + Str(value) + ")");
  }
  HRESULT ReadUserValue(const char* name, CSmallStr* value) override {
    if (Call("ReadUserValue(" + Str(name) + ")") >= 0) *value = ("u:" + Str(name)).c_str();
    return status;
  }
  HRESULT SetMovieRect(int32_t x, int32_t y, int32_t width, int32_t height) override {
    return Call("SetMovieRect(" + std::to_string(x) + "," + std::to_string(y) + "," +
                std::to_string(width) + "," + std::to_string(height) + ")");
  }
  HRESULT SetPreferWide(int32_t on) override {
    return Call("SetPreferWide(" + std::to_string(on) + ")");
  }
  HRESULT GetPreferWide(int32_t* on) override {
    if (Call("GetPreferWide()") >= 0) *on = 1;
    return status;
  }
  HRESULT SetKeepAspect(int32_t on) override {
    return Call("SetKeepAspect(" + std::to_string(on) + ")");
  }
  HRESULT GetKeepAspect(int32_t* on) override {
    if (Call("GetKeepAspect()") >= 0) *on = 0;
    return status;
  }
  HRESULT ReselectMovieVariant() override { return Call("ReselectMovieVariant()"); }
  HRESULT GetReadyFlag(CSmallStr* text) override {
    if (Call("GetReadyFlag()") >= 0) *text = "1";
    return status;
  }

 private:
  HRESULT Call(const std::string& text) {
    calls.push_back(text);
    return status;
  }
};

// Keeps the results (as wide text, narrow ones converted the way the real holder converts them)
// and answers movie variables from a map.
class CFakeHolder : public IFlashHolder {
 public:
  std::vector<std::wstring> results;
  std::vector<std::wstring> resultNames;
  std::map<std::wstring, std::string> variables;
  // Runs inside every AddResult, to test re-entry from the result path.
  std::function<void()> onResult;

  HRESULT LoadMovieIntoLayer(int32_t, const char*, const char*) override { return E_NOTIMPL; }
  HRESULT LoadMovieData(int32_t, const char*, int32_t, const char*) override { return E_NOTIMPL; }
  HRESULT OpenMovie(const char*) override { return E_NOTIMPL; }
  HRESULT AddResult(const wchar_t* name, const wchar_t* text) override {
    if (!text) return E_INVALIDARG;
    resultNames.push_back(name ? name : L"<null>");
    results.push_back(text);
    if (onResult) onResult();
    return S_OK;
  }
  HRESULT AddResultA(const char* name, const char* text) override {
    if (!text) return E_INVALIDARG;
    resultNames.push_back(name ? vexa::platform::AnsiToWide(name) : L"<null>");
    results.push_back(vexa::platform::AnsiToWide(text));
    if (onResult) onResult();
    return S_OK;
  }
  HRESULT GetMovieVariable(const wchar_t* name, CSmallStr* value) override {
    if (!name || !value) return E_INVALIDARG;
    auto found = variables.find(name);
    if (found == variables.end()) return E_FAIL;
    *value = found->second.c_str();
    return S_OK;
  }
  HRESULT GetMovieVariableA(const char* name, CSmallStr* value) override {
    if (!name) return E_INVALIDARG;
    return GetMovieVariable(vexa::platform::AnsiToWide(name).c_str(), value);
  }
  HRESULT SetFocus(int32_t) override { return S_OK; }
  HRESULT SetWindowRect(int32_t, int32_t, int32_t, int32_t) override { return S_OK; }
  HRESULT AttachToWindow(vexa::platform::WindowHandle) override { return S_OK; }
  HRESULT SetMovieSize(int32_t, int32_t) override { return S_OK; }
  HRESULT CloseMovie() override { return S_OK; }
  HRESULT Reserved12() override { return E_FAIL; }
  HRESULT PreTranslate(const vexa::platform::WindowMessage*) override { return E_FAIL; }
  HRESULT GetWindow(vexa::platform::WindowHandle* window) override {
    if (!window) return E_POINTER;
    *window = nullptr;
    return S_OK;
  }
  HRESULT Reserved15() override { return E_NOTIMPL; }
  HRESULT SetFlashVars(const char*) override { return S_OK; }
  HRESULT SetOption(int32_t) override { return S_OK; }
  HRESULT CallMovieFunction(const wchar_t*, const VARIANT*, int32_t, VARIANT*) override {
    return E_FAIL;
  }
  HRESULT SetResultCallback(const wchar_t*) override { return S_OK; }
};

// One plug-in object: counts its references and records its calls ("kind member(arg0|arg1...)"
// with the DISPPARAMS elements in array order). Answers with `answer` as a VT_BSTR, or fails when
// `fail` is set. `live` counts the objects not yet destroyed.
class CFakePluginObject final : public IPluginInstance {
 public:
  struct Log {
    std::vector<std::wstring> calls;
    int live = 0;
    int created = 0;
  };

  CFakePluginObject(Log* log, std::wstring answer) : log_(log), answer_(std::move(answer)) {
    ++log_->live;
    ++log_->created;
  }

  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override {
    const uint32_t left = --references_;
    if (left == 0) {
      --log_->live;
      delete this;
    }
    return left;
  }
  HRESULT InvokeByName(const wchar_t* member, int32_t kind, DISPPARAMS* args,
                       VARIANT* result) override {
    std::wstring text = std::to_wstring(kind) + L" " + (member ? member : L"<null>") + L"(";
    for (UINT i = 0; args && i < args->cArgs; ++i) {
      if (i > 0) text += L"|";
      const VARIANT& value = args->rgvarg[i];
      text += value.vt == VT_BSTR ? std::wstring(value.bstrVal ? value.bstrVal : L"")
                                  : std::wstring(L"<not a string>");
    }
    text += L")";
    log_->calls.push_back(text);
    if (onInvoke) onInvoke();
    if (fail) return E_FAIL;
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocString(answer_.c_str());
    return S_OK;
  }

  bool fail = false;
  std::function<void()> onInvoke;

 private:
  ~CFakePluginObject() = default;

  Log* log_;
  std::wstring answer_;
  uint32_t references_ = 1;
};

// Creates CFakePluginObjects for the names it knows; the last one made is `last`.
class CFakePluginSource : public IPluginObjectSource {
 public:
  std::map<std::string, std::wstring> known;  // plug-in name -> answer of its objects
  CFakePluginObject::Log log;
  CFakePluginObject* last = nullptr;
  std::vector<std::string> asked;

  HRESULT CreatePluginObject(const char* name, IPluginInstance** out) override {
    asked.push_back(Str(name));
    *out = nullptr;
    auto found = known.find(Str(name));
    if (found == known.end()) return E_FAIL;
    last = new CFakePluginObject(&log, found->second);
    *out = last;
    return S_OK;
  }
};

class CFakeVolume : public IVolumeService {
 public:
  std::vector<std::string> calls;
  bool sink = true;
  HRESULT status = S_OK;

  HRESULT GetVolume(int32_t* volume) override {
    calls.push_back("GetVolume()");
    if (status >= 0) *volume = 42;
    return status;
  }
  HRESULT SetVolume(int32_t volume) override {
    calls.push_back("SetVolume(" + std::to_string(volume) + ")");
    return status;
  }
  HRESULT GetMute(int32_t* muted) override {
    calls.push_back("GetMute()");
    if (status >= 0) *muted = 1;
    return status;
  }
  HRESULT SetMute(int32_t muted) override {
    calls.push_back("SetMute(" + std::to_string(muted) + ")");
    return status;
  }
  HRESULT SetReportName(const char* name) override {
    calls.push_back("SetReportName(" + Str(name) + ")");
    return status;
  }
  bool HasResultSink() override { return sink; }
};

class CFakeWallpaper : public IWallpaperService {
 public:
  std::vector<std::string> calls;
  HRESULT status = S_OK;

  HRESULT SetWallpaper(IFileLoader* loader, const char* imageName, CSmallStr* bitmapPath) override {
    calls.push_back(std::string("SetWallpaper(") + (loader ? "loader" : "null") + "," +
                    Str(imageName) + ")");
    if (status >= 0) *bitmapPath = ("C:/Docs/" + Str(imageName) + ".bmp").c_str();
    return status;
  }
};

}  // namespace fscommand_test
