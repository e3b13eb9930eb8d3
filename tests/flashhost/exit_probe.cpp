// Loads the carried plug-in in a process of its own and ends, so that a test can look at what the
// exit leaves behind.
//   flashhost_exit_probe <output file> <shutdown|noshutdown>
// Writes the temporary plug-in file's name to the output file; exits 0 when the plug-in loaded.
#include <cstdio>
#include <cstring>
#include <string>

#include "flashhost/pluginhost.h"
#include "platform/codepage.h"
#include "platform/files.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  static int peer = 0;
  static CPluginHost host;
  host.SetJRIPeer(&peer);
  const HRESULT hr = host.LoadPlugin();
  const std::string name = vexa::platform::WideToAnsi(host.GetPluginFileName());
  if (!vexa::platform::WriteFileBytes(argv[1], name.data(), name.size())) return 3;
  if (FAILED(hr)) return 4;
  if (std::strcmp(argv[2], "shutdown") == 0) host.ShutdownPlugin();
  return 0;
}
