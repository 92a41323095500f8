// The publish record: kept across reopening, safe from many threads, readable
// past damage, bounded, and filtered by site and outcome.
#include "blog/publishrecord.h"
#include "net/encoding.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <thread>

namespace inkpost::test {
namespace {

std::string g(const char* utf8) { return fromUtf8(utf8); }

PublishAttempt attempt(const std::string& title, const std::string& address = "http://a.test/",
                       PublishOutcome outcome = PublishOutcome::Succeeded) {
  PublishAttempt a;
  a.timeMs = 1700000000000;
  a.siteId = 7;
  a.siteName = g("沙盒博客");
  a.siteAddress = address;
  a.title = title;
  a.step = outcome == PublishOutcome::Succeeded ? PublishStep::Done : PublishStep::Post;
  a.outcome = outcome;
  a.reason = outcome == PublishOutcome::Succeeded ? "" : g("无法连接到博客");
  return a;
}

std::vector<std::string> titles(const PublishRecordRead& r) {
  std::vector<std::string> out;
  for (const PublishAttempt& a : r.attempts) out.push_back(a.title);
  return out;
}

TEST(PublishRecord, AnyTextSurvivesItsLineAndTheRecordSurvivesAReopen) {
  PublishAttempt odd = attempt(std::string("tab\there\nline\r\\ \"q\" \x01\x7f\xff ") + g("表") + "&#128512;");
  odd.siteName = "\x95\x5c";  // a GBK character whose second byte is a backslash
  odd.reason = std::string("ends in a backslash \\");
  odd.step = PublishStep::Images;
  odd.outcome = PublishOutcome::Cancelled;
  const std::string line = publishRecordLine(odd);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(parsePublishRecordLine(line), odd);

  TempDir dir;
  const std::string path = dir.file("publish-record.txt");
  {
    PublishRecord record(path);
    EXPECT_TRUE(record.read().attempts.empty());  // no file yet: nothing, and no error
    EXPECT_EQ(record.read().error, "");
    ASSERT_TRUE(record.append(attempt("first")));
    ASSERT_TRUE(record.append(odd));
    PublishAttempt now = attempt("third");
    now.timeMs = 0;
    ASSERT_TRUE(record.append(now));
  }
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  const PublishRecordRead back = PublishRecord(path).read();  // as after a restart
  ASSERT_EQ(back.attempts.size(), 3u);
  EXPECT_EQ(titles(back), (std::vector<std::string>{"third", odd.title, "first"}));
  EXPECT_EQ(back.attempts[1], odd);
  EXPECT_GT(back.attempts[0].timeMs, 1700000000000);  // stamped when appended
  EXPECT_EQ(back.damaged, 0u);
}

TEST(PublishRecord, AppendsFromManyThreadsAtOnceLoseNothing) {
  TempDir dir;
  const std::string path = dir.file("publish-record.txt");
  constexpr int kThreads = 8, kEach = 250;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      PublishRecord record(path);  // an object per thread, one file
      for (int i = 0; i < kEach; ++i)
        record.append(attempt("t" + std::to_string(t) + "-" + std::to_string(i) + std::string(300, 'x')));
    });
  for (std::thread& t : threads) t.join();
  const PublishRecordRead r = PublishRecord(path).read();
  EXPECT_EQ(r.damaged, 0u);
  const std::vector<std::string> all = titles(r);
  EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), size_t{kThreads * kEach});
}

