// Reads the stand-in plug-in's transcript: one event per line, "<kind> <name>" followed by
// " key=value" fields, values either bare words/numbers or double-quoted with backslash escapes.
#pragma once

#include <map>
#include <string>
#include <vector>

struct TranscriptEvent {
  std::string kind;                           // "in", "out", "scene", ...
  std::string name;                           // "NPP_NewStream", "NPN_GetURLNotify", "loaded", ...
  std::map<std::string, std::string> fields;  // quoted values unescaped, bare ones as written
  std::string text;                           // the whole line

  // The field's value, or "<absent>".
  std::string Get(const std::string& key) const;
};

// A transcript file the test owns: created empty, read from where the last Take() stopped.
class CTranscriptFile {
 public:
  // Makes a fresh empty file in the temporary folder and points VEXA_STANDIN_TRANSCRIPT at it.
  CTranscriptFile();
  // Unsets the variable and deletes the file.
  ~CTranscriptFile();

  // Events written since the last call.
  std::vector<TranscriptEvent> Take();
  // Stops and restarts the writing (a long loop would spend its time on the file).
  void Suspend();
  void Resume();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  size_t consumed_ = 0;
};

TranscriptEvent ParseTranscriptLine(const std::string& line);

// The events named `name`, in order; with `key`/`value`, only those whose field matches.
std::vector<TranscriptEvent> Named(const std::vector<TranscriptEvent>& events,
                                   const std::string& name, const std::string& key = "",
                                   const std::string& value = "");
// Index of the first event named `name` (with the field match as above), or -1.
int IndexOf(const std::vector<TranscriptEvent>& events, const std::string& name,
            const std::string& key = "", const std::string& value = "");
