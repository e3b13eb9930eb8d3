// CHostControlImpl: the host-control object the player hands to every plug-in library.
//
// It lets a game's native extension read the game's files, find the game's folder, read movie
// variables and queue results for the movie (IVEXAHostControl, include/vexa/plugin.h). It works
// through the player's file loader and Flash holder, which it does not own: the player sets them
// at start and clears them before they go away. Every operation that needs one of them answers
// E_UNEXPECTED while it is not set, so a library that keeps the object past the player's shutdown
// gets a status instead of a dangling call.
//
// Reference counted like any COM object; Create() hands out the first reference. The main window
// thread only (the counter itself is atomic, so a plug-in releasing from another thread does no
// harm).
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/oleauto.h"
#include "vexa/plugin.h"

class IFileLoader;
class IFlashHolder;

class CHostControlImpl final : public IVEXAHostControl {
 public:
  // A new object with one reference for the caller, no loader, no holder and the executable's
  // folder as host folder. E_INVALIDARG for a null output, E_OUTOFMEMORY.
  static HRESULT Create(CHostControlImpl** out);

  CHostControlImpl(const CHostControlImpl&) = delete;
  CHostControlImpl& operator=(const CHostControlImpl&) = delete;

  // ---- Wiring (not owned; null disconnects)
  void SetFileLoader(IFileLoader* loader) { loader_ = loader; }
  void SetFlashHolder(IFlashHolder* holder) { holder_ = holder; }
  IFileLoader* GetFileLoader() const { return loader_; }
  IFlashHolder* GetFlashHolder() const { return holder_; }
  // What GetHostFolder reports: any separators, a trailing '/' is added when missing; empty
  // text restores the executable's folder.
  void SetHostFolder(const char* folder);
  const std::string& GetHostFolderText() const { return folder_; }

  // ---- IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ---- IVEXAHostControl (contracts in vexa/plugin.h)
  // Reads through the loader's Load (package first, then the game folder; no base URL). The path
  // goes to the loader as ANSI text.
  HRESULT STDMETHODCALLTYPE OpenFileStream(LPCOLESTR path, IStream** stream) override;
  HRESULT STDMETHODCALLTYPE GetHostFolder(BSTR* folder) override;
  // The holder's wide GetMovieVariable: names outside the ANSI code page reach the movie intact.
  HRESULT STDMETHODCALLTYPE ReadMovieVariable(LPCOLESTR name, BSTR* value) override;
  // The holder's wide AddResult, for the same reason.
  HRESULT STDMETHODCALLTYPE WriteResult(LPCOLESTR name, LPCOLESTR value) override;
  // The holder's Reserved12 status.
  HRESULT STDMETHODCALLTYPE Reserved7(LONG a, LONG b, LONG c) override;
  HRESULT STDMETHODCALLTYPE Reserved8(LONG a, LONG b, LONG* out) override;

 private:
  CHostControlImpl();
  ~CHostControlImpl() = default;

  std::atomic<ULONG> refs_{1};
  IFileLoader* loader_ = nullptr;
  IFlashHolder* holder_ = nullptr;
  std::string folder_;
};

// Holds one reference; letting go of it also disconnects the object from the loader and the
// holder, so whoever else still holds it (a library not yet unloaded) gets E_UNEXPECTED instead of
// calls into objects that may be gone.
struct CHostControlRelease {
  void operator()(CHostControlImpl* host) const {
    if (!host) return;
    host->SetFileLoader(nullptr);
    host->SetFlashHolder(nullptr);
    host->Release();
  }
};
using CHostControlPtr = std::unique_ptr<CHostControlImpl, CHostControlRelease>;
