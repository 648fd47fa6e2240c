// Helpers shared by every test program: scratch folders and a clean foundation state.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace rf::test {

// A fresh folder under the test program's temporary root.
std::string ScratchDir(const std::string& name);
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
// What a call writes on the process's standard error (file descriptor 2), byte for byte.
std::string StandardErrorOf(const std::function<void()>& call);

// Base fixture: every test starts and ends with no error, no tracked block, no open file and no
// open guarded block, and fails when it leaves any behind.
class FoundationTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace rf::test
