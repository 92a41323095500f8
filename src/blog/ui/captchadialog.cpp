#include "blog/ui/captchadialog.h"

#include "common/ui/gbk.h"
#include "common/ui/modal.h"

#include "blog/captcha_image.h"
#include "common/ui/wait.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace inkpost {
namespace {

QPushButton* button(QWidget* parent, const char* text, const char* unit) {
  auto* b = new QPushButton(QString::fromUtf8(text), parent);
  b->setObjectName(QString::fromUtf8(unit));
  b->setAutoDefault(false);
  return b;
}

// The picture through the reader's decoder: its header is checked first,
// and a picture larger than the dialog shows is refused before anything is
// decoded (a null image).
QImage decode(const std::string& bytes) {
  RgbImage rgb;
  if (!decodeCaptchaImage(bytes, rgb, kCaptchaShownMaxSide) || rgb.width <= 0 || rgb.height <= 0) return {};
  QImage img(rgb.width, rgb.height, QImage::Format_RGB32);
  for (int y = 0; y < rgb.height; ++y)
    for (int x = 0; x < rgb.width; ++x) img.setPixel(x, y, 0xff000000u | rgb.pixels[size_t(y) * rgb.width + x]);
  return img;
}

}  // namespace

CaptchaDialog::CaptchaDialog(QWidget* parent, const std::string& image, std::function<std::string()> another)
    : QDialog(parent), fetch_(std::move(another)) {
  setObjectName(QStringLiteral("验证码窗口"));
  setWindowTitle(QStringLiteral("请输入验证码"));
  setModal(true);
  picture_ = new QLabel(this);
  picture_->setObjectName(QStringLiteral("图片框_验证码"));
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setMinimumSize(60 * kCaptchaZoom, 20 * kCaptchaZoom);
  auto* hint = new QLabel(QStringLiteral("验证码无法自动识别，请输入图中的字符："), this);
  code_ = new QLineEdit(this);
  code_->setObjectName(QStringLiteral("编辑框_验证码"));
  code_->setMaxLength(32);
  another_ = button(this, "换一张", "按钮_换一张");
  ok_ = button(this, "确定", "按钮_确定");
  ok_->setDefault(true);
  cancel_ = button(this, "取消", "按钮_取消");

  auto* row = new QHBoxLayout;
  row->addWidget(code_, 1);
  row->addWidget(another_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(hint);
  layout->addWidget(picture_);
  layout->addLayout(row);
  layout->addLayout(buttons);

  connect(another_, &QPushButton::clicked, this, [this] { fetchAnother(); });
  connect(ok_, &QPushButton::clicked, this, [this] {
    if (code().empty()) {
      code_->setFocus();  // nothing typed yet: the box waits
      return;
    }
    accept();
  });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  showImage(image);
  code_->setFocus();
}

std::string CaptchaDialog::code() const { return code_->text().trimmed().toStdString(); }

void CaptchaDialog::showImage(const std::string& image) {
  const QImage img = decode(image);
  if (img.isNull()) {
    picture_->setPixmap({});
    picture_->setText(QStringLiteral("没有取到验证码图片，请点“换一张”"));
    return;
  }
  picture_->setText({});
  // Whole pixels, no smoothing: the strokes stay as the blog drew them.
  const int zoom = captchaZoomFor(img.width(), img.height());
  picture_->setPixmap(QPixmap::fromImage(
      img.scaled(img.width() * zoom, img.height() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
}

void CaptchaDialog::fetchAnother() {
  if (!fetch_) return;
  another_->setEnabled(false);
  std::string image;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  runOffWindowThread([&] { image = fetch_(); });
  QApplication::restoreOverrideCursor();
  another_->setEnabled(true);
  code_->clear();
  showImage(image);
  code_->setFocus();
}

std::optional<std::string> askCaptchaCode(QWidget* parent, const std::string& image,
                                          const std::function<std::string()>& another, const std::string& siteName) {
  CaptchaDialog dialog(parent, image, another);
  if (!siteName.empty()) dialog.setWindowTitle(QStringLiteral("请输入验证码 - ") + toQ(siteName));
  // The login shows the wait cursor; the dialog wants the ordinary one.
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int result = runModal(dialog);
  QApplication::restoreOverrideCursor();
  if (result != QDialog::Accepted) return std::nullopt;
  return dialog.code();
}

}  // namespace inkpost
