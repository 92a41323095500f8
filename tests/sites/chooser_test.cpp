#include "sites/chooserentry.h"

#include <gtest/gtest.h>

using namespace inkpost;

namespace {

SiteRecord record(std::string name, std::string url, std::string admin, std::string pass, bool alias, bool naming) {
  SiteRecord r;
  r.id = 3;
  r.webname = std::move(name);
  r.weburl = std::move(url);
  r.admin = std::move(admin);
  r.pass = std::move(pass);
  r.ikname = alias;
  r.imgname = naming;
  r.bdname = "never";
  r.bdpass = "shown";
  return r;
}

}  // namespace

TEST(SiteChooserEntry, JoinsTheFieldsBehindFiftyBlanksAndATab) {
  SiteRecord r = record("Blog", "http://b.example/", "root", "pw", true, false);
  EXPECT_EQ(SiteChooserEntry(r), "Blog" + std::string(50, ' ') + "\thttp://b.example/[root|pw]1*0");
  ChooserValues v = ParseChooserEntry(SiteChooserEntry(r));
  EXPECT_EQ(v, (ChooserValues{"http://b.example/", "root", "pw", "1", "0"}));
  EXPECT_TRUE(v.autoAlias());
  EXPECT_FALSE(v.autoName());
  EXPECT_EQ(chooserValues(r), v);
}

TEST(SiteChooserEntry, EmptyFieldsAndMissingMarkers) {
  EXPECT_EQ(ParseChooserEntry(SiteChooserEntry(record("", "", "", "", false, true))),
            (ChooserValues{"", "", "", "0", "1"}));
  EXPECT_EQ(ParseChooserEntry(""), ChooserValues{});
  EXPECT_EQ(ParseChooserEntry("name only"), ChooserValues{});
}

// A marker inside a value cuts the text back wrongly (the first marker wins);
// the kept record gives every value back as stored.
TEST(SiteChooserEntry, MarkerCharactersInEveryFieldSurviveOnlyThroughTheRecord) {
  const std::string markers = "[|]*\t";
  SiteRecord r = record("n" + markers, "http://u" + markers + "/", "a" + markers, "p" + markers, true, true);
  ChooserValues parsed = ParseChooserEntry(SiteChooserEntry(r));
  EXPECT_NE(parsed.weburl, r.weburl);
  EXPECT_NE(parsed.pass, r.pass);
  ChooserValues kept = chooserValues(r);
  EXPECT_EQ(kept.weburl, r.weburl);
  EXPECT_EQ(kept.admin, r.admin);
  EXPECT_EQ(kept.pass, r.pass);
  EXPECT_EQ(kept.ikname, "1");
  EXPECT_EQ(kept.imgname, "1");
}

TEST(SiteChooserEntry, DoubleByteCharactersWhoseSecondByteLooksLikeAMarker) {
  // GBK characters 0x81 0x5B, 0x81 0x7C, 0x81 0x5D, 0x81 0x2A is not GBK.
  const std::string open = "\x81\x5b", bar = "\x81\x7c", close = "\x81\x5d";
  SiteRecord r = record("\xb2\xe2" + open, "http://x/" + open, bar + close, close + open + bar, false, true);
  EXPECT_EQ(ParseChooserEntry(SiteChooserEntry(r)), chooserValues(r));
}
