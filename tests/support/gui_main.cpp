// main() for GUI test executables: one QApplication for the whole run.
#include "shell/process.h"

#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
  inkpost::prepareProcess();
  QApplication app(argc, argv);
  inkpost::installTranslations();  // as the program: Chinese standard texts
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
