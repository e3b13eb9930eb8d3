#pragma once

// Turns the diagnostic log on into a temporary file for the life of the object; Stop() turns it
// off again and returns what was written (the destructor stops a capture not stopped yet).

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/files.h"

namespace vexa::testing {

class CDiagnosticsCapture {
 public:
  CDiagnosticsCapture() {
    if (!vexa::platform::MakeTempFile("diag", &path_)) return;
    Set(path_);
  }
  ~CDiagnosticsCapture() { Stop(); }
  CDiagnosticsCapture(const CDiagnosticsCapture&) = delete;
  CDiagnosticsCapture& operator=(const CDiagnosticsCapture&) = delete;

  // Whether the log is on (false when no temporary file could be made).
  bool on() const { return !path_.empty() && vexa::platform::DiagnosticsEnabled(); }

  // Turns the log off and returns its text; empty after the first call.
  std::string Stop() {
    if (path_.empty()) return {};
    Set("");
    std::vector<uint8_t> bytes;
    vexa::platform::ReadFileBytes(path_, &bytes);
    vexa::platform::RemoveFile(path_);
    path_.clear();
    return std::string(bytes.begin(), bytes.end());
  }

 private:
  // putenv keeps the very string it is given: it must outlive the setting.
  static void Set(const std::string& file) {
    static std::string setting;
    setting = std::string(vexa::platform::kDiagnosticsVariable) + "=" + file;
    putenv(&setting[0]);
    vexa::platform::ResetDiagnosticsForTesting();
  }

  std::string path_;
};

}  // namespace vexa::testing
