// The script interpreter: runs init.xml and everything the game's script does later.
//
// CScriptEngine is the global scope of the script (a CExecContext) plus the preprocessed script
// tree, the cache of data documents read by <element>, and the host it calls out to
// (IScriptDilator).
//
// Files come through an IFileLoader the owner provides (SetFileLoader). The engine reads them with
// LoadXMLDocument and resolves data-document URLs with ResolveRelativePath, both of the data
// library: a program that uses CScriptEngine links vexa_data as well as vexa_script.
//
// The interpreter is forgiving: a statement that fails is skipped without a report, unknown
// elements are ignored, an unknown function name is not an error. Everything that could otherwise
// run without end is bounded, and the bound makes the offending operation fail or stop instead:
// - an include that would include a file already being expanded (directly or through other files)
//   is left in place and inert, like an include whose file cannot be read; an include chain deeper
//   than kMaxIncludeDepth, more than kMaxIncludeExpansions includes, or includes inserting more
//   than kMaxIncludedElements elements make the preprocessing fail (LoadScript fails: the script is
//   not run half processed);
// - a definition substitutes each attribute value once (a value that contains its own token keeps
//   the token from the replacement); a value that would grow beyond kMaxDefinedValueLength bytes,
//   or all values of one Preprocess together by more than kMaxDefinitionGrowth bytes, make the
//   preprocessing fail;
// - script bodies nest through the C++ stack (function calls, if and set bodies); the guard is the
//   stack really left: at the outermost entry the engine notes how much of the thread's stack it
//   may use (all of it but kStackReserve; kFallbackStackUse when the system does not say), and a
//   function call or body that would start beyond that is not run. A self-recursive function
//   guarded by an if (the language's only loop) runs thousands of rounds on the player's main
//   thread, whose stack the executable reserves large. kMaxNestingDepth only backs that up;
// - SetStepLimit can bound the statements one entry into the engine runs (off by default).
// Whenever a bound stops something, a line goes to the diagnostic log (platform/diagnostics.h), so
// an author can see why a script stopped.
//
// Threading: none. Every entry (start-up, FSCommands, timers) comes from the UI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/oleauto.h"
#include "script/context.h"
#include "script/select.h"
#include "script/smallstr.h"

class CXMLElement;
class CXMLParser;
class IFileLoader;
class IScriptDilator;

class CScriptEngine : public CExecContext {
 public:
  // Deepest nesting of script bodies (function calls, if and set bodies) one entry may reach: a
  // backstop only, the stack bound comes first in practice (see engine.cpp).
  static constexpr int kMaxNestingDepth = 1000000;
  // Stack (bytes) left unused below the deepest script level, for the calls a statement makes into
  // the host and the plug-in.
  static constexpr size_t kStackReserve = 512 * 1024;
  // Stack one entry may use when the system does not tell how much is left.
  static constexpr size_t kFallbackStackUse = 256 * 1024;
  // Deepest chain of files including one another.
  static constexpr int kMaxIncludeDepth = 16;
  // Most elements all includes of one Preprocess may insert together (each included document's
  // own elements, counted once however deeply it is nested): bounds runaway growth (files that
  // include others twice), not wide scripts.
  static constexpr size_t kMaxIncludedElements = 200000;
  // Most includes one Preprocess expands (each one reads and parses a file).
  static constexpr int kMaxIncludeExpansions = 10000;
  // Definition substitution bounds (bytes).
  static constexpr int kMaxDefinedValueLength = 64 * 1024;
  static constexpr int64_t kMaxDefinitionGrowth = 1024 * 1024;

  CScriptEngine();
  ~CScriptEngine() override;

  // Non-owning; null (the default) means statements that need the host do nothing.
  void SetHost(IScriptDilator* host) { host_ = host; }
  IScriptDilator* GetHost() const { return host_; }
  // Non-owning; null (the default) makes every file read fail.
  void SetFileLoader(IFileLoader* loader) { loader_ = loader; }
  IFileLoader* GetFileLoader() const { return loader_; }
  // Non-owning; null restores the built-in generator (CScriptRandom).
  void SetRandomSource(IScriptRandom* random) { random_ = random ? random : &defaultRandom_; }
  // Most statements one entry into the engine (an outermost Execute, RunScriptFunction or Evaluate)
  // runs; the statements after that are skipped. 0 (the default) means no limit.
  void SetStepLimit(uint32_t limit) { stepLimit_ = limit; }
  // Lowers (or raises) the include bounds of later preprocessing: the elements all includes of one
  // Preprocess may insert and the includes it may expand. The defaults are kMaxIncludedElements and
  // kMaxIncludeExpansions; tools that preprocess untrusted text in bulk (the fuzzers) set less.
  void SetIncludeLimits(size_t elements, int expansions) {
    includeElementLimit_ = elements;
    includeExpansionLimit_ = expansions;
  }

