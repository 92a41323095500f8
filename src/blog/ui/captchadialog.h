// The login's manual fallback: when the captcha cannot be read automatically
// (or the blog refused the code on the last attempt), the person reads the
// picture of the current server session and types the code.
#pragma once

#include <QDialog>

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
  // Shows a picture enlarged without smoothing, or a line saying none came.
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
std::optional<std::string> askCaptchaCode(QWidget* parent, const std::string& image,
                                          const std::function<std::string()>& another);

// How much larger the picture is shown.
inline constexpr int kCaptchaZoom = 4;

}  // namespace inkpost
