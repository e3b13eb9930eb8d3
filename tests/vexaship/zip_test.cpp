#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "zipwriter.h"

namespace {

using vexa::ship::CZipWriter;

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t Get16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// Reads an archive back through its central directory, as unzip does: name -> content.
std::map<std::string, std::string> ReadBack(const std::vector<uint8_t>& zip) {
  std::map<std::string, std::string> files;
  const size_t end = zip.size() - 22;
  EXPECT_EQ(0x06054b50u, Get32(zip, end));
  const uint16_t count = Get16(zip, end + 10);
  size_t at = Get32(zip, end + 16);
  for (uint16_t i = 0; i < count; ++i) {
    EXPECT_EQ(0x02014b50u, Get32(zip, at));
    const uint16_t method = Get16(zip, at + 10);
    const uint32_t crc = Get32(zip, at + 16);
    const uint32_t packed = Get32(zip, at + 20);
    const uint32_t size = Get32(zip, at + 24);
    const uint16_t name_length = Get16(zip, at + 28);
    const uint32_t local = Get32(zip, at + 42);
    const std::string name(reinterpret_cast<const char*>(&zip[at + 46]), name_length);
    at += 46 + name_length + Get16(zip, at + 30) + Get16(zip, at + 32);
    EXPECT_EQ(0x04034b50u, Get32(zip, local));
    const size_t data = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
    std::string content(size, '\0');
    if (method == 0) {
      content.assign(reinterpret_cast<const char*>(&zip[data]), packed);
    } else {
      EXPECT_EQ(8, method);
      z_stream s = {};
      inflateInit2(&s, -15);
      s.next_in = const_cast<Bytef*>(&zip[data]);
      s.avail_in = packed;
      s.next_out = reinterpret_cast<Bytef*>(&content[0]);
      s.avail_out = size;
      EXPECT_EQ(Z_STREAM_END, inflate(&s, Z_FINISH)) << name;
      inflateEnd(&s);
    }
    EXPECT_EQ(crc, crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                         static_cast<uInt>(content.size())))
        << name;
    files[name] = content;
  }
  return files;
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(ZipWriter, WhatGoesInComesBack) {
  CZipWriter zip;
  std::string error;
  const std::string repetitive(100000, 'a');
  std::string noise;
  for (int i = 0; i < 3000; ++i) noise.push_back(static_cast<char>((i * 7919) >> 3));
  ASSERT_TRUE(zip.Add("Game/Game.exe", Bytes(repetitive), &error)) << error;
  ASSERT_TRUE(zip.Add("Game/Addons/démo.vxa", Bytes(noise), &error)) << error;
  ASSERT_TRUE(zip.Add("Game/empty.txt", {}, &error)) << error;
  const std::vector<uint8_t> archive = zip.Finish();
  EXPECT_LT(archive.size(), 10000u);  // the repetitive file was compressed
  const auto files = ReadBack(archive);
  ASSERT_EQ(3u, files.size());
  EXPECT_EQ(repetitive, files.at("Game/Game.exe"));
  EXPECT_EQ(noise, files.at("Game/Addons/démo.vxa"));
  EXPECT_EQ("", files.at("Game/empty.txt"));
}

TEST(ZipWriter, UnsafeOrDuplicateNamesAreRefused) {
  CZipWriter zip;
  std::string error;
  ASSERT_TRUE(zip.Add("a/b.txt", Bytes("x"), &error));
  const char* refused[] = {"",         "/abs.txt", "../up.txt", "a/../../up.txt", "a\\b.txt",
                           "c:/x.txt", "a//b.txt", "a/",        "a/b.txt"};
  for (const char* name : refused) {
    error.clear();
    EXPECT_FALSE(zip.Add(name, Bytes("y"), &error)) << name;
    EXPECT_FALSE(error.empty()) << name;
  }
  EXPECT_EQ(1u, ReadBack(zip.Finish()).size());
}

}  // namespace
