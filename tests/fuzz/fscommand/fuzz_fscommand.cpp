// Fuzz target: arbitrary FSCommands dispatched by the command processor, wired to recording fakes
// (player, holder, plug-in objects, services) and to a script engine whose <fscommand> statements
// come back into the processor.
//
// The input is UTF-8 text, one command per line: the command, a tab, the argument (a line without a
// tab has an empty argument). At most kMaxCommands lines are dispatched. SEF writes nothing to disk
// here: the file write is replaced by a check of what would be written.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fscommand/fakes.h"
#include "fscommand/loopback_host.h"
#include "fscommand/processor.h"
#include "platform/codepage.h"
#include "script/engine.h"

namespace {

constexpr int kMaxCommands = 64;

class CDiskFreeProcessor : public CFSCommandProcessor {
 public:
  size_t written = 0;

 protected:
  bool WriteCommandFile(const std::string& path, const std::string& bytes, bool) override {
    if (path.empty()) __builtin_trap();  // SEF refuses empty names before writing
    written += bytes.size();
    return true;
  }
};

uint32_t FixedTick() {
  return 1000;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fscommand_test;
  CFakeDilator dilator;
  CFakeHolder holder;
  CFakePluginSource plugins;
  CFakeVolume volume;
  CFakeWallpaper wallpaper;
  CDiskFreeProcessor processor;
  CScriptEngine engine;
  CLoopbackHost host(&processor);

  plugins.known["calc"] = L"42";
  holder.variables[L"obj"] = "calc_1000";
  engine.SetHost(&host);
  engine.SetStepLimit(2000);
  processor.SetScriptContext(&engine);
  processor.SetDilator(&dilator);
  processor.SetHolder(&holder);
  processor.SetPluginSource(&plugins);
  processor.SetVolumeService(&volume);
  processor.SetWallpaperService(&wallpaper);
  processor.SetTickSource(&FixedTick);

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  for (int n = 0; n < kMaxCommands && start <= text.size(); ++n) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    const size_t tab = line.find('\t');
    const std::wstring command = vexa::platform::Utf8ToWide(line.substr(0, tab));
    const std::wstring argument = tab == std::string_view::npos
                                      ? std::wstring()
                                      : vexa::platform::Utf8ToWide(line.substr(tab + 1));
    processor.OnFSCommand(command.c_str(), argument.c_str());
    start = end + 1;
  }
  // Every result went through the holder as text; every code is still in the list once.
  if (processor.GetCommandOrder().size() != CFSCommandProcessor::GetCommandTable().size()) {
    __builtin_trap();
  }
  processor.ReleasePluginObjects();
  if (plugins.log.live != 0) __builtin_trap();
  return 0;
}
