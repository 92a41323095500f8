// The program as a user gets it: installed under a prefix (into a temporary
// DESTDIR), started with an empty home; a portable copy that writes nowhere
// else; the menu entry, the metadata and the Debian package.
#include "common/programdir.h"
#include "sites/sitestore.h"
#include "support/program.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

using namespace inkpost;
using namespace inkpost::test;

namespace {

constexpr const char* kTitle = "Inkpost客户端";
constexpr const char* kAppId = "org.example.InkpostClient";

bool waitFor(const std::function<bool()>& ok, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!ok()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

// The page the editor shows once it has loaded (its title is set).
std::string loadedEditorUrl(const StartedProgram& p) {
  for (const auto& [url, title] : p.pages())
    if (title == "inkpost editor") return url;
  return {};
}

// The window shows and the editor page loads; fails the test otherwise.
void expectWindowAndEditor(StartedProgram& p, const std::string& editorDir) {
  EXPECT_TRUE(waitFor([] { return StartedProgram::viewableWindow(kTitle) != 0; }, 90000)) << "no window; stderr:\n"
                                                                                          << p.errorOutput();
  std::string url;
  EXPECT_TRUE(waitFor([&] { return !(url = loadedEditorUrl(p)).empty(); }, 90000))
      << "the editor page did not load; stderr:\n"
      << p.errorOutput();
  EXPECT_EQ(url, "file://" + editorDir + "/index.html");
  EXPECT_FALSE(p.waitExit(0)) << p.errorOutput();
}

bool isSqliteHeader(const std::string& path) { return readFile(path).rfind("SQLite format 3", 0) == 0; }

// One installation into a temporary DESTDIR for the whole suite.
class Installed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root = new TempDir;
    int status = -1;
    const std::string log = shellOutput(
        "DESTDIR='" + root->path() + "' cmake --install '" INKPOST_BINARY_DIR "' --prefix /usr 2>&1", &status);
    ASSERT_EQ(status, 0) << log;
  }
  static void TearDownTestSuite() {
    delete root;
    root = nullptr;
  }
  static std::string usr(const std::string& rel) { return root->path() + "/usr/" + rel; }
  static TempDir* root;
};
TempDir* Installed::root = nullptr;

TEST(ProgramFolders, PortableOnlyWhenTheFolderHoldsDataMdb) {
  TempDir d;
  const std::string bin = d.file("usr/bin");
  ASSERT_EQ(system(("mkdir -p '" + bin + "'").c_str()), 0);

  ProgramFolders f = decideProgramFolders(bin + "/", nullptr, "/home/ann");
  EXPECT_FALSE(f.portable);
  EXPECT_EQ(f.data, "/home/ann/.local/share/inkpost-client");
  EXPECT_EQ(f.resources, d.file("usr/share/inkpost-client"));

  f = decideProgramFolders(bin, "/xdg/data/", "/home/ann");
  EXPECT_EQ(f.data, "/xdg/data/inkpost-client");
  f = decideProgramFolders(bin, "relative/data", "/home/ann");  // ignored, as the XDG rules say
  EXPECT_EQ(f.data, "/home/ann/.local/share/inkpost-client");
  f = decideProgramFolders(bin, "", "/home/ann");
  EXPECT_EQ(f.data, "/home/ann/.local/share/inkpost-client");

  // The build folder without data.mdb: the data goes to the user's folder,
  // the editor is still the one beside the executable.
  ASSERT_EQ(system(("mkdir -p '" + bin + "/editor' && touch '" + bin + "/editor/index.html'").c_str()), 0);
  f = decideProgramFolders(bin, nullptr, "/home/ann");
  EXPECT_FALSE(f.portable);
  EXPECT_EQ(f.resources, bin);

  writeFile(bin + "/data.mdb", "");
  f = decideProgramFolders(bin, "/xdg/data", "/home/ann");
  EXPECT_TRUE(f.portable);
  EXPECT_EQ(f.data, bin);
  EXPECT_EQ(f.resources, bin);
}

