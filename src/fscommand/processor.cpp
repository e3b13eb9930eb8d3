#include "fscommand/processor.h"

#include <climits>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "flashhost/holder.h"
#include "fscommand/dilator.h"
#include "fscommand/pluginsource.h"
#include "fscommand/services.h"
#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/decimal.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/safewrite.h"
#include "script/engine.h"
#include "script/value.h"
#include "script/variant.h"
#include "script/xml.h"

// The command table: codes in the order the list starts with. No code may be a prefix of another
// (the tests check it), so the move-to-front order never changes which handler a command runs.
const CFSCommandProcessor::Command CFSCommandProcessor::kCommands[] = {
    {L"SPCR", &CFSCommandProcessor::HandleSetPreferWide},
    {L"GPCR", &CFSCommandProcessor::HandleGetPreferWide},
    {L"OSFC", &CFSCommandProcessor::HandleSetKeepAspect},
    {L"OFSR", &CFSCommandProcessor::HandleGetKeepAspect},
    {L"RLCR", &CFSCommandProcessor::HandleReselectVariant},
    {L"CALL", &CFSCommandProcessor::HandleCall},
    {L"EF", &CFSCommandProcessor::HandleEnumFunctions},
    {L"EXEC", &CFSCommandProcessor::HandleExecute},
    {L"Q", &CFSCommandProcessor::HandleQuit},
    {L"MIN", &CFSCommandProcessor::HandleMinimize},
    {L"SF", &CFSCommandProcessor::HandleFullScreen},
    {L"LF", &CFSCommandProcessor::HandleWindowed},
    {L"GF", &CFSCommandProcessor::HandleGetFullScreen},
    {L"SCR", &CFSCommandProcessor::HandleScreenMode},
    {L"FP", &CFSCommandProcessor::HandleMoviePlacement},
    {L"PLUGIN_CREATE", &CFSCommandProcessor::HandlePluginCreate},
    {L"PLUGIN_METHOD", &CFSCommandProcessor::HandlePluginMethod},
    {L"PLUGIN_PROPGET", &CFSCommandProcessor::HandlePluginPropGet},
    {L"SK", &CFSCommandProcessor::HandleSetSharedKey},
    {L"LK", &CFSCommandProcessor::HandleLoadSharedKey},
    {L"SUK", &CFSCommandProcessor::HandleSetUserKey},
    {L"LUK", &CFSCommandProcessor::HandleLoadUserKey},
    {L"ES", &CFSCommandProcessor::HandleEnumSaves},
    {L"GS", &CFSCommandProcessor::HandleGetSave},
    {L"SS", &CFSCommandProcessor::HandleSetSave},
    {L"RS", &CFSCommandProcessor::HandleRemoveSave},
    {L"GHS", &CFSCommandProcessor::HandleGetHighScores},
    {L"SHS", &CFSCommandProcessor::HandleSetHighScore},
    {L"IHS", &CFSCommandProcessor::HandleIsHighScore},
    {L"SHIP", &CFSCommandProcessor::HandleSetHighScoreAt},
    {L"SEF", &CFSCommandProcessor::HandleSaveFile},
    {L"GBD", &CFSCommandProcessor::HandleBaseDir},
    {L"CVURL", &CFSCommandProcessor::HandleConvertUrl},
    {L"SINPUT", &CFSCommandProcessor::HandleMouseInput},
    {L"SARKEYS", &CFSCommandProcessor::HandleKeyRepeat},
    {L"SMP", &CFSCommandProcessor::HandleSetCursor},
    {L"GMP", &CFSCommandProcessor::HandleGetCursor},
    {L"LS", &CFSCommandProcessor::HandleReadyFlag},
    {L"VCSC", &CFSCommandProcessor::HandleVolumeReportName},
    {L"VCGV", &CFSCommandProcessor::HandleGetVolume},
    {L"VCSV", &CFSCommandProcessor::HandleSetVolume},
    {L"VCGM", &CFSCommandProcessor::HandleGetMute},
    {L"VCSM", &CFSCommandProcessor::HandleSetMute},
    {L"SW", &CFSCommandProcessor::HandleWallpaper},
};

