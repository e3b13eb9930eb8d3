#include "script/engine.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>

#include "data/loader.h"
#include "data/pseudourl.h"
#include "platform/codepage.h"
#include "platform/decimal.h"
#include "platform/diagnostics.h"
#include "platform/stack.h"
#include "script/dilator.h"
#include "script/expression.h"
#include "script/value.h"
#include "script/variant.h"
#include "script/xml.h"

// Stack use. Script bodies nest through the C++ stack: a function call runs RunScriptFunction ->
// Execute -> RunStatement -> a statement -> Evaluate (whose parentheses recurse up to
// kMaxExpressionNesting deep) -> RunScriptFunction again; an if body adds RunIf -> Execute.
// Measured per level of a function whose body is <trace expr="f()"/>: about 0.8 KB in the Debug
// MinGW i686 build, 1.1 KB in a Release x86-64 build and 5 KB with AddressSanitizer (clang, Debug);
// each pair of parentheses around the call adds 0.24 KB, 0.6 KB and 1.4 KB. What a level costs
// varies this much with the build and the statement, so no count of levels is the guard: the stack
// itself is. The outermost entry notes how much stack is left (all but kStackReserve of it may be
// used), and every function call and body checks the stack used so far against that before it
// starts. The player reserves a large main-thread stack (see src/app/CMakeLists.txt), so a
// recursive loop runs tens of thousands of rounds there; test threads get what their platform
// gives.

namespace {

constexpr char kBaseAttribute[] = "__base__";

// Element names of statements ignore ASCII case; structural names ("function", "define", "ifdef",
// "include") are exact.
bool IsStatement(const CSmallStr& name, const char* statement) {
  return name.CompareNoCase(statement) == 0;
}

// URLs of includes are compared with either separator and ignoring ASCII case, the way packages
// and the file system look them up.
CSmallStr IncludeKey(const char* url) {
  CSmallStr key(url);
  key.Replace('\\', '/');
  return key;
}

// The wide text of a value in the host's narrow code page and back, as commands from the movie
// would carry it.
std::wstring ThroughAnsi(const CSmallWStr& text) {
  std::string narrow = vexa::platform::WideToAnsi(text.view());
  return vexa::platform::AnsiToWide(narrow);
}

// What CSmallStr::ReplaceAll makes of `text` (see smallstr_detail::ReplaceRepeatedly), in
// *result. False, with *result unusable, when the text would grow beyond `maxLength` (or its own
// length, if that is more) on the way; rewriting in place is bounded by as many replacements.
bool ReplaceAllBounded(std::string_view text, std::string_view token, std::string_view replacement,
                       size_t maxLength, std::string* result) {
  const size_t limit = text.size() > maxLength ? text.size() : maxLength;
  if (replacement.size() > token.size() && replacement.find(token) == std::string_view::npos) {
    // A lower bound first, so hopeless growth is refused without doing it: an occurrence of the
    // text as it is now is either replaced itself or overlapped by a replaced one, and a replaced
    // occurrence can overlap at most two of them.
    size_t occurrences = 0;
    for (size_t pos = text.find(token); pos != std::string_view::npos;
         pos = text.find(token, pos + token.size())) {
      ++occurrences;
    }
    const size_t atLeast = (occurrences + 1) / 2;
    if (atLeast > (limit - text.size()) / (replacement.size() - token.size())) return false;
  }
  size_t replacements = 0;
  return smallstr_detail::ReplaceRepeatedly(text, token, replacement, limit, limit + 1, result,
                                            &replacements);
}

}  // namespace

// Lets the expression evaluator see one scope's variables and this engine's functions.
class CScriptEngine::CExpressionHost : public IExpressionHost {
 public:
  CExpressionHost(CScriptEngine* engine, CExecContext* scope) : engine_(engine), scope_(scope) {}
  HRESULT LookupVariable(const char* name, VARIANT* value) override {
    return scope_->LookupVariable(name, value);
  }
  HRESULT RunScriptFunction(const char* name) override { return engine_->RunScriptFunction(name); }

 private:
  CScriptEngine* engine_;
  CExecContext* scope_;
};

CScriptEngine::CScriptEngine() = default;
CScriptEngine::~CScriptEngine() = default;

size_t CScriptEngine::StackUsed() const {
  const uintptr_t here = StackPosition();
  return here < stackBase_ ? stackBase_ - here : here - stackBase_;
}

