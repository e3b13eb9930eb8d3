#include "storage/saves.h"

#include <cstring>
#include <string_view>

#include "platform/ascii.h"
#include "platform/codepage.h"
#include "platform/devicename.h"
#include "storage/atomicfile.h"
#include "storage/primitives.h"
#include "storage/protectedfile.h"

// ---- CSaveManager

const CSave* CSaveManager::Find(int32_t slot) const {
  for (const CSave& save : saves_) {
    if (save.GetSlot() == slot) return &save;
  }
  return nullptr;
}

uint64_t CSaveManager::SaveSize(const CSmallStr& description, const CSmallStr& data) {
  // Slot and the two string lengths, then the texts.
  return 12u + static_cast<uint64_t>(description.GetLength()) +
         static_cast<uint64_t>(data.GetLength());
}

HRESULT CSaveManager::Put(int32_t slot, const CSmallStr& description, const CSmallStr& data) {
  const uint64_t text =
      static_cast<uint64_t>(description.GetLength()) + static_cast<uint64_t>(data.GetLength());
  if (text > kMaxSaveTextLength) return VEXA_E_STORE_LIMIT;
  const uint64_t size = SaveSize(description, data);
  for (CSave& save : saves_) {
    if (save.GetSlot() != slot) continue;
    const uint64_t old_size = SaveSize(save.GetDescription(), save.GetData());
    if (encoded_size_ - old_size + size > kMaxSetEncodedSize) return VEXA_E_STORE_LIMIT;
    save.SetText(description, data);
    encoded_size_ = encoded_size_ - old_size + size;
    return S_OK;
  }
  if (GetCount() >= kMaxSavesPerSet || encoded_size_ + size > kMaxSetEncodedSize)
    return VEXA_E_STORE_LIMIT;
  saves_.emplace_back(slot, description, data);
  encoded_size_ += size;
  return S_OK;
}

HRESULT CSaveManager::Remove(int32_t slot) {
  for (auto it = saves_.begin(); it != saves_.end(); ++it) {
    if (it->GetSlot() != slot) continue;
    encoded_size_ -= SaveSize(it->GetDescription(), it->GetData());
    saves_.erase(it);
    return S_OK;
  }
  return E_FAIL;
}

void CSaveManager::Clear() {
  saves_.clear();
  encoded_size_ = 4;
}

HRESULT CSaveManager::Encode(IByteStream* stream) const {
  HRESULT hr = WriteCount(stream, static_cast<uint32_t>(saves_.size()));
  for (const CSave& save : saves_) {
    if (FAILED(hr)) break;
    hr = WriteInt32(stream, save.GetSlot());
    if (SUCCEEDED(hr)) hr = WriteString(stream, save.GetDescription());
    if (SUCCEEDED(hr)) hr = WriteString(stream, save.GetData());
  }
  return hr;
}

HRESULT CSaveManager::Decode(IByteStream* stream) {
  uint32_t count = 0;
  HRESULT hr = ReadCount(stream, &count);
  if (FAILED(hr)) return E_FAIL;
  Clear();
  // The count comes from the file: the list grows only with saves that really arrive.
  for (uint32_t i = 0; i < count; ++i) {
    int32_t slot = 0;
    CSmallStr description;
    CSmallStr data;
    hr = ReadInt32(stream, &slot);
    if (SUCCEEDED(hr)) hr = ReadString(stream, &description);
    if (SUCCEEDED(hr)) hr = ReadString(stream, &data);
    if (FAILED(hr)) return hr;
    saves_.emplace_back(slot, description, data);
    encoded_size_ += SaveSize(description, data);
  }
  return S_OK;
}

CSmallStr CSaveManager::BuildListing() const {
  std::string text = "<saves>\n";
  for (const CSave& save : saves_) {
    text += "\t<save n=\"";
    text.append(save.GetDescription().c_str(),
                static_cast<size_t>(save.GetDescription().GetLength()));
    text += "\" s=\"";
    text += std::to_string(save.GetSlot());
    text += "\"/>\n";
  }
  text += "</saves>";
  return CSmallStr(text);
}

// ---- Set names

namespace vexa::storage {

namespace {

bool IsDamagedCopyName(std::string_view name) {
  const std::string lower = SetNameKey(std::string(name).c_str());
  const size_t at = lower.rfind(kDamagedSuffix);
  if (at == std::string::npos) return false;
  const size_t digits = at + std::strlen(kDamagedSuffix);
  if (digits == lower.size()) return false;
  for (size_t i = digits; i < lower.size(); ++i) {
    if (lower[i] < '0' || lower[i] > '9') return false;
  }
  return true;
}

}  // namespace

bool IsValidSetName(const char* name) {
  if (!name || !*name) return false;
  const std::string_view text(name);
  if (text.size() > kMaxSetNameLength) return false;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || std::strchr("<>:\"/\\|?*", c)) return false;
  }
  if (text.find("..") != std::string_view::npos) return false;
  // Windows drops trailing dots and spaces: "save." would be the file "save".
  if (text.back() == '.' || text.back() == ' ') return false;
  if (vexa::platform::IsDeviceName(text)) return false;
  if (vexa::platform::EqualsNoCaseAscii(text, kHighScoreFileName) ||
      vexa::platform::EqualsNoCaseAscii(text, kRegistryFileName)) {
    return false;
  }
  if (HasTemporaryMarker(std::string(text)) || IsDamagedCopyName(text)) return false;
  // A name the code page cannot carry to a file name and back would meet another set's file.
  const std::wstring wide = vexa::platform::AnsiToWide(text);
  if (vexa::platform::WideToAnsi(wide) != text) return false;
  return true;
}

std::string SetNameKey(const char* name) {
  return vexa::platform::LowerAscii(name ? name : "");
}

std::string SetFileName(const char* name) {
  return vexa::platform::WideToUtf8(vexa::platform::AnsiToWide(name ? name : ""));
}

}  // namespace vexa::storage
