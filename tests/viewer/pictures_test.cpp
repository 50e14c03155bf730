// The viewer's picture work: shrinking, the histogram, JPEG and PNG.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <vector>

#include "viewer/histogram.h"
#include "viewer/image_codec.h"

namespace {

using ocam_viewer::histogramOf;
using ocam_viewer::shrinkRgb;

TEST(ViewerPictures, ShrinkAveragesEachBlockAndDropsTheRemainder) {
  // 5x2 pixels shrunk by 2: two output pixels, the fifth column dropped.
  std::vector<unsigned char> rgb(5 * 2 * 3, 0);
  auto px = [&](int x, int y) { return &rgb[(y * 5 + x) * 3]; };
  px(0, 0)[0] = 100, px(1, 0)[0] = 200, px(0, 1)[0] = 0, px(1, 1)[0] = 100;    // red mean 100
  px(2, 0)[2] = 255, px(3, 0)[2] = 255, px(2, 1)[2] = 255, px(3, 1)[2] = 251;  // blue mean 254
  px(4, 0)[1] = 255;
  std::vector<unsigned char> out;
  shrinkRgb(rgb.data(), 5, 2, 2, out);
  ASSERT_EQ(out.size(), 2u * 1 * 3);
  EXPECT_EQ(out[0], 100);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[5], 254);
  shrinkRgb(rgb.data(), 5, 2, 1, out);
  EXPECT_EQ(out, rgb);
}

TEST(ViewerPictures, HistogramCountsChannelsLuminanceAndSaturation) {
  const std::vector<unsigned char> rgb = {255, 0,  0,  0,   255, 0,   0,   0,  255,
                                          10,  10, 10, 255, 255, 255, 128, 64, 32};
  const ocam_viewer::Histogram h = histogramOf(rgb.data(), 3, 2);
  EXPECT_EQ(h.pixels, 6u);
  EXPECT_EQ(h.saturated, 4u);  // any channel at 255
  EXPECT_DOUBLE_EQ(h.saturatedShare(), 4.0 / 6.0);
  EXPECT_EQ(h.red[255], 2u);
  EXPECT_EQ(h.red[0], 2u);
  EXPECT_EQ(h.blue[32], 1u);
  EXPECT_EQ(h.luma[76], 1u);   // pure red: 0.299 * 255
  EXPECT_EQ(h.luma[150], 1u);  // pure green: 0.587 * 255
  EXPECT_EQ(h.luma[29], 1u);   // pure blue
  EXPECT_EQ(h.luma[10], 1u);
  EXPECT_EQ(h.luma[255], 1u);
  EXPECT_EQ(h.luma[79], 1u);  // 0.299 * 128 + 0.587 * 64 + 0.114 * 32 = 79.49
}

TEST(ViewerPictures, JpegAndPngCarryThePicturesSize) {
  std::vector<unsigned char> rgb(64 * 32 * 3);
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>(i * 7);
  ocam_viewer::JpegEncoder encoder;
  std::vector<unsigned char> jpeg;
  ASSERT_TRUE(encoder.encode(rgb.data(), 64, 32, 80, jpeg));
  tjhandle d = tjInitDecompress();
  int w = 0, h = 0, sub = 0, space = 0;
  ASSERT_EQ(tjDecompressHeader3(d, jpeg.data(), jpeg.size(), &w, &h, &sub, &space), 0);
  tjDestroy(d);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 32);

  const std::vector<unsigned char> png = ocam_viewer::encodePng(rgb.data(), 64, 32, 3);
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png[1], 'P');
  // IHDR: width and height big-endian at bytes 16 and 20, colour type 2 (RGB) at 25.
  EXPECT_EQ(png[19], 64);
  EXPECT_EQ(png[23], 32);
  EXPECT_EQ(png[25], 2);
}

}  // namespace