namespace {

using vexa::platform::DecimalValue;
using vexa::platform::EqualsNoCaseAscii;

// Shortest commands (code included) the store handlers act on; shorter ones add nothing at all.
constexpr size_t kMinEnumSaves = 4;
constexpr size_t kMinGetSave = 5;
constexpr size_t kMinSetSave = 8;
constexpr size_t kMinRemoveSave = 5;
constexpr size_t kMinGetHighScores = 5;
constexpr size_t kMinSetHighScore = 7;
constexpr size_t kMinIsHighScore = 9;
constexpr size_t kMinSetHighScoreAt = 7;
// CVURL answers "NULL" below this length.
constexpr size_t kMinConvertUrl = 7;
constexpr int32_t kDefaultTableSize = 10;

// Failure results.
constexpr char kNull[] = "NULL";
constexpr char kUnknown[] = "unknown";
constexpr char kNoSaves[] = "<empty/>";
constexpr char kNoSuchSave[] = "empty";
constexpr char kSaveError[] = "error";
// GHS always answers a listing, so a movie can parse whatever comes back.
constexpr char kNoHighScores[] = "<highscores>\n</highscores>";

std::string Narrow(std::wstring_view text) {
  return vexa::platform::WideToAnsi(text);
}

std::string Narrow(const wchar_t* text) {
  return Narrow(std::wstring_view(text ? text : L""));
}

// A number field (read like wtol, saturated at the 32-bit limits) with a default for the empty
// field.
int32_t ReadNumber(std::wstring_view text, int32_t whenEmpty) {
  return text.empty() ? whenEmpty : DecimalValue(text);
}

int32_t ReadFlag(const wchar_t* argument) {
  return EqualsNoCaseAscii(argument, "on") || EqualsNoCaseAscii(argument, "true") ||
                 EqualsNoCaseAscii(argument, "1")
             ? 1
             : 0;
}

// The parameters of a command: the character right after the code is the separator; Next() takes
// the text up to the following separator, Rest() everything left.
class CFields {
 public:
  CFields(const wchar_t* command, size_t codeLength) : text_(command) {
    if (codeLength < text_.size()) {
      separator_ = text_[codeLength];
      position_ = codeLength + 1;
      valid_ = true;
    }
  }

  // False when the command ends at its code.
  bool HasSeparator() const { return valid_; }
  wchar_t Separator() const { return separator_; }

  // The text up to the next separator, which is consumed. False, with nothing consumed, when no
  // separator follows.
  bool Next(std::wstring_view* field) {
    if (!valid_) return false;
    const size_t end = text_.find(separator_, position_);
    if (end == std::wstring_view::npos) return false;
    *field = text_.substr(position_, end - position_);
    position_ = end + 1;
    return true;
  }

  std::wstring_view Rest() const { return valid_ ? text_.substr(position_) : std::wstring_view(); }

 private:
  std::wstring_view text_;
  size_t position_ = 0;
  wchar_t separator_ = 0;
  bool valid_ = false;
};

std::string Decimal(int64_t value) {
  return std::to_string(static_cast<long long>(value));
}

uint32_t PlatformTicks() {
  return vexa::platform::TickCount();
}

// Holds one reference of a plug-in object for the length of a call.
class CPluginReference {
 public:
  explicit CPluginReference(IPluginInstance* object) : object_(object) {}
  ~CPluginReference() {
    if (object_) object_->Release();
  }
  CPluginReference(const CPluginReference&) = delete;
  CPluginReference& operator=(const CPluginReference&) = delete;
  IPluginInstance* get() const { return object_; }

 private:
  IPluginInstance* object_;
};

}  // namespace

CFSCommandProcessor::CFSCommandProcessor() : ticks_(&PlatformTicks) {
  for (const Command& command : kCommands) commands_.push_back(command);
}

CFSCommandProcessor::~CFSCommandProcessor() {
  ReleasePluginObjects();
}

HRESULT CFSCommandProcessor::OnFSCommand(const wchar_t* command, const wchar_t* argument) {
  if (!command) command = L"";
  if (!argument) argument = L"";

  std::wstring upper(command);
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));

  auto match = commands_.begin();
  for (; match != commands_.end(); ++match) {
    if (upper.compare(0, std::wcslen(match->code), match->code) == 0) break;
  }
  if (match == commands_.end()) {
    if (vexa::platform::DiagnosticsEnabled()) {
      vexa::platform::WriteDiagnostic(
          "fscommand", "no command begins '" + vexa::platform::WideToUtf8(command) +
                           "' (argument '" + vexa::platform::WideToUtf8(argument) + "'): ignored");
    }
    return S_OK;
  }

  // Moved before the call: a handler that dispatches further commands may reorder the list, and no
  // position in it is held across the call.
  const Handler handler = match->handler;
  commands_.splice(commands_.begin(), commands_, match);

  // The texts are copied: a nested command must not be able to change what this handler reads.
  const CSmallWStr upperText(upper.c_str(), static_cast<int>(upper.size()));
  const std::wstring commandText(command);
  const std::wstring argumentText(argument);
  (this->*handler)(upperText, commandText.c_str(), argumentText.c_str());
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

