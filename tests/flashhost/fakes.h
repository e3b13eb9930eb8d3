// Test doubles for the plug-in host: a plug-in table made of recording functions, a file loader
// serving a fixed set of files, and a URL opener that only remembers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "data/loader.h"
#include "flashhost/npapi.h"
#include "flashhost/pluginhost.h"

// The plug-in side, reached from the fake table entries through the instance's pdata.
struct FakePlugin {
  CPluginHost* host = nullptr;
  // One line per call, e.g. "NewStream url=... mime=... seekable=1 end=0 notify=7".
  std::vector<std::string> log;
  // Bytes received through Write, concatenated in offset order as the host offered them.
  std::string received;
  // Length of `received` when the current stream began.
  size_t streamStart = 0;
  // Bytes each Write call takes, in turn; the last value repeats. Empty: take everything.
  std::vector<int32_t> acceptPlan;
  size_t writeCalls = 0;
  // False once an entry was called without the host in the instance's browser data.
  bool ndataAlwaysHost = true;
  // Requests to make from inside the next URLNotify (url), to see requeue during serving.
  std::vector<std::string> requestOnNotify;
  // Stream type the plug-in asks for in NewStream.
  uint16_t askStreamType = NP_NORMAL;
  // Run once from inside the next call of that entry (after logging it), as a movie's command would
  // run from inside the plug-in's call; cleared before it runs.
  std::function<void()> onNewStream;
  std::function<void()> onWrite;
  std::function<void()> onDestroyStream;
  // Destroy: whether it was given a place for saved data, and whether to leave saved data there
  // (a record and a buffer of `savedBytes` bytes, both from the host's memalloc).
  bool destroyGotSavePlace = false;
  bool leaveSavedData = false;
  uint32_t savedBytes = 16;
};

// Fills `funcs` with the recording entries (all of them) and attaches `plugin` to `host`'s
// instance.
void InstallFakePlugin(CPluginHost* host, FakePlugin* plugin);

class CFakeLoader : public IFileLoader {
 public:
  std::map<std::string, std::string> files;
  // Paths asked for through Load, in order; package names passed with them ("(null)" for null).
  std::vector<std::string> loads;
  std::vector<std::string> packageNames;
  int otherCalls = 0;

  HRESULT Load(const char* path, uint8_t** data, int32_t* size, CSmallStr* baseUrl,
               const char* packageName) override;
  HRESULT LoadFromPackage(const char*, const char*, const char*, uint8_t** data, int32_t* size,
                          CSmallStr*) override;
  HRESULT LoadFromDisk(const char*, uint8_t** data, int32_t* size, CSmallStr*) override;
};

class CRecordingOpener : public IUrlOpener {
 public:
  std::vector<std::string> opened;
  void OpenUrl(const char* url) override { opened.push_back(url ? url : "(null)"); }
};

// Makes `folder` the working directory for the life of the object, then goes back.
class CWorkingDirectoryChange {
 public:
  explicit CWorkingDirectoryChange(const std::string& folder);
  ~CWorkingDirectoryChange();
  CWorkingDirectoryChange(const CWorkingDirectoryChange&) = delete;
  CWorkingDirectoryChange& operator=(const CWorkingDirectoryChange&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string before_;
  bool ok_;
};
