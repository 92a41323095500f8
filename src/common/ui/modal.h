// Running a modal dialog. Every dialog and message box the program opens and
// waits for goes through runModal, so that tests answer them through one
// seam instead of watching the screen for them.
#pragma once

#include <functional>

class QDialog;

namespace inkpost {

// Shows `dialog` modally and returns its result (QDialog::exec). With an
// answerer installed, the answerer is handed the dialog once it is up, from
// inside the dialog's own event loop; it answers by filling in fields,
// clicking buttons or calling done().
int runModal(QDialog& dialog);

// Tests: the answerer every modal dialog is handed to (empty: a person
// answers). ModalSeam installs one for its lifetime and puts the previous
// one back.
using ModalAnswer = std::function<void(QDialog& dialog)>;
class ModalSeam {
 public:
  explicit ModalSeam(ModalAnswer answer);
  ~ModalSeam();
  ModalSeam(const ModalSeam&) = delete;
  ModalSeam& operator=(const ModalSeam&) = delete;

  int dialogsAnswered() const { return answered_; }

 private:
  ModalAnswer previous_;
  int* previousCounter_;
  int answered_ = 0;
};

}  // namespace inkpost
