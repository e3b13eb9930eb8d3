// Save games in memory: one save (CSave), the saves of one set (CSaveManager) with their file
// encoding and the listing the movie reads, the rules for set names, and the limits.
//
// A set's file (storage/protectedfile.h) has one entry named after the set, scrambled with
// kSaveSetPassword, holding: the save count (4 bytes), then per save in list order the slot
// (4-byte integer), the description and the data (strings of storage/primitives.h).
//
// Threading: plain values; CSaveStore (storage/savestore.h) guards the shared ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/oleauto.h"
#include "script/smallstr.h"
#include "script/stream.h"

// A change went over one of the limits below (the movie gets the failure result; nothing changes).
constexpr HRESULT VEXA_E_STORE_LIMIT = static_cast<HRESULT>(0x80040614u);

// Limits, generous for any game and small enough that a runaway movie or a damaged file cannot
// exhaust the process.
inline constexpr int32_t kMaxSavesPerSet = 10000;
// Description plus data of one save, in bytes.
inline constexpr uint32_t kMaxSaveTextLength = 16u << 20;
// A whole set as encoded in its file (the protected-file entry limit).
inline constexpr uint64_t kMaxSetEncodedSize = 64ull << 20;
// Longest set name in bytes: a file name may have 255 characters, and the temporary and backup
// names add their suffixes to it.
inline constexpr size_t kMaxSetNameLength = 200;

// One save: a slot number, a description and the data only the movie interprets.
class CSave {
 public:
  CSave() = default;
  CSave(int32_t slot, const CSmallStr& description, const CSmallStr& data)
      : slot_(slot), description_(description), data_(data) {}

  int32_t GetSlot() const { return slot_; }
  const CSmallStr& GetDescription() const { return description_; }
  const CSmallStr& GetData() const { return data_; }
  void SetText(const CSmallStr& description, const CSmallStr& data) {
    description_ = description;
    data_ = data;
  }

 private:
  int32_t slot_ = 0;
  CSmallStr description_;
  CSmallStr data_;
};

// The saves of one set in their order. Two saves with one slot exist only when a file held them;
// every operation uses the first one.
class CSaveManager {
 public:
  const std::vector<CSave>& GetSaves() const { return saves_; }
  int32_t GetCount() const { return static_cast<int32_t>(saves_.size()); }
  // The first save with that slot, or null.
  const CSave* Find(int32_t slot) const;

  // Gives the first save with `slot` the new texts (it keeps its place), or appends a new save.
  // VEXA_E_STORE_LIMIT (nothing changed) when the texts are longer than kMaxSaveTextLength, a new
  // save would pass kMaxSavesPerSet, or the set would encode to more than kMaxSetEncodedSize.
  HRESULT Put(int32_t slot, const CSmallStr& description, const CSmallStr& data);
  // Removes the first save with `slot`; E_FAIL when there is none.
  HRESULT Remove(int32_t slot);
  void Clear();

  // The size of Encode's output.
  uint64_t EncodedSize() const { return encoded_size_; }
  // Writes the count and every save. S_OK or the stream's failure.
  HRESULT Encode(IByteStream* stream) const;
  // Replaces the saves by those of a set entry. A failing read ends decoding with its status
  // (E_FAIL for data that ends early); the saves read before it stay. A count past the data
  // allocates nothing in advance. A set with more than kMaxSavesPerSet saves (written elsewhere) is
  // read whole: the entry size limit bounds the memory, and every save is kept.
  HRESULT Decode(IByteStream* stream);

  // "<saves>\n", per save "\t<save n=\"<description>\" s=\"<slot>\"/>\n", then "</saves>". The
  // description is not escaped (movies parse exactly this text).
  CSmallStr BuildListing() const;

 private:
  static uint64_t SaveSize(const CSmallStr& description, const CSmallStr& data);

  std::vector<CSave> saves_;
  uint64_t encoded_size_ = 4;  // the count
};

namespace vexa::storage {

// True when `name` may name a save set: a non-empty name of at most kMaxSetNameLength bytes that
// is a plain file name in the data folder on every OS, so that it can reach no other file:
// - no control characters, none of < > : " / \ | ? *, no "..", no trailing space or dot;
// - not a device name (platform/devicename.h: CON, PRN, AUX, NUL, CONIN$, CONOUT$, CLOCK$, COM
//   and LPT with a digit 0-9 or a superscript 1-3, also with spaces and an extension after it), in
//   any letter case;
// - not the file of another store ("bstscore.dat", "localrgs.dat") in any letter case;
// - not a temporary file (".~vexa" inside) or a damaged file's copy (ending ".damaged-<digits>");
// - text the ANSI code page converts to UTF-16 and back unchanged.
bool IsValidSetName(const char* name);

// The key under which set names are one set: ASCII letters folded to lower case (file names on
// Windows ignore letter case, so "Save1" and "SAVE1" are one file).
std::string SetNameKey(const char* name);

// The set name as a UTF-8 file name (from the ANSI code page).
std::string SetFileName(const char* name);

}  // namespace vexa::storage
