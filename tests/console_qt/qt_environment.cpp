// One QApplication for the whole test program, set up as the console sets
// up its own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>
#include <memory>
#include <string>

#include "console/qt/console_app.h"

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // The ports the tests connect are remembered in a folder of their own,
    // not in the user's settings.
    char pattern[] = "/tmp/tavik-qt-config-XXXXXX";
    config_ = ::mkdtemp(pattern);
    ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    app_ = std::make_unique<QApplication>(argc_, argv_);
    tavik::console::CConsoleApp::SetUpToolkit();
  }
  void TearDown() override {
    app_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(config_, ignored);
  }

 private:
  int argc_ = 1;
  char name_[16] = "console_qt_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
  std::string config_;
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
