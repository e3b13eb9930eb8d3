// SWF header reading from crafted headers: plain, zlib-compressed, LZMA and broken ones.
#include "standin/swfheader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace vexa::standin {
namespace {

class CBitWriter {
 public:
  void Put(int64_t value, int count) {
    for (int i = count - 1; i >= 0; --i) bits_.push_back(static_cast<int>((value >> i) & 1));
  }
  std::string Bytes() const {
    std::string out;
    for (size_t i = 0; i < bits_.size(); i += 8) {
      int byte = 0;
      for (size_t k = 0; k < 8; ++k) byte = (byte << 1) | (i + k < bits_.size() ? bits_[i + k] : 0);
      out += static_cast<char>(byte);
    }
    return out;
  }

 private:
  std::vector<int> bits_;
};

// Header body: RECT with `nbits`, then rate (8.8) and frame count.
std::string Body(int nbits, int64_t xmin, int64_t xmax, int64_t ymin, int64_t ymax, uint16_t rate,
                 uint16_t frames) {
  CBitWriter w;
  w.Put(nbits, 5);
  w.Put(xmin, nbits);
  w.Put(xmax, nbits);
  w.Put(ymin, nbits);
  w.Put(ymax, nbits);
  std::string body = w.Bytes();
  body += static_cast<char>(rate & 0xFF);
  body += static_cast<char>(rate >> 8);
  body += static_cast<char>(frames & 0xFF);
  body += static_cast<char>(frames >> 8);
  return body;
}

std::string Header(char first, uint8_t version, uint32_t length) {
  std::string h;
  h += first;
  h += "WS";
  h += static_cast<char>(version);
  for (int i = 0; i < 4; ++i) h += static_cast<char>((length >> (8 * i)) & 0xFF);
  return h;
}

SwfHeader Read(const std::string& bytes, bool* ok) {
  SwfHeader header;
  *ok = ReadSwfHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &header);
  return header;
}

TEST(SwfHeaderTest, ReadsAnUncompressedHeader) {
  const std::string body = Body(15, 0, 11000, 0, 8000, 24 << 8, 1);
  bool ok = false;
  const SwfHeader h = Read(Header('F', 10, 8 + body.size()) + body + "tags...", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(h.signature, "FWS");
  EXPECT_EQ(h.compression, SwfHeader::Compression::kNone);
  EXPECT_EQ(h.version, 10);
  EXPECT_EQ(h.file_length, 8 + body.size());
  ASSERT_TRUE(h.has_rect && h.has_rate && h.has_frame_count);
  EXPECT_EQ(h.width_px(), 550);
  EXPECT_EQ(h.height_px(), 400);
  EXPECT_EQ(h.RateText(), "24");
  EXPECT_EQ(h.frame_count, 1);
}

TEST(SwfHeaderTest, SignedAndExtremeRectangles) {
  struct Case {
    int nbits;
    int64_t xmin, xmax, ymin, ymax;
    int width, height;
  } cases[] = {
      {16, -2000, 18000, -400, 7600, 1000, 400},
      {31, -(int64_t{1} << 30), (int64_t{1} << 30) - 1, 0, 20, 107374182, 1},
      {0, 0, 0, 0, 0, 0, 0},
      {2, -2, 1, -1, 1, 0, 0},
  };
  for (const Case& c : cases) {
    const std::string body = Body(c.nbits, c.xmin, c.xmax, c.ymin, c.ymax, 0x1E00, 7);
    bool ok = false;
    const SwfHeader h = Read(Header('F', 9, 0) + body, &ok);
    ASSERT_TRUE(ok && h.has_rect) << c.nbits;
    EXPECT_EQ(h.xmin, c.xmin) << c.nbits;
    EXPECT_EQ(h.xmax, c.xmax) << c.nbits;
    EXPECT_EQ(h.ymin, c.ymin) << c.nbits;
    EXPECT_EQ(h.width_px(), c.width) << c.nbits;
    EXPECT_EQ(h.height_px(), c.height) << c.nbits;
    EXPECT_EQ(h.frame_count, 7) << c.nbits;
  }
}

TEST(SwfHeaderTest, FrameRates) {
  struct Case {
    uint16_t rate;
    const char* text;
  } cases[] = {{24 << 8, "24"},
               {(29 << 8) | 248, "29.97"},
               {(12 << 8) | 128, "12.5"},
               {0, "0"},
               {0xFFFF, "256"}};
  for (const Case& c : cases) {
    SwfHeader h;
    h.rate_8_8 = c.rate;
    EXPECT_EQ(h.RateText(), c.text) << c.rate;
  }
}

TEST(SwfHeaderTest, InflatesOnlyWhatTheHeaderNeeds) {
  std::string body = Body(15, 0, 16000, 0, 12000, (30 << 8), 250);
  body += std::string(100000, 'T');  // the rest of the movie
  uLongf size = compressBound(body.size());
  std::string packed(size, '\0');
  ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(&packed[0]), &size,
                      reinterpret_cast<const Bytef*>(body.data()), body.size(), 9),
            Z_OK);
  packed.resize(size);
  bool ok = false;
  SwfHeader h = Read(Header('C', 8, 8 + body.size()) + packed, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(h.compression, SwfHeader::Compression::kZlib);
  EXPECT_EQ(h.width_px(), 800);
  EXPECT_EQ(h.height_px(), 600);
  EXPECT_EQ(h.RateText(), "30");
  EXPECT_EQ(h.frame_count, 250);

  // Only the first bytes of the compressed data arrived: the header is still readable.
  h = Read(Header('C', 8, 8 + body.size()) + packed.substr(0, 40), &ok);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(h.has_rect);
  EXPECT_EQ(h.frame_count, 250);

  // Broken compressed data gives what can be read and no more.
  h = Read(Header('C', 8, 100) + "not zlib at all", &ok);
  ASSERT_TRUE(ok);
  EXPECT_FALSE(h.has_rect);
  EXPECT_EQ(h.version, 8);
}

