#include "player/addons.h"

#include "script/engine.h"

HRESULT CScriptAddonPreprocessor::PreprocessAddon(CXMLElement* root, const char* documentUrl) {
  if (!engine_) return E_UNEXPECTED;
  return engine_->Preprocess(root, documentUrl);
}

bool MergeAddons(CScriptEngine* engine, const char* gameFolder, AddonReport* report) {
  if (!engine || !engine->GetScriptRoot()) return false;
  CScriptAddonPreprocessor preprocessor(engine);
  return LoadAddons(gameFolder, engine->GetScriptRoot(), &preprocessor, report);
}