size_t CScriptEngine::StackBudget() {
  const size_t left = vexa::platform::StackRemaining();
  if (left == 0) return kFallbackStackUse;
  // Small stacks (threads of other programs hosting the engine) keep half for what runs below.
  return left > 2 * kStackReserve ? left - kStackReserve : left / 2;
}

bool CScriptEngine::CanNest(const char* what, const char* name) const {
  if (depth_ < kMaxNestingDepth && StackUsed() <= stackBudget_) return true;
  if (vexa::platform::DiagnosticsEnabled()) {
    std::string subject(what);
    if (name) subject += std::string(" '") + name + "'";
    vexa::platform::WriteDiagnostic(
        "script", subject + " not run: the script nests too deeply (" + std::to_string(depth_) +
                      " levels, " + std::to_string(StackUsed() / 1024) + " KB of stack)");
  }
  return false;
}

bool CScriptEngine::TakeStep() {
  if (stepLimit_ == 0) return true;
  if (steps_ >= stepLimit_) return false;
  ++steps_;
  return true;
}

// ---- Loading and preprocessing ----

HRESULT CScriptEngine::LoadScript() {
  // Replacing the tree under a running statement would pull it from under the interpreter.
  if (entries_ > 0) return E_UNEXPECTED;
  CXMLParser parser;
  if (FAILED(LoadXMLDocument(loader_, "init.xml", &parser, nullptr))) {
    vexa::platform::WriteDiagnostic("script", "init.xml cannot be read or is not well-formed");
    return E_FAIL;
  }
  std::unique_ptr<CXMLElement> root(parser.GetRoot()->Clone(true));
  // An include of init.xml itself is named by the URL its includes resolve to.
  CSmallStr base;
  root->GetAttribute(kBaseAttribute, base);
  CSmallStr self = ResolveRelativePath("init.xml", base.c_str());
  const HRESULT hr = Preprocess(root.get(), self.c_str());
  if (FAILED(hr)) {
    vexa::platform::WriteDiagnostic("script", "init.xml not run: its preprocessing hit a bound");
    return hr;
  }
  root_ = std::move(root);
  return S_OK;
}

HRESULT CScriptEngine::Preprocess(CXMLElement* element, const char* documentUrl) {
  if (!element) return E_POINTER;
  HRESULT hr = ProcessIncludes(element, documentUrl);
  if (FAILED(hr)) return hr;
  definitionGrowth_ = 0;
  definitionFailed_ = false;
  // Collected before any is applied: definitions brought to the root by an opened ifdef are not
  // root-level definitions of this document.
  const CXMLElement::ElementList defines = element->GetChildrenByName("define");
  for (CXMLElement* define : defines) {
    CSmallStr name;
    CSmallStr value;
    if (!define->GetAttribute("name", name) || name.IsEmpty()) continue;
    define->GetAttribute("value", value);
    CSmallStr token = "#" + name + "#";
    // Only an element with a parent can be unwrapped; then it is gone and so is the walk.
    if (ApplyDefinition(element, name.c_str(), token.c_str(), value.c_str()) != 0) break;
  }
  return definitionFailed_ ? E_FAIL : S_OK;
}

HRESULT CScriptEngine::ProcessIncludes(CXMLElement* element, const char* documentUrl) {
  if (!element) return E_POINTER;
  std::vector<CSmallStr> chain;
  if (documentUrl && *documentUrl) chain.push_back(IncludeKey(documentUrl));
  IncludeBudget budget{includeElementLimit_, includeExpansionLimit_};
  return ExpandIncludes(element, &chain, &budget);
}

// Expands the includes of `top`'s tree. `chain` holds the files being expanded around this one;
// an include of one of them would never end and is left inert. Included content is expanded (from
// its own document) before it is put in place, so the walk skips over it afterwards.
HRESULT CScriptEngine::ExpandIncludes(CXMLElement* top, std::vector<CSmallStr>* chain,
                                      IncludeBudget* budget) {
  std::vector<CXMLElement*> pending{top};
  while (!pending.empty()) {
    CXMLElement* element = pending.back();
    pending.pop_back();
    std::vector<CXMLElement*> descend;
    for (size_t i = 0; i < element->GetChildCount();) {
      CXMLElement* child = element->GetChild(i);
      size_t inserted = 0;
      if (child->GetName() == "include") {
        const IncludeResult result = ExpandInclude(child, chain, budget, &inserted);
        if (result == IncludeResult::kBoundHit) return E_FAIL;
        if (result == IncludeResult::kExpanded) {
          i += inserted;
          continue;
        }
      }
      descend.push_back(child);
      ++i;
    }
    for (auto it = descend.rbegin(); it != descend.rend(); ++it) pending.push_back(*it);
  }
  return S_OK;
}