TEST(SwfHeaderTest, LzmaShowsWhatIsReadable) {
  std::string bytes = Header('Z', 13, 5000);
  bytes += std::string("\x10\x02\x00\x00", 4);      // compressed length 528
  bytes += std::string("\x5D\x00\x00\x10\x00", 5);  // LZMA properties
  bytes += "compressed...";
  bool ok = false;
  const SwfHeader h = Read(bytes, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(h.compression, SwfHeader::Compression::kLzma);
  EXPECT_EQ(h.file_length, 5000u);
  EXPECT_TRUE(h.has_lzma_length);
  EXPECT_EQ(h.lzma_length, 528u);
  EXPECT_FALSE(h.has_rect);
  const std::vector<std::string> lines = DescribeSwf(h);
  EXPECT_EQ(lines[0], "SWF movie (ZWS, LZMA)");
  EXPECT_EQ(lines[3], "stage size unknown (LZMA)");
}

TEST(SwfHeaderTest, TruncatedAndForeignData) {
  struct Case {
    std::string bytes;
    bool ok;
    bool has_length, has_rect, has_rate, has_count;
  } cases[] = {
      {"", false, false, false, false, false},
      {"FW", false, false, false, false, false},
      {"FWX\x0A", false, false, false, false, false},
      {"GWS\x0A", false, false, false, false, false},
      {"FWS", false, false, false, false, false},
      {"FWS\x0A", true, false, false, false, false},
      {std::string("FWS\x0A\x01\x00\x00\x00", 8), true, true, false, false, false},
      {std::string("FWS\x0A\x01\x00\x00\x00\xF8", 9), true, true, false, false, false},
      // nbits 0 needs 5 bits only; then the rate is there but not the count.
      {std::string("FWS\x0A\x01\x00\x00\x00\x00\x00\x18", 11), true, true, true, true, false},
  };
  for (const Case& c : cases) {
    bool ok = false;
    const SwfHeader h = Read(c.bytes, &ok);
    EXPECT_EQ(ok, c.ok) << c.bytes.size();
    if (!ok) continue;
    EXPECT_EQ(h.has_length, c.has_length) << c.bytes.size();
    EXPECT_EQ(h.has_rect, c.has_rect) << c.bytes.size();
    EXPECT_EQ(h.has_rate, c.has_rate) << c.bytes.size();
    EXPECT_EQ(h.has_frame_count, c.has_count) << c.bytes.size();
  }
}

}  // namespace
}  // namespace vexa::standin
