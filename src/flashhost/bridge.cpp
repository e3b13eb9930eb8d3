#include "flashhost/bridge.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "data/pseudourl.h"
#include "flashhost/holder.h"
#include "flashhost/jrienv.h"
#include "flashhost/netscapestream.h"
#include "platform/codepage.h"

namespace {

constexpr char kFlashToXml[] = "__flash__toXML(";
constexpr char kCallEnd[] = ")) ; } catch (e)";

// ---- Live holders

std::vector<CFlashHolder*>& Holders() {
  static auto* holders = new std::vector<CFlashHolder*>();
  return *holders;
}

// The live holder behind a host pointer, or null.
CFlashHolder* LiveHolder(CPluginHost* host) {
  if (!host) return nullptr;
  for (CFlashHolder* holder : Holders()) {
    if (static_cast<CPluginHost*>(holder) == host) return holder;
  }
  return nullptr;
}

// The holder a JRI call on `object` is meant for. The plug-in names its peer as NPN_GetJavaPeer
// gave it, which is the host; a plug-in that names something else can only mean the one holder of
// the process.
CFlashHolder* HolderForJavaObject(jref object) {
  for (CFlashHolder* holder : Holders()) {
    if (static_cast<void*>(static_cast<CPluginHost*>(holder)) == object) return holder;
  }
  return Holders().size() == 1 ? Holders().front() : nullptr;
}

// Runtime multibyte conversion of narrow text, the way FSCommand texts become wide.
CSmallWStr RuntimeWide(const std::string& text) {
  return CSmallWStr(text.c_str());
}

// A JRI string's text: UTF-8 through the ANSI code page, then the runtime conversion.
CSmallWStr WideFromJRIString(jstring str) {
  const char* bytes = CJRIEnvironment::Instance().GetStringBytes(str);
  if (!bytes) return CSmallWStr();
  return RuntimeWide(vexa::platform::WideToAnsi(vexa::platform::Utf8ToWide(bytes)));
}

// The text of an NPString copied and terminated; a plug-in's string need not be. Text after an
// embedded zero byte is dropped, as for any terminated string.
std::string CopyNPString(const NPString& text) {
  if (!text.UTF8Characters || text.UTF8Length == 0) return std::string();
  std::string copy(text.UTF8Characters, text.UTF8Length);
  const size_t zero = copy.find('\0');
  if (zero != std::string::npos) copy.resize(zero);
  return copy;
}

std::string StringArgument(const NPVariant* args, uint32_t count, uint32_t index) {
  if (!args || index >= count || args[index].type != NPVariantType_String) return std::string();
  return CopyNPString(args[index].value.stringValue);
}

void ReplaceEscapes(CSmallWStr* text) {
  text->ReplaceAll(L"\\n", L"\n");
  text->ReplaceAll(L"\\r", L"\r");
  text->ReplaceAll(L"\\t", L"\t");
}

// Brackets one command's serving by the sink: results added meanwhile answer that command and are
// not delivered on their own (CFlashHolder::DeliverResults). The sink may destroy nothing the
// bracket needs: the holder is looked up again before it is left.
class CServingCommand {
 public:
  explicit CServingCommand(CFlashHolder* holder) : holder_(holder) { holder_->EnterCommand(); }
  ~CServingCommand() {
    if (LiveHolder(holder_)) holder_->LeaveCommand();
  }
  CServingCommand(const CServingCommand&) = delete;
  CServingCommand& operator=(const CServingCommand&) = delete;

 private:
  CFlashHolder* holder_;
};

// ---- The argument list of an ExternalInterface call
//
// The plug-in writes the arguments as script literals, but the function name as the movie gave it,
// and movies put whole save descriptions there ("SS;g;1;Level 3 (autosave)"). Only a tail that
// reads as a literal list tells where the arguments begin.

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The end of the quoted string starting at `pos` (just past its closing quote), or npos when it is
// not closed. A backslash takes the next character whatever it is.
size_t SkipStringLiteral(std::string_view text, size_t pos) {
  const char quote = text[pos];
  for (size_t i = pos + 1; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == quote) {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

// The end of the number starting at `pos` (sign, digits with an optional fraction, optional
// exponent, the way script writes numbers), or npos when none starts there.
size_t SkipNumber(std::string_view text, size_t pos) {
  size_t i = pos;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return std::string_view::npos;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '-' || text[j] == '+')) ++j;
    if (j >= text.size() || !IsDigit(text[j])) return std::string_view::npos;
    while (j < text.size() && IsDigit(text[j])) ++j;
    i = j;
  }
  return i;
}

