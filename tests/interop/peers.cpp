// Running the peer tools and comparing what they decode with our pictures.
#include "interop/peers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "common/test_support.h"
#include "image/image_test_util.h"

namespace rf::test {
namespace {

bool Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

std::vector<uint8_t> Fresh(const std::string& raw, bool made) {
  if (!made) return {};
  return FileBytes(raw);
}

}  // namespace

bool ConvertRun(const std::string& args) { return Run(std::string(kConvert) + " " + args); }

bool FfmpegRun(const std::string& args) { return Run(std::string(kFfmpeg) + " -v error -y " + args); }

std::vector<uint8_t> FileBytes(const std::string& path) {
  const std::string s = ReadWholeFile(path);
  return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> DecodedByConvert(const std::string& file, const std::string& scratch) {
  const std::string raw = scratch + "/decoded.rgb";
  std::remove(raw.c_str());
  return Fresh(raw, ConvertRun("'" + file + "' -auto-orient -depth 8 'rgb:" + raw + "'"));
}

std::vector<uint8_t> DecodedByFfmpeg(const std::string& file, const std::string& scratch) {
  const std::string raw = scratch + "/decoded_ff.rgb";
  std::remove(raw.c_str());
  return Fresh(raw, FfmpegRun("-i '" + file + "' -f rawvideo -pix_fmt rgb24 '" + raw + "'"));
}

std::vector<uint8_t> DecodedRounded(const std::string& file, const std::string& scratch) {
  const std::string raw = scratch + "/decoded16.rgb";
  std::remove(raw.c_str());
  const std::vector<uint8_t> wide = Fresh(raw, ConvertRun("'" + file + "' -depth 16 -endian LSB 'rgb:" + raw + "'"));
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < wide.size(); i += 2) out.push_back(uint8_t((wide[i] + 256 * wide[i + 1] + 128) / 257));
  return out;
}

std::vector<uint8_t> OurRgb(const Qimg& img) {
  std::vector<uint8_t> rgb;
  for (int32_t y = 0; y < img.height; ++y) {
    for (int32_t x = 0; x < img.width; ++x) {
      const uint32_t v = Pixel(img, x, y);
      if (img.bpp == 8)
        rgb.insert(rgb.end(), {img.palette[v][2], img.palette[v][1], img.palette[v][0]});
      else if (img.bpp == 15)
        rgb.insert(rgb.end(),
                   {uint8_t((v >> 10 & 0x1F) << 3), uint8_t((v >> 5 & 0x1F) << 3), uint8_t((v & 0x1F) << 3)});
      else if (img.bpp == 16)
        rgb.insert(rgb.end(),
                   {uint8_t((v >> 11 & 0x1F) << 3), uint8_t((v >> 5 & 0x3F) << 2), uint8_t((v & 0x1F) << 3)});
      else
        rgb.insert(rgb.end(), {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    }
  }
  return rgb;
}

void ExpectSamePixels(const std::vector<uint8_t>& ours, const std::vector<uint8_t>& theirs, int tolerance, int bits) {
  ASSERT_EQ(ours.size(), theirs.size());
  const int shift = 8 - bits;
  size_t differ = 0, first = 0;
  for (size_t i = 0; i < ours.size(); ++i)
    if (std::abs((ours[i] >> shift) - (theirs[i] >> shift)) > tolerance && differ++ == 0) first = i;
  EXPECT_EQ(differ, 0u) << "first difference at byte " << first << ": " << int(ours[first]) << " vs "
                        << int(theirs[first]);
}

}  // namespace rf::test
