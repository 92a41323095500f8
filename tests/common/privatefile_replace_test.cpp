#include "common/privatefile.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace inkpost::test {
namespace {

int entries(const std::string& folder) {
  int n = 0;
  DIR* d = opendir(folder.c_str());
  while (dirent* e = d ? readdir(d) : nullptr) n += e->d_name[0] != '.';
  if (d) closedir(d);
  return n;
}

TEST(ReplaceFile, PutsTheBytesInPlaceWithoutFollowingWhatStoodThere) {
  TempDir dir;
  const std::string path = dir.file("index.html");
  ASSERT_TRUE(replacePrivateFile(path, "first"));
  EXPECT_EQ(readFile(path), "first");
  ASSERT_TRUE(replacePrivateFile(path, std::string("se\0cond", 7)));
  EXPECT_EQ(readFile(path), std::string("se\0cond", 7));

  // A link to a file elsewhere, and a second name of a file (hard link):
  // the other file keeps its bytes, the name gets a private file of its own.
  writeFile(dir.file("victim"), "keep");
  ::unlink(path.c_str());
  ASSERT_EQ(::symlink(dir.file("victim").c_str(), path.c_str()), 0);
  ASSERT_TRUE(replacePrivateFile(path, "page"));
  ASSERT_EQ(::link(dir.file("victim").c_str(), dir.file("hard").c_str()), 0);
  ASSERT_TRUE(replacePrivateFile(dir.file("hard"), "page"));
  EXPECT_EQ(readFile(dir.file("victim")), "keep");
  struct stat st {};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(readFile(path), "page");

  // A link to a folder that does not exist yet is not followed either.
  ::unlink(path.c_str());
  ASSERT_EQ(::symlink(dir.file("later").c_str(), path.c_str()), 0);
  ASSERT_TRUE(replacePrivateFile(path, "x"));
  EXPECT_FALSE(fileExists(dir.file("later")));

  // Failure leaves nothing behind.
  ::mkdir(dir.file("sub").c_str(), 0700);
  EXPECT_FALSE(replacePrivateFile(dir.file("sub"), "x"));  // a folder is no file
  EXPECT_FALSE(replacePrivateFile(dir.file("missing/x"), "x"));
  EXPECT_EQ(entries(dir.file("sub")), 0);
  EXPECT_EQ(entries(dir.path()), 4);  // index.html, victim, hard, sub
}

}  // namespace
}  // namespace inkpost::test
