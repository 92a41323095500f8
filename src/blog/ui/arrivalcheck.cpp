#include "blog/ui/arrivalcheck.h"

#include "blog/arrival.h"
#include "blog/ui/publish.h"
#include "common/ui/gbk.h"
#include "common/ui/unitnames.h"
#include "common/ui/wait.h"
#include "net/encoding.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace inkpost {

std::string unclearOfferText(const std::string& gbkTitle, const std::string& siteName) {
  return fromUtf8("「") + gbkTitle + fromUtf8("」发送到“") + siteName +
         fromUtf8("”后，博客没有给出明确的回答，文章可能已经发布。\n按“检查”看它是否已在博客上，再决定是否重新发布。");
}

const std::string& arrivalBusyText() {
  static const std::string text = fromUtf8("正在检查文章是否已发布…");
  return text;
}

namespace {

QPushButton* button(QWidget* parent, const char* text, const char* unitName) {
  auto* b = new QPushButton(QString::fromUtf8(text), parent);
  b->setObjectName(QString::fromUtf8(unitName));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

ArrivalCheckDialog::ArrivalCheckDialog(QWidget* parent, StatusLine status, std::shared_ptr<BlogClient> client,
                                       PostForm sent, ArrivalHooks hooks)
    : QDialog(parent), status_(status), client_(std::move(client)), sent_(std::move(sent)), hooks_(std::move(hooks)) {
  setObjectName(QString::fromUtf8(unitname::kUnclearDialog));
  setWindowTitle(QStringLiteral("发布结果不明"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowModality(Qt::WindowModal);
  message_ = new QLabel(toQ(unclearOfferText(sent_.title, client_->site().webname)), this);
  message_->setWordWrap(true);
  message_->setMinimumWidth(380);
  check_ = button(this, "检查", unitname::kCheckButton);
  check_->setDefault(true);
  resend_ = button(this, "重新发布", unitname::kResendButton);
  resend_->hide();
  close_ = button(this, "关闭", unitname::kCloseButton);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(check_);
  row->addWidget(resend_);
  row->addWidget(close_);
  auto* rows = new QVBoxLayout(this);
  rows->addWidget(message_);
  rows->addLayout(row);
  connect(check_, &QPushButton::clicked, this, &ArrivalCheckDialog::check);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);
  connect(resend_, &QPushButton::clicked, this, [this] {
    // The offer closes first; the new post then runs on its own.
    QObject* context = parentWidget() ? static_cast<QObject*>(parentWidget()) : QCoreApplication::instance();
    QTimer::singleShot(0, context, [resend = hooks_.resend] {
      if (resend) resend();
    });
    accept();
  });
}

void ArrivalCheckDialog::check() {
  if (checking_) return;
  checking_ = true;
  check_->setEnabled(false);
  resend_->hide();
  ArrivalReport report;
  {
    BusyScope busy(status_, arrivalBusyText());
    const std::shared_ptr<BlogClient> client = client_;
    const PostForm sent = sent_;
    const LoginHooks renewal = hooks_.renewal;
    runOffWindowThread([&] { report = client->checkArrival(sent, renewal); });
  }
  checking_ = false;
  if (report.session.renewed && hooks_.renewed) hooks_.renewed();
  const bool update = sent_.articleId > 0;
  if (report.session.expiredAgain) {
    message_->setText(toQ(sessionExpiredNotice()));
    check_->setEnabled(true);
    return;
  }
  message_->setText(toQ(arrivalText(report.check, update)));
  switch (report.check.arrival) {
    case Arrival::Arrived:
      close_->setDefault(true);
      close_->setFocus();
      if (hooks_.arrived) hooks_.arrived();
      break;
    case Arrival::NotThere:
      check_->setEnabled(true);
      resend_->show();
      resend_->setDefault(true);
      break;
    case Arrival::Unknown:
      check_->setEnabled(true);
      break;
  }
}

ArrivalCheckDialog* offerArrivalCheck(QWidget* window, StatusLine status, std::shared_ptr<BlogClient> client,
                                      const PostForm& sent, ArrivalHooks hooks) {
  auto* offer = new ArrivalCheckDialog(window, status, std::move(client), sent, std::move(hooks));
  offer->open();
  return offer;
}

}  // namespace inkpost
