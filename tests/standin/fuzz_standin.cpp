// Feeds arbitrary bytes to the stand-in's parsers and interpreter: the first byte picks the target.
// Scenes run against a host that answers everything and calls straight back into the movie, so
// handlers, loads and re-entry are exercised too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "standin/invokexml.h"
#include "standin/movie.h"
#include "standin/scene.h"
#include "standin/swfheader.h"

namespace {

using namespace vexa::standin;

class CEchoHost : public IMovieHost {
 public:
  CMovie* movie = nullptr;
  std::vector<LoadRequest> requests;
  uint32_t now = 0;

  void Trace(const std::string&) override {}
  bool SendFsCommand(FsPath, const std::string& command, const std::string&) override {
    std::string xml;
    movie->Call(command, {"1", "x"}, &xml);
    return true;
  }
  bool CallExternal(const std::string& function, const std::vector<ScriptArg>&) override {
    std::string xml;
    movie->Call(function, {}, &xml);
    return true;
  }
  bool RequestUrl(const LoadRequest& request) override {
    if (requests.size() < 8) requests.push_back(request);
    return true;
  }
  bool Navigate(const std::string&, const std::string&) override { return true; }
  bool QueryLocation(std::string* url) override {
    *url = "http://fuzz/";
    return true;
  }
  void Invalidate() override {}
  void ScheduleTimer(uint32_t) override {}
  void CancelTimer() override {}
  uint32_t NowMs() override { return now; }
  bool Alive() override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 3) {
    case 0: {
      CEchoHost host;
      CMovie movie(&host);
      host.movie = &movie;
      // Every path is reached with a small budget; the default lets one input run for seconds.
      movie.SetStepsPerEvent(2000);
      movie.LoadLayer(0, "fuzz", text);
      movie.Click(10, 10);
      movie.Key(65);
      host.now += 100000;
      movie.Tick();
      std::string xml;
      movie.Call("f", {"a"}, &xml);
      std::vector<LoadRequest> requests;
      requests.swap(host.requests);
      for (const LoadRequest& request : requests) movie.CompleteLoad(request, text.substr(0, 256));
      movie.DisplayList();
      break;
    }
    case 1: {
      InvokeRequest request;
      std::string error;
      ParseInvokeXml(text, &request, &error);
      break;
    }
    case 2: {
      SwfHeader header;
      if (ReadSwfHeader(data + 1, size - 1, &header)) DescribeSwf(header);
      break;
    }
  }
  return 0;
}
