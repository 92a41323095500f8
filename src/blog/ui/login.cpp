#include "blog/ui/login.h"

#include "app/ui/gbk.h"
#include "app/ui/mainwindow.h"
#include "app/ui/toast.h"
#include "blog/editpage.h"
#include "blog/login.h"
#include "blog/session.h"
#include "net/encoding.h"
#include "sites/ui/sitechooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace inkpost {

std::string loginRetryNotice(int attempt) {
  return fromUtf8("登录失败！进行第") + std::to_string(attempt) + fromUtf8("次尝试！");
}

const std::string& loginFailedNotice() {
  static const std::string text = fromUtf8("登录失败，请检查帐号密码！");
  return text;
}

const std::string& loginDoneNotice() {
  static const std::string text = fromUtf8("          登录成功！          ");
  return text;
}

void fillDateBoxes(MainWindow& w, const QDateTime& now) {
  const QDate d = now.date();
  const QTime t = now.time();
  w.yearEdit->setText(QString::number(d.year()));
  w.monthEdit->setText(QString::number(d.month()));
  w.dayEdit->setText(QString::number(d.day()));
  w.timeEdit->setText(QStringLiteral("%1:%2:%3").arg(t.hour()).arg(t.minute()).arg(t.second()));
}

void loadEditPage(MainWindow& w) {
  const std::string site = chooserEntryValues(w.siteChooser).weburl;
  const EditPage page = parseEditPage(fetchEditPage(site, sessionCookie()));
  // Both lists start empty, so an article can never go out with a category
  // or author of a site logged in to earlier.
  w.categoryBox->clear();
  for (const PageOption& o : page.categories) w.categoryBox->addItem(toQ(o.name), o.value);
  w.authorBox->clear();
  for (const PageOption& o : page.authors) {
    w.authorBox->addItem(toQ(o.name), o.value);
    if (o.selected) w.authorBox->setCurrentIndex(w.authorBox->count() - 1);
  }
  blogTags() = page.tags;
}

void onSiteSelected(MainWindow& w) {
  if (w.siteChooser->currentIndex() < 0) return;  // the list was emptied: nothing to log in to
  const ChooserValues entry = chooserEntryValues(w.siteChooser);
  w.accountEdit->setText(toQ(entry.admin));
  w.passwordEdit->setText(toQ(entry.pass));
  w.autoAliasCheck->setChecked(entry.ikname == "1");
  w.autoNameCheck->setChecked(entry.imgname == "1");

  bool loggedIn = false;
  for (int attempt = 0; attempt < kLoginAttempts && !loggedIn; ++attempt) {
    // Edits made in the boxes meanwhile are what the next attempt uses.
    const std::string site = chooserEntryValues(w.siteChooser).weburl;
    sessionSite() = site;
    loggedIn = blogLogin(site, fromQ(w.accountEdit->text()), fromQ(w.passwordEdit->text()), sessionCookie());
    if (!loggedIn) ShowToast(&w, loginRetryNotice(attempt + 1), kLoginRetrySeconds);
  }
  if (!loggedIn) {
    ShowToast(&w, loginFailedNotice(), kLoginFailedSeconds);
    return;
  }
  ShowToast(&w, loginDoneNotice(), kLoginDoneSeconds);
  loadEditPage(w);
  fillDateBoxes(w, QDateTime::currentDateTime());
}

}  // namespace inkpost