TEST(PublishRecord, ADamagedFileKeepsItsReadableRecordsAndTakesNewOnes) {
  TempDir dir;
  const std::string path = dir.file("publish-record.txt");
  PublishRecord record(path);
  for (const char* t : {"one", "two", "three", "four"}) ASSERT_TRUE(record.append(attempt(t)));
  std::string bytes = readFile(path);
  const size_t second = bytes.find('\n') + 1;
  bytes[bytes.find("two", second)] = 'T';  // a flipped byte: the check fails
  bytes.insert(0, std::string("garbage\t\x00\xff\n", 11));
  bytes += "1\t17000\tnot a number\tpost\tok\ta\tb\tc\td\t00000000\n";
  bytes += publishRecordLine(attempt("five")).substr(0, 30);  // cut short, no line end
  writeFile(path, bytes);

  PublishRecordRead r = record.read();
  EXPECT_EQ(titles(r), (std::vector<std::string>{"four", "three", "one"}));
  EXPECT_EQ(r.damaged, 4u);
  // The next record starts on a line of its own, not after the cut one.
  ASSERT_TRUE(record.append(attempt("six")));
  r = record.read();
  EXPECT_EQ(titles(r), (std::vector<std::string>{"six", "four", "three", "one"}));
  EXPECT_EQ(r.damaged, 4u);
}

TEST(PublishRecord, FiltersBySiteAndOutcome) {
  TempDir dir;
  PublishRecord record(dir.file("publish-record.txt"));
  ASSERT_TRUE(record.append(attempt("a1", "http://a.test/")));
  ASSERT_TRUE(record.append(attempt("b1", "http://b.test/", PublishOutcome::Failed)));
  ASSERT_TRUE(record.append(attempt("a2", "http://A.Test/", PublishOutcome::Unclear)));
  ASSERT_TRUE(record.append(attempt("a3", "http://a.test/sub/", PublishOutcome::Failed)));
  ASSERT_TRUE(record.append(attempt("a4", "http://a.test/", PublishOutcome::Failed)));

  EXPECT_EQ(titles(record.read({"http://a.test/", std::nullopt})), (std::vector<std::string>{"a4", "a2", "a1"}));
  EXPECT_EQ(titles(record.read({std::nullopt, PublishOutcome::Failed})), (std::vector<std::string>{"a4", "a3", "b1"}));
  EXPECT_EQ(titles(record.read({"HTTP://A.TEST/", PublishOutcome::Failed})), (std::vector<std::string>{"a4"}));
  EXPECT_TRUE(record.read({std::nullopt, PublishOutcome::Cancelled}).attempts.empty());
}

TEST(PublishRecord, KeepsTheNewestAndCutsLongTexts) {
  TempDir dir;
  const std::string path = dir.file("publish-record.txt");
  PublishRecord record(path, 100);
  for (int i = 0; i < 110; ++i) ASSERT_TRUE(record.append(attempt(std::to_string(i))));
  // A tenth over the limit: the oldest eleven go at the next append.
  EXPECT_EQ(record.read().attempts.size(), 110u);
  ASSERT_TRUE(record.append(attempt("110")));
  const PublishRecordRead r = record.read();
  ASSERT_EQ(r.attempts.size(), 100u);
  EXPECT_EQ(r.attempts.front().title, "110");
  EXPECT_EQ(r.attempts.back().title, "11");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  // Texts past their caps are cut on a character boundary.
  PublishAttempt longOne = attempt("x" + std::string(kRecordTitleCap, '\xb1'));
  longOne.reason = std::string(kRecordReasonCap * 2, 'r');
  ASSERT_TRUE(record.append(longOne));
  const PublishAttempt back = record.read().attempts.front();
  EXPECT_EQ(back.title.size(), kRecordTitleCap - 1);  // "x" and 499 whole characters
  EXPECT_EQ(back.reason.size(), kRecordReasonCap);
}

TEST(PublishRecord, AFileThatCannotBeUsedSaysWhy) {
  TempDir dir;
  const std::string folder = dir.file("publish-record.txt");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  PublishRecord record(folder);
  std::string error;
  EXPECT_FALSE(record.append(attempt("x"), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(record.read().error.empty());

  const std::string target = dir.file("elsewhere");
  writeFile(target, "keep");
  const std::string link = dir.file("link.txt");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  EXPECT_FALSE(PublishRecord(link).append(attempt("x"), &error));
  EXPECT_EQ(readFile(target), "keep");
}

}  // namespace
}  // namespace inkpost::test
