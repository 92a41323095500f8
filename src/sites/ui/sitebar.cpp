#include "sites/ui/sitebar.h"

#include "common/ui/gbk.h"
#include "common/ui/unit.h"
#include "common/ui/unitnames.h"
#include "sites/ui/sitechooser.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>

namespace inkpost {
SiteBar::SiteBar(QWidget* parent) : QWidget(parent) {
  auto* r = new QHBoxLayout(this);
  r->setContentsMargins(0, 0, 0, 0);
  r->setSpacing(4);
  r->addWidget(fieldCaption("网站名称："));
  chooser_ = unit<QComboBox>(unitname::kSiteChooser);
  chooser_->setMinimumWidth(160);
  r->addWidget(chooser_, 2);
  r->addWidget(fieldCaption("帐号："));
  account_ = unit<QLineEdit>(unitname::kAccount);
  account_->setMinimumWidth(90);
  r->addWidget(account_, 1);
  r->addWidget(fieldCaption("密码："));
  password_ = unit<QLineEdit>(unitname::kPassword);
  password_->setEchoMode(QLineEdit::Password);
  password_->setMinimumWidth(90);
  r->addWidget(password_, 1);

  // A change of the chosen site is a pick; choosing the chosen site again
  // (activated without a change) asks for a fresh login. A change is
  // followed at once by its activation, which the flag holds back.
  connect(chooser_, &QComboBox::currentIndexChanged, this, [this](int index) {
    const int change = ++changes_;
    changing_ = true;
    if (index < 0) {
      emit siteCleared();
    } else {
      showChosenAccount();
      emit sitePicked();
    }
    // A login runs event loops: the flag is reset only after it, and only
    // when no later change came meanwhile.
    QTimer::singleShot(0, this, [this, change] {
      if (change == changes_) changing_ = false;
    });
  });
  connect(chooser_, &QComboBox::activated, this, [this](int) {
    if (!changing_) {
      // The record as stored now (the site may have been changed since).
      fill();
      showChosenAccount();
      emit sitePickedAgain();
    }
    changing_ = false;
  });
  chooser_->setPlaceholderText(QStringLiteral("请选择博客"));
}

void SiteBar::fill() { FillSiteChooser(chooser_); }

std::optional<SiteRecord> SiteBar::chosenSite() const { return chooserSite(chooser_); }

int SiteBar::chosenId() const { return chooserSiteId(chooser_); }

bool SiteBar::choose(int siteId) {
  const int index = chooser_->findData(siteId, kSiteIdRole);
  if (index < 0) return false;
  chooser_->setCurrentIndex(index);
  return true;
}

bool SiteBar::chooseQuietly(int siteId) {
  const int index = chooser_->findData(siteId, kSiteIdRole);
  if (index < 0) return false;
  {
    QSignalBlocker block(chooser_);
    chooser_->setCurrentIndex(index);
  }
  showChosenAccount();
  return true;
}

std::string SiteBar::account() const { return fromQ(account_->text()); }
std::string SiteBar::password() const { return fromQ(password_->text()); }

void SiteBar::showChosenAccount() {
  const ChooserValues entry = chooserEntryValues(chooser_);
  account_->setText(toQ(entry.admin));
  password_->setText(toQ(entry.pass));
}

void SiteBar::storeFlag(SiteFlag flag, bool on) { StoreSiteFlag(chooser_, flag, on); }

}  // namespace inkpost
