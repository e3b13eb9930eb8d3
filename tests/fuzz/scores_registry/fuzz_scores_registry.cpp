// Fuzz target for the decoders of the high-score and virtual-registry stores and the export format
// of vexasaves. The first byte chooses what the rest is:
//   0  a high-score table entry      1  a registry scope entry      2  a vexasaves export
//   3  a whole "bstscore.dat" file   4  a whole "localrgs.dat" file
// Whatever decodes must encode and decode again to the same thing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "exportfile.h"
#include "storage/highscores.h"
#include "storage/protectedfile.h"
#include "storage/vregistry.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void Table(const uint8_t* data, size_t size) {
  CMemoryStream stream(data, size);
  CHighScoreManager table;
  const HRESULT hr = table.Decode(&stream);
  table.Listing();
  if (SUCCEEDED(hr)) {
    CMemoryStream again;
    Require(SUCCEEDED(table.Encode(&again)));
    again.Seek(0, IByteStream::kSeekSet, nullptr);
    CHighScoreManager back;
    Require(SUCCEEDED(back.Decode(&again)) && back.Scores().size() == table.Scores().size());
  }
  if (table.Scores().size() < 2000) {
    table.Place(CSmallStr("5 300"));
    table.PlaceAt(3, 0, CSmallStr("x"));
  }
}

void Scope(const uint8_t* data, size_t size) {
  CMemoryStream stream(data, size);
  CVirtualRegistryManager scope;
  if (FAILED(scope.Decode(&stream))) return;
  CMemoryStream again;
  Require(SUCCEEDED(scope.Encode(&again)));
  again.Seek(0, IByteStream::kSeekSet, nullptr);
  CVirtualRegistryManager back;
  Require(SUCCEEDED(back.Decode(&again)) && back.Values() == scope.Values());
}

void Export(const uint8_t* data, size_t size) {
  ExportContents contents;
  std::string error;
  if (!ParseExport(std::string(reinterpret_cast<const char*>(data), size), &contents, &error)) {
    return;
  }
  const std::string text = WriteExport(contents);
  ExportContents back;
  Require(ParseExport(text, &back, &error) && WriteExport(back) == text);
}

template <class Decode>
void File(const uint8_t* data, size_t size, const char* password, Decode decode) {
  CProtectedContainer file;
  if (file.Adopt("fuzz.dat", std::vector<uint8_t>(data, data + size)) !=
      CProtectedContainer::State::kParsed) {
    return;
  }
  const int32_t count = file.GetArchive()->GetEntryCount();
  for (int32_t i = 0; i < count && i < 16; ++i) {
    std::vector<uint8_t> content;
    if (vexa::storage::ReadProtectedEntryAt(file, i, password, &content)) {
      decode(content.data(), content.size());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 22)) return 0;
  const uint8_t* rest = data + 1;
  const size_t length = size - 1;
  switch (data[0] % 5) {
    case 0:
      Table(rest, length);
      break;
    case 1:
      Scope(rest, length);
      break;
    case 2:
      Export(rest, length);
      break;
    case 3:
      File(rest, length, kHighScorePassword, Table);
      break;
    case 4:
      File(rest, length, kRegistryPassword, Scope);
      break;
  }
  return 0;
}
