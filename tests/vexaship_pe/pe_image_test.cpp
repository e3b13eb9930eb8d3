// Parsing, resource reading and rewriting of PE images: synthetic PE32 and PE32+ images built by
// pe_builder, hostile variants of them, and (when VEXA_PE_TEST_IMAGES names a folder) real ones.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pe.h"
#include "pe_builder.h"

namespace vexa::pe {
namespace {

using builder::Get16;
using builder::Get32;
using builder::MakeTypicalImage;
using builder::PeBuilder;
using builder::Put16;
using builder::Put32;
using builder::SampleTree;
using builder::TypicalImage;
using builder::TypicalOptions;

// --- Reading the headers of an output image back, independently of the library ------------------

struct SectionHeader {
  std::string name;
  uint32_t virtual_size, rva, raw_size, raw_pointer, characteristics;
};

struct Headers {
  uint32_t coff, opt, directories, table;
  bool plus;
  std::vector<SectionHeader> sections;
};

Headers ReadHeaders(const std::vector<uint8_t>& bytes) {
  Headers h;
  h.coff = Get32(bytes, 0x3C) + 4;
  h.opt = h.coff + 20;
  h.plus = Get16(bytes, h.opt) == 0x20B;
  h.directories = h.opt + (h.plus ? 112 : 96);
  h.table = h.opt + Get16(bytes, h.coff + 16);
  for (uint32_t i = 0; i < Get16(bytes, h.coff + 2); ++i) {
    const uint32_t at = h.table + 40 * i;
    SectionHeader s;
    for (int k = 0; k < 8 && bytes[at + k]; ++k) s.name.push_back(static_cast<char>(bytes[at + k]));
    s.virtual_size = Get32(bytes, at + 8);
    s.rva = Get32(bytes, at + 12);
    s.raw_size = Get32(bytes, at + 16);
    s.raw_pointer = Get32(bytes, at + 20);
    s.characteristics = Get32(bytes, at + 36);
    h.sections.push_back(s);
  }
  return h;
}

uint32_t DirRva(const std::vector<uint8_t>& bytes, const Headers& h, int index) {
  return Get32(bytes, h.directories + 8 * index);
}
uint32_t DirSize(const std::vector<uint8_t>& bytes, const Headers& h, int index) {
  return Get32(bytes, h.directories + 8 * index + 4);
}

const SectionHeader& Named(const Headers& h, const std::string& name) {
  for (const SectionHeader& s : h.sections) {
    if (s.name == name) return s;
  }
  ADD_FAILURE() << "no section " << name;
  static SectionHeader none{};
  return none;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t at, size_t size) {
  return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                              bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
}

void ExpectSameTree(const ResourceTree& expected, const ResourceTree& actual) {
  ASSERT_EQ(expected.leaves().size(), actual.leaves().size());
  auto a = expected.leaves().begin();
  auto b = actual.leaves().begin();
  for (; a != expected.leaves().end(); ++a, ++b) {
    EXPECT_TRUE(a->first == b->first);
    EXPECT_EQ(a->second.bytes, b->second.bytes);
    EXPECT_EQ(a->second.code_page, b->second.code_page);
  }
}

// Parse, read, write `tree`, parse and read again; returns the new bytes.
std::vector<uint8_t> Rewrite(const std::vector<uint8_t>& bytes, const ResourceTree& tree,
                             bool* dropped = nullptr) {
  PeImage image;
  std::string error;
  EXPECT_TRUE(image.Parse(bytes, &error)) << error;
  std::vector<uint8_t> out;
  bool dropped_signature = false;
  EXPECT_TRUE(image.WriteWithResources(tree, &out, &dropped_signature, &error)) << error;
  if (dropped) *dropped = dropped_signature;
  PeImage again;
  EXPECT_TRUE(again.Parse(out, &error)) << error;
  ResourceTree read;
  EXPECT_TRUE(again.ReadResources(&read, &error)) << error;
  ExpectSameTree(tree, read);
  return out;
}

// --- Checksum ------------------------------------------------------------------------------------

TEST(PeChecksum, MatchesASumWorkedOutByHand) {
  // Words 0x0201 and 0x0403, the checksum field (4 bytes at offset 4) skipped, 0xFFFF twice
  // (each carry folds back: 0x0604 + 0xFFFF = 0x10603 -> 0x0604), then the odd last byte 0x05:
  // 0x0609, plus the length 13: 0x0616.
  const std::vector<uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0xAA, 0xBB, 0xCC,
                                      0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0x05};
  EXPECT_EQ(ComputeChecksum(bytes, 4), 0x0616u);
  // The field's own contents do not count.
  std::vector<uint8_t> other = bytes;
  other[5] = 0x12;
  EXPECT_EQ(ComputeChecksum(other, 4), 0x0616u);
  // Without the skip every word counts: 0x0604 + 0xBBAA = 0xC1AE; + 0xDDCC = 0x19F7A -> 0x9F7B;
  // + 0xFFFF twice -> 0x9F7B; + 5 = 0x9F80; + 13 = 0x9F8D.
  EXPECT_EQ(ComputeChecksum(bytes, 100), 0x9F8Du);
}

// --- Parsing -------------------------------------------------------------------------------------

TEST(PeParse, ReadsMachineKindAndExports) {
  for (bool plus : {false, true}) {
    TypicalOptions options;
    options.pe32_plus = plus;
    TypicalImage typical = MakeTypicalImage(options, SampleTree());
    PeImage image;
    std::string error;
    ASSERT_TRUE(image.Parse(typical.bytes, &error)) << error;
    EXPECT_EQ(image.machine(), plus ? Machine::kAmd64 : Machine::kI386);
    EXPECT_STREQ(MachineName(image.machine()), plus ? "x86_64" : "i686");
    EXPECT_FALSE(image.is_dll());
    EXPECT_EQ(image.bytes(), typical.bytes);
    std::vector<std::string> names;
    ASSERT_TRUE(image.ExportNames(&names, &error)) << error;
    EXPECT_EQ(names, (std::vector<std::string>{"vexa_start", "vexa_stop", "zeta"}));
    ResourceTree tree;
    ASSERT_TRUE(image.ReadResources(&tree, &error)) << error;
    ExpectSameTree(SampleTree(), tree);
  }
}

TEST(PeParse, DllWithoutResources) {
  PeBuilder builder(true);
  builder.dll = true;
  builder.AddSection(".text", std::vector<uint8_t>(64, 0xC3), builder::kText);
  const uint32_t rva = builder.NextRva();
  builder.AddSection(".edata", builder::ExportSection(rva, {"NP_Initialize", "NP_Shutdown"}),
                     builder::kRData);
  builder.SetDirectory(0, rva, 100);
  PeImage image;
  std::string error;
  ASSERT_TRUE(image.Parse(builder.Build(), &error)) << error;
  EXPECT_TRUE(image.is_dll());
  std::vector<std::string> names;
  ASSERT_TRUE(image.ExportNames(&names, &error)) << error;
  EXPECT_EQ(names, (std::vector<std::string>{"NP_Initialize", "NP_Shutdown"}));
  ResourceTree tree;
  ASSERT_TRUE(image.ReadResources(&tree, &error)) << error;
  EXPECT_TRUE(tree.empty());
}

TEST(PeParse, AnUnparsedImageAnswersNothing) {
  PeImage image;
  std::string error;
  EXPECT_EQ(image.machine(), Machine::kUnknown);
  std::vector<std::string> names;
  EXPECT_FALSE(image.ExportNames(&names, &error));
  ResourceTree tree;
  EXPECT_FALSE(image.ReadResources(&tree, &error));
  // A failed Parse leaves no image behind either.
  ASSERT_TRUE(image.Parse(MakeTypicalImage({}, SampleTree()).bytes, &error));
  EXPECT_FALSE(image.Parse({'M', 'Z'}, &error));
  EXPECT_EQ(image.machine(), Machine::kUnknown);
  EXPECT_TRUE(image.bytes().empty());
}

// --- Hostile images ------------------------------------------------------------------------------

// A resource section laid out by hand, so single fields can be broken: the root (type 10), a name
// directory (id 1), a language directory (1033), each with room for a second entry; the data entry
// and its 8 bytes; a spare directory (one entry, pointing at the data entry).
constexpr uint32_t kRoot = 0, kNames = 32, kLanguages = 64, kDataEntry = 96, kData = 112,
                   kSpare = 120;
std::vector<uint8_t> HandResourceImage(
    const std::function<void(std::vector<uint8_t>*, uint32_t)>& edit) {
  PeBuilder builder(false);
  builder.AddSection(".text", std::vector<uint8_t>(16, 0x90), builder::kText);
  const uint32_t rva = builder.NextRva();
  std::vector<uint8_t> r(144, 0);
  auto dir = [&](size_t at, uint32_t id, uint32_t target) {
    Put16(&r, at + 14, 1);
    Put32(&r, at + 16, id);
    Put32(&r, at + 20, target);
  };
  dir(kRoot, 10, 0x80000000u | kNames);
  dir(kNames, 1, 0x80000000u | kLanguages);
  dir(kLanguages, 1033, kDataEntry);
  Put32(&r, kDataEntry, rva + kData);
  Put32(&r, kDataEntry + 4, 8);
  for (int i = 0; i < 8; ++i) r[kData + i] = static_cast<uint8_t>('a' + i);
  dir(kSpare, 1033, kDataEntry);
  edit(&r, rva);
  builder.AddSection(".rsrc", r, builder::kRData);
  builder.SetDirectory(2, rva, static_cast<uint32_t>(r.size()));
  return builder.Build();
}

struct HostileCase {
  const char* name;
  std::function<std::vector<uint8_t>()> make;
  bool parses;          // the damage is in the resources, not the headers
  const char* message;  // part of the error
};

std::vector<uint8_t> Typical() {
  return MakeTypicalImage({}, SampleTree()).bytes;
}
std::vector<uint8_t> TypicalPlus() {
  TypicalOptions options;
  options.pe32_plus = true;
  return MakeTypicalImage(options, SampleTree()).bytes;
}
std::vector<uint8_t> Edited(
    std::vector<uint8_t> bytes,
    const std::function<void(std::vector<uint8_t>*, const Headers&)>& edit) {
  const Headers h = ReadHeaders(bytes);
  edit(&bytes, h);
  return bytes;
}
// Offset of a field of section `index`'s header.
uint32_t SectionField(const Headers& h, size_t index, uint32_t field) {
  return h.table + 40 * static_cast<uint32_t>(index) + field;
}

const std::vector<HostileCase>& HostileCases() {
  static const std::vector<HostileCase> cases = {
      {"Empty", [] { return std::vector<uint8_t>(); }, false, "no MZ header"},
      {"TextFileNamedDll",
       [] {
         const std::string text = "This is not a DLL, just a text file somebody renamed.\r\n";
         std::vector<uint8_t> bytes;
         for (int i = 0; i < 20; ++i) bytes.insert(bytes.end(), text.begin(), text.end());
         return bytes;
       },
       false, "no MZ header"},
      {"ELfanewPastEnd",
       [] { return Edited(Typical(), [](auto* b, auto&) { Put32(b, 0x3C, 0x7FFFFFF0); }); }, false,
       "e_lfanew"},
      {"ELfanewWraps",
       [] { return Edited(Typical(), [](auto* b, auto&) { Put32(b, 0x3C, 0xFFFFFFFE); }); }, false,
       "e_lfanew"},
      {"NoPeSignature",
       [] { return Edited(Typical(), [](auto* b, auto& h) { (*b)[h.coff - 4] = 'X'; }); }, false,
       "no PE signature"},
      {"ArmMachine",
       [] { return Edited(Typical(), [](auto* b, auto& h) { Put16(b, h.coff, 0x01C4); }); }, false,
       "unsupported machine type 0x1c4"},
      {"MagicDoesNotMatchMachine",
       [] { return Edited(Typical(), [](auto* b, auto& h) { Put16(b, h.opt, 0x20B); }); }, false,
       "magic"},
      {"OptionalHeaderTooSmall",
       [] { return Edited(Typical(), [](auto* b, auto& h) { Put16(b, h.coff + 16, 64); }); }, false,
       "SizeOfOptionalHeader"},
      {"DirectoryCountPastOptionalHeader",
       [] { return Edited(Typical(), [](auto* b, auto& h) { Put16(b, h.coff + 16, 96 + 8); }); },
       false, "does not fit in SizeOfOptionalHeader"},
      {"HugeNumberOfSections",
       [] { return Edited(Typical(), [](auto* b, auto& h) { Put16(b, h.coff + 2, 0xFFFF); }); },
       false, "too many sections (65535"},
      {"SectionTablePastHeaders",
       [] { return Edited(Typical(), [](auto* b, auto& h) { Put16(b, h.coff + 2, 40); }); }, false,
       "section table runs past"},
      {"FileAlignmentNotPowerOfTwo",
       [] { return Edited(Typical(), [](auto* b, auto& h) { Put32(b, h.opt + 36, 0x300); }); },
       false, "alignment"},
      {"FileAlignmentAboveSectionAlignment",
       [] { return Edited(Typical(), [](auto* b, auto& h) { Put32(b, h.opt + 36, 0x2000); }); },
       false, "alignment"},
      {"RawDataPastEnd",
       [] {
         return Edited(Typical(),
                       [](auto* b, auto& h) { Put32(b, SectionField(h, 2, 16), 0x100000); });
       },
       false, "section .rsrc runs past the end of the file"},
      {"RawPointerWraps",
       [] {
         return Edited(Typical(),
                       [](auto* b, auto& h) { Put32(b, SectionField(h, 2, 20), 0xFFFFFF00); });
       },
       false, "section .rsrc runs past the end of the file"},
      {"SectionsOverlapInFile",
       [] {
         return Edited(Typical(), [](auto* b, auto& h) {
           Put32(b, SectionField(h, 1, 20), h.sections[0].raw_pointer);
         });
       },
       false, "overlap in the file"},
      {"SectionsOverlapInMemory",
       [] {
         return Edited(Typical(), [](auto* b, auto& h) {
           Put32(b, SectionField(h, 1, 8), 0x1800);  // .text's 0x1000 bytes spill into .rdata
           Put32(b, SectionField(h, 0, 8), 0x1800);
         });
       },
       false, "overlap in memory"},
      {"SectionOverHeaders",
       [] {
         return Edited(Typical(),
                       [](auto* b, auto& h) { Put32(b, SectionField(h, 0, 20), 0x100); });
       },
       false, "overlaps the headers"},
      {"SizeOfImageTooSmall",
       [] { return Edited(Typical(), [](auto* b, auto& h) { Put32(b, h.opt + 56, 0x2000); }); },
       false, "SizeOfImage"},
      {"ResourceLoopToRoot",
       [] {
         return HandResourceImage(
             [](std::vector<uint8_t>* r, uint32_t) { Put32(r, kNames + 20, 0x80000000u | kRoot); });
       },
       true, "loops"},
      {"ResourceLoopToItself",
       [] {
         return HandResourceImage([](std::vector<uint8_t>* r, uint32_t) {
           Put32(r, kNames + 20, 0x80000000u | kNames);
         });
       },
       true, "loops"},
      {"ResourceDepthFour",
       [] {
         return HandResourceImage([](std::vector<uint8_t>* r, uint32_t) {
           Put32(r, kLanguages + 20, 0x80000000u | kSpare);
         });
       },
       true, "deeper than three levels"},
      {"ResourceTypePointsAtData",
       [] {
         return HandResourceImage(
             [](std::vector<uint8_t>* r, uint32_t) { Put32(r, 20, kDataEntry); });
       },
       true, "points at data"},
      {"ResourceDataRvaOutsideImage",
       [] {
         return HandResourceImage(
             [](std::vector<uint8_t>* r, uint32_t) { Put32(r, kDataEntry, 0x7FFF0000); });
       },
       true, "lies outside the image"},
      {"ResourceDataSizePastSection",
       [] {
         return HandResourceImage(
             [](std::vector<uint8_t>* r, uint32_t) { Put32(r, kDataEntry + 4, 0x10000); });
       },
       true, "lies outside the image"},
      {"ResourceDataSizeWraps",
       [] {
         return HandResourceImage(
             [](std::vector<uint8_t>* r, uint32_t) { Put32(r, kDataEntry + 4, 0xFFFFFFF0); });
       },
       true, "lies outside the image"},
      {"ResourceDataEntryOutsideSection",
       [] {
         return HandResourceImage(
             [](std::vector<uint8_t>* r, uint32_t) { Put32(r, kLanguages + 20, 0x7FFFFF00); });
       },
       true, "data entry lies outside the section"},
      {"ResourceNameOutsideSection",
       [] {
         return HandResourceImage(
             [](std::vector<uint8_t>* r, uint32_t) { Put32(r, kNames + 16, 0xFFFFFFF0); });
       },
       true, "name lies outside the section"},
      {"ResourceNameLongerThanSection",
       [] {
         return HandResourceImage([](std::vector<uint8_t>* r, uint32_t) {
           Put32(r, kNames + 16, 0x80000000u | 136);
           Put16(r, 136, 0xFFFF);
         });
       },
       true, "name runs past the end"},
      {"ResourceEntryCountPastSection",
       [] {
         return HandResourceImage([](std::vector<uint8_t>* r, uint32_t) { Put16(r, 14, 0xFFFF); });
       },
       true, "run past the end of the section"},
      {"ResourceDirectoryOutsideSections",
       [] {
         return Edited(HandResourceImage([](auto*, uint32_t) {}),
                       [](auto* b, auto& h) { Put32(b, h.directories + 16, 0x00F00000); });
       },
       true, "outside the sections"},
      {"ResourceDataEntryListedTwice",
       [] {
         return HandResourceImage([](std::vector<uint8_t>* r, uint32_t) {
           // A second language (0) whose entry is the same data entry.
           Put16(r, kLanguages + 14, 2);
           Put32(r, kLanguages + 24, 0);
           Put32(r, kLanguages + 28, kDataEntry);
         });
       },
       true, "listed twice"},
  };
  return cases;
}

TEST(PeHostile, EachCaseFailsWithAMessage) {
  for (const HostileCase& c : HostileCases()) {
    SCOPED_TRACE(c.name);
    PeImage image;
    std::string error;
    const bool parsed = image.Parse(c.make(), &error);
    if (!c.parses) {
      EXPECT_FALSE(parsed);
      EXPECT_NE(error.find(c.message), std::string::npos) << error;
      EXPECT_EQ(error.find('\n'), std::string::npos);
      continue;
    }
    ASSERT_TRUE(parsed) << error;
    ResourceTree tree;
    tree.Set(ResourceId::Number(1), ResourceId::Number(1), 0, {1});
    EXPECT_FALSE(image.ReadResources(&tree, &error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    // The caller's tree is left alone.
    EXPECT_EQ(tree.leaves().size(), 1u);
  }
}

TEST(PeHostile, HandResourceImageIsSoundWithoutDamage) {
  // The base of the table above: every hostile case differs from this by the one broken field.
  PeImage image;
  std::string error;
  ASSERT_TRUE(image.Parse(HandResourceImage([](auto*, uint32_t) {}), &error)) << error;
  ResourceTree tree;
  ASSERT_TRUE(image.ReadResources(&tree, &error)) << error;
  const ResourceData* data = tree.Find(ResourceId::Number(10), ResourceId::Number(1));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->bytes, (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}));
}

TEST(PeHostile, TruncatedAtEveryPoint) {
  for (const std::vector<uint8_t>& full : {Typical(), TypicalPlus()}) {
    const Headers h = ReadHeaders(full);
    uint32_t sections_end = 0;
    for (const SectionHeader& s : h.sections) {
      sections_end = std::max(sections_end, s.raw_pointer + s.raw_size);
    }
    for (size_t cut = 0; cut < full.size(); ++cut) {
      SCOPED_TRACE(cut);
      PeImage image;
      std::string error;
      const bool parsed =
          image.Parse(std::vector<uint8_t>(full.begin(), full.begin() + cut), &error);
      if (cut < sections_end) {
        EXPECT_FALSE(parsed);
        EXPECT_FALSE(error.empty());
        continue;
      }
      // Cut inside the symbol table or certificate: the loader's view is whole, but the writer
      // cannot move what is cut.
      ASSERT_TRUE(parsed) << error;
      ResourceTree tree;
      ASSERT_TRUE(image.ReadResources(&tree, &error)) << error;
      std::vector<uint8_t> out = {7};
      bool dropped = false;
      if (!image.WriteWithResources(tree, &out, &dropped, &error)) {
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(out, std::vector<uint8_t>{7});
      }
    }
  }
}

TEST(PeHostile, ExportTablesOutOfBounds) {
  struct Case {
    const char* name;
    uint32_t field;  // offset in the export directory
    uint32_t value;
    const char* message;
  };
  const Case cases[] = {
      {"NameTableOutside", 32, 0x7FFF0000, "name table lies outside"},
      {"TooManyNames", 24, 0x10000000, "too many names"},
      {"CountRunsPastSection", 24, 0x8000, "name table lies outside"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = Typical();
    const Headers h = ReadHeaders(bytes);
    const SectionHeader& rdata = Named(h, ".rdata");
    Put32(&bytes, rdata.raw_pointer + c.field, c.value);
    PeImage image;
    std::string error;
    ASSERT_TRUE(image.Parse(bytes, &error)) << error;
    std::vector<std::string> names = {"kept"};
    EXPECT_FALSE(image.ExportNames(&names, &error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
  }
  // A name that runs to the end of its section without a NUL.
  std::vector<uint8_t> bytes = Typical();
  const Headers h = ReadHeaders(bytes);
  const SectionHeader& rdata = Named(h, ".rdata");
  const uint32_t name_rva = rdata.rva + rdata.virtual_size - 1;
  const uint32_t table = Get32(bytes, rdata.raw_pointer + 32) - rdata.rva + rdata.raw_pointer;
  Put32(&bytes, table, name_rva);
  // Fill the rest of the raw data (beyond VirtualSize nothing is mapped) so it has no NUL.
  for (uint32_t i = rdata.virtual_size - 1; i < rdata.raw_size; ++i)
    bytes[rdata.raw_pointer + i] = 'x';
  PeImage image;
  std::string error;
  ASSERT_TRUE(image.Parse(bytes, &error)) << error;
  std::vector<std::string> names;
  EXPECT_FALSE(image.ExportNames(&names, &error));
  EXPECT_NE(error.find("not terminated"), std::string::npos) << error;
}

// --- Writing -------------------------------------------------------------------------------------

ResourceTree BiggerTree() {
  ResourceTree tree = SampleTree();
  std::vector<uint8_t> big(20000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31);
  tree.Set(ResourceId::Number(kRtRcData), ResourceId::Name("MOVIE"), kLangEnUs, big);
  tree.Set(ResourceId::Number(kRtVersion), ResourceId::Number(1), kLangEnUs, {1, 2, 3, 4, 5});
  return tree;
}

ResourceTree SmallerTree() {
  ResourceTree tree;
  tree.Set(ResourceId::Number(kRtManifest), ResourceId::Number(1), kLangEnUs, {'<', '?', '>'});
  return tree;
}

class PeWrite : public ::testing::TestWithParam<bool> {};

TEST_P(PeWrite, RoundTripMovesWhatLiesBehindTheResources) {
  TypicalOptions options;
  options.pe32_plus = GetParam();
  const TypicalImage typical = MakeTypicalImage(options, SampleTree());
  const Headers before = ReadHeaders(typical.bytes);
  const SectionHeader old_rsrc = Named(before, ".rsrc");
  const SectionHeader old_reloc = Named(before, ".reloc");
  const SectionHeader old_debug = Named(before, "/4");
  const uint32_t alignment = 0x1000, file_alignment = 0x200;

  for (const ResourceTree& tree : {BiggerTree(), SmallerTree(), ResourceTree()}) {
    bool dropped = false;
    const std::vector<uint8_t> out = Rewrite(typical.bytes, tree, &dropped);
    ASSERT_FALSE(out.empty());
    EXPECT_TRUE(dropped);
    const Headers after = ReadHeaders(out);
    ASSERT_EQ(after.sections.size(), before.sections.size());
    const SectionHeader& rsrc = Named(after, ".rsrc");
    const SectionHeader& reloc = Named(after, ".reloc");
    const SectionHeader& debug = Named(after, "/4");
    // The resources stay where they were; what follows moves up or down, aligned.
    EXPECT_EQ(rsrc.rva, old_rsrc.rva);
    EXPECT_EQ(rsrc.raw_pointer, old_rsrc.raw_pointer);
    EXPECT_EQ(rsrc.raw_size % file_alignment, 0u);
    EXPECT_GE(rsrc.raw_size, rsrc.virtual_size);
    EXPECT_EQ(reloc.rva, rsrc.rva + (rsrc.virtual_size + alignment - 1) / alignment * alignment);
    EXPECT_EQ(reloc.raw_pointer, rsrc.raw_pointer + rsrc.raw_size);
    EXPECT_EQ(debug.rva, reloc.rva + alignment);
    EXPECT_EQ(debug.raw_pointer, reloc.raw_pointer + reloc.raw_size);
    EXPECT_EQ(Slice(out, reloc.raw_pointer, old_reloc.raw_size),
              Slice(typical.bytes, old_reloc.raw_pointer, old_reloc.raw_size));
    EXPECT_EQ(Slice(out, debug.raw_pointer, old_debug.raw_size),
              Slice(typical.bytes, old_debug.raw_pointer, old_debug.raw_size));
    // Data directories: resources sized exactly, relocations followed, certificate gone.
    EXPECT_EQ(DirRva(out, after, 2), rsrc.rva);
    EXPECT_EQ(DirSize(out, after, 2), rsrc.virtual_size);
    EXPECT_EQ(DirRva(out, after, 5), reloc.rva);
    EXPECT_EQ(DirSize(out, after, 5), typical.reloc_bytes.size());
    EXPECT_EQ(DirRva(out, after, 4), 0u);
    EXPECT_EQ(DirSize(out, after, 4), 0u);
    // The debug directory stays in .rdata; its entry follows the data into the moved section.
    EXPECT_EQ(DirRva(out, after, 6), typical.debug_directory_rva);
    const SectionHeader& rdata = Named(after, ".rdata");
    const uint32_t entry = rdata.raw_pointer + (typical.debug_directory_rva - rdata.rva);
    EXPECT_EQ(Get32(out, entry + 20), debug.rva);
    EXPECT_EQ(Get32(out, entry + 24), debug.raw_pointer);
    // The symbol table moved behind the last section, whole; the certificate is gone.
    const uint32_t symbols = Get32(out, after.coff + 8);
    EXPECT_GE(symbols, debug.raw_pointer + debug.raw_size);
    EXPECT_EQ(symbols % 8, Get32(typical.bytes, before.coff + 8) % 8);
    EXPECT_EQ(Get32(out, after.coff + 12), 5u);
    EXPECT_EQ(Slice(out, symbols, typical.symbol_bytes.size()), typical.symbol_bytes);
    // Only the padding that put the certificate on an 8-byte boundary may follow.
    EXPECT_LT(out.size() - (symbols + typical.symbol_bytes.size()), 8u);
    // Sizes and checksum.
    EXPECT_EQ(Get32(out, after.opt + 56), debug.rva + alignment);
    const int64_t initialized_change = int64_t{rsrc.raw_size} - int64_t{old_rsrc.raw_size};
    EXPECT_EQ(int64_t{Get32(out, after.opt + 8)},
              int64_t{Get32(typical.bytes, before.opt + 8)} + initialized_change);
    EXPECT_EQ(Get32(out, after.opt + 64), ComputeChecksum(out, after.opt + 64));
    EXPECT_NE(Get32(out, after.opt + 64), 0u);
    // Everything between the headers and the resource data keeps its bytes, except the debug
    // entry's two pointers checked above.
    const uint32_t headers = Get32(out, after.opt + 60);
    std::vector<uint8_t> kept = Slice(out, headers, old_rsrc.raw_pointer - headers);
    for (uint32_t i = 20; i < 28; ++i) kept[entry - headers + i] = typical.bytes[entry + i];
    EXPECT_EQ(kept, Slice(typical.bytes, headers, old_rsrc.raw_pointer - headers));
    PeImage image;
    std::string error;
    ASSERT_TRUE(image.Parse(out, &error));
    std::vector<std::string> names;
    ASSERT_TRUE(image.ExportNames(&names, &error)) << error;
    EXPECT_EQ(names.size(), 3u);
  }
}

TEST_P(PeWrite, WritingTheSameTreeTwiceGivesTheSameBytes) {
  TypicalOptions options;
  options.pe32_plus = GetParam();
  const TypicalImage typical = MakeTypicalImage(options, SampleTree());
  const std::vector<uint8_t> once = Rewrite(typical.bytes, BiggerTree());
  const std::vector<uint8_t> twice = Rewrite(once, BiggerTree());
  EXPECT_EQ(once, twice);
}

TEST_P(PeWrite, AppendsAResourceSectionWhenThereIsNone) {
  TypicalOptions options;
  options.pe32_plus = GetParam();
  options.resources = false;
  options.reloc = false;
  options.debug_section = false;
  options.certificate = false;
  const TypicalImage typical = MakeTypicalImage(options, ResourceTree());
  const Headers before = ReadHeaders(typical.bytes);
  bool dropped = true;
  const std::vector<uint8_t> out = Rewrite(typical.bytes, SampleTree(), &dropped);
  EXPECT_FALSE(dropped);
  const Headers after = ReadHeaders(out);
  ASSERT_EQ(after.sections.size(), before.sections.size() + 1);
  const SectionHeader& last = before.sections.back();
  const SectionHeader& rsrc = after.sections.back();
  EXPECT_EQ(rsrc.name, ".rsrc");
  EXPECT_EQ(rsrc.rva, last.rva + 0x1000);
  EXPECT_EQ(rsrc.raw_pointer, last.raw_pointer + last.raw_size);
  EXPECT_EQ(rsrc.characteristics, 0x40000040u);
  EXPECT_EQ(DirRva(out, after, 2), rsrc.rva);
  EXPECT_EQ(Get32(out, after.opt + 56), rsrc.rva + 0x1000);
  // The symbol table behind the sections moved with them.
  EXPECT_EQ(Slice(out, Get32(out, after.coff + 8), typical.symbol_bytes.size()),
            typical.symbol_bytes);
}

TEST_P(PeWrite, EmptyTreeOnAnImageWithoutResourcesOnlyDropsTheSignature) {
  TypicalOptions options;
  options.pe32_plus = GetParam();
  options.resources = false;
  const TypicalImage typical = MakeTypicalImage(options, ResourceTree());
  bool dropped = false;
  const std::vector<uint8_t> out = Rewrite(typical.bytes, ResourceTree(), &dropped);
  EXPECT_TRUE(dropped);
  EXPECT_EQ(out.size(), typical.bytes.size() - 48);  // the certificate
  const Headers h = ReadHeaders(out);
  EXPECT_EQ(h.sections.size(), ReadHeaders(typical.bytes).sections.size());
  EXPECT_EQ(DirRva(out, h, 4), 0u);
  EXPECT_EQ(Get32(out, h.opt + 56), Get32(typical.bytes, h.opt + 56));
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, PeWrite, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Pe32Plus" : "Pe32";
                         });

TEST(PeWrite, StoresNamesTheWayTheLoaderSearchesThem) {
  ResourceTree tree;
  const ResourceId type = ResourceId::Number(kRtRcData);
  tree.Set(type, ResourceId::Number(9), 0, {1});
  tree.Set(type, ResourceId::Name("zeta"), 0, {2});
  tree.Set(type, ResourceId::Number(2), 0, {3});
  tree.Set(type, ResourceId::Name("Alpha"), 0, {4, 4, 4});
  tree.Set(type, ResourceId::Name(u"\u00e9t\u00e9"), 0, {5});  // only the ASCII letter changes
  tree.Set(type, ResourceId::Name("ALPHAB"), 0, {6});
  // Built by hand without upper-casing: the writer must still store "B".
  ResourceId lower;
  lower.is_name = true;
  lower.name = u"b";
  PeImage image;
  std::string error;
  ASSERT_TRUE(image.Parse(Typical(), &error));
  std::vector<uint8_t> out;
  ResourceTree read;
  {
    ResourceTree with_lower = tree;
    with_lower.Set(ResourceId::Name("T"), lower, 0, {7});
    ASSERT_TRUE(image.WriteWithResources(with_lower, &out, nullptr, &error)) << error;
    PeImage again;
    ASSERT_TRUE(again.Parse(out, &error)) << error;
    ASSERT_TRUE(again.ReadResources(&read, &error)) << error;
  }
  tree.Set(ResourceId::Name("T"), ResourceId::Name("B"), 0, {7});
  ExpectSameTree(tree, read);
  // The raw directory under type 10.
  const Headers h = ReadHeaders(out);
  const SectionHeader& rsrc = Named(h, ".rsrc");
  const uint32_t base = rsrc.raw_pointer;
  auto name_at = [&](uint32_t offset) {
    std::u16string name;
    for (uint16_t i = 0; i < Get16(out, base + offset); ++i) {
      name.push_back(Get16(out, base + offset + 2 + 2 * i));
    }
    return name;
  };
  // Root: one named type ("T") before the numbered one.
  EXPECT_EQ(Get16(out, base + 12), 1);
  EXPECT_EQ(Get16(out, base + 14), 1);
  EXPECT_EQ(name_at(Get32(out, base + 16) & 0x7FFFFFFF), u"T");
  EXPECT_EQ(Get32(out, base + 24), 10u);
  const uint32_t dir = Get32(out, base + 28) & 0x7FFFFFFF;
  EXPECT_NE(Get32(out, base + 28) & 0x80000000u, 0u);
  EXPECT_EQ(Get16(out, base + dir + 12), 4);
  EXPECT_EQ(Get16(out, base + dir + 14), 2);
  const std::u16string expected_names[] = {u"ALPHA", u"ALPHAB", u"ZETA", u"\u00e9T\u00e9"};
  for (int i = 0; i < 4; ++i) {
    const uint32_t field = Get32(out, base + dir + 16 + 8 * i);
    EXPECT_NE(field & 0x80000000u, 0u);
    EXPECT_EQ(name_at(field & 0x7FFFFFFF), expected_names[i]);
  }
  EXPECT_EQ(Get32(out, base + dir + 16 + 8 * 4), 2u);
  EXPECT_EQ(Get32(out, base + dir + 16 + 8 * 5), 9u);
  // Every data entry: RVA inside the section, 8-byte aligned, size as set.
  for (int i = 0; i < 6; ++i) {
    const uint32_t language_dir = Get32(out, base + dir + 16 + 8 * i + 4) & 0x7FFFFFFF;
    const uint32_t data_entry = Get32(out, base + language_dir + 20);
    EXPECT_EQ(data_entry & 0x80000000u, 0u);
    const uint32_t rva = Get32(out, base + data_entry);
    EXPECT_EQ(rva % 8, 0u);
    EXPECT_GE(rva, rsrc.rva);
    EXPECT_LE(rva + Get32(out, base + data_entry + 4), rsrc.rva + rsrc.virtual_size);
  }
}

TEST(PeWrite, NamesDifferingOnlyInCaseAreRefused) {
  ResourceTree tree;
  ResourceId lower;
  lower.is_name = true;
  lower.name = u"game";
  tree.Set(ResourceId::Number(10), lower, 0, {1});
  tree.Set(ResourceId::Number(10), ResourceId::Name("GAME"), 0, {2});
  PeImage image;
  std::string error;
  ASSERT_TRUE(image.Parse(Typical(), &error));
  std::vector<uint8_t> out = {1, 2, 3};
  EXPECT_FALSE(image.WriteWithResources(tree, &out, nullptr, &error));
  EXPECT_NE(error.find("case"), std::string::npos) << error;
  EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
}

// Layouts the writer must refuse, leaving *out alone.
TEST(PeWrite, RefusesLayoutsItCannotRewrite) {
  struct Case {
    const char* name;
    std::function<std::vector<uint8_t>()> make;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"DataSectionBehindResources",
       [] {
         PeBuilder b(false);
         b.AddSection(".text", std::vector<uint8_t>(16, 0x90), builder::kText);
         const uint32_t rva = b.NextRva();
         const std::vector<uint8_t> r = builder::ResourceSection(rva, SampleTree());
         b.AddSection(".rsrc", r, builder::kRData);
         b.SetDirectory(2, rva, static_cast<uint32_t>(r.size()));
         b.AddSection(".data", std::vector<uint8_t>(16, 1), builder::kData);
         return b.Build();
       },
       "section .data lies behind the resources and the loader needs it"},
      {"NoRoomForASectionHeader",
       [] {
         PeBuilder b(false);
         b.size_of_headers = PeBuilder::kPeOffset + 24 + 224 + 40;  // exactly the table
         b.AddSection(".text", std::vector<uint8_t>(16, 0x90), builder::kText);
         return b.Build();
       },
       "no room in the headers"},
      {"HeaderSlotInUse",
       [] {
         PeBuilder b(false);
         b.AddSection(".text", std::vector<uint8_t>(16, 0x90), builder::kText);
         std::vector<uint8_t> bytes = b.Build();
         bytes[b.SectionTableOffset() + 40 + 3] = 0xEE;
         return bytes;
       },
       "in use"},
      {"ResourcesShareTheirSection",
       [] {
         return Edited(Typical(), [](auto* b, auto& h) {
           Put32(b, h.directories + 16, DirRva(*b, h, 2) + 16);
         });
       },
       "shares section .rsrc"},
      {"ImportsInTheResourceSection",
       [] {
         return Edited(Typical(), [](auto* b, auto& h) {
           Put32(b, h.directories + 8, DirRva(*b, h, 2) + 0x40);
           Put32(b, h.directories + 12, 0x20);
         });
       },
       "import directory shares the resource section"},
      {"EntryPointInMovedSection",
       [] {
         return Edited(Typical(), [](auto* b, auto& h) { Put32(b, h.opt + 16, DirRva(*b, h, 5)); });
       },
       "entry point"},
      {"RelocationsAimedAtMovedSection",
       [] {
         return Edited(Typical(), [](auto* b, auto& h) {
           Put32(b, Named(h, ".reloc").raw_pointer, Named(h, "/4").rva);
         });
       },
       // The long name comes from the COFF string table.
       "base relocations patch section .debug_info"},
      {"CertificateInsideSections",
       [] {
         return Edited(Typical(), [](auto* b, auto& h) {
           Put32(b, h.directories + 32, Named(h, ".text").raw_pointer);
         });
       },
       "certificate table lies inside"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PeImage image;
    std::string error;
    ASSERT_TRUE(image.Parse(c.make(), &error)) << error;
    std::vector<uint8_t> out = {1, 2, 3};
    bool dropped = true;
    EXPECT_FALSE(image.WriteWithResources(BiggerTree(), &out, &dropped, &error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
  }
}

// --- Real images ---------------------------------------------------------------------------------

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

TEST(PeRealImages, RoundTripEveryImageInTheFolder) {
  const char* folder = std::getenv("VEXA_PE_TEST_IMAGES");
  if (!folder || !*folder) GTEST_SKIP() << "VEXA_PE_TEST_IMAGES is not set (a folder of .exe/.dll)";
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    GTEST_SKIP() << "VEXA_PE_TEST_IMAGES (" << folder << ") is not a folder";
  }
  int tried = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) {
      return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    if (!entry.is_regular_file() || (ext != ".exe" && ext != ".dll")) continue;
    SCOPED_TRACE(entry.path().string());
    ++tried;
    const std::vector<uint8_t> bytes = ReadFile(entry.path());
    PeImage image;
    std::string error;
    ASSERT_TRUE(image.Parse(bytes, &error)) << error;
    std::vector<std::string> exports;
    ASSERT_TRUE(image.ExportNames(&exports, &error)) << error;
    ResourceTree tree;
    ASSERT_TRUE(image.ReadResources(&tree, &error)) << error;
    // The same tree, then a changed one; exports and every section but the moved ones survive.
    ResourceTree changed = tree;
    changed.Set(ResourceId::Number(kRtRcData), ResourceId::Name("VEXA_TEST"), kLangEnUs,
                std::vector<uint8_t>(5000, 0x42));
    for (const ResourceTree& t : {tree, changed}) {
      const std::vector<uint8_t> out = Rewrite(bytes, t);
      if (::testing::Test::HasFatalFailure() || out.empty()) break;
      PeImage again;
      ASSERT_TRUE(again.Parse(out, &error)) << error;
      EXPECT_EQ(again.machine(), image.machine());
      std::vector<std::string> exports_again;
      ASSERT_TRUE(again.ExportNames(&exports_again, &error)) << error;
      EXPECT_EQ(exports_again, exports);
      const Headers h = ReadHeaders(out);
      EXPECT_EQ(Get32(out, h.opt + 64), ComputeChecksum(out, h.opt + 64));
    }
  }
  if (tried == 0) GTEST_SKIP() << "no .exe or .dll in " << folder;
}

}  // namespace
}  // namespace vexa::pe
