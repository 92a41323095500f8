// Answers every modal dialog that opens while it lives, through the modal
// seam (common/ui/modal.h): a message box is recorded and answered with
// `answer` (its first button when it has no such one); any other dialog is
// counted and handed to `onDialog`, and rejected if it is still open
// afterwards. Header-only: for GUI test executables.
#pragma once

#include "common/ui/modal.h"

#include <QAbstractButton>
#include <QDialog>
#include <QList>
#include <QMessageBox>

#include <functional>

namespace inkpost::test {

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::StandardButtons buttons;
};

class ModalAnswers {
 public:
  explicit ModalAnswers(QMessageBox::StandardButton answer = QMessageBox::Ok,
                        std::function<void(QDialog&)> onDialog = {})
      : seam_([this, answer, onDialog = std::move(onDialog)](QDialog& d) {
          if (auto* box = qobject_cast<QMessageBox*>(&d)) {
            boxes.append({box->windowTitle(), box->text(), box->standardButtons()});
            QAbstractButton* b = box->button(answer);
            if (!b) b = box->buttons().value(0);
            if (b) b->click();
          } else {
            ++dialogs;
            if (onDialog) onDialog(d);
          }
          if (d.isVisible()) d.reject();
        }) {}

  QList<SeenBox> boxes;
  int dialogs = 0;

 private:
  ModalSeam seam_;
};

}  // namespace inkpost::test
