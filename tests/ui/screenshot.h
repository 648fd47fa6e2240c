// Pictures of windows for the documentation: into docs/screenshots/ of the source tree when the
// run asks for them (RF_SCREENSHOTS=1, as `make screenshots` does), else into the test's scratch
// folder, so that an ordinary test run grabs the window without changing the tree.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QString>
#include <QWidget>
#include <cstdlib>
#include <cstring>

namespace rf::testui {

inline void SaveScreenshot(QWidget& window, const QString& file) {
  QApplication::processEvents();
  const char* wanted = std::getenv("RF_SCREENSHOTS");
  const QString folder = wanted && std::strcmp(wanted, "1") == 0 ? QString(RF_SOURCE_DIR) + "/docs/screenshots"
                                                                 : QDir::tempPath() + "/screenshots";
  QDir().mkpath(folder);
  EXPECT_TRUE(window.grab().save(folder + "/" + file));
}

}  // namespace rf::testui