TEST_F(Installed, FirstStartMakesAPrivateDataFolderInTheEmptyHome) {
  TempDir home;
  TempDir tmp;
  StartedProgram p(usr("bin/inkpost-client"), {{"HOME", home.path()}, {"TMPDIR", tmp.path()}});
  expectWindowAndEditor(p, usr("share/inkpost-client/editor"));

  const std::string data = home.file(".local/share/inkpost-client");
  EXPECT_EQ(modeOf(data), 0700);
  EXPECT_EQ(modeOf(data + "/temp"), 0700);
  EXPECT_EQ(modeOf(data + "/data.mdb"), 0600);
  EXPECT_FALSE(isSqliteHeader(data + "/data.mdb"));  // keyed, not plain SQLite
  EXPECT_EQ(OpenSiteStore(data + "/data.mdb"), SiteStoreOpen::Ok);
  EXPECT_TRUE(listSites().empty());
  CloseSiteStore();
  // Files the program makes later are private too (the lock is one).
  EXPECT_EQ(modeOf(data + "/inkpost-client.lock"), 0600);
  // Nothing was written beside the installed program.
  EXPECT_FALSE(fileExists(usr("bin/data.mdb")));
  EXPECT_FALSE(fileExists(usr("bin/temp")));
  EXPECT_FALSE(fileExists(usr("share/inkpost-client/temp")));
}

TEST_F(Installed, PortableCopyWritesNothingOutsideItsFolderAndTightensModes) {
  // A portable copy: the installed executable, the editor beside it, a
  // data.mdb and a temp/ made with loose modes.
  TempDir dir;
  const std::string exe = dir.file("inkpost-client");
  ASSERT_EQ(system(("cp '" + usr("bin/inkpost-client") + "' '" + exe + "' && cp -r '" +
                    usr("share/inkpost-client/editor") + "' '" + dir.file("editor") + "'")
                       .c_str()),
            0);
  ASSERT_TRUE(createSiteDatabase(dir.file("data.mdb")));
  ASSERT_EQ(mkdir(dir.file("temp").c_str(), 0755), 0);
  writeFile(dir.file("temp/autosave0"), "slot");
  chmod(dir.file("data.mdb").c_str(), 0644);
  chmod(dir.file("temp/autosave0").c_str(), 0644);
  chmod(dir.file("temp").c_str(), 0755);
  const std::string mdb = readFile(dir.file("data.mdb"));

  TempDir home;
  TempDir tmp;
  TempDir runtime;  // the session's volatile folder, as a desktop session has one
  chmod(runtime.path().c_str(), 0700);
  {
    StartedProgram p(exe, {{"HOME", home.path()}, {"TMPDIR", tmp.path()}, {"XDG_RUNTIME_DIR", runtime.path()}});
    expectWindowAndEditor(p, dir.file("editor"));
    EXPECT_EQ(modeOf(dir.file("data.mdb")), 0600);
    EXPECT_EQ(modeOf(dir.file("temp")), 0700);
    EXPECT_EQ(modeOf(dir.file("temp/autosave0")), 0600);
    EXPECT_EQ(modeOf(dir.file("editor")), 0755);  // read-only parts are left alone
  }
  EXPECT_EQ(treeOf(home.path()), std::vector<std::string>{});
  EXPECT_EQ(treeOf(tmp.path()), std::vector<std::string>{});
  EXPECT_EQ(readFile(dir.file("data.mdb")), mdb);
}

