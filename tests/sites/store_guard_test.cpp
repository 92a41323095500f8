// The store against a missing, damaged or locked file, and the passwords in
// the desktop's secret service (or, without one, in the keyed file).
#include "net/encoding.h"
#include "sites/secrets.h"
#include "sites/sitedb.h"
#include "sites/sitestore.h"
#include "sites/statements.h"

#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace inkpost::test {
namespace {

using Clock = std::chrono::steady_clock;

bool startsWith(const std::string& text, const char* utf8) { return text.rfind(fromUtf8(utf8), 0) == 0; }

TEST(SiteStoreGuard, MissingFileIsCreatedEmptyAndKeyedWithANotice) {
  // This reverses the earlier rule that a missing file is never created: a
  // user who removed it has no other way to get a new one.
  TempDir dir;
  const std::string path = dir.file("data.mdb");
  ASSERT_EQ(OpenSiteStore(path), SiteStoreOpen::Created);
  EXPECT_TRUE(siteStoreUsable(SiteStoreOpen::Created));
  EXPECT_TRUE(fileExists(path));
  EXPECT_TRUE(siteStoreIsOpen());
  EXPECT_FALSE(siteStoreIsReadOnly());
  EXPECT_TRUE(listSites().empty());
  EXPECT_TRUE(startsWith(siteStoreOpenMessage(SiteStoreOpen::Created), "没有找到网站数据库，已新建一个空的："));
  EXPECT_NE(siteStoreOpenMessage(SiteStoreOpen::Created).find(fromUtf8(path)), std::string::npos);
  EXPECT_TRUE(ExecuteSiteStatement(sql::insertSite(site("a", "http://a.test/"))));
  CloseSiteStore();
  // Keyed with the store's key: it opens again, and not without the key.
  EXPECT_EQ(OpenSiteStore(path), SiteStoreOpen::Ok);
  EXPECT_EQ(listSites().size(), 1u);
  CloseSiteStore();
  EXPECT_FALSE(rawExec(path, "", {"select count(*) from web"}));
}

TEST(SiteStoreGuard, DamagedFileIsNamedAndOpenedReadOnly) {
  TempDir dir;
  const std::string path = dir.file("data.mdb");
  ASSERT_TRUE(createSiteDatabase(path));
  std::vector<std::string> rows{"begin"};
  for (int i = 0; i < 400; ++i)
    rows.push_back(sql::insertSite(
        site("site" + std::to_string(i) + std::string(200, 'x'), "http://s" + std::to_string(i) + ".test/")));
  rows.push_back("commit");
  ASSERT_TRUE(rawExec(path, kSiteStorePassword, rows));
  std::string bytes = readFile(path);
  ASSERT_GT(bytes.size(), 30u * 4096);
  for (size_t i = 0; i < 64; ++i) bytes[20 * 4096 + 200 + i] ^= 0x5a;  // one page in the middle
  writeFile(path, bytes);

  ASSERT_EQ(OpenSiteStore(path), SiteStoreOpen::Damaged);
  EXPECT_TRUE(siteStoreUsable(SiteStoreOpen::Damaged));
  EXPECT_TRUE(siteStoreIsReadOnly());
  const std::string message = siteStoreOpenMessage(SiteStoreOpen::Damaged);
  EXPECT_TRUE(startsWith(message, "网站数据库已损坏："));
  EXPECT_NE(message.find(fromUtf8(path)), std::string::npos);
  // Nothing writes into it.
  EXPECT_FALSE(saveNewSite(site("new", "http://new.test/")));
  EXPECT_TRUE(startsWith(siteStoreWriteProblem(), "网站数据库已损坏，只能读取，不能添加、修改或删除："));
  EXPECT_FALSE(ExecuteSiteStatement(sql::deleteSites({1})));
  EXPECT_FALSE(StoreSiteFlag(SiteFlag::AutoAlias, true, 1));
  CloseSiteStore();
  EXPECT_EQ(readFile(path), bytes);
}

// Another program holds the file: an exclusive transaction on a second
// connection, kept for `holdMs`.
std::thread holdLocked(const std::string& path, int holdMs, std::atomic<bool>& locked) {
  return std::thread([path, holdMs, &locked] {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_key(db, kSiteStorePassword, static_cast<int>(std::strlen(kSiteStorePassword)));
    sqlite3_exec(db, "begin exclusive; insert into web(webname) values('x')", nullptr, nullptr, nullptr);
    locked = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
  });
}

TEST(SiteStoreGuard, FileLockedForTwoSecondsOpensAfterWaiting) {
  TempDir dir;
  const std::string path = dir.file("data.mdb");
  ASSERT_TRUE(createSiteDatabase(path));
  std::atomic<bool> locked{false};
  std::thread holder = holdLocked(path, 2000, locked);
  while (!locked) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto start = Clock::now();
  EXPECT_EQ(OpenSiteStore(path), SiteStoreOpen::Ok);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_EQ(listSites().size(), 1u);
  CloseSiteStore();
  holder.join();
}

TEST(SiteStoreGuard, FileLockedPastTheWaitIsReportedAsBusy) {
  TempDir dir;
  const std::string path = dir.file("data.mdb");
  ASSERT_TRUE(createSiteDatabase(path));
  std::atomic<bool> locked{false};
  std::thread holder = holdLocked(path, kSiteStoreBusyMs + 1500, locked);
  while (!locked) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(OpenSiteStore(path), SiteStoreOpen::Busy);
  EXPECT_FALSE(siteStoreIsOpen());
  EXPECT_FALSE(siteStoreUsable(SiteStoreOpen::Busy));
  EXPECT_TRUE(startsWith(siteStoreOpenMessage(SiteStoreOpen::Busy), "数据库被其他程序占用"));
  holder.join();
}

// ---- Passwords ---------------------------------------------------------------

// Points libsecret at a session bus that does not exist: no secret service.
class NoSecretService : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("INKPOST_TEST_KEYRING")) GTEST_SKIP() << "a secret service runs in this run";
    saved_ = std::getenv("INKPOST_SECRET_SERVICE") ? std::getenv("INKPOST_SECRET_SERVICE") : "";
    unsetenv("INKPOST_SECRET_SERVICE");
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + runtime_.file("no-bus")).c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!saved_.empty()) setenv("INKPOST_SECRET_SERVICE", saved_.c_str(), 1);
  }
  TempDir runtime_;
  std::string saved_;
};

