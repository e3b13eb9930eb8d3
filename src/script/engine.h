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
// - an include that would include a file already being expanded (directly or through other files),
//   or that lies deeper than kMaxIncludeDepth, or beyond kMaxIncludeExpansions expansions in one
//   pass, is left in place and inert, like an include whose file cannot be read;
// - a definition substitutes each attribute value once (a value that contains its own token keeps
//   the token from the replacement), and no value grows beyond kMaxDefinedValueLength bytes, nor
//   all values of one Preprocess together by more than kMaxDefinitionGrowth bytes;
// - script bodies nest (function calls, if and set bodies) at most kMaxNestingDepth deep: the call
//   that would go deeper fails (RunScriptFunction returns E_FAIL, so the expression that called the
//   function fails) and a deeper if/set body is not run;
// - SetStepLimit can bound the statements one entry into the engine runs (off by default).
//
// Threading: none. Every entry (start-up, FSCommands, timers) comes from the UI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
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
  // Deepest nesting of script bodies (function calls, if and set bodies) one entry may reach.
  // Chosen from the measured stack use per nesting level (see engine.cpp).
  static constexpr int kMaxNestingDepth = 64;
  // Most stack (bytes) the nesting of one entry may take, measured from where the outermost entry
  // began; deeper calls and bodies fail as for kMaxNestingDepth.
  static constexpr size_t kMaxStackUse = 256 * 1024;
  // Deepest chain of files including one another.
  static constexpr int kMaxIncludeDepth = 16;
  // Most includes one Preprocess expands.
  static constexpr int kMaxIncludeExpansions = 256;
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

  // The preprocessed script tree; null before a successful LoadScript. Add-ons append their
  // elements to it (the engine owns whatever is appended).
  CXMLElement* GetScriptRoot() const { return root_.get(); }

  // Reads "init.xml" through the file loader, makes a copy of it the script root (the previous root
  // is destroyed) and preprocesses it. Returns S_OK or the preprocessing status; E_FAIL, keeping
  // the previous root, when the file cannot be read or parsed; E_UNEXPECTED while the script runs.
  HRESULT LoadScript();

  // Expands the includes of the element's tree, then applies its root-level definitions (children
  // named "define" with a non-empty name: token "#name#", replacement the value attribute) to the
  // whole tree and opens the ifdef blocks they name. `documentUrl`, when given, is the URL the
  // element's document was read from: an include of that same file counts as a cycle at once.
  // Returns S_OK, or E_POINTER for a null element.
  HRESULT Preprocess(CXMLElement* element, const char* documentUrl = nullptr);

  // Replaces every "include" element of the tree whose url loads by the children of the included
  // document's root, recursively (see the bounds above). Returns S_OK, or E_POINTER for a null
  // element.
  HRESULT ProcessIncludes(CXMLElement* element, const char* documentUrl = nullptr);

  // Applies one definition to the element's tree: an "ifdef" whose name attribute equals `name` is
  // unwrapped (its children take its place), another "ifdef" is left alone and not entered, and in
  // every other element `token` is replaced by `replacement` in every attribute value. Returns 1
  // when `element` itself was an ifdef that got unwrapped (the element is gone then), otherwise 0.
  int ApplyDefinition(CXMLElement* element, const char* name, const char* token,
                      const char* replacement);

  // Runs the children of `body` as statements in `scope` (null: the global scope). Returns S_OK;
  // E_FAIL when the body was not run because it nests deeper than kMaxNestingDepth; E_POINTER for a
  // null body.
  HRESULT Execute(CXMLElement* body, CExecContext* scope);

  // Runs the last root-level "function" whose name attribute equals `name`, on a copy, in a new
  // scope whose parent is the global scope. S_OK (also when there is no such function); E_FAIL for
  // a null name, without a script root, or when the call would nest deeper than kMaxNestingDepth.
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
  // notes where the stack stood, so that nesting is measured from there.
  class CEntryGuard {
   public:
    explicit CEntryGuard(CScriptEngine* engine) : engine_(engine) {
      if (engine_->entries_++ == 0) {
        engine_->steps_ = 0;
        engine_->stackBase_ = StackPosition();
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

  HRESULT ExpandIncludes(CXMLElement* top, std::vector<CSmallStr>* chain, int* budget);
  bool ExpandInclude(CXMLElement* include, std::vector<CSmallStr>* chain, int* budget,
                     size_t* inserted);
  void SubstituteAttributes(CXMLElement* element, const char* token, const char* replacement);

  // False when the current entry's statement budget is used up; counts one statement otherwise.
  bool TakeStep();
  // Whether one more body may nest (depth and stack bounds).
  bool CanNest() const;
  size_t StackUsed() const;

  std::unique_ptr<CXMLElement> root_;
  std::map<CSmallStr, std::unique_ptr<CXMLParser>> documents_;
  IScriptDilator* host_ = nullptr;
  IFileLoader* loader_ = nullptr;
  CScriptRandom defaultRandom_;
  IScriptRandom* random_ = &defaultRandom_;

  int depth_ = 0;            // nesting of bodies being run
  uintptr_t stackBase_ = 0;  // stack position at the start of the outermost entry
  int entries_ = 0;          // nesting of public entries, to find the outermost one
  uint32_t stepLimit_ = 0;   // 0: unlimited
  uint32_t steps_ = 0;       // statements run by the current outermost entry
  int64_t definitionGrowth_ = 0;
};