// The end of the literal starting at `pos`, or npos when none does.
size_t SkipLiteral(std::string_view text, size_t pos) {
  if (pos >= text.size()) return std::string_view::npos;
  if (text[pos] == '"' || text[pos] == '\'') return SkipStringLiteral(text, pos);
  for (const char* word : {"null", "true", "false"}) {
    if (text.substr(pos).rfind(word, 0) == 0) return pos + std::strlen(word);
  }
  return SkipNumber(text, pos);
}

// Whether `text` is empty or literals separated by single commas, with nothing after the last.
bool IsLiteralList(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    pos = SkipLiteral(text, pos);
    if (pos == std::string_view::npos) return false;
    if (pos == text.size()) return true;
    if (text[pos] != ',') return false;
    ++pos;
    if (pos == text.size()) return false;  // a trailing comma
  }
  return true;
}

// Where the argument list of `inner` (function name, "(", arguments) begins: the first "(" whose
// tail is a literal list. When no tail is, the arguments are of a form this host does not read;
// the first "(" then splits, as it always did. npos when there is no "(".
size_t FindArgumentList(std::string_view inner) {
  const size_t first = inner.find('(');
  for (size_t paren = first; paren != std::string_view::npos; paren = inner.find('(', paren + 1)) {
    if (IsLiteralList(inner.substr(paren + 1))) return paren;
  }
  return first;
}

bool IsName(NPIdentifier identifier, const char* name) {
  return identifier && std::strcmp(static_cast<const char*>(identifier), name) == 0;
}

// ---- The window object class

NPObject* VEXA_CDECL WindowAllocate(NPP, NPClass* objectClass) {
  NPObject* object = new (std::nothrow) NPObject;
  if (!object) return nullptr;
  object->_class = objectClass;
  object->referenceCount = 0;
  return object;
}

void VEXA_CDECL WindowDeallocate(NPObject* object) {
  delete object;
}

void VEXA_CDECL WindowInvalidate(NPObject*) {}

bool VEXA_CDECL WindowHasMethod(NPObject*, NPIdentifier) {
  return true;
}

bool VEXA_CDECL WindowInvoke(NPObject*, NPIdentifier, const NPVariant*, uint32_t, NPVariant*) {
  return true;
}

bool VEXA_CDECL WindowInvokeDefault(NPObject*, const NPVariant*, uint32_t, NPVariant*) {
  return true;
}

bool VEXA_CDECL WindowHasProperty(NPObject*, NPIdentifier) {
  return true;
}

bool VEXA_CDECL WindowGetProperty(NPObject*, NPIdentifier, NPVariant*) {
  return true;
}

bool VEXA_CDECL WindowSetProperty(NPObject*, NPIdentifier, const NPVariant*) {
  return true;
}

bool VEXA_CDECL WindowRemoveProperty(NPObject*, NPIdentifier) {
  return true;
}

NPClass g_windowClass = {
    NP_CLASS_STRUCT_VERSION,
    &WindowAllocate,
    &WindowDeallocate,
    &WindowInvalidate,
    &WindowHasMethod,
    &WindowInvoke,
    &WindowInvokeDefault,
    &WindowHasProperty,
    &WindowGetProperty,
    &WindowSetProperty,
    &WindowRemoveProperty,
    nullptr,
    nullptr,
};

// ---- FSCommand(target, command, argument) on the Java peer

class CFSCommand : public CJRICommand {
 public:
  jint GetIdentifier() const override { return kJRIFSCommandMethodId; }
  const char* GetSignature() const override { return kJRIFSCommandSignature; }
  const char* GetName() const override { return "FSCommand"; }

