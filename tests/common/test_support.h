// Helpers shared by every test program: scratch folders and a clean foundation state.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace rf::test {

// A fresh folder under the test program's temporary root.
std::string ScratchDir(const std::string& name);
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);

// Base fixture: every test starts and ends with no error, no tracked block, no open file and no
// open guarded block, and fails when it leaves any behind.
class FoundationTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace rf::test
