// Writes the inputs of the vexapak end-to-end test into the folder named on the command line:
// a folder tree to pack (in/) and packages the tool cannot produce itself (hostile names, forward
// slashes, stored mode from the archiver, a truncated file).
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/files.h"
#include "storage/archiver.h"
#include "storage/containerformat.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace platform = vexa::platform;

bool Write(const std::string& path, const Bytes& bytes) {
  if (platform::WriteFileBytes(path, bytes.data(), bytes.size())) return true;
  std::fprintf(stderr, "cannot write %s\n", path.c_str());
  return false;
}

Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

struct Entry {
  const char* name;
  Bytes content;
};

Bytes Package(const std::vector<Entry>& entries, uint8_t mode) {
  CArchiver a;
  a.Reset(static_cast<int32_t>(entries.size()));
  a.SetMode(mode);
  for (const Entry& e : entries)
    a.AddEntry(static_cast<uint32_t>(e.content.size()), e.name, e.content.data(),
               kPackageDefaultPassword);
  CSmartBuffer out;
  a.Build(&out);
  return Bytes(out.Data(), out.Data() + out.Size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vexapak_fixture <folder>\n");
    return 2;
  }
  const std::string root = argv[1];
  const std::string in = root + "/in";
  for (const char* folder : {"", "/Movies", "/data", "/data/levels", "/bin", "/with space"})
    if (!platform::CreateFolder(in + folder)) return 1;

  std::mt19937 rng(42);
  Bytes swf(300000);
  for (auto& b : swf) b = static_cast<uint8_t>(rng());
  std::string xml = "<level>\n";
  for (int i = 0; i < 5000; ++i)
    xml += "  <tile x=\"" + std::to_string(i % 64) + "\" kind=\"grass\"/>\n";
  xml += "</level>\n";
  Bytes binary;
  for (int round = 0; round < 4; ++round)
    for (int b = 0; b < 256; ++b) binary.push_back(static_cast<uint8_t>(b));
  for (const char* tail : {"\r\n", "\n\r", "\x1a", "\n"})
    binary.insert(binary.end(), tail, tail + std::char_traits<char>::length(tail));

  bool ok =
      Write(in + "/init.xml", Text("<game>\n  <movie url=\"Movies/Intro.swf\"/>\n</game>\n")) &&
      Write(in + "/Movies/Intro.swf", swf) && Write(in + "/data/levels/level1.xml", Text(xml)) &&
      Write(in + "/bin/crlf.dat", binary) && Write(in + "/empty.txt", {}) &&
      Write(in + "/with space/name with space.txt", Text("spaces\n"));

  ok = ok && Write(root + "/climb.pak", Package({{"ok/fine.txt", Text("fine")},
                                                 {"../evil.txt", Text("climbed out")},
                                                 {"/abs.txt", Text("absolute")},
                                                 {"C:\\drive.txt", Text("drive")},
                                                 {"a/../../up.txt", Text("up")}},
                                                CArchiver::kModeCompressed));
  const std::vector<Entry> slashed = {{"Dir/Sub/File.txt", Text("forward slashes")},
                                      {"top.txt", Text("top")}};
  ok = ok && Write(root + "/slashes.pak", Package(slashed, CArchiver::kModeCompressed));
  ok = ok && Write(root + "/slashes_stored.pak", Package(slashed, CArchiver::kModeStored));

  Bytes truncated =
      Package({{"first.txt", Text("first")}, {"big.bin", swf}}, CArchiver::kModeCompressed);
  truncated.resize(truncated.size() - 1000);
  ok = ok && Write(root + "/truncated.pak", truncated);
  ok = ok && Write(root + "/notpak.bin", Text("just some text, not a package"));
  return ok ? 0 : 1;
}