std::vector<const wchar_t*> CFSCommandProcessor::GetCommandTable() {
  std::vector<const wchar_t*> table;
  for (const Command& command : kCommands) table.push_back(command.code);
  return table;
}

void CFSCommandProcessor::SetTickSource(TickSource ticks) {
  ticks_ = ticks ? ticks : &PlatformTicks;
}

void CFSCommandProcessor::AddResultA(const wchar_t* argument, const char* text) {
  if (!holder_) return;
  holder_->AddResultA(Narrow(argument).c_str(), text);
}

void CFSCommandProcessor::AddResultW(const wchar_t* argument, const wchar_t* text) {
  if (!holder_) return;
  holder_->AddResult(argument, text);
}

// ---- Plug-in objects

void CFSCommandProcessor::ReleasePluginObjects() {
  // An object's destructor may send commands that store new objects; those go in the next round.
  while (!plugins_.empty()) {
    std::map<std::string, IPluginInstance*> held;
    held.swap(plugins_);
    for (auto& entry : held) entry.second->Release();
  }
}

std::vector<std::string> CFSCommandProcessor::GetPluginInstanceNames() const {
  std::vector<std::string> names;
  for (const auto& entry : plugins_) names.push_back(entry.first);
  return names;
}

IPluginInstance* CFSCommandProcessor::FindPluginInstance(const char* name) const {
  if (!name) return nullptr;
  auto found = plugins_.find(name);
  return found == plugins_.end() ? nullptr : found->second;
}

IPluginInstance* CFSCommandProcessor::AcquirePluginByVariable(const std::wstring& variable) {
  if (!holder_) return nullptr;
  CSmallStr instanceName;
  if (FAILED(holder_->GetMovieVariable(variable.c_str(), &instanceName))) return nullptr;
  IPluginInstance* object = FindPluginInstance(instanceName.c_str());
  if (object) object->AddRef();
  return object;
}

// ---- Display and window

HRESULT CFSCommandProcessor::HandleSetPreferWide(const CSmallWStr&, const wchar_t*,
                                                 const wchar_t* argument) {
  return dilator_ ? dilator_->SetPreferWide(ReadFlag(argument)) : E_FAIL;
}