namespace {

// Elements in a tree, the root included.
size_t CountElements(const CXMLElement* root) {
  size_t count = 0;
  std::vector<const CXMLElement*> pending{root};
  while (!pending.empty()) {
    const CXMLElement* e = pending.back();
    pending.pop_back();
    ++count;
    for (const CXMLElement* child : e->GetChildren()) pending.push_back(child);
  }
  return count;
}

}  // namespace

CScriptEngine::IncludeResult CScriptEngine::ExpandInclude(CXMLElement* include,
                                                          std::vector<CSmallStr>* chain,
                                                          IncludeBudget* budget, size_t* inserted) {
  CSmallStr url;
  if (!include->GetAttribute("url", url) || url.IsEmpty()) return IncludeResult::kInert;
  if (static_cast<int>(chain->size()) >= kMaxIncludeDepth) {
    vexa::platform::WriteDiagnostic("script", "include of '" + std::string(url.c_str()) +
                                                  "': include chain deeper than " +
                                                  std::to_string(kMaxIncludeDepth) + " files");
    return IncludeResult::kBoundHit;
  }
  CSmallStr key = IncludeKey(url.c_str());
  for (const CSmallStr& open : *chain) {
    if (open.CompareNoCase(key.c_str()) == 0) {
      vexa::platform::WriteDiagnostic("script", "include of '" + std::string(url.c_str()) +
                                                    "' ignored: the file includes itself");
      return IncludeResult::kInert;
    }
  }
  if (budget->expansions <= 0) {
    vexa::platform::WriteDiagnostic("script",
                                    "include of '" + std::string(url.c_str()) + "': more than " +
                                        std::to_string(includeExpansionLimit_) + " includes");
    return IncludeResult::kBoundHit;
  }
  --budget->expansions;
  CXMLParser included;
  if (FAILED(LoadXMLDocument(loader_, url.c_str(), &included, nullptr))) {
    vexa::platform::WriteDiagnostic("script", "include of '" + std::string(url.c_str()) +
                                                  "' ignored: not found or not well-formed");
    return IncludeResult::kInert;
  }
  // Each document's own elements count once, when it is read (the root itself is not inserted):
  // the budget is the size of what the includes insert in all, however deeply they nest.
  const size_t size = CountElements(included.GetRoot()) - 1;
  if (size > budget->elements) {
    vexa::platform::WriteDiagnostic(
        "script", "include of '" + std::string(url.c_str()) + "': includes insert more than " +
                      std::to_string(includeElementLimit_) + " elements");
    return IncludeResult::kBoundHit;
  }
  budget->elements -= size;
  chain->push_back(key);
  const HRESULT expanded = ExpandIncludes(included.GetRoot(), chain, budget);
  chain->pop_back();
  if (FAILED(expanded)) return IncludeResult::kBoundHit;
  const size_t count = included.GetRoot()->GetChildCount();
  // The document is thrown away: its elements move rather than being copied at every level.
  if (!include->ReplaceInParentTaking(included.GetRoot())) return IncludeResult::kInert;
  *inserted = count;
  return IncludeResult::kExpanded;
}

int CScriptEngine::ApplyDefinition(CXMLElement* element, const char* name, const char* token,
                                   const char* replacement) {
  if (!element || !name || !token || !replacement) return 0;
  auto opens = [name](const CXMLElement* e) {
    CSmallStr ifdefName;
    return e->GetAttribute("name", ifdefName) && !ifdefName.IsEmpty() && ifdefName == name;
  };
  if (element->GetName() == "ifdef") {
    if (opens(element) && element->Unwrap()) return 1;
    return 0;
  }
  SubstituteAttributes(element, token, replacement);

  // Depth-first walk without recursion. Opening an ifdef restarts its parent's children; elements
  // already substituted are skipped then, so every attribute is substituted exactly once.
  struct Frame {
    CXMLElement* parent;
    size_t next;
  };
  std::unordered_set<const CXMLElement*> done;
  std::vector<Frame> stack{{element, 0}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    CXMLElement* child = frame.parent->GetChild(frame.next);
    if (!child) {
      stack.pop_back();
      continue;
    }
    if (child->GetName() == "ifdef") {
      if (opens(child) && child->Unwrap()) {
        frame.next = 0;
      } else {
        ++frame.next;
      }
      continue;
    }
    ++frame.next;
    if (!done.insert(child).second) continue;
    SubstituteAttributes(child, token, replacement);
    stack.push_back({child, 0});
  }
  return 0;
}

