// The site bar: the site chooser 组合框_网站名称 and the account fields
// 编辑框_帐号 and 编辑框_密码 of the chosen site. Picking a site fills the
// account fields from its record and says so (sitePicked); picking the
// chosen site again says that too (sitePickedAgain).
#pragma once

#include "sites/siterecord.h"

#include <QWidget>

#include <optional>
#include <string>

class QComboBox;
class QLineEdit;

namespace inkpost {

class SiteBar : public QWidget {
  Q_OBJECT
 public:
  explicit SiteBar(QWidget* parent = nullptr);

  // Rebuilds the chooser from the store (see FillSiteChooser): the chosen
  // site stays chosen without a signal; when it is gone, siteCleared.
  void fill();
  // The record of the chosen site, as listed; nothing when none is chosen.
  std::optional<SiteRecord> chosenSite() const;
  int chosenId() const;
  // Chooses the site with this ID (a pick, with its signals); false when it
  // is not listed.
  bool choose(int siteId);
  // Chooses it without a pick (no login): its account shows.
  bool chooseQuietly(int siteId);
  // The account fields as they are now (the user may have edited them).
  std::string account() const;
  std::string password() const;
  // Fills the account fields from the chosen site's record.
  void showChosenAccount();
  // A click on one of the per-site option boxes: stores the flag for the
  // chosen site (none chosen: nothing is stored).
  void storeFlag(SiteFlag flag, bool on);

  QComboBox* chooser() const { return chooser_; }

 signals:
  // A site was picked (the account fields are filled already).
  void sitePicked();
  // The chosen site was picked again (the user wants a fresh login; the
  // account fields and the chooser's records are read from the store again
  // first).
  void sitePickedAgain();
  // No site is chosen any more (the list was emptied, or the site deleted).
  void siteCleared();

 private:
  QComboBox* chooser_;
  QLineEdit* account_;
  QLineEdit* password_;
  bool changing_ = false;  // a change is followed by its activation, held back
  int changes_ = 0;
};

}  // namespace inkpost