HRESULT CFSCommandProcessor::HandleGetPreferWide(const CSmallWStr&, const wchar_t*,
                                                 const wchar_t* argument) {
  if (!dilator_) return E_FAIL;
  int32_t on = 0;
  dilator_->GetPreferWide(&on);
  AddResultA(argument, on ? "1" : "0");
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleSetKeepAspect(const CSmallWStr&, const wchar_t*,
                                                 const wchar_t* argument) {
  return dilator_ ? dilator_->SetKeepAspect(ReadFlag(argument)) : E_FAIL;
}

HRESULT CFSCommandProcessor::HandleGetKeepAspect(const CSmallWStr&, const wchar_t*,
                                                 const wchar_t* argument) {
  if (!dilator_) return E_FAIL;
  int32_t on = 1;
  dilator_->GetKeepAspect(&on);
  AddResultA(argument, on ? "1" : "0");
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleReselectVariant(const CSmallWStr&, const wchar_t*,
                                                   const wchar_t*) {
  return dilator_ ? dilator_->ReselectMovieVariant() : E_FAIL;
}

HRESULT CFSCommandProcessor::HandleQuit(const CSmallWStr&, const wchar_t*, const wchar_t*) {
  return dilator_ ? dilator_->Quit() : E_FAIL;
}

HRESULT CFSCommandProcessor::HandleMinimize(const CSmallWStr&, const wchar_t*, const wchar_t*) {
  return dilator_ ? dilator_->Minimize() : E_FAIL;
}

HRESULT CFSCommandProcessor::HandleFullScreen(const CSmallWStr&, const wchar_t*, const wchar_t*) {
  return dilator_ ? dilator_->SetFullScreen(1) : E_FAIL;
}

HRESULT CFSCommandProcessor::HandleWindowed(const CSmallWStr&, const wchar_t*, const wchar_t*) {
  return dilator_ ? dilator_->SetFullScreen(0) : E_FAIL;
}

HRESULT CFSCommandProcessor::HandleGetFullScreen(const CSmallWStr&, const wchar_t*,
                                                 const wchar_t* argument) {
  if (!dilator_) return E_FAIL;
  int32_t on = 0;
  const HRESULT hr = dilator_->GetFullScreen(&on);
  if (FAILED(hr)) return hr;
  AddResultA(argument, on ? "on" : "off");
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleScreenMode(const CSmallWStr&, const wchar_t*,
                                              const wchar_t* argument) {
  if (!dilator_) return E_FAIL;
  int32_t width = 0;
  int32_t height = 0;
  int32_t bits = 0;
  const HRESULT hr = dilator_->GetMaxDisplayMode(&width, &height, &bits);
  if (FAILED(hr)) return hr;
  const std::string text = Decimal(width) + " " + Decimal(height) + " " + Decimal(bits);
  AddResultA(argument, text.c_str());
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleMoviePlacement(const CSmallWStr&, const wchar_t* command,
                                                  const wchar_t*) {
  if (!dilator_) return E_FAIL;
  // FP d x d y d width d height: four fields, each an empty field read as 0; further separators
  // start fields nobody reads.
  CFields fields(command, 2);
  int64_t values[4];
  for (int i = 0; i < 4; ++i) {
    std::wstring_view field;
    if (i < 3) {
      if (!fields.Next(&field)) return E_INVALIDARG;
    } else {
      field = fields.Rest();
      if (!fields.HasSeparator()) return E_INVALIDARG;
      const size_t more = field.find(fields.Separator());
      if (more != std::wstring_view::npos) field = field.substr(0, more);
    }
    values[i] = DecimalValue(field);
  }
  // The frame computes the movie's right and bottom edges: they must stay inside 32 bits too.
  const int64_t x = values[0];
  const int64_t y = values[1];
  const int64_t width = values[2];
  const int64_t height = values[3];
  if (width < 0 || height < 0 || x + width > INT32_MAX || y + height > INT32_MAX) {
    return E_INVALIDARG;
  }
  return dilator_->SetMovieRect(static_cast<int32_t>(x), static_cast<int32_t>(y),
                                static_cast<int32_t>(width), static_cast<int32_t>(height));
}

// ---- Script

HRESULT CFSCommandProcessor::HandleCall(const CSmallWStr&, const wchar_t*,
                                        const wchar_t* argument) {
  if (!script_) return E_FAIL;
  // The engine's nesting bound counts across commands, so a function that CALLs itself ends.
  return script_->RunScriptFunction(Narrow(argument).c_str());
}

HRESULT CFSCommandProcessor::HandleEnumFunctions(const CSmallWStr&, const wchar_t* command,
                                                 const wchar_t* argument) {
  CFields fields(command, 2);
  std::vector<CSmallStr> names;
  if (!fields.HasSeparator() || !script_ ||
      FAILED(script_->EnumerateFunctions(Narrow(fields.Rest()).c_str(), &names)) || names.empty()) {
    AddResultA(argument, kNull);
    return S_OK;
  }
  const std::string separator = Narrow(std::wstring_view(&command[2], 1));
  std::string joined;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) joined += separator;
    joined.append(names[i].c_str(), static_cast<size_t>(names[i].GetLength()));
  }
  AddResultA(argument, joined.c_str());
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleExecute(const CSmallWStr&, const wchar_t*,
                                           const wchar_t* argument) {
  if (!script_) return E_FAIL;
  CXMLParser parser;
  if (parser.ParseDocument(Narrow(argument).c_str()) != 1) return E_FAIL;
  return script_->Execute(parser.GetRoot(), nullptr);
}

// ---- Plug-in objects

HRESULT CFSCommandProcessor::HandlePluginCreate(const CSmallWStr&, const wchar_t* command,
                                                const wchar_t* argument) {
  // PLUGIN_CREATE d result name. Without the separator the result name is empty, which the holder
  // does not use anyway.
  CFields fields(command, 13);
  const std::wstring resultName(fields.Rest());

  IPluginInstance* object = nullptr;
  if (!pluginSource_ ||
      FAILED(pluginSource_->CreatePluginObject(Narrow(argument).c_str(), &object)) || !object) {
    AddResultW(resultName.c_str(), L"NULL");
    return E_FAIL;
  }

  // Plug-in name, "_", tick count as a signed number. Two objects made within one tick would get
  // the same name; the number is bumped until the name is free, so each name keeps its own object.
  uint32_t tick = ticks_();
  std::wstring instanceName;
  std::string key;
  for (;;) {
    const std::string number = Decimal(static_cast<int32_t>(tick));
    instanceName = std::wstring(argument) + L"_" + std::wstring(number.begin(), number.end());
    key = Narrow(instanceName);
    if (plugins_.find(key) == plugins_.end()) break;
    ++tick;
  }
  // The object's reference passes to the map.
  plugins_.emplace(key, object);
  AddResultW(resultName.c_str(), instanceName.c_str());
  return S_OK;
}

HRESULT CFSCommandProcessor::HandlePluginMethod(const CSmallWStr&, const wchar_t* command,
                                                const wchar_t* argument) {
  // PLUGIN_METHOD d variable d result name; a command without both separators names no object
  // and is refused with the failure result.
  CFields fields(command, 13);
  std::wstring_view variableField;
  if (!fields.Next(&variableField)) {
    AddResultW(L"", L"NULL");
    return E_INVALIDARG;
  }
  const std::wstring variable(variableField);
  const std::wstring resultName(fields.Rest());
  const wchar_t separator = fields.Separator();

  // method, or method d argument d argument ...; white space around the whole text is dropped.
  std::wstring text(argument);
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::iswspace(static_cast<wint_t>(text[begin]))) ++begin;
  while (end > begin && std::iswspace(static_cast<wint_t>(text[end - 1]))) --end;
  text = text.substr(begin, end - begin);

  std::wstring method = text;
  std::vector<std::wstring> arguments;
  const size_t first = text.find(separator);
  if (first != std::wstring::npos) {
    method = text.substr(0, first);
    size_t start = first + 1;
    for (;;) {
      const size_t next = text.find(separator, start);
      arguments.push_back(
          text.substr(start, next == std::wstring::npos ? std::wstring::npos : next - start));
      if (next == std::wstring::npos) break;
      start = next + 1;
    }
  }

  CSmallWStr result(L"NULL");
  CPluginReference object(AcquirePluginByVariable(variable));
  if (object.get()) {
    // The call's arguments in reverse order: the last one is element 0.
    std::vector<VARIANT> values(arguments.size());
    for (size_t i = 0; i < arguments.size(); ++i) {
      VARIANT& value = values[arguments.size() - 1 - i];
      VariantInit(&value);
      value.vt = VT_BSTR;
      value.bstrVal =
          SysAllocStringLen(arguments[i].c_str(), static_cast<UINT>(arguments[i].size()));
    }
    DISPPARAMS params = {};
    params.rgvarg = values.empty() ? nullptr : values.data();
    params.cArgs = static_cast<UINT>(values.size());
    CVariant returned;
    if (SUCCEEDED(object.get()->InvokeByName(method.c_str(), IPluginInstance::kInvokeMethod,
                                             &params, &returned.value))) {
      result = ValueToString(returned.value);
    }
    for (VARIANT& value : values) VariantClear(&value);
  }
  AddResultW(resultName.c_str(), result.c_str());
  return S_OK;
}

HRESULT CFSCommandProcessor::HandlePluginPropGet(const CSmallWStr&, const wchar_t* command,
                                                 const wchar_t* argument) {
  CFields fields(command, 14);
  std::wstring_view variableField;
  if (!fields.Next(&variableField)) {
    AddResultW(L"", L"");
    return E_INVALIDARG;
  }
  const std::wstring variable(variableField);
  const std::wstring resultName(fields.Rest());

  CSmallWStr result(L"");
  CPluginReference object(AcquirePluginByVariable(variable));
  if (object.get()) {
    DISPPARAMS params = {};
    CVariant returned;
    if (SUCCEEDED(object.get()->InvokeByName(argument, IPluginInstance::kInvokeGetProperty, &params,
                                             &returned.value))) {
      result = ValueToString(returned.value);
    }
  }
  AddResultW(resultName.c_str(), result.c_str());
  return S_OK;
}

// ---- Virtual registry

HRESULT CFSCommandProcessor::HandleSetSharedKey(const CSmallWStr&, const wchar_t* command,
                                                const wchar_t* argument) {
  CFields fields(command, 2);
  if (!fields.HasSeparator() || !dilator_) return E_INVALIDARG;
  return dilator_->WriteSharedValue(Narrow(fields.Rest()).c_str(), Narrow(argument).c_str());
}

HRESULT CFSCommandProcessor::HandleLoadSharedKey(const CSmallWStr&, const wchar_t* command,
                                                 const wchar_t* argument) {
  CFields fields(command, 2);
  CSmallStr value;
  if (!fields.HasSeparator() || !dilator_ ||
      FAILED(dilator_->ReadSharedValue(Narrow(fields.Rest()).c_str(), &value))) {
    AddResultA(argument, kUnknown);
    return E_FAIL;
  }
  AddResultA(argument, value.c_str());
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleSetUserKey(const CSmallWStr&, const wchar_t* command,
                                              const wchar_t* argument) {
  // SUK is followed directly by the key: no character is skipped, and a bare SUK names the empty
  // key, which the store keeps like any other.
  const std::wstring_view key = std::wstring_view(command).substr(3);
  if (!dilator_) return E_INVALIDARG;
  return dilator_->WriteUserValue(Narrow(key).c_str(), Narrow(argument).c_str());
}

HRESULT CFSCommandProcessor::HandleLoadUserKey(const CSmallWStr&, const wchar_t* command,
                                               const wchar_t* argument) {
  const std::wstring_view key = std::wstring_view(command).substr(3);
  CSmallStr value;
  if (!dilator_ || FAILED(dilator_->ReadUserValue(Narrow(key).c_str(), &value))) {
    AddResultA(argument, kUnknown);
    return E_FAIL;
  }
  AddResultA(argument, value.c_str());
  return S_OK;
}

// ---- Saves

HRESULT CFSCommandProcessor::HandleEnumSaves(const CSmallWStr&, const wchar_t* command,
                                             const wchar_t* argument) {
  if (std::wcslen(command) < kMinEnumSaves || !dilator_) return E_INVALIDARG;
  CFields fields(command, 2);
  CSmallStr listing;
  if (FAILED(dilator_->EnumSaves(Narrow(fields.Rest()).c_str(), &listing))) {
    AddResultA(argument, kNoSaves);
    return E_FAIL;
  }
  AddResultA(argument, listing.c_str());
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleGetSave(const CSmallWStr&, const wchar_t* command,
                                           const wchar_t* argument) {
  if (std::wcslen(command) < kMinGetSave || !dilator_) return E_INVALIDARG;
  CFields fields(command, 2);
  std::wstring_view set;
  if (!fields.Next(&set)) {
    AddResultA(argument, kSaveError);
    return E_INVALIDARG;
  }
  CSmallStr data;
  const HRESULT hr = dilator_->GetSave(Narrow(set).c_str(), ReadNumber(fields.Rest(), 0), &data);
  if (hr == kNoSuchSaveStatus) {
    AddResultA(argument, kNoSuchSave);
  } else if (FAILED(hr)) {
    AddResultA(argument, kSaveError);
  } else {
    AddResultA(argument, data.c_str());
  }
  return hr;
}

HRESULT CFSCommandProcessor::HandleSetSave(const CSmallWStr&, const wchar_t* command,
                                           const wchar_t* argument) {
  if (std::wcslen(command) < kMinSetSave || !dilator_) return E_INVALIDARG;
  CFields fields(command, 2);
  std::wstring_view set;
  std::wstring_view slot;
  if (!fields.Next(&set) || !fields.Next(&slot)) return E_INVALIDARG;
  return dilator_->SetSave(Narrow(set).c_str(), ReadNumber(slot, 0), Narrow(fields.Rest()).c_str(),
                           Narrow(argument).c_str());
}

HRESULT CFSCommandProcessor::HandleRemoveSave(const CSmallWStr&, const wchar_t* command,
                                              const wchar_t*) {
  if (std::wcslen(command) < kMinRemoveSave || !dilator_) return E_INVALIDARG;
  CFields fields(command, 2);
  std::wstring_view set;
  std::wstring_view slot;
  // The separator after the slot is part of the form: a command cut before it is not acted on.
  if (!fields.Next(&set) || !fields.Next(&slot)) return E_INVALIDARG;
  return dilator_->RemoveSave(Narrow(set).c_str(), ReadNumber(slot, 0));
}

// ---- High scores

HRESULT CFSCommandProcessor::HandleGetHighScores(const CSmallWStr&, const wchar_t* command,
                                                 const wchar_t* argument) {
  if (std::wcslen(command) < kMinGetHighScores || !dilator_) return E_INVALIDARG;
  CFields fields(command, 3);
  CSmallStr listing;
  if (FAILED(dilator_->GetHighScores(Narrow(fields.Rest()).c_str(), &listing))) {
    AddResultA(argument, kNoHighScores);
    return E_FAIL;
  }
  AddResultA(argument, listing.c_str());
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleSetHighScore(const CSmallWStr&, const wchar_t* command,
                                                const wchar_t* argument) {
  if (std::wcslen(command) < kMinSetHighScore || !dilator_) return E_INVALIDARG;
  CFields fields(command, 3);
  std::wstring_view table;
  if (!fields.Next(&table)) return E_INVALIDARG;
  return dilator_->SetHighScore(ReadNumber(fields.Rest(), kDefaultTableSize), Narrow(table).c_str(),
                                Narrow(argument).c_str());
}

HRESULT CFSCommandProcessor::HandleIsHighScore(const CSmallWStr&, const wchar_t* command,
                                               const wchar_t* argument) {
  if (std::wcslen(command) < kMinIsHighScore || !dilator_) return E_INVALIDARG;
  CFields fields(command, 3);
  std::wstring_view table;
  std::wstring_view size;
  if (!fields.Next(&table) || !fields.Next(&size)) return E_INVALIDARG;
  int32_t position = 0;
  const HRESULT hr =
      dilator_->IsHighScore(ReadNumber(size, kDefaultTableSize), Narrow(table).c_str(),
                            Narrow(fields.Rest()).c_str(), &position);
  if (FAILED(hr)) return hr;
  AddResultA(argument, Decimal(position).c_str());
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleSetHighScoreAt(const CSmallWStr&, const wchar_t* command,
                                                  const wchar_t* argument) {
  if (std::wcslen(command) < kMinSetHighScoreAt || !dilator_) return E_INVALIDARG;
  CFields fields(command, 4);
  std::wstring_view table;
  if (!fields.Next(&table)) return E_INVALIDARG;
  // The position, then optionally d size; empty numbers read as 0.
  std::wstring_view position;
  std::wstring_view size;
  if (!fields.Next(&position)) {
    position = fields.Rest();
  } else {
    size = fields.Rest();
  }
  return dilator_->SetHighScoreAt(ReadNumber(position, 0), ReadNumber(size, 0),
                                  Narrow(table).c_str(), Narrow(argument).c_str());
}

// ---- Files

bool CFSCommandProcessor::WriteCommandFile(const std::string& path, const std::string& bytes,
                                           bool append) {
  std::string content;
  if (append && vexa::platform::PathExists(path)) {
    std::vector<uint8_t> old;
    // A file that exists but cannot be read is left alone rather than replaced by the tail alone.
    if (!vexa::platform::ReadFileBytes(path, &old)) return false;
    content.assign(old.begin(), old.end());
  }
  content += bytes;
  return vexa::platform::WriteFileReplacing(path, content.data(), content.size());
}

HRESULT CFSCommandProcessor::HandleSaveFile(const CSmallWStr&, const wchar_t* command,
                                            const wchar_t* argument) {
  // SEF d file d mode: the first mode letter a/A appends (else replace), the second r/R writes the
  // text as it is (else quotes escaped with a backslash lose it).
  CFields fields(command, 3);
  std::wstring_view file;
  if (!fields.Next(&file) || file.empty()) return E_INVALIDARG;
  const std::wstring_view mode = fields.Rest();
  const bool append = mode.size() > 0 && (mode[0] == L'A' || mode[0] == L'a');
  const bool raw = mode.size() > 1 && (mode[1] == L'R' || mode[1] == L'r');

  // Relative names belong to the game folder, never to whatever the current folder happens to
  // be: without a game folder they are refused.
  std::string path = Narrow(file);
  if (!vexa::platform::IsRootedPath(path)) {
    CSmallStr base;
    if (!dilator_ || FAILED(dilator_->GetBaseDir(&base)) || base.IsEmpty()) return E_FAIL;
    path = base.str() + path;
  }
  if (dilator_) dilator_->CreateFolderPath(path.c_str(), 1);

  std::string bytes = Narrow(argument);
  if (!raw) {
    std::string unescaped;
    unescaped.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\\' && i + 1 < bytes.size() && bytes[i + 1] == '"') continue;
      unescaped += bytes[i];
    }
    bytes.swap(unescaped);
  }
  return WriteCommandFile(path, bytes, append) ? S_OK : E_FAIL;
}

HRESULT CFSCommandProcessor::HandleBaseDir(const CSmallWStr&, const wchar_t*,
                                           const wchar_t* argument) {
  if (!dilator_ || !*argument) return E_FAIL;
  CSmallStr folder;
  const HRESULT hr = dilator_->GetBaseDir(&folder);
  if (FAILED(hr)) return hr;
  AddResultA(argument, folder.c_str());
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleConvertUrl(const CSmallWStr&, const wchar_t* command,
                                              const wchar_t* argument) {
  if (!*argument) return E_FAIL;
  if (std::wcslen(command) < kMinConvertUrl) {
    AddResultA(argument, kNull);
    return S_OK;
  }
  const std::string text = "\\\\" + Narrow(command + 6);
  AddResultA(argument, text.c_str());
  return S_OK;
}

// ---- Input

HRESULT CFSCommandProcessor::HandleMouseInput(const CSmallWStr&, const wchar_t*,
                                              const wchar_t* argument) {
  if (!dilator_) return E_FAIL;
  // Switching input on works off waiting messages, so further commands may run inside this call.
  if (EqualsNoCaseAscii(argument, "on")) return dilator_->SetMouseInput(1);
  if (EqualsNoCaseAscii(argument, "off")) return dilator_->SetMouseInput(0);
  return E_INVALIDARG;
}

HRESULT CFSCommandProcessor::HandleKeyRepeat(const CSmallWStr&, const wchar_t*,
                                             const wchar_t* argument) {
  if (!dilator_) return E_FAIL;
  if (EqualsNoCaseAscii(argument, "on")) return dilator_->SetKeyRepeat(1);
  if (EqualsNoCaseAscii(argument, "off")) return dilator_->SetKeyRepeat(0);
  return E_INVALIDARG;
}

HRESULT CFSCommandProcessor::HandleSetCursor(const CSmallWStr&, const wchar_t* command,
                                             const wchar_t* argument) {
  CFields fields(command, 3);
  std::wstring_view xField;
  if (!dilator_ || !fields.Next(&xField)) return E_INVALIDARG;
  int32_t x = DecimalValue(xField);
  int32_t y = DecimalValue(fields.Rest());
  // The operation's status does not matter: the values it left are the answer.
  const HRESULT hr = dilator_->SetCursorPosition(&x, &y);
  if (*argument) {
    const std::string text = Decimal(x) + Narrow(std::wstring_view(&command[3], 1)) + Decimal(y);
    AddResultA(argument, text.c_str());
  }
  return hr;
}

HRESULT CFSCommandProcessor::HandleGetCursor(const CSmallWStr&, const wchar_t* command,
                                             const wchar_t* argument) {
  CFields fields(command, 3);
  if (!dilator_ || !fields.HasSeparator()) return E_INVALIDARG;
  int32_t x = 0;
  int32_t y = 0;
  const HRESULT hr = dilator_->GetCursorPosition(&x, &y);
  if (*argument) {
    const std::string text = Decimal(x) + Narrow(std::wstring_view(&command[3], 1)) + Decimal(y);
    AddResultA(argument, text.c_str());
  }
  return hr;
}

// ---- Status and services

HRESULT CFSCommandProcessor::HandleReadyFlag(const CSmallWStr&, const wchar_t*,
                                             const wchar_t* argument) {
  if (!dilator_) return E_FAIL;
  CSmallStr text;
  const HRESULT hr = dilator_->GetReadyFlag(&text);
  if (FAILED(hr)) return hr;
  AddResultA(argument, text.c_str());
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleVolumeReportName(const CSmallWStr&, const wchar_t*,
                                                    const wchar_t* argument) {
  return volume_ ? volume_->SetReportName(Narrow(argument).c_str()) : E_FAIL;
}

HRESULT CFSCommandProcessor::HandleGetVolume(const CSmallWStr&, const wchar_t*,
                                             const wchar_t* argument) {
  if (!volume_ || !*argument || !volume_->HasResultSink()) return E_FAIL;
  int32_t volume = 0;
  const HRESULT hr = volume_->GetVolume(&volume);
  if (FAILED(hr)) return hr;
  AddResultA(argument, Decimal(volume).c_str());
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleSetVolume(const CSmallWStr&, const wchar_t*,
                                             const wchar_t* argument) {
  return volume_ ? volume_->SetVolume(ReadNumber(argument, 0)) : E_FAIL;
}

HRESULT CFSCommandProcessor::HandleGetMute(const CSmallWStr&, const wchar_t*,
                                           const wchar_t* argument) {
  if (!volume_ || !*argument || !volume_->HasResultSink()) return E_FAIL;
  int32_t muted = 0;
  const HRESULT hr = volume_->GetMute(&muted);
  if (FAILED(hr)) return hr;
  AddResultA(argument, muted ? "1" : "0");
  return S_OK;
}

HRESULT CFSCommandProcessor::HandleSetMute(const CSmallWStr&, const wchar_t*,
                                           const wchar_t* argument) {
  return volume_ ? volume_->SetMute(ReadFlag(argument)) : E_FAIL;
}

HRESULT CFSCommandProcessor::HandleWallpaper(const CSmallWStr&, const wchar_t*,
                                             const wchar_t* argument) {
  // An empty name names no image: there is nothing to load.
  if (!wallpaper_ || !*argument) return E_FAIL;
  CSmallStr path;
  const HRESULT hr = wallpaper_->SetWallpaper(loader_, Narrow(argument).c_str(), &path);
  if (FAILED(hr)) return hr;
  AddResultA(argument, path.c_str());
  return S_OK;
}