void CScriptEngine::SubstituteAttributes(CXMLElement* element, const char* token,
                                         const char* replacement) {
  const std::string_view needle(token);
  if (needle.empty()) return;
  for (auto& entry : element->GetAttributes()) {
    CSmallStr& value = entry.second.value;
    const std::string_view text = value.view();
    if (text.find(needle) == std::string_view::npos) continue;
    // Chains of definitions whose values hold several tokens of the next one multiply in length;
    // a value that would outgrow the bounds keeps its tokens instead.
    std::string replaced;
    if (!ReplaceAllBounded(text, needle, replacement, kMaxDefinedValueLength, &replaced)) {
      DefinitionBoundHit(
          token, "a value would grow beyond " + std::to_string(kMaxDefinedValueLength) + " bytes");
      continue;
    }
    const int64_t growth = static_cast<int64_t>(replaced.size()) - value.GetLength();
    if (growth > 0 && definitionGrowth_ + growth > kMaxDefinitionGrowth) {
      DefinitionBoundHit(token, "the values would grow by more than " +
                                    std::to_string(kMaxDefinitionGrowth) + " bytes");
      continue;
    }
    if (growth > 0) definitionGrowth_ += growth;
    value = CSmallStr(replaced);
  }
}

void CScriptEngine::DefinitionBoundHit(const char* token, const std::string& why) {
  if (!definitionFailed_) {
    vexa::platform::WriteDiagnostic("script", std::string("definition ") + token + ": " + why);
  }
  definitionFailed_ = true;
}

// ---- Execution ----

HRESULT CScriptEngine::Execute(CXMLElement* body, CExecContext* scope) {
  if (!body) return S_OK;
  if (!scope) scope = this;
  CEntryGuard entry(this);
  if (!CanNest("a statement body")) return S_OK;
  ++depth_;
  // By index: statements may rewrite themselves (<element>) but never remove a sibling.
  for (size_t i = 0; i < body->GetChildCount(); ++i) {
    if (!TakeStep()) {
      vexa::platform::WriteDiagnostic("script", "statement budget used up; the rest not run");
      break;
    }
    CXMLElement* statement = body->GetChild(i);
    const HRESULT hr = RunStatement(statement, scope);
    if (FAILED(hr) && vexa::platform::DiagnosticsEnabled()) ReportFailure(statement, hr);
  }
  --depth_;
  return S_OK;
}

void CScriptEngine::ReportFailure(const CXMLElement* statement, HRESULT hr) {
  CSmallStr text;
  statement->ToXML(text, 0, true, true);
  std::string shown(text.c_str(), static_cast<size_t>(text.GetLength()));
  if (shown.size() > 200) shown = shown.substr(0, 200) + "...";
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  const char* why = hr == E_NOTIMPL                         ? "not supported by this player"
                    : hr == E_POINTER || hr == E_INVALIDARG ? "a required attribute is missing"
                                                            : "it failed";
  vexa::platform::WriteDiagnostic("script", "statement " + shown + ": " + why + " (" + code + ")");
}

HRESULT CScriptEngine::RunStatement(CXMLElement* statement, CExecContext* scope) {
  const CSmallStr& name = statement->GetName();
  if (IsStatement(name, "var")) return RunVar(statement, scope);
  if (IsStatement(name, "assign")) return RunAssign(statement, scope);
  if (IsStatement(name, "set")) return RunSet(statement, scope);
  if (IsStatement(name, "call")) return RunCall(statement);
  if (IsStatement(name, "load")) return host_ ? host_->LoadIntoLayer(statement) : E_FAIL;
  if (IsStatement(name, "ref")) return host_ ? host_->LoadReference(statement) : E_FAIL;
  if (IsStatement(name, "movie")) return host_ ? host_->SetMovie(statement) : E_FAIL;
  if (IsStatement(name, "trace")) return RunTrace(statement, scope);
  if (IsStatement(name, "timeout")) return RunTimer(statement, false);
  if (IsStatement(name, "timeinterval")) return RunTimer(statement, true);
  if (IsStatement(name, "element")) return RunElement(statement, scope);
  if (IsStatement(name, "fscommand")) return RunFSCommand(statement, scope);
  if (IsStatement(name, "if")) return RunIf(statement, scope);
  return S_OK;
}

