// The Qt application every desktop test runs in, on the virtual X server the test run started.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::ifstream in(RF_XVFB_DISPLAY_FILE);
    std::string display;
    if (in >> display) ::setenv("DISPLAY", (":" + display).c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 0);
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "test_ui";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
