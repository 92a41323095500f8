#include "images/convert.h"

#include "imagedata.h"
#include "net/encoding.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace inkpost {
namespace {

using test::makeBmp;
using test::makeGif;
using test::makeJpeg;
using test::makePng;

TEST(ConvertImage, ReencodesIntoEveryFormatQtCanWrite) {
  const std::string jpeg = makeJpeg(40, 30);
  for (int code : {kImageBmp, kImageJpeg, kImageTiff, kImagePng}) {
    std::string out;
    ASSERT_TRUE(ConvertImage(jpeg, code, "", out)) << code;
    EXPECT_EQ(ImageWidth(out), 40) << code;
    EXPECT_EQ(ImageHeight(out), 30) << code;
  }
  std::string bmp;
  ASSERT_TRUE(ConvertImage(jpeg, kImageBmp, "", bmp));
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  std::string png;
  ASSERT_TRUE(ConvertImage(makeGif(9, 7), kImagePng, "", png));
  EXPECT_EQ(png.substr(1, 3), "PNG");
}

TEST(ConvertImage, FailsWithoutOutputForUnwritableFormatsAndBadInput) {
  std::string out = "stale";
  EXPECT_FALSE(ConvertImage(makePng(4, 4), kImageGif, "", out));  // no GIF encoder here
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(ConvertImage(makePng(4, 4), 0, "", out));
  EXPECT_FALSE(ConvertImage(makePng(4, 4), 6, "", out));
  EXPECT_FALSE(ConvertImage("not an image at all", kImageBmp, "", out));
  EXPECT_FALSE(ConvertImage("", kImageBmp, "", out));
  std::string truncated = makePng(30, 30).substr(0, 20);
  EXPECT_FALSE(ConvertImage(truncated, kImageBmp, "", out));
  EXPECT_TRUE(out.empty());
}

TEST(ConvertImage, WritesTheFileWhenAPathIsGivenAndFailsWhenItCannot) {
  test::TempDir dir;
  std::string out;
  ASSERT_TRUE(ConvertImage(makeJpeg(10, 10), kImageBmp, dir.file("out.bmp"), out));
  EXPECT_EQ(test::readFile(dir.file("out.bmp")), out);
  // A blank path writes nothing.
  ASSERT_TRUE(ConvertImage(makeJpeg(10, 10), kImageBmp, "   ", out));
  EXPECT_FALSE(ConvertImage(makeJpeg(10, 10), kImageBmp, dir.file("missing/dir/out.bmp"), out));
  EXPECT_TRUE(out.empty());
  // A GBK path lands under its UTF-8 name.
  ASSERT_TRUE(ConvertImage(makeJpeg(10, 10), kImagePng, fromUtf8(dir.file("图片.png").c_str()), out));
  EXPECT_EQ(test::readFile(dir.file("图片.png")), out);
}

TEST(ImageSize, BmpIsReadFromItsOwnHeader) {
  // A bitmap whose header promises 123 x 45 but carries no pixels: only the
  // header can give that answer.
  std::string bmp = makeBmp(2, 2).substr(0, 54);
  auto put32 = [&bmp](size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 255);
  };
  put32(18, 123);
  put32(22, 45);
  EXPECT_EQ(ImageWidth(bmp), 123);
  EXPECT_EQ(ImageHeight(bmp), 45);
  put32(22, -45);  // top-down bitmap
  EXPECT_EQ(ImageHeight(bmp), 45);
  EXPECT_EQ(ImageWidth("BM"), 0);
  EXPECT_EQ(ImageHeight(std::string("BM\0\0", 4)), 0);
}

TEST(ImageSize, JpegGifAndPngMatchTheConversionRoute) {
  struct Case {
    const char* name;
    std::string bytes;
    int w, h;
  };
  const Case cases[] = {{"jpeg", makeJpeg(320, 200), 320, 200},
                        {"gif", makeGif(33, 17), 33, 17},
                        {"png", makePng(7, 300), 7, 300},
                        {"bmp", makeBmp(21, 13), 21, 13}};
  for (const Case& c : cases) {
    int w = -1, h = -1;
    ImageSize(c.bytes, w, h);
    EXPECT_EQ(w, c.w) << c.name;
    EXPECT_EQ(h, c.h) << c.name;
    int cw = -1, ch = -1;
    ImageSizeByConversion(c.bytes, cw, ch);
    EXPECT_EQ(cw, c.w) << c.name;
    EXPECT_EQ(ch, c.h) << c.name;
    EXPECT_EQ(ImageWidth(c.bytes), c.w) << c.name;
    EXPECT_EQ(ImageHeight(c.bytes), c.h) << c.name;
  }
}

TEST(ImageSize, UndecodableBytesMeasureZero) {
  for (const std::string& bytes : {std::string(), std::string("GIF89a"), std::string("hello world"),
                                   std::string("\xff\xd8\xff", 3), std::string(1000, '\0')}) {
    int w = -1, h = -1;
    ImageSize(bytes, w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    ImageSizeByConversion(bytes, w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
  }
}

TEST(ContentName, IsTheMd5OfTheBytes) {
  EXPECT_EQ(contentName(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(contentName("abc"), "900150983cd24fb0d6963f7d28e17f72");
  const std::string gif = makeGif(5, 5);
  EXPECT_EQ(contentName(gif), contentName(std::string(gif)));
  EXPECT_NE(contentName(gif), contentName(makeGif(5, 6)));
}

}  // namespace
}  // namespace inkpost
