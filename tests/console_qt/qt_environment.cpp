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

// Qt is not built with ThreadSanitizer, so the sanitizer sees the memory
// operations that Qt's code makes through the C library but none of the
// atomics and futexes that order them: its thread pools, implicitly shared
// strings and posted events look like races. Calls from libraries built
// without the sanitizer are left out of the checks; everything built here
// stays checked, and the window's data crosses threads only under a
// std::mutex. TSAN_OPTIONS is read after these defaults.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_options() {
  return "ignore_noninstrumented_modules=1";
}