  // The preprocessed script tree; null before a successful LoadScript. Add-ons append their
  // elements to it (the engine owns whatever is appended).
  CXMLElement* GetScriptRoot() const { return root_.get(); }

  // Reads "init.xml" through the file loader, makes a copy of it the script root (the previous root
  // is destroyed) and preprocesses it. Returns S_OK or the preprocessing status; E_FAIL, keeping
  // the previous root, when the file cannot be read or parsed; E_UNEXPECTED while the script runs.
  // A script whose preprocessing hit a bound is not half run: the status is E_FAIL (the player then
  // shows its start-up error) and the previous root stays.
  HRESULT LoadScript();

  // Expands the includes of the element's tree, then applies its root-level definitions (children
  // named "define" with a non-empty name: token "#name#", replacement the value attribute) to the
  // whole tree and opens the ifdef blocks they name. `documentUrl`, when given, is the URL the
  // element's document was read from: an include of that same file counts as a cycle at once.
  // Returns S_OK; E_POINTER for a null element; E_FAIL when a bound stopped it (an include chain
  // deeper than kMaxIncludeDepth, more than kMaxIncludeExpansions includes, includes inserting
  // more than kMaxIncludedElements elements, or
  // a definition that would grow a value beyond kMaxDefinedValueLength or all values beyond
  // kMaxDefinitionGrowth): the tree is then partly processed and must not be run. An include that
  // names a file already being expanded (a cycle) or a file that cannot be read stays in place and
  // does nothing; the diagnostic log says so.
  HRESULT Preprocess(CXMLElement* element, const char* documentUrl = nullptr);

  // Replaces every "include" element of the tree whose url loads by the children of the included
  // document's root, recursively (see the bounds above). Returns S_OK, E_POINTER for a null
  // element, or E_FAIL when a bound stopped it.
  HRESULT ProcessIncludes(CXMLElement* element, const char* documentUrl = nullptr);

  // Applies one definition to the element's tree: an "ifdef" whose name attribute equals `name` is
  // unwrapped (its children take its place), another "ifdef" is left alone and not entered, and in
  // every other element `token` is replaced by `replacement` in every attribute value. Returns 1
  // when `element` itself was an ifdef that got unwrapped (the element is gone then), otherwise 0.
  int ApplyDefinition(CXMLElement* element, const char* name, const char* token,
                      const char* replacement);

  // Runs the children of `body` as statements in `scope` (null: the global scope). Always S_OK: a
  // null body, or one a nesting bound keeps from running, simply runs nothing (the diagnostic log
  // says so).
  HRESULT Execute(CXMLElement* body, CExecContext* scope);

  // Runs the last root-level "function" whose name attribute equals `name`, on a copy, in a new
  // scope whose parent is the global scope. S_OK (also when there is no such function, or when a
  // nesting bound keeps it from running); E_FAIL for a null name or without a script root.
  HRESULT RunScriptFunction(const char* name);

  // Appends to *names the name of every root-level "function" whose type attribute equals `type`
  // byte for byte, in document order. S_OK; E_FAIL without a script root; E_POINTER for null names.
  HRESULT EnumerateFunctions(const char* type, std::vector<CSmallStr>* names);

  // Evaluates an expression with identifiers looked up from `scope` (null: the global scope) and
  // calls running script functions. `cursor`, when given and not null, is the start position inside
  // `expression` and receives the position after the last character read. S_OK, or the failure,
  // with *value unchanged.
  HRESULT Evaluate(const char* expression, CExecContext* scope, VARIANT* value,
                   const char** cursor = nullptr);

  // Data selection

  // The cached document read from `url`, loading it (with LoadXMLDocument) on first use. Null when
  // it cannot be read or parsed; nothing is cached then, so a later call tries again. The parser
  // stays owned by the engine until it is destroyed.
  CXMLParser* GetDocument(const char* url);

