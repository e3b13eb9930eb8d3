// Fuzz target: arbitrary script text loaded, preprocessed and run the way the player runs
// init.xml, against a host that records nothing but serves CALL and EXEC back into the engine.
//
// The input is split at zero bytes into files: the first is init.xml, the others answer every other
// path the script asks for (includes, data documents), picked by the path's length. Every run has a
// statement budget per entry, so scripts that are merely slow (exponential recursion) end quickly;
// everything else must end by the engine's own bounds (the include limits lowered, so that include
// bombs end quickly too).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "data/loader.h"
#include "platform/codepage.h"
#include "script/context.h"
#include "script/dilator.h"
#include "script/engine.h"
#include "script/select.h"
#include "script/xml.h"

namespace {

class CFuzzLoader : public IFileLoader {
 public:
  explicit CFuzzLoader(std::vector<std::string> files) : files_(std::move(files)) {}

  HRESULT Load(const char* path, uint8_t** data, int32_t* size, CSmallStr* baseUrl,
               const char*) override {
    if (!data || !size) return E_INVALIDARG;
    *data = nullptr;
    *size = 0;
    if (!path) return E_INVALIDARG;
    const size_t length = std::strlen(path);
    size_t index = 0;
    const bool script = length >= 8 && std::strcmp(path + length - 8, "init.xml") == 0;
    if (!script && files_.size() > 1) index = 1 + length % (files_.size() - 1);
    const std::string& file = files_[index];
    if (file == "missing") return E_FAIL;
    *data = new uint8_t[file.size() + 1];
    std::memcpy(*data, file.data(), file.size());
    *size = static_cast<int32_t>(file.size());
    if (baseUrl) *baseUrl = (std::string(kPseudoUrlPrefix) + "data.pak/end_of_story\\").c_str();
    return S_OK;
  }
  HRESULT LoadFromPackage(const char*, const char*, const char* path, uint8_t** data, int32_t* size,
                          CSmallStr* baseUrl) override {
    return Load(path, data, size, baseUrl, nullptr);
  }
  HRESULT LoadFromDisk(const char* path, uint8_t** data, int32_t* size,
                       CSmallStr* baseUrl) override {
    return Load(path, data, size, baseUrl, nullptr);
  }

 private:
  std::vector<std::string> files_;
};

class CFuzzHost : public IScriptDilator {
 public:
  explicit CFuzzHost(CScriptEngine* engine) : engine_(engine) {}
  std::vector<std::unique_ptr<CSmallStr>> timers;

  HRESULT LoadIntoLayer(CXMLElement* element) override { return Touch(element); }
  HRESULT LoadReference(CXMLElement* element) override { return Touch(element); }
  HRESULT SetMovie(CXMLElement* element) override { return Touch(element); }
  HRESULT SetSystemVariable(const char* name, const VARIANT*, const char*) override {
    return std::strcmp(name, "TITLE") == 0 ? S_OK : E_FAIL;
  }
  HRESULT SetMovieValue(const char*, const VARIANT*) override { return S_OK; }
  HRESULT AddTimeout(int32_t, std::unique_ptr<CSmallStr> expression) override {
    return Keep(std::move(expression));
  }
  HRESULT AddInterval(int32_t, std::unique_ptr<CSmallStr> expression) override {
    return Keep(std::move(expression));
  }
  HRESULT SendFSCommand(const wchar_t* command, const wchar_t* args) override {
    const std::string name = vexa::platform::WideToUtf8(command);
    const std::string argument = vexa::platform::WideToUtf8(args);
    if (name == "CALL") return engine_->RunScriptFunction(argument.c_str());
    if (name == "EXEC") {
      CXMLParser parser;
      if (!parser.ParseDocument(argument.c_str())) return E_FAIL;
      return engine_->Execute(parser.GetRoot(), nullptr);
    }
    return S_OK;
  }
  HRESULT LayoutWindow() override { return S_OK; }
  HRESULT AttachMovieWindow() override { return S_OK; }
  HRESULT WriteValue(const char*, const char*, bool) override { return S_OK; }
  HRESULT ReadValue(const char*, CSmallStr*, bool) override { return E_FAIL; }
  HRESULT SelectMovieVariant() override { return S_OK; }
  HRESULT OnQuit() override { return S_OK; }

 private:
  static HRESULT Touch(CXMLElement* element) {
    CSmallStr url;
    element->GetAttribute("url", url);
    return S_OK;
  }
  HRESULT Keep(std::unique_ptr<CSmallStr> expression) {
    if (timers.size() < 8) timers.push_back(std::move(expression));
    return S_OK;
  }
  CScriptEngine* engine_;
};

// The same numbers on every run, so a crash found with a random choice reproduces.
class CRepeatableRandom : public CScriptRandom {
 public:
  void Seed(uint32_t) override { CScriptRandom::Seed(1); }
};

HRESULT FixedTime(CSmallWStr* text) {
  *text = L"12:00";
  return S_OK;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> files(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      files.emplace_back();
    } else {
      files.back().push_back(static_cast<char>(data[i]));
    }
  }

  CMainFrameCtx frame(&FixedTime);
  CScriptEngine engine;
  CFuzzLoader loader(files);
  CFuzzHost host(&engine);
  CRepeatableRandom random;
  engine.SetHost(&host);
  engine.SetFileLoader(&loader);
  engine.SetRandomSource(&random);
  engine.SetStepLimit(128);
  // The bound paths are the same with small limits, and an include bomb then costs milliseconds.
  engine.SetIncludeLimits(500, 16);
  if (FAILED(engine.LoadScript())) return 0;
  engine.SetParent(&frame);
  engine.Execute(engine.GetScriptRoot(), nullptr);

  std::vector<CSmallStr> names;
  engine.EnumerateFunctions("menu", &names);
  names.clear();
  for (const CXMLElement* function : engine.GetScriptRoot()->GetChildrenByName("function")) {
    CSmallStr name;
    if (function->GetAttribute("name", name) && names.size() < 8) names.push_back(name);
  }
  for (const CSmallStr& name : names) engine.RunScriptFunction(name.c_str());
  for (size_t i = 0; i < host.timers.size(); ++i) {
    VARIANT value;
    VariantInit(&value);
    engine.Evaluate(host.timers[i]->c_str(), nullptr, &value);
    VariantClear(&value);
  }
  return 0;
}