  // Queues the command (second string) and argument (third); the target (first) is not used. The
  // sink sees it when the holder next serves its queue.
  jint Invoke(jref object, const JRIStackItem* args, int count) override {
    if (!args || count < 3) return 0;
    CFlashHolder* holder = HolderForJavaObject(object);
    if (!holder) return 0;
    holder->QueueNotification(std::make_unique<CFSCommandMessage>(WideFromJRIString(args[1].p),
                                                                  WideFromJRIString(args[2].p)));
    return 0;
  }
};

// ---- The browser side of scripting

class CScriptingBridge : public IBrowserScripting {
 public:
  CScriptingBridge() {
    CJRIEnvironment& env = CJRIEnvironment::Instance();
    env.Register(std::make_unique<CGetPeer>());
    env.Register(std::make_unique<CFSCommand>());
  }

  JRIEnv* GetJavaEnv() override { return CJRIEnvironment::Instance().GetEnv(); }

  NPObject* CreateWindowObject(CPluginHost*, NPP) override { return NewWindowObject(); }

  bool Invoke(CPluginHost* host, NPP, NPObject*, NPIdentifier method, const NPVariant* args,
              uint32_t argCount, NPVariant* result) override {
    if (IsName(method, "test_DoFSCommand")) {
      // Missing or non-string arguments read as empty texts.
      const CSmallWStr command = RuntimeWide(StringArgument(args, argCount, 0));
      const CSmallWStr argument = RuntimeWide(StringArgument(args, argCount, 1));
      CFlashHolder* holder = LiveHolder(host);
      if (holder && holder->GetNotifySink()) {
        CServingCommand serving(holder);
        holder->GetNotifySink()->OnFSCommand(command.c_str(), argument.c_str());
      }
      return true;
    }
    if (IsName(method, "toString")) {
      if (result) {
        // Constant text: releasevariantvalue leaves strings alone.
        const char* page = PseudoPageUrl();
        result->type = NPVariantType_String;
        result->value.stringValue.UTF8Characters = page;
        result->value.stringValue.UTF8Length = static_cast<uint32_t>(std::strlen(page));
      }
      return true;
    }
    return true;
  }

  bool Evaluate(CPluginHost* host, NPP, NPObject*, NPString* script, NPVariant*) override {
    if (!script) return false;
    std::string command;
    std::string argument;
    if (!ParseExternalCall(CopyNPString(*script), &command, &argument)) return false;
    CFlashHolder* holder = LiveHolder(host);
    if (!holder) return false;

    holder->ClearResults();
    CSmallWStr wideCommand = RuntimeWide(command);
    CSmallWStr wideArgument = RuntimeWide(argument);
    ReplaceEscapes(&wideCommand);
    ReplaceEscapes(&wideArgument);
    if (IFlashPlayerNotifySink* sink = holder->GetNotifySink()) {
      CServingCommand serving(holder);
      sink->OnFSCommand(wideCommand.c_str(), wideArgument.c_str());
    }

    // The sink may have re-entered the holder meanwhile; its state is read afresh.
    if (LiveHolder(host) != holder || holder->GetResultCallback().IsEmpty()) return false;
    const std::wstring callback = vexa::platform::AnsiToWide(holder->GetResultCallback().c_str());
    VARIANT returned;
    VariantInit(&returned);
    if (holder->GetResults().empty()) {
      VARIANT zero;
      VariantInit(&zero);
      zero.vt = VT_BSTR;
      zero.bstrVal = SysAllocString(L"0");
      holder->CallMovieFunction(callback.c_str(), &zero, 1, &returned);
      VariantClear(&zero);
    } else {
      // A copy: the callback may send commands that clear the list while the call runs.
      std::vector<VARIANT> results(holder->GetResults().size());
      for (size_t i = 0; i < results.size(); ++i) {
        VariantInit(&results[i]);
        VariantCopy(&results[i], const_cast<VARIANT*>(&holder->GetResults()[i]));
      }
      holder->CallMovieFunction(callback.c_str(), results.data(),
                                static_cast<int32_t>(results.size()), &returned);
      for (VARIANT& value : results) VariantClear(&value);
    }
    VariantClear(&returned);
    return false;
  }

  bool GetProperty(CPluginHost*, NPP, NPObject*, NPIdentifier name, NPVariant* result) override {
    if (!result || !(IsName(name, "location") || IsName(name, "top"))) return false;
    NPObject* window = NewWindowObject();
    if (!window) return false;
    result->type = NPVariantType_Object;
    result->value.objectValue = window;
    return true;
  }
};

}  // namespace

