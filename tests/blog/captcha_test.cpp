// The captcha reader: its data file, the start-up step, and reading real
// captchas served by the sandbox blog for the session that fetched them.
#include "blog/captcha.h"
#include "blog/captcha_model.h"

#include "support/sandbox.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <cstring>

namespace inkpost {
namespace {

using test::Sandbox;
using test::TempDir;

std::int32_t loadedHandle() {
  static std::int32_t handle = [] {
    TempDir dir;
    loadCaptchaData(dir.path());
    return CaptchaDataHandle();
  }();
  return handle;
}

// A fresh session of the sandbox: its cookie "NAME=VALUE;" as the client keeps it.
std::string sessionCookieOf(const Sandbox& sb) {
  std::string headers;
  sb.get("login.asp", {}, &headers);
  size_t p = headers.find("Set-Cookie: ");
  if (p == std::string::npos) return {};
  p += 12;
  return headers.substr(p, headers.find(';', p) - p) + ";";
}

TEST(CaptchaData, FillerCoversTheDataAndTheDataParses) {
  EXPECT_EQ(captchaFillerBlock().size(), captchaDataBlock().size());
  EXPECT_GT(captchaDataBlock().size(), 1000u) << "settings and model";
  EXPECT_NE(captchaDataBlock(), captchaFillerBlock());
  CaptchaSettings s;
  ASSERT_TRUE(parseCaptchaSettings(captchaDataBlock(), s));
  EXPECT_EQ(s.length, 5);
  EXPECT_EQ(s.maxSide, 1000);
  EXPECT_GE(s.reads, 1);
  EXPECT_FALSE(parseCaptchaSettings(captchaFillerBlock(), s));
}

TEST(CaptchaData, SettingsIgnoreUnknownKeysAndKeepDefaultsForBadValues) {
  CaptchaSettings s;
  ASSERT_TRUE(parseCaptchaSettings(
      "inkpost-cds 2\r\n# note\r\nfuture=1\r\ndark=x\r\nreads=3\r\nneighbours=99\r\nsure=70\r\n", s));
  EXPECT_EQ(s.cleaning.dark, CaptchaSettings{}.cleaning.dark);
  EXPECT_EQ(s.reads, 3);
  EXPECT_EQ(s.sure, 70);
  EXPECT_EQ(s.cleaning.neighbours, 8);
  EXPECT_FALSE(parseCaptchaSettings("", s));
  EXPECT_FALSE(parseCaptchaSettings("inkpost-cds 3\n", s));
}

TEST(CaptchaData, LoadRefusesMissingAndForeignFiles) {
  TempDir dir;
  EXPECT_EQ(LoadCdsFromFile(dir.file("none.cds")), 0);
  test::writeFile(dir.file("other.cds"), "MZ\x90\x00 not a data file");
  EXPECT_EQ(LoadCdsFromFile(dir.file("other.cds")), 0);
  // Settings without a model, or with a damaged one, cannot read.
  const std::string block = captchaDataBlock();
  const size_t nul = block.find('\0');
  test::writeFile(dir.file("nomodel.cds"), block.substr(0, nul + 1));
  EXPECT_EQ(LoadCdsFromFile(dir.file("nomodel.cds")), 0);
  test::writeFile(dir.file("cut.cds"), block.substr(0, block.size() / 2));
  EXPECT_EQ(LoadCdsFromFile(dir.file("cut.cds")), 0);
  test::writeFile(dir.file("good.cds"), captchaDataBlock());
  std::int32_t a = LoadCdsFromFile(dir.file("good.cds"));
  std::int32_t b = LoadCdsFromFile(dir.file("good.cds"));
  EXPECT_GT(a, 0);
  EXPECT_NE(a, b);
}

TEST(CaptchaData, TheBuiltInModelIsSmallRoundTripsAndDamageIsRefused) {
  const std::string& bytes = captchaModelBytes();
  EXPECT_LT(bytes.size(), 2u << 20);
  LineModel m;
  ASSERT_TRUE(m.parse(bytes));
  EXPECT_TRUE(m.usable());
  EXPECT_EQ(m.serialize(), bytes);
  auto refused = [&](std::string damaged) { return !m.parse(damaged) && !m.usable(); };
  std::string wrongChain = bytes;
  wrongChain[16] = 2;  // the first convolution must take the one ink channel
  EXPECT_TRUE(refused(wrongChain));
  std::string notANumber = bytes;
  notANumber.replace(notANumber.size() - 4, 4, "\xff\xff\xff\x7f");
  EXPECT_TRUE(refused(notANumber));
  EXPECT_TRUE(refused(bytes.substr(0, bytes.size() - 1)));
  EXPECT_TRUE(refused("ICM1" + bytes.substr(4)));
  // A model that cannot read reads nothing, sure of nothing.
  RgbImage picture{2, 1, {0xFFFFFF, 0}};
  EXPECT_EQ(readCaptchaPicture(LineModel{}, picture).confidence, 0.0f);
}

TEST(CaptchaData, StartUpStepLeavesNoFileBehind) {
  TempDir dir;
  CaptchaDataHandle() = 0;
  loadCaptchaData(dir.path());
  EXPECT_GT(CaptchaDataHandle(), 0);
  EXPECT_FALSE(test::fileExists(dir.file(kCaptchaDataFile)));
  // A link put at its place is removed, never written through.
  const std::string outside = dir.file("outside.txt");
  std::ofstream(outside) << "keep";
  std::filesystem::create_symlink(outside, dir.file(kCaptchaDataFile));
  CaptchaDataHandle() = 0;
  loadCaptchaData(dir.path());
  EXPECT_GT(CaptchaDataHandle(), 0);
  std::ifstream in(outside);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
  EXPECT_FALSE(std::filesystem::is_symlink(dir.file(kCaptchaDataFile)));
  // A folder that cannot be written leaves the handle at 0 and no file.
  loadCaptchaData(dir.file("missing/folder"));
  EXPECT_EQ(CaptchaDataHandle(), 0);
}

TEST(CaptchaReader, BadImagesAndHandlesGiveNothing) {
  const std::int32_t h = loadedHandle();
  EXPECT_EQ(readCaptchaImage(h, ""), "");
  EXPECT_EQ(readCaptchaImage(h, "BM not really a bitmap"), "");
  EXPECT_EQ(readCaptchaImage(h, std::string(5000, '\xff')), "");
  EXPECT_EQ(readCaptchaImage(0, "BM"), "");
  // A bitmap header that claims a huge picture is refused before decoding.
  std::string huge = "BM" + std::string(52, '\0');
  huge[10] = 54;
  huge[14] = 40;
  huge[18] = '\x10', huge[19] = '\x27';  // 10000 x 10000
  huge[22] = '\x10', huge[23] = '\x27';
  huge[26] = 1;
  huge[28] = 24;
  EXPECT_EQ(readCaptchaImage(h, huge + std::string(1000, '\x7f')), "");
  EXPECT_EQ(readCaptchaImage(h, std::string(3 << 20, 'B')), "");
  char buffer[33];
  std::memset(buffer, ' ', sizeof buffer);
  EXPECT_EQ(GetVcodeFromURL(h, "http://127.0.0.1:1/none", buffer, sizeof buffer), -2);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(GetVcodeFromURL(h, "http://127.0.0.1:1/none", nullptr, 0), -1);
}

TEST(CaptchaReader, ReadsTheImageOfTheCallersSession) {
  Sandbox sb({.extraArgs = {"--captcha", "fixed:30587", "--captcha-style", "bmp"}});
  const std::string cookie = sessionCookieOf(sb);
  char buffer[33];
  ASSERT_EQ(GetVcodeFromURL(loadedHandle(), sb.siteUrl() + "function/c_validcode.asp?name=loginvalid", buffer,
                            sizeof buffer, cookie),
            5);
  EXPECT_STREQ(buffer, "30587");
  EXPECT_TRUE(sb.waitForLog("GET /function/c_validcode.asp?name=loginvalid 200 ", 1));
  EXPECT_NE(sb.requestLog().find("cookie=[" + cookie), std::string::npos);
  // A buffer too small for the code gets as much as fits, zero-terminated.
  char small[3];
  EXPECT_EQ(GetVcodeFromURL(loadedHandle(), sb.siteUrl() + "function/c_validcode.asp?name=loginvalid", small,
                            sizeof small, cookie),
            2);
  EXPECT_STREQ(small, "30");
}

TEST(CaptchaReader, AnImageWithoutDigitsReadsAsNothing) {
  for (const char* style : {"engine", "bmp"}) {
    Sandbox sb({.extraArgs = {"--captcha", "blank", "--captcha-style", style}});
    char buffer[33];
    EXPECT_EQ(GetVcodeFromURL(loadedHandle(), sb.siteUrl() + "function/c_validcode.asp?name=loginvalid", buffer,
                              sizeof buffer, sessionCookieOf(sb)),
              -1)
        << style;
    EXPECT_STREQ(buffer, "");
  }
}

TEST(CaptchaReader, ReadsTheEnginesGifOfTheCallersSession) {
  Sandbox sb({.extraArgs = {"--captcha", "fixed:80512"}});
  char buffer[33];
  ASSERT_EQ(GetVcodeFromURL(loadedHandle(), sb.siteUrl() + "function/c_validcode.asp?name=loginvalid", buffer,
                            sizeof buffer, sessionCookieOf(sb)),
            5);
  EXPECT_STREQ(buffer, "80512");
}

TEST(CaptchaReader, ReadsAtLeast99PercentOf500BmpCaptchasExactly) {
  Sandbox sb({.extraArgs = {"--captcha-style", "bmp"}});
  const std::int32_t h = loadedHandle();
  const std::string cookie = sessionCookieOf(sb);
  const std::string url = sb.siteUrl() + "function/c_validcode.asp?name=loginvalid";
  int exact = 0;
  std::vector<std::string> misses;
  for (int i = 0; i < 500; ++i) {
    char buffer[33];
    GetVcodeFromURL(h, url, buffer, sizeof buffer, cookie);
    const std::string truth = sb.get("_sandbox/captcha", cookie);
    ASSERT_EQ(truth.size(), 5u);
    if (truth == buffer)
      ++exact;
    else
      misses.push_back(truth + "->" + buffer);
  }
  std::string list;
  for (const auto& m : misses) list += m + " ";
  RecordProperty("exact_reads", exact);
  EXPECT_GE(exact, 495) << "misreads: " << list;
  std::printf("[ captcha  ] %d of 500 read exactly %s\n", exact, list.c_str());
}

}  // namespace
}  // namespace inkpost
