// One QApplication for the whole test program, set up as the console sets
// up its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "console/qt/console_app.h"

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    app_ = std::make_unique<QApplication>(argc_, argv_);
    tavik::console::CConsoleApp::SetUpToolkit();
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "console_qt_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
