#include "images/gallery.h"

#include "common/programdir.h"
#include "imagedata.h"
#include "net/encoding.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace inkpost {
namespace {

using test::gbk;

const char* const kHead =
    "<html><head><style></style><script>function dbclick(id){document.getElementById('test').href="
    "document.getElementById(id).href.replace('复制','插入');document.getElementById('test').click()}"
    "</script></head><body bgcolor='#ffffff' leftmargin=2 topmargin=2><a id='test' href='#'></a>";

std::string entryHtml(int i, const std::string& address, const std::string& width) {
  const std::string id = std::to_string(i);
  return "<a id='" + id + "' ondblclick='dbclick(" + id + ")' href='" + gbk("#复制[") + address +
         "]'> <img border='0' width='" + width + "' height='76' src='" + address + "' /></a>&nbsp;";
}

TEST(GalleryEntry, HoldsAddressWidthAndHeight) {
  EXPECT_EQ(makeGalleryEntry("http://b/upload/a.jpg", 640, 480), "http://b/upload/a.jpg[640|480");
  GalleryItem item = parseGalleryEntry("http://b/upload/a.jpg[640|480");
  EXPECT_EQ(item.address, "http://b/upload/a.jpg");
  EXPECT_EQ(item.width, 640);
  EXPECT_EQ(item.height, 480);
  // A Chinese address whose second byte is "[" (0x5B) is not cut there.
  const std::string chinese = "http://b/upload/\xC4\x5B.jpg";
  item = parseGalleryEntry(makeGalleryEntry(chinese, 3, 4));
  EXPECT_EQ(item.address, chinese);
  EXPECT_EQ(item.width, 3);
  EXPECT_EQ(item.height, 4);
  item = parseGalleryEntry("no numbers");
  EXPECT_EQ(item.address, "no numbers");
  EXPECT_EQ(item.height, 0);
  item = parseGalleryEntry("http://x/a.gif[12px|x9");
  EXPECT_EQ(item.width, 12);
  EXPECT_EQ(item.height, 0);
}

TEST(GalleryPage, EmptyListGivesHeadAndFoot) { EXPECT_EQ(galleryPageText({}), gbk(kHead) + "</body></html>"); }

TEST(GalleryPage, OneAndThreeEntriesExactly) {
  EXPECT_EQ(galleryPageText({"http://b/upload/a.jpg[200|100"}),
            gbk(kHead) + entryHtml(1, "http://b/upload/a.jpg", "152") + "</body></html>");

  const std::vector<GalleryEntry> three = {"http://b/upload/a.jpg[200|100", "http://b/upload/b.gif[76|76",
                                           "http://b/upload/c.jpg[100|300"};
  const std::string page = galleryPageText(three);
  EXPECT_EQ(page, gbk(kHead) + entryHtml(1, "http://b/upload/a.jpg", "152") +
                      entryHtml(2, "http://b/upload/b.gif", "76") +
                      entryHtml(3, "http://b/upload/c.jpg", "25.333333333333336") + "</body></html>");
}

TEST(GalleryPage, UnmeasuredImageGetsASquareThumbnail) {
  const std::string page = galleryPageText({"http://b/upload/x.jpg[0|0", "http://b/upload/y.jpg[50|0"});
  EXPECT_NE(page.find("href='" + gbk("#复制[") + "http://b/upload/x.jpg]'> <img border='0' width='76' height='76'"),
            std::string::npos);
  EXPECT_NE(page.find("y.jpg]'> <img border='0' width='76' height='76'"), std::string::npos);
  EXPECT_EQ(page.find("inf"), std::string::npos);
  EXPECT_EQ(page.find("nan"), std::string::npos);
}

TEST(GalleryPage, QuotesAndMarkupInAnAddressAreEscaped) {
  const std::string hostile = "http://b/upload/it's<b>\"&x.jpg";
  const std::string page = galleryPageText({hostile + "[10|10"});
  const std::string escaped = "http://b/upload/it&#39;s&lt;b&gt;&quot;&amp;x.jpg";
  EXPECT_EQ(page, gbk(kHead) + entryHtml(1, escaped, "76") + "</body></html>");
  // "<" is never the second byte of a GBK character: after a lead byte a
  // browser still reads it as markup, so it is escaped there too.
  const std::string page2 = galleryPageText({std::string("http://b/upload/\xB5\x3C.jpg[1|1")});
  EXPECT_NE(page2.find("http://b/upload/\xB5&lt;.jpg"), std::string::npos);
  EXPECT_EQ(page2.find("\xB5\x3C"), std::string::npos);
}

TEST(GalleryPage, InsertElement) {
  EXPECT_EQ(galleryInsertElement("http://b/upload/a.jpg"),
            "<p><img title=\"\" alt=\"\" src=http://b/upload/a.jpg onload=\"ResizeImage(this,520)\" /></p>");
  // An address from a hostile answer cannot leave the attribute.
  EXPECT_EQ(galleryInsertElement("http://b/x.jpg onerror=alert(1) \"><script>"),
            "<p><img title=\"\" alt=\"\" src=\"http://b/x.jpg onerror=alert(1) &quot;&gt;&lt;script&gt;\" "
            "onload=\"ResizeImage(this,520)\" /></p>");
  EXPECT_EQ(galleryInsertElement("http://b/a.jpg?x=1&y=2"),
            "<p><img title=\"\" alt=\"\" src=\"http://b/a.jpg?x=1&amp;y=2\" onload=\"ResizeImage(this,520)\" /></p>");
}

TEST(GalleryPage, WrittenAsGbkUnderTheProgramDirectory) {
  test::TempDir dir;
  const std::string saved = programDir();
  setProgramDir(dir.path());
  ::mkdir(dir.file("temp").c_str(), 0755);
  const std::vector<GalleryEntry> entries = {gbk("http://b/upload/图.jpg[200|100")};
  EXPECT_EQ(galleryPagePath(), dir.path() + "/temp/index.html");
  ASSERT_TRUE(writeGalleryPage(entries));
  EXPECT_EQ(test::readFile(galleryPagePath()), galleryPageText(entries));
  ASSERT_TRUE(writeGalleryPage({}));  // rewritten whole
  EXPECT_EQ(test::readFile(galleryPagePath()), galleryPageText({}));
  setProgramDir(dir.file("nowhere"));
  EXPECT_FALSE(writeGalleryPage(entries));
  setProgramDir(saved);
}

TEST(GalleryPage, ALinkPutInItsPlaceIsReplacedAndItsTargetLeftAlone) {
  test::TempDir dir;
  const std::string saved = programDir();
  setProgramDir(dir.path());
  ::mkdir(dir.file("temp").c_str(), 0700);
  test::writeFile(dir.file("outside.txt"), "not the gallery's");
  ASSERT_EQ(::symlink(dir.file("outside.txt").c_str(), galleryPagePath().c_str()), 0);
  ASSERT_TRUE(writeGalleryPage({}));
  EXPECT_EQ(test::readFile(dir.file("outside.txt")), "not the gallery's");
  struct stat st {};
  ASSERT_EQ(::lstat(galleryPagePath().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(test::readFile(galleryPagePath()), galleryPageText({}));
  setProgramDir(saved);
}

TEST(GalleryNavigation, ClassifiesTheViewerTargets) {
  const std::string page = "/p/temp/index.html";
  EXPECT_EQ(classifyGalleryNavigation("about:blank", page).kind, GalleryLink::Allow);
  EXPECT_EQ(classifyGalleryNavigation(page, page).kind, GalleryLink::Allow);
  EXPECT_EQ(classifyGalleryNavigation("file://" + page, page).kind, GalleryLink::Allow);
  EXPECT_EQ(classifyGalleryNavigation("http://evil.example/", page).kind, GalleryLink::Cancel);
  EXPECT_EQ(classifyGalleryNavigation("file:///etc/passwd", page).kind, GalleryLink::Cancel);
  EXPECT_EQ(classifyGalleryNavigation("http://x/[a]", page).kind, GalleryLink::Cancel);

  GalleryLink copy = classifyGalleryNavigation(gbk("#复制[http://b/upload/a.jpg]"), page);
  EXPECT_EQ(copy.kind, GalleryLink::Copy);
  EXPECT_EQ(copy.address, "http://b/upload/a.jpg");
  // The viewer may report the page's path in front of the fragment.
  copy = classifyGalleryNavigation("file://" + page + gbk("#复制[http://b/upload/图.jpg]"), page);
  EXPECT_EQ(copy.kind, GalleryLink::Copy);
  EXPECT_EQ(copy.address, gbk("http://b/upload/图.jpg"));

  GalleryLink insert = classifyGalleryNavigation(gbk("#插入[http://b/upload/a.jpg]"), page);
  EXPECT_EQ(insert.kind, GalleryLink::Insert);
  EXPECT_EQ(insert.address, "http://b/upload/a.jpg");
  // An address holding "]" is cut there.
  insert = classifyGalleryNavigation(gbk("#插入[http://b/a]b.jpg]"), page);
  EXPECT_EQ(insert.address, "http://b/a");
}

TEST(RecordUpload, MeasuresTheFileAndAppends) {
  test::TempDir dir;
  test::writeFile(dir.file("a.jpg"), test::makeJpeg(64, 48));
  test::writeFile(dir.file("b.bin"), "garbage");
  std::vector<GalleryEntry> gallery = {"http://b/upload/earlier.jpg[1|2"};
  RecordUpload(gallery, "http://b/upload/a.jpg", dir.file("a.jpg"));
  RecordUpload(gallery, "http://b/upload/b.jpg", dir.file("b.bin"));
  RecordUpload(gallery, "http://b/upload/c.jpg", dir.file("missing.jpg"));
  EXPECT_EQ(gallery, (std::vector<GalleryEntry>{"http://b/upload/earlier.jpg[1|2", "http://b/upload/a.jpg[64|48",
                                                "http://b/upload/b.jpg[0|0", "http://b/upload/c.jpg[0|0"}));
}

}  // namespace
}  // namespace inkpost