void CFSCommandMessage::Process(CPluginHost* host) {
  CFlashHolder* holder = LiveHolder(host);
  if (!holder || !holder->GetNotifySink()) return;
  CServingCommand serving(holder);
  holder->GetNotifySink()->OnFSCommand(command_.c_str(), argument_.c_str());
}

void EscapeXmlText(CSmallWStr* text) {
  if (!text) return;
  static const wchar_t* const kPasses[][2] = {
      {L"\\\"", L"\""},   {L"&lt;", L"<"},      {L"&gt;", L">"},      {L"&quot;", L"\""},
      {L"&apos;", L"'"},  {L"&amp;", L"%amp;"}, {L"<", L"&lt;"},      {L">", L"&gt;"},
      {L"\"", L"&quot;"}, {L"'", L"&apos;"},    {L"%amp;", L"&amp;"},
  };
  for (const auto& pass : kPasses) {
    // Most texts need few of the passes; a pass with nothing to find costs only the search.
    if (std::wcsstr(text->c_str(), pass[0])) text->ReplaceAll(pass[0], pass[1]);
  }
}

CSmallWStr BuildInvokeXml(const wchar_t* name, const VARIANT* args, int count) {
  std::wstring xml = L"<invoke name=\"";
  if (name) xml += name;
  xml += L"\" returntype=\"string\"><arguments>";
  for (int i = 0; args && i < count; ++i) {
    const VARIANT& value = args[i];
    switch (value.vt) {
      case VT_BSTR: {
        CSmallWStr text(value.bstrVal ? value.bstrVal : L"");
        EscapeXmlText(&text);
        xml += L"<string>";
        xml.append(text.c_str(), static_cast<size_t>(text.GetLength()));
        xml += L"</string>";
        break;
      }
      case VT_INT: {
        const std::string digits = std::to_string(static_cast<long long>(value.intVal));
        xml += L"<number>";
        xml.append(digits.begin(), digits.end());
        xml += L"</number>";
        break;
      }
      case VT_UINT: {
        const std::string digits = std::to_string(static_cast<unsigned long long>(value.uintVal));
        xml += L"<number>";
        xml.append(digits.begin(), digits.end());
        xml += L"</number>";
        break;
      }
      default:
        break;
    }
  }
  xml += L"</arguments></invoke>";
  return CSmallWStr(xml);
}

bool ParseExternalCall(const std::string& script, std::string* command, std::string* argument) {
  const size_t open = script.find(kFlashToXml);
  if (open == std::string::npos) return false;
  const size_t innerStart = open + std::strlen(kFlashToXml);
  const size_t close = script.find(kCallEnd, innerStart);
  if (close == std::string::npos) return false;
  const std::string inner = script.substr(innerStart, close - innerStart);
  const size_t paren = FindArgumentList(inner);
  if (paren == std::string::npos) return false;
  std::string args = inner.substr(paren + 1);
  if (!args.empty() && (args[0] == '"' || args[0] == '\'')) {
    args = args.size() >= 2 ? args.substr(1, args.size() - 2) : std::string();
  } else if (args == "null") {
    args.clear();
  }
  if (command) *command = inner.substr(0, paren);
  if (argument) *argument = args;
  return true;
}

NPClass* GetWindowObjectClass() {
  return &g_windowClass;
}

NPObject* NewWindowObject() {
  NPObject* object = g_windowClass.allocate(nullptr, &g_windowClass);
  if (object) object->referenceCount = 1;
  return object;
}

IBrowserScripting* GetScriptingBridge() {
  static auto* bridge = new CScriptingBridge();
  return bridge;
}

void RegisterFlashHolder(CFlashHolder* holder) {
  IBrowserScripting* bridge = GetScriptingBridge();
  if (!GetBrowserScripting()) SetBrowserScripting(bridge);
  if (holder && std::find(Holders().begin(), Holders().end(), holder) == Holders().end()) {
    Holders().push_back(holder);
  }
}

void UnregisterFlashHolder(CFlashHolder* holder) {
  auto& holders = Holders();
  holders.erase(std::remove(holders.begin(), holders.end(), holder), holders.end());
}