  // Evaluates the selection `path` from `node` and appends shallow copies of the selected elements,
  // each holding its own selection of the rest of the path, to `out`; the first component must be
  // empty or equal node's name (out then takes that name). Predicates are evaluated in `scope`
  // (null: the global scope). S_OK (also when nothing is selected), E_FAIL for a malformed path or
  // a failing predicate, E_POINTER for null arguments.
  HRESULT Select(CXMLElement* node, const char* path, CExecContext* scope, CXMLElement* out);

 private:
  class CExpressionHost;

  // Marks one public entry into the engine. The outermost one starts a fresh statement budget and
  // notes where the stack stood and how much of it the nesting may use.
  class CEntryGuard {
   public:
    explicit CEntryGuard(CScriptEngine* engine) : engine_(engine) {
      if (engine_->entries_++ == 0) {
        engine_->steps_ = 0;
        engine_->stackBase_ = StackPosition();
        engine_->stackBudget_ = StackBudget();
      }
    }
    ~CEntryGuard() { --engine_->entries_; }
    CEntryGuard(const CEntryGuard&) = delete;
    CEntryGuard& operator=(const CEntryGuard&) = delete;

   private:
    CScriptEngine* engine_;
  };

  // The current frame's address: locals may live elsewhere (a sanitizer's fake stack), frames not.
  static uintptr_t StackPosition() {
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  }

  HRESULT RunStatement(CXMLElement* statement, CExecContext* scope);
  HRESULT RunVar(CXMLElement* statement, CExecContext* scope);
  HRESULT RunAssign(CXMLElement* statement, CExecContext* scope);
  HRESULT RunSet(CXMLElement* statement, CExecContext* scope);
  HRESULT RunCall(CXMLElement* statement);
  HRESULT RunTrace(CXMLElement* statement, CExecContext* scope);
  HRESULT RunTimer(CXMLElement* statement, bool repeating);
  HRESULT RunFSCommand(CXMLElement* statement, CExecContext* scope);
  HRESULT RunIf(CXMLElement* statement, CExecContext* scope);
  HRESULT RunElement(CXMLElement* statement, CExecContext* scope);  // select.cpp

  enum class IncludeResult { kExpanded, kInert, kBoundHit };
  // What the includes of one pass may still do.
  struct IncludeBudget {
    size_t elements;
    int expansions;
  };
  HRESULT ExpandIncludes(CXMLElement* top, std::vector<CSmallStr>* chain, IncludeBudget* budget);
  IncludeResult ExpandInclude(CXMLElement* include, std::vector<CSmallStr>* chain,
                              IncludeBudget* budget, size_t* inserted);
  void DefinitionBoundHit(const char* token, const std::string& why);
  // Writes a failed statement and its status to the diagnostic log.
  static void ReportFailure(const CXMLElement* statement, HRESULT hr);
  void SubstituteAttributes(CXMLElement* element, const char* token, const char* replacement);

  // False when the current entry's statement budget is used up; counts one statement otherwise.
  bool TakeStep();
  // Whether one more body may nest (depth and stack bounds). `what` names the body for the
  // diagnostic log when it may not.
  bool CanNest(const char* what, const char* name = nullptr) const;
  size_t StackUsed() const;
  // How much stack the nesting of an outermost entry starting here may use.
  static size_t StackBudget();

  std::unique_ptr<CXMLElement> root_;
  std::map<CSmallStr, std::unique_ptr<CXMLParser>> documents_;
  IScriptDilator* host_ = nullptr;
  IFileLoader* loader_ = nullptr;
  CScriptRandom defaultRandom_;
  IScriptRandom* random_ = &defaultRandom_;

  int depth_ = 0;            // nesting of bodies being run
  uintptr_t stackBase_ = 0;  // stack position at the start of the outermost entry
  size_t stackBudget_ = kFallbackStackUse;  // stack the outermost entry's nesting may use
  int entries_ = 0;          // nesting of public entries, to find the outermost one
  uint32_t stepLimit_ = 0;   // 0: unlimited
  size_t includeElementLimit_ = kMaxIncludedElements;
  int includeExpansionLimit_ = kMaxIncludeExpansions;
  uint32_t steps_ = 0;       // statements run by the current outermost entry
  int64_t definitionGrowth_ = 0;
  bool definitionFailed_ = false;  // a definition of the current Preprocess hit a bound
};
