// The login's manual fallback: when the captcha cannot be read automatically
// (or the blog refused the code on the last attempt), the person reads the
// picture of the current server session and types the code.
#pragma once

#include <QDialog>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace inkpost {

// objectName "验证码窗口"; units 图片框_验证码, 编辑框_验证码, 按钮_换一张,
// 按钮_确定, 按钮_取消.
class CaptchaDialog : public QDialog {
  Q_OBJECT
 public:
  // `image` is the picture's bytes as served; `another` fetches a new one in
  // the same server session (called on 换一张).
  CaptchaDialog(QWidget* parent, const std::string& image, std::function<std::string()> another);

  // The typed code (Latin-1 text, blanks trimmed).
  std::string code() const;
  // Shows a picture enlarged without smoothing, or a line saying none came
  // (also for a picture over kCaptchaShownMaxSide).
  void showImage(const std::string& image);

  QLabel* picture() const { return picture_; }
  QLineEdit* codeEdit() const { return code_; }
  QPushButton* anotherButton() const { return another_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

 private:
  void fetchAnother();

  std::function<std::string()> fetch_;
  QLabel* picture_;
  QLineEdit* code_;
  QPushButton* another_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

// Shows the dialog modally; the typed code on 确定, nothing on 取消 (or when
// the window is closed).
// `siteName` (GBK), when given, names the blog in the title: "请输入验证码 - 博客名".
std::optional<std::string> askCaptchaCode(QWidget* parent, const std::string& image,
                                          const std::function<std::string()>& another,
                                          const std::string& siteName = {});

// How much larger the picture is shown.
inline constexpr int kCaptchaZoom = 4;
// The largest side of a picture the dialog shows, as the reader's default
// max_side (a captcha is some 60 by 20 pixels); a larger one is refused from
// its header, never decoded. A picture is enlarged kCaptchaZoom times, less
// when that would make it wider or taller than this.
inline constexpr int kCaptchaShownMaxSide = 1000;
inline int captchaZoomFor(int width, int height) {
  const int side = std::max({width, height, 1});
  return std::clamp(kCaptchaShownMaxSide / side, 1, kCaptchaZoom);
}

}  // namespace inkpost
