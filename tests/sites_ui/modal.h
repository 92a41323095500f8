// Answers the message boxes and dialogs that open modally during a test:
// each one that becomes the active modal widget is recorded and handled.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace inkpost::test {

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::StandardButtons buttons;
};

class ModalAnswerer {
 public:
  // Message boxes are answered with `answer` (a button they carry); other
  // dialogs are passed to `onDialog`, which must close them.
  explicit ModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok,
                         std::function<void(QDialog*)> onDialog = {})
      : answer_(answer), onDialog_(std::move(onDialog)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(5);
  }

  QList<SeenBox> boxes;
  int dialogs = 0;

 private:
  void poll() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || w == handled_) return;
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      handled_ = w;
      boxes.append({box->windowTitle(), box->text(), box->standardButtons()});
      QAbstractButton* b = box->button(answer_);
      if (!b) b = box->buttons().value(0);
      if (b) b->click();
    } else if (auto* d = qobject_cast<QDialog*>(w); d && onDialog_) {
      handled_ = w;
      ++dialogs;
      // Run from its own event, so that this poll keeps running and answers
      // a message box the dialog opens in turn (a timer does not fire again
      // while its own handler runs).
      QTimer::singleShot(0, d, [this, d] { onDialog_(d); });
    }
  }

  QMessageBox::StandardButton answer_;
  std::function<void(QDialog*)> onDialog_;
  QPointer<QWidget> handled_;  // null once it is gone: the next box may reuse its address
  QTimer timer_;
};

}  // namespace inkpost::test