TEST_F(NoSecretService, PasswordsStayInTheKeyedFileAndThatIsToldOnce) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  EXPECT_FALSE(storeSecret("x", "y").has_value());
  SiteRecord a = site("a", "http://a.test/", "admin", "pw-a");
  a.bdpass = "bd-a";
  // A save the file refuses says why.
  ASSERT_TRUE(ExecuteSiteStatement("PRAGMA query_only=1"));
  EXPECT_FALSE(saveNewSite(a));
  EXPECT_NE(siteStoreWriteProblem().find(fromUtf8("（只读）")), std::string::npos) << siteStoreWriteProblem();
  ASSERT_TRUE(ExecuteSiteStatement("PRAGMA query_only=0"));
  ASSERT_TRUE(saveNewSite(a));
  const int id = listSites().at(0).id;
  EXPECT_EQ(rawPasswords(store.path(), id), std::make_pair(std::string("pw-a"), std::string("bd-a")));
  EXPECT_EQ(takeSecretNotice(), fromUtf8("没有运行中的系统密钥环，密码已保存在本机的网站数据库中"));
  ASSERT_TRUE(saveSite(site("a", "http://a.test/", "admin", "pw-b"), id));
  EXPECT_EQ(takeSecretNotice(), "");  // once is enough
  EXPECT_EQ(listSites().at(0).pass, "pw-b");
}

