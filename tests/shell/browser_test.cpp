// The default-browser lookup of OpenInBrowser, against fake freedesktop
// tools and desktop files in a temporary folder.
#include "shell/openinbrowser.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace inkpost;
using namespace inkpost::test;

namespace {

void script(const std::string& path, const std::string& body) {
  writeFile(path, "#!/bin/sh\n" + body + "\n");
  chmod(path.c_str(), 0755);
}

// PATH, XDG_DATA_HOME and XDG_DATA_DIRS point into a temporary folder.
class BrowserLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : {"PATH", "XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
      const char* old = std::getenv(v);
      saved_.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
    }
    mkdir(dir.file("bin").c_str(), 0755);
    mkdir(dir.file("share").c_str(), 0755);
    mkdir(dir.file("share/applications").c_str(), 0755);
    setenv("PATH", (dir.file("bin") + ":/usr/bin:/bin").c_str(), 1);
    setenv("XDG_DATA_HOME", dir.file("none").c_str(), 1);
    setenv("XDG_DATA_DIRS", dir.file("share").c_str(), 1);
    resetBrowserCommand();
  }
  void TearDown() override {
    for (auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    resetBrowserCommand();
  }
  // xdg-settings answers `id` and counts its calls in calls.txt.
  void defaultBrowser(const std::string& id) {
    script(dir.file("bin/xdg-settings"), "echo x >> '" + dir.file("calls.txt") + "'\necho '" + id + "'");
  }
  int calls() const {
    std::string s = readFile(dir.file("calls.txt"));
    return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
  }
  // Waits for the detached fake browser to write its arguments.
  std::string opened() const {
    for (int i = 0; i < 200 && !fileExists(dir.file("opened.txt")); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return readFile(dir.file("opened.txt"));
  }

  TempDir dir;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace

TEST(DesktopExec, SplitsQuotesEscapesAndKeepsFieldCodes) {
  EXPECT_EQ(desktopExec("[Desktop Entry]\nName=B\nExec=/opt/b/browser --new-window %u\n"),
            (std::vector<std::string>{"/opt/b/browser", "--new-window", "%u"}));
  EXPECT_EQ(desktopExec("[Desktop Entry]\nExec=\"/opt/my browser/run\" \"a \\\"q\\\"\" 100%%\n"),
            (std::vector<std::string>{"/opt/my browser/run", "a \"q\"", "100%"}));
  // Only the main group counts; localized or other keys do not.
  EXPECT_EQ(desktopExec("[Desktop Action new]\nExec=wrong\n[Desktop Entry]\nExecX=no\nExec = right %U\n"),
            (std::vector<std::string>{"right", "%U"}));
  EXPECT_TRUE(desktopExec("[Desktop Entry]\nName=none\n").empty());
  EXPECT_TRUE(desktopExec("").empty());
}

TEST(DesktopExec, AddressTakesThePlaceOfTheFieldCode) {
  EXPECT_EQ(browserCommandFor({"b", "%u", "%i"}, "http://x/"), (std::vector<std::string>{"b", "http://x/"}));
  EXPECT_EQ(browserCommandFor({"b", "--x"}, "http://x/"), (std::vector<std::string>{"b", "--x", "http://x/"}));
  EXPECT_EQ(browserCommandFor({"b", "%U", "%F"}, "u"), (std::vector<std::string>{"b", "u"}));
}

TEST_F(BrowserLookup, FindsOpensAndCachesTheDefaultBrowser) {
  script(dir.file("bin/fake-browser"), "printf '%s\\n' \"$@\" > '" + dir.file("opened.tmp") + "'; mv '" +
                                           dir.file("opened.tmp") + "' '" + dir.file("opened.txt") + "'");
  writeFile(dir.file("share/applications/fake.desktop"),
            "[Desktop Entry]\nType=Application\nExec=fake-browser --flag %u\n");
  defaultBrowser("fake.desktop");

  OpenInBrowser("http://127.0.0.1/a b?c='d'&e");
  EXPECT_EQ(opened(), "--flag\nhttp://127.0.0.1/a b?c='d'&e\n");
  EXPECT_EQ(calls(), 1);
  EXPECT_EQ(cachedBrowserCommand(), (std::vector<std::string>{"fake-browser", "--flag", "%u"}));

  unlink(dir.file("opened.txt").c_str());
  OpenInBrowser("http://second/");
  EXPECT_EQ(opened(), "--flag\nhttp://second/\n");
  EXPECT_EQ(calls(), 1);  // the cached command is used
}

TEST_F(BrowserLookup, NothingFoundStartsNothingAndAsksAgainNextTime) {
  defaultBrowser("missing.desktop");
  OpenInBrowser("http://x/");
  OpenInBrowser("http://x/");
  EXPECT_EQ(calls(), 2);
  EXPECT_TRUE(cachedBrowserCommand().empty());
}

TEST_F(BrowserLookup, FallsBackToTheHttpSchemeHandlerAndSubfolders) {
  script(dir.file("bin/xdg-mime"), "echo vendor-web.desktop");
  mkdir(dir.file("share/applications/vendor").c_str(), 0755);
  writeFile(dir.file("share/applications/vendor/web.desktop"), "[Desktop Entry]\nExec=webby\n");
  EXPECT_EQ(lookUpBrowserCommand(), (std::vector<std::string>{"webby"}));
}

TEST_F(BrowserLookup, ToolsThatFailOrAreMissingGiveNothing) {
  EXPECT_TRUE(lookUpBrowserCommand([](const std::vector<std::string>&) { return std::string(); }).empty());
  script(dir.file("bin/xdg-settings"), "echo fake.desktop; exit 1");
  writeFile(dir.file("share/applications/fake.desktop"), "[Desktop Entry]\nExec=x\n");
  EXPECT_TRUE(lookUpBrowserCommand().empty());
  EXPECT_FALSE(startDetached({}));
  EXPECT_EQ(runCommand({"/nonexistent/tool"}), "");
}
