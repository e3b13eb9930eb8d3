// A small fake browser for driving the stand-in plug-in library in tests: a browser function table,
// a JRI environment and a window object that record what the plug-in asks for. It answers the way
// the player's host does (identifiers are the plug-in's own name pointers, evaluation of an
// ExternalInterface call is recognised by its markers and answered with false) so the plug-in is
// tested against the behaviour it will meet. Only one fake exists at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "flashhost/jri.h"
#include "flashhost/npapi.h"

namespace standin_test {

struct FsCall {
  std::string path;  // "jri", "invoke" or "external"
  std::string command;
  std::string arg;
  bool operator==(const FsCall& other) const {
    return path == other.path && command == other.command && arg == other.arg;
  }
};

struct UrlRequest {
  std::string url;
  bool has_target = false;
  std::string target;
  void* notify = nullptr;
};

class CFakeBrowser {
 public:
  CFakeBrowser();
  ~CFakeBrowser();

  NPNetscapeFuncs funcs;  // handed to NP_Initialize
  NPPluginFuncs plugin;   // filled by NP_GetEntryPoints
  NPP_t npp;              // the one instance

  JRIEnv* env() { return reinterpret_cast<JRIEnv*>(&env_record_); }
  jref peer() { return &peer_; }
  jstring MakeString(const std::string& text);
  // Text of a string made by this environment; "<null>" for null.
  static std::string StringText(jstring str);

  // Delivers one stream the way the host does: NewStream, WriteReady, Write in pieces of at most
  // `chunk` bytes (honouring partial acceptance), DestroyStream; URLNotify when `notify` is set.
  void Deliver(const std::string& url, const std::string& mime, const std::string& bytes,
               void* notify, bool url_notify, size_t chunk = 1 << 20);
  // Answers every pending request from `files` (missing names give empty streams).
  void ServeRequests();

  // NPP_New with the host's fixed embed arguments.
  NPError NewInstance(const char* src = "");

  // What the plug-in did.
  std::vector<FsCall> fscommands;
  std::vector<std::string> jri_targets;  // first string argument of each JRI FSCommand
  std::vector<UrlRequest> requests;      // pending, emptied by ServeRequests
  std::vector<std::string> scripts;      // every evaluated script
  int live_windows = 0;                  // window objects not yet deallocated
  int outstanding_allocations = 0;       // memalloc minus memfree
  std::string location = "http://vexa.test/default.html";
  std::map<std::string, std::string> files;

  // Called for every FSCommand, after it is recorded (tests use it to re-enter the plug-in).
  std::function<void(const FsCall&)> on_fscommand;

 private:
  struct EnvRecord {
    const JRIInterfaceTable* table;
    intptr_t words[3];
  };
  EnvRecord env_record_;
  int peer_ = 0x1234;
  std::deque<std::string> strings_;  // jstring = pointer to one of these
};

// The fake in use (set by its constructor), for the static callbacks.
CFakeBrowser* CurrentFake();

}  // namespace standin_test
