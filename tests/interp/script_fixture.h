// A game on disk for script tests: a folder with data.pak (built by the archiver) and loose files,
// read through the real file loader, and a recording stand-in for the player's IScriptDilator.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "data/loader.h"
#include "platform/codepage.h"
#include "script/context.h"
#include "script/dilator.h"
#include "script/engine.h"
#include "script/value.h"
#include "script/xml.h"
#include "support/archive.h"
#include "support/folders.h"
#include "support/script_host.h"

namespace script_test {

namespace fs = std::filesystem;

inline std::string Narrow(const wchar_t* text) {
  return vexa::platform::WideToUtf8(text ? std::wstring_view(text) : std::wstring_view());
}

// A readable form of a script value: numbers and booleans as text, strings quoted, "(empty)".
inline std::string Show(const VARIANT& value) {
  if (value.vt == VT_EMPTY) return "(empty)";
  const CSmallWStr text = ValueToString(value);
  std::string s = vexa::platform::WideToUtf8(
      std::wstring_view(text.c_str(), static_cast<size_t>(text.GetLength())));
  return value.vt == VT_BSTR ? "'" + s + "'" : s;
}

// An element written out with its tag and attributes (hidden ones left out).
inline std::string Xml(const CXMLElement* element) {
  CSmallStr text;
  if (element) element->ToXML(text, 0, true, true);
  return text.str();
}

struct Variant {
  Variant() { VariantInit(&v); }
  ~Variant() { VariantClear(&v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT v;
};

// One call that reached the host, flattened: "op name=value" style text for easy comparison.
struct HostCall {
  std::string op;
  std::string name;       // element's url attribute, variable name, command
  std::string value;      // Show() of values, timer expression, command argument, element XML
  std::string base = {};  // SetSystemVariable's base
  int32_t milliseconds = 0;
};

class CRecordingDilator : public vexa::testing::CNullScriptHost {
 public:
  // Names the fake takes as game settings (SetSystemVariable succeeds for them).
  std::set<std::string> reserved{"TITLE", "WIDTH"};
  std::vector<HostCall> calls;
  // Expressions handed over by timers; the fake owns them as the player would.
  std::vector<std::unique_ptr<CSmallStr>> timerExpressions;
  // Runs inside the element operations (load/ref/movie) and SendFSCommand, to test re-entry.
  std::function<void(const HostCall&)> onCall;

  std::vector<std::string> Ops() const {
    std::vector<std::string> ops;
    for (const HostCall& c : calls) ops.push_back(c.op);
    return ops;
  }
  // The calls of one operation as "name=value" texts.
  std::vector<std::string> Of(const std::string& op) const {
    std::vector<std::string> out;
    for (const HostCall& c : calls)
      if (c.op == op) out.push_back(c.name + "=" + c.value);
    return out;
  }

  HRESULT LoadIntoLayer(CXMLElement* element) override { return Element("load", element); }
  HRESULT LoadReference(CXMLElement* element) override { return Element("ref", element); }
  HRESULT SetMovie(CXMLElement* element) override { return Element("movie", element); }
  HRESULT SetSystemVariable(const char* name, const VARIANT* value, const char* base) override {
    if (!reserved.count(name)) return E_FAIL;
    Record({"setting", name, Show(*value), base ? base : "<null>"});
    return S_OK;
  }
  HRESULT SetMovieValue(const char* name, const VARIANT* value) override {
    Record({"movievalue", name, Show(*value)});
    return S_OK;
  }
  HRESULT AddTimeout(int32_t milliseconds, std::unique_ptr<CSmallStr> expression) override {
    return Timer("timeout", milliseconds, std::move(expression));
  }
  HRESULT AddInterval(int32_t milliseconds, std::unique_ptr<CSmallStr> expression) override {
    return Timer("interval", milliseconds, std::move(expression));
  }
  HRESULT SendFSCommand(const wchar_t* command, const wchar_t* args) override {
    Record({"fscommand", Narrow(command), Narrow(args)});
    return S_OK;
  }
  // The window, stored values, variants and quitting answer "not implemented".

 private:
  HRESULT Element(const char* op, CXMLElement* element) {
    CSmallStr url;
    element->GetAttribute("url", url);
    Record({op, url.str(), Xml(element)});
    return S_OK;
  }
  HRESULT Timer(const char* op, int32_t milliseconds, std::unique_ptr<CSmallStr> expression) {
    HostCall call{op, "", expression ? expression->str() : "<null>"};
    call.milliseconds = milliseconds;
    timerExpressions.push_back(std::move(expression));
    Record(call);
    return S_OK;
  }
  void Record(const HostCall& call) {
    calls.push_back(call);
    if (onCall) onCall(calls.back());
  }
};

// A random source that plays back fixed numbers (then repeats the last one) and notes its seeds.
class CScriptedRandom : public IScriptRandom {
 public:
  explicit CScriptedRandom(std::vector<int32_t> numbers) : numbers_(std::move(numbers)) {}
  void Seed(uint32_t seed) override { seeds.push_back(seed); }
  int32_t Next() override {
    if (numbers_.empty()) return 0;
    int32_t n = numbers_[next_ < numbers_.size() ? next_ : numbers_.size() - 1];
    ++next_;
    return n;
  }
  std::vector<uint32_t> seeds;

 private:
  std::vector<int32_t> numbers_;
  size_t next_ = 0;
};

class ScriptTest : public ::testing::Test {
 protected:
  using Files = std::vector<std::pair<std::string, std::string>>;

  void SetUp() override {
    loader_ = std::make_unique<CFileLoader>(game_.string().c_str());
    engine_.SetHost(&host_);
    engine_.SetFileLoader(loader_.get());
  }

  // Writes a package (data.pak unless named) with these entries (name, content).
  void Package(const Files& files, const char* name = "data.pak") {
    folder_.Disk(name, vexa::testing::PackageBytes(files));
  }

  // A loose file in the game folder.
  void Disk(const std::string& name, const std::string& content) { folder_.Disk(name, content); }

  // What the player does at start: load, frame scope as parent, run the top-level statements.
  HRESULT Start() {
    HRESULT hr = engine_.LoadScript();
    if (FAILED(hr)) return hr;
    engine_.SetParent(&frame_);
    return engine_.Execute(engine_.GetScriptRoot(), nullptr);
  }

  // A global variable as Show() text, or "<none>".
  std::string Global(const char* name) {
    Variant v;
    if (FAILED(engine_.LookupVariable(name, &v.v))) return "<none>";
    return Show(v.v);
  }

  // An expression's value in the global scope as Show() text, or "<failed>".
  std::string Eval(const char* expression) {
    Variant v;
    if (FAILED(engine_.Evaluate(expression, nullptr, &v.v))) return "<failed>";
    return Show(v.v);
  }

  // Runs script text the way the EXEC command does: parsed, no base folder, in the global scope.
  void Exec(const std::string& text) {
    CXMLParser parser;
    ASSERT_EQ(parser.ParseDocument(text.c_str()), 1) << text;
    engine_.Execute(parser.GetRoot(), nullptr);
  }

  static HRESULT FixedTime(CSmallWStr* text) {
    *text = L"12:34";
    return S_OK;
  }

  // Each test gets a folder of its own: the package cache remembers a package by its path.
  vexa::testing::CGameFolder folder_;
  const fs::path game_ = folder_.root();
  std::unique_ptr<CFileLoader> loader_;
  CRecordingDilator host_;
  CMainFrameCtx frame_{&ScriptTest::FixedTime};
  CScriptEngine engine_;
};

}  // namespace script_test
