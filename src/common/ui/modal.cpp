#include "common/ui/modal.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

namespace inkpost {
namespace {

struct Seam {
  ModalAnswer answer;
  int* counter = nullptr;
};

Seam& seam() {
  static Seam s;  // window thread only
  return s;
}

}  // namespace

int runModal(QDialog& dialog) {
  if (ModalAnswer answer = seam().answer) {
    int* counter = seam().counter;
    QPointer<QDialog> guard(&dialog);
    // Runs once the dialog's loop is running, so done() ends it.
    QTimer::singleShot(0, &dialog, [guard, answer, counter] {
      if (!guard) return;
      if (counter) ++*counter;
      answer(*guard);
    });
  }
  return dialog.exec();
}

ModalSeam::ModalSeam(ModalAnswer answer) : previous_(std::move(seam().answer)), previousCounter_(seam().counter) {
  seam().answer = std::move(answer);
  seam().counter = &answered_;
}

ModalSeam::~ModalSeam() {
  seam().answer = std::move(previous_);
  seam().counter = previousCounter_;
}

}  // namespace inkpost