HRESULT CScriptEngine::RunVar(CXMLElement* statement, CExecContext* scope) {
  CSmallStr name;
  CSmallStr expr;
  statement->GetAttribute("name", name);
  // The variable is stored under the trimmed name; updating it must use the same one.
  name.Trim();
  if (name.IsEmpty()) return E_FAIL;
  statement->GetAttribute("expr", expr);
  CVariant evaluated;
  HRESULT hr = Evaluate(expr.c_str(), scope, &evaluated.value);
  if (FAILED(hr)) return hr;
  if (SUCCEEDED(scope->DeclareVariable(name.c_str(), &evaluated.value))) return S_OK;
  if (!scope->HasOwnVariable(name.c_str())) return E_FAIL;
  return scope->AssignVariable(name.c_str(), &evaluated.value);
}

HRESULT CScriptEngine::RunAssign(CXMLElement* statement, CExecContext* scope) {
  CSmallStr name;
  CSmallStr expr;
  CSmallStr base;
  statement->GetAttribute("name", name);
  if (name.IsEmpty()) return E_FAIL;
  statement->GetAttribute("expr", expr);
  statement->GetAttribute(kBaseAttribute, base);
  CVariant evaluated;
  HRESULT hr = Evaluate(expr.c_str(), scope, &evaluated.value);
  if (FAILED(hr)) return hr;
  if (host_ && SUCCEEDED(host_->SetSystemVariable(name.c_str(), &evaluated.value, base.c_str()))) {
    return S_OK;
  }
  if (SUCCEEDED(scope->AssignVariable(name.c_str(), &evaluated.value))) return S_OK;
  return scope->DeclareVariable(name.c_str(), &evaluated.value);
}

HRESULT CScriptEngine::RunSet(CXMLElement* statement, CExecContext* scope) {
  CSmallStr var;
  statement->GetAttribute("var", var);
  if (var.IsEmpty()) return E_FAIL;
  CVariant evaluated;
  CSmallStr expr;
  if (statement->GetAttribute("expr", expr)) {
    HRESULT hr = Evaluate(expr.c_str(), scope, &evaluated.value);
    if (FAILED(hr)) return hr;
  } else {
    CExecContext body(scope);
    if (FAILED(Execute(statement, &body))) return E_FAIL;
    CSmallStr text;
    statement->ToXML(text, 0, true, false);
    std::wstring wide = vexa::platform::AnsiToWide(text.view());
    BSTR bstr = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!bstr) return E_OUTOFMEMORY;
    evaluated.value.vt = VT_BSTR;
    evaluated.value.bstrVal = bstr;
  }
  if (!host_) return E_FAIL;
  host_->SetMovieValue(var.c_str(), &evaluated.value);
  return S_OK;
}

HRESULT CScriptEngine::RunCall(CXMLElement* statement) {
  CSmallStr name;
  statement->GetAttribute("name", name);
  if (name.IsEmpty()) return S_OK;
  return RunScriptFunction(name.c_str());
}

HRESULT CScriptEngine::RunTrace(CXMLElement* statement, CExecContext* scope) {
  CSmallStr expr;
  statement->GetAttribute("expr", expr);
  if (expr.IsEmpty()) return S_OK;
  CVariant ignored;
  Evaluate(expr.c_str(), scope, &ignored.value);
  return S_OK;
}

HRESULT CScriptEngine::RunTimer(CXMLElement* statement, bool repeating) {
  CSmallStr value;
  CSmallStr expr;
  statement->GetAttribute("value", value);
  statement->GetAttribute("expr", expr);
  if (value.IsEmpty() || expr.IsEmpty()) return E_FAIL;
  const int32_t milliseconds = vexa::platform::DecimalValue(value.c_str());
  if (milliseconds == 0) return S_OK;
  if (!host_) return E_FAIL;
  auto text = std::make_unique<CSmallStr>(expr);
  return repeating ? host_->AddInterval(milliseconds, std::move(text))
                   : host_->AddTimeout(milliseconds, std::move(text));
}

