// The player's side of the script as far as the script commands (CALL, EF, EXEC) need it: the
// engine's <fscommand> statements go back into the same command processor, as the player sends
// them. Shared by the script command tests and the FSCommand fuzz target.
#pragma once

#include <string>
#include <vector>

#include "fscommand/processor.h"
#include "support/script_host.h"

namespace fscommand_test {

class CLoopbackHost : public vexa::testing::CNullScriptHost {
 public:
  explicit CLoopbackHost(CFSCommandProcessor* processor) : processor_(processor) {}

  // "command|args" of every command sent, oldest first.
  std::vector<std::wstring> sent;

  HRESULT SendFSCommand(const wchar_t* command, const wchar_t* args) override {
    sent.push_back(std::wstring(command ? command : L"") + L"|" + (args ? args : L""));
    return processor_->OnFSCommand(command, args);
  }

 private:
  CFSCommandProcessor* processor_;
};

}  // namespace fscommand_test