// The round trip needs a secret service: `ctest -R sites_keyring` runs these
// on a private session bus with an unlocked keyring (tests/sites/with-keyring.sh).
class SecretService : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("INKPOST_TEST_KEYRING")) GTEST_SKIP() << "runs on a private keyring (sites_keyring)";
    takeSecretNotice();
  }
};

TEST_F(SecretService, PasswordsRoundTripThroughTheKeyringAndTheFileHoldsReferences) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  SiteRecord a = site("博客", "http://a.test/", "admin", fromUtf8("密码&'x"));
  a.bdname = "bd";
  a.bdpass = "bd-pass";
  ASSERT_TRUE(saveNewSite(a));
  const SiteRecord back = listSites().at(0);
  EXPECT_EQ(back.pass, a.pass);
  EXPECT_EQ(back.bdpass, "bd-pass");
  EXPECT_EQ(FindSite(sql::byId(back.id))->pass, a.pass);
  const auto [rawPass, rawBd] = rawPasswords(store.path(), back.id);
  EXPECT_TRUE(isSecretReference(rawPass)) << rawPass;
  EXPECT_TRUE(isSecretReference(rawBd));
  EXPECT_EQ(rawPass.find("密码"), std::string::npos);
  EXPECT_EQ(takeSecretNotice(), "");

  // A new password replaces the old secret, which is removed.
  ASSERT_TRUE(saveSite(site("博客", "http://a.test/", "admin", "new"), back.id));
  EXPECT_EQ(listSites().at(0).pass, "new");
  EXPECT_FALSE(lookupSecret(rawPass).has_value());
  const std::string newRef = rawPasswords(store.path(), back.id).first;
  EXPECT_EQ(lookupSecret(newRef), std::optional<std::string>("new"));

  // A row stored before the change (a plain password) still reads.
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("old", "http://old.test/", "admin", "plain"))));
  EXPECT_EQ(listSites().at(1).pass, "plain");

  ASSERT_TRUE(removeSites({back.id}));
  EXPECT_FALSE(lookupSecret(newRef).has_value());
}

TEST_F(SecretService, PasswordsLeftInTheFileMoveIntoTheKeyring) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  // Rows saved before a keyring ran: plain passwords in the file.
  SiteRecord a = site("a", "http://a.test/", "admin", "pw-a");
  a.bdpass = "bd-a";
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(a)));
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("b", "http://b.test/", "admin", "pw-b"))));
  EXPECT_EQ(movePasswordsIntoKeyring(), 3);
  EXPECT_EQ(takeSecretNotice(), fromUtf8("已把网站数据库中的3个密码移入系统密钥环"));
  const std::vector<SiteRecord> rows = listSites();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].pass, "pw-a");
  EXPECT_EQ(rows[0].bdpass, "bd-a");
  EXPECT_EQ(rows[1].pass, "pw-b");
  for (const SiteRecord& r : rows) {
    const auto [pass, bd] = rawPasswords(store.path(), r.id);
    EXPECT_TRUE(isSecretReference(pass)) << pass;
    EXPECT_TRUE(bd.empty() || isSecretReference(bd)) << bd;
  }
  EXPECT_EQ(movePasswordsIntoKeyring(), 0);  // nothing left to move
}

// ctest sites_keyring_locked: the same private keyring, locked by the test.
class LockedKeyring : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("INKPOST_TEST_KEYRING")) GTEST_SKIP() << "runs on a private keyring (sites_keyring_locked)";
    takeSecretNotice();
  }
};

