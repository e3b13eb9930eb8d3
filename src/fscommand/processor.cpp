#include "fscommand/processor.h"

#include <cwchar>
#include <cwctype>
#include <string>

#include "flashhost/holder.h"
#include "fscommand/dilator.h"

// Table order is the list's starting order.
const CFSCommandProcessor::Command CFSCommandProcessor::kCommands[] = {
    {L"Q", &CFSCommandProcessor::HandleQuit},
    {L"LS", &CFSCommandProcessor::HandleReadyFlag},
};

CFSCommandProcessor::CFSCommandProcessor() {
  for (const Command& command : kCommands) commands_.push_back(command);
}

CFSCommandProcessor::~CFSCommandProcessor() = default;

HRESULT CFSCommandProcessor::OnFSCommand(const wchar_t* command, const wchar_t* argument) {
  if (!command) command = L"";
  if (!argument) argument = L"";

  std::wstring upper(command);
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));

  auto match = commands_.begin();
  for (; match != commands_.end(); ++match) {
    if (upper.compare(0, std::wcslen(match->code), match->code) == 0) break;
  }
  if (match == commands_.end()) return S_OK;

  // Moved before the call: a handler that dispatches further commands may reorder the list, and no
  // position in it is held across the call.
  const Handler handler = match->handler;
  commands_.splice(commands_.begin(), commands_, match);

  const CSmallWStr upperText(upper.c_str(), static_cast<int>(upper.size()));
  (this->*handler)(upperText, command, argument);
  return S_OK;
}

HRESULT CFSCommandProcessor::OnPlayerNotification(int32_t, int32_t, int32_t, void*) {
  return E_NOTIMPL;
}

std::vector<const wchar_t*> CFSCommandProcessor::GetCommandOrder() const {
  std::vector<const wchar_t*> order;
  order.reserve(commands_.size());
  for (const Command& command : commands_) order.push_back(command.code);
  return order;
}

void CFSCommandProcessor::AddResultA(const wchar_t* argument, const char* text) {
  if (!holder_) return;
  const CSmallStr name(argument);  // the C library's wide-to-multibyte conversion
  holder_->AddResultA(name.c_str(), text);
}

// ---- Handlers

HRESULT CFSCommandProcessor::HandleQuit(const CSmallWStr&, const wchar_t*, const wchar_t*) {
  return dilator_ ? dilator_->Quit() : E_FAIL;
}

HRESULT CFSCommandProcessor::HandleReadyFlag(const CSmallWStr&, const wchar_t*,
                                             const wchar_t* argument) {
  if (!dilator_) return E_FAIL;
  CSmallStr text;
  const HRESULT hr = dilator_->GetReadyFlag(&text);
  if (FAILED(hr)) return hr;
  AddResultA(argument, text.c_str());
  return S_OK;
}
