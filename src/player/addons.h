// The player's side of the add-on packages (data/addons.h): the script engine prepares each add-on
// document, and the documents' elements join the engine's script root.
#pragma once

#include "data/addons.h"
#include "platform/oleauto.h"

class CScriptEngine;

// IAddonPreprocessor on the script engine's Preprocess.
class CScriptAddonPreprocessor : public IAddonPreprocessor {
 public:
  explicit CScriptAddonPreprocessor(CScriptEngine* engine) : engine_(engine) {}
  HRESULT PreprocessAddon(CXMLElement* root, const char* documentUrl) override;

 private:
  CScriptEngine* engine_;
};

// Merges the add-ons of `gameFolder` (null: the executable's folder) into the script root of
// `engine`, which must have loaded its script. The result of LoadAddons: true when add-on files
// were found; false when none were, or there is no engine or script root.
bool MergeAddons(CScriptEngine* engine, const char* gameFolder, AddonReport* report = nullptr);