TEST_F(LockedKeyring, IsToldApartFromAMissingOneAndNothingPromptsThePerson) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  ASSERT_EQ(keyringState(), Keyring::Ready);
  SiteRecord kept = site("kept", "http://kept.test/", "admin", "pw-kept");
  ASSERT_TRUE(saveNewSite(kept));
  const int keptId = listSites().at(0).id;

  GError* error = nullptr;
  ::SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
  ASSERT_NE(service, nullptr);
  SecretCollection* collection =
      secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
  ASSERT_NE(collection, nullptr);
  GList* objects = g_list_append(nullptr, collection);
  ASSERT_GE(secret_service_lock_sync(service, objects, nullptr, nullptr, &error), 1);
  g_list_free(objects);
  g_object_unref(collection);
  g_object_unref(service);
  EXPECT_EQ(keyringState(), Keyring::Locked);

  // A new password goes to the file, under a notice that says why.
  ASSERT_TRUE(saveNewSite(site("a", "http://a.test/", "admin", "pw-a")));
  const std::vector<SiteRecord> rows = listSites();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rawPasswords(store.path(), rows[1].id).first, "pw-a");
  EXPECT_EQ(movePasswordsIntoKeyring(), 0);  // not while it is locked
  const std::string notice = takeSecretNotice();
  EXPECT_NE(notice.find(fromUtf8("系统密钥环已锁定，密码暂时保存在本机的网站数据库中")), std::string::npos) << notice;
  EXPECT_EQ(notice.find(fromUtf8("没有运行中的系统密钥环")), std::string::npos) << notice;
  EXPECT_EQ(rows[1].pass, "pw-a");
}

// ctest sites_keyring_stalled: a secret service that holds its name on the
// bus and never answers (tests/sites/stalled_keyring.cpp).
class StalledKeyring : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("INKPOST_TEST_STALLED_KEYRING")) GTEST_SKIP() << "runs beside a stalled secret service";
    takeSecretNotice();
  }
};

TEST_F(StalledKeyring, PasswordsAreUnavailableAndATimeOutNeverPutsOneIntoTheFile) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  // Two rows saved while the keyring worked: the file holds references.
  const std::string refA = std::string(kSecretReferencePrefix) + "ref-a";
  const std::string refB = std::string(kSecretReferencePrefix) + "ref-b";
  SiteRecord a = site("a", "http://a.test/", "admin", refA);
  a.bdpass = std::string(kSecretReferencePrefix) + "ref-a-bd";
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(a)));
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("b", "http://b.test/", "admin", refB))));

  const std::vector<SiteRecord> rows = listSites();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].pass, "");
  EXPECT_EQ(rows[0].bdpass, "");
  EXPECT_EQ(rows[1].pass, "");
  EXPECT_EQ(takeSecretNotice(), fromUtf8("系统密钥环没有响应，已保存的密码暂时无法读取；密钥环恢复后请重新启动本程序"));
  EXPECT_EQ(keyringState(), Keyring::NotAnswering);

  // A typed password is not saved, neither in the keyring nor in the file.
  SiteRecord edited = rows[0];
  edited.pass = "typed";
  EXPECT_FALSE(saveSite(edited, edited.id));
  EXPECT_EQ(rawPasswords(store.path(), edited.id).first, refA);
  EXPECT_NE(takeSecretNotice().find(fromUtf8("系统密钥环没有响应，网站没有保存")), std::string::npos);
  EXPECT_FALSE(saveNewSite(site("c", "http://c.test/", "admin", "pw-c")));
  EXPECT_EQ(saveNewSites({site("d", "http://d.test/", "admin", "pw-d")}), std::vector<bool>{false}) << "nor an import";
  EXPECT_EQ(listSites().size(), 2u);
  // The dialog's reason for the failure; then it is not told twice.
  EXPECT_EQ(siteStoreWriteProblem(),
            fromUtf8("系统密钥环没有响应，网站没有保存（密码不会因此写进数据库文件），请稍后再试"));
  EXPECT_EQ(takeSecretNotice(), "");

  // Saved with the unreadable passwords left empty (another field changed),
  // the row keeps its references.
  edited = rows[0];
  edited.admin = "root";
  ASSERT_TRUE(saveSite(edited, edited.id));
  EXPECT_EQ(rawPasswords(store.path(), edited.id), std::make_pair(refA, a.bdpass));
  EXPECT_EQ(FindSite(sql::byId(edited.id))->admin, "root");
  EXPECT_EQ(movePasswordsIntoKeyring(), 0);
}

}  // namespace
}  // namespace inkpost::test