TEST_F(Installed, MenuEntryMetainfoAndIconsAreValid) {
  const std::string desktop = usr(std::string("share/applications/") + kAppId + ".desktop");
  const std::string metainfo = usr(std::string("share/metainfo/") + kAppId + ".metainfo.xml");
  ASSERT_TRUE(fileExists(desktop));
  ASSERT_TRUE(fileExists(metainfo));
  const std::string entry = readFile(desktop);
  EXPECT_NE(entry.find("\nName=Inkpost客户端\n"), std::string::npos);
  EXPECT_NE(entry.find("\nCategories=Network;Office;\n"), std::string::npos);
  EXPECT_NE(entry.find("\nExec=inkpost-client\n"), std::string::npos);
  EXPECT_TRUE(fileExists(usr(std::string("share/icons/hicolor/scalable/apps/") + kAppId + ".svg")));
  for (int size : {48, 256}) {
    const std::string png = readFile(
        usr("share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/" + kAppId + ".png"));
    ASSERT_GE(png.size(), 24u) << size;
    auto be32 = [&](size_t at) {
      return (uint8_t(png[at]) << 24) | (uint8_t(png[at + 1]) << 16) | (uint8_t(png[at + 2]) << 8) |
             uint8_t(png[at + 3]);
    };
    EXPECT_EQ(be32(16), static_cast<unsigned>(size));  // IHDR width
    EXPECT_EQ(be32(20), static_cast<unsigned>(size));  // IHDR height
  }
  // Helper and editor installed; the sandbox and the build tools are not.
  EXPECT_EQ(access(usr("libexec/inkpost-client/inkpost-fault-report").c_str(), X_OK), 0);
  EXPECT_TRUE(fileExists(usr("share/inkpost-client/editor/tinymce/tinymce.min.js")));
  EXPECT_FALSE(fileExists(usr("bin/inkpost-sandbox")));
  EXPECT_FALSE(fileExists(usr("bin/inkpost-mkdb")));

  int status = -1;
  if (shellOutput("command -v desktop-file-validate").empty()) {
    std::printf("desktop-file-validate is missing (desktop-file-utils): the menu entry is not validated\n");
  } else {
    const std::string out = shellOutput("desktop-file-validate '" + desktop + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("error"), std::string::npos) << out;
  }
  if (shellOutput("command -v appstreamcli").empty()) {
    std::printf("appstreamcli is missing (appstream): the metainfo is not validated\n");
  } else {
    const std::string out = shellOutput("appstreamcli validate --no-net '" + metainfo + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
  }
}

TEST(Package, HoldsTheProgramEditorMenuEntryAndIcon) {
  if (shellOutput("command -v dpkg-deb").empty() || shellOutput("command -v dpkg-shlibdeps").empty()) {
    GTEST_SKIP() << "dpkg-deb or dpkg-shlibdeps is missing (dpkg-dev): the package is not built";
  }
  // What `make package` runs after the build, into a folder of its own.
  TempDir out;
  int status = -1;
  const std::string log =
      shellOutput("cd '" + out.path() + "' && cpack --config '" INKPOST_BINARY_DIR "/CPackConfig.cmake' -B '" +
                      out.path() + "' 2>&1",
                  &status);
  ASSERT_EQ(status, 0) << log;
  const std::string deb = shellOutput("ls '" + out.path() + "'/inkpost-client_*.deb | head -1");
  ASSERT_FALSE(deb.empty()) << log;
  const std::string path = deb.substr(0, deb.find('\n'));
  const std::string list = shellOutput("dpkg-deb -c '" + path + "'", &status);
  ASSERT_EQ(status, 0);
  for (const std::string& f : std::vector<std::string>{
           "./usr/bin/inkpost-client", "./usr/libexec/inkpost-client/inkpost-fault-report",
           "./usr/share/inkpost-client/editor/index.html", "./usr/share/inkpost-client/editor/tinymce/tinymce.min.js",
           std::string("./usr/share/applications/") + kAppId + ".desktop",
           std::string("./usr/share/metainfo/") + kAppId + ".metainfo.xml",
           std::string("./usr/share/icons/hicolor/scalable/apps/") + kAppId + ".svg",
           std::string("./usr/share/icons/hicolor/48x48/apps/") + kAppId + ".png",
           std::string("./usr/share/icons/hicolor/256x256/apps/") + kAppId + ".png"})
    EXPECT_NE(list.find(" " + f + "\n"), std::string::npos) << f << "\n" << list;
  EXPECT_EQ(list.find("inkpost-sandbox"), std::string::npos);
  const std::string depends = shellOutput("dpkg-deb -f '" + path + "' Depends");
  for (const char* d : {"libqt6webenginecore6", "libsqlcipher", "libcurl", "qt6-qpa-plugins", "fonts-wqy-zenhei"})
    EXPECT_NE(depends.find(d), std::string::npos) << d << " not in: " << depends;
}

}  // namespace