HRESULT CScriptEngine::RunFSCommand(CXMLElement* statement, CExecContext* scope) {
  CSmallStr nameExpr;
  CSmallStr argsExpr;
  statement->GetAttribute("name", nameExpr);
  if (nameExpr.IsEmpty()) return E_FAIL;
  statement->GetAttribute("args", argsExpr);
  CVariant command;
  HRESULT hr = Evaluate(nameExpr.c_str(), scope, &command.value);
  if (FAILED(hr)) return hr;
  CVariant args;
  if (!argsExpr.IsEmpty()) {
    hr = Evaluate(argsExpr.c_str(), scope, &args.value);
    if (FAILED(hr)) return hr;
  }
  if (!host_) return E_FAIL;
  const std::wstring commandText = ThroughAnsi(ValueToString(command.value));
  const std::wstring argsText = ThroughAnsi(ValueToString(args.value));
  return host_->SendFSCommand(commandText.c_str(), argsText.c_str());
}

HRESULT CScriptEngine::RunIf(CXMLElement* statement, CExecContext* scope) {
  CSmallStr op;
  CSmallStr expr1;
  CSmallStr expr2;
  statement->GetAttribute("op", op);
  statement->GetAttribute("expr1", expr1);
  statement->GetAttribute("expr2", expr2);
  op.ReplaceAll("&gt;", ">");
  op.ReplaceAll("&lt;", "<");
  CVariant left;
  CVariant right;
  HRESULT hr = Evaluate(expr1.c_str(), scope, &left.value);
  if (FAILED(hr)) return hr;
  hr = Evaluate(expr2.c_str(), scope, &right.value);
  if (FAILED(hr)) return hr;
  bool holds = false;
  if (op.CompareNoCase("==") == 0) {
    holds = EqualValue(left.value, right.value);
  } else if (op.CompareNoCase("!=") == 0) {
    holds = ValuesDiffer(left.value, right.value);
  } else if (op.CompareNoCase(">") == 0) {
    holds = GreaterValue(left.value, right.value);
  } else if (op.CompareNoCase("<") == 0) {
    holds = LessValue(left.value, right.value);
  } else if (op.CompareNoCase(">=") == 0) {
    holds = GreaterEqualValue(left.value, right.value);
  } else if (op.CompareNoCase("<=") == 0) {
    holds = LessEqualValue(left.value, right.value);
  }
  if (!holds) return S_OK;
  std::unique_ptr<CXMLElement> body(statement->Clone(true));
  CExecContext bodyScope(scope);
  return Execute(body.get(), &bodyScope);
}

// ---- Functions and expressions ----

HRESULT CScriptEngine::RunScriptFunction(const char* name) {
  if (!name || !root_) return E_FAIL;
  CEntryGuard entry(this);
  const CXMLElement::ElementList functions = root_->GetChildrenByName("function");
  const CXMLElement* found = nullptr;
  for (auto it = functions.rbegin(); it != functions.rend() && !found; ++it) {
    CSmallStr functionName;
    if ((*it)->GetAttribute("name", functionName) && functionName == name) found = *it;
  }
  if (!found) {
    if (vexa::platform::DiagnosticsEnabled()) {
      vexa::platform::WriteDiagnostic("script", std::string("no function named '") + name + "'");
    }
    return S_OK;
  }
  if (!CanNest("function", name)) return S_OK;
  // A copy: statements rewrite the tree they run on, and the function must stay as written.
  std::unique_ptr<CXMLElement> body(found->Clone(true));
  CExecContext scope(this);
  Execute(body.get(), &scope);
  return S_OK;
}

HRESULT CScriptEngine::EnumerateFunctions(const char* type, std::vector<CSmallStr>* names) {
  if (!names) return E_POINTER;
  if (!root_) return E_FAIL;
  if (!type) return S_OK;
  for (const CXMLElement* function : root_->GetChildrenByName("function")) {
    CSmallStr functionType;
    if (!function->GetAttribute("type", functionType) || functionType != type) continue;
    CSmallStr functionName;
    function->GetAttribute("name", functionName);
    names->push_back(functionName);
  }
  return S_OK;
}

HRESULT CScriptEngine::Evaluate(const char* expression, CExecContext* scope, VARIANT* value,
                                const char** cursor) {
  if (!expression || !value) return E_POINTER;
  CEntryGuard entry(this);
  CExpressionHost host(this, scope ? scope : this);
  return ::Evaluate(expression, &host, value, cursor);
}
