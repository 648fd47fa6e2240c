// Shared by the persistence tests: generated inputs, a project built from them, and the message
// boxes and questions caught instead of shown.
#pragma once

#include <string>
#include <vector>

#include "common/test_support.h"
#include "engine/project.h"
#include "foundation/errors.h"

namespace rf::test {

// A raw-video AVI of 16 x 16 pixels at 10 frames per second, with 8 kHz sound when audio is set;
// or a WAV of that many seconds; or one BMP picture.
std::string MakeMovie(const std::string& dir, const std::string& name, int32_t frames, bool audio);
std::string MakeWav(const std::string& dir, const std::string& name, double seconds);
std::string MakePicture(const std::string& dir, const std::string& name);

class PersistTest : public FoundationTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::vector<std::string> boxes;  // "E: text", "W: text", "I: text"
  std::vector<std::string> questions;
  Answer answer = Answer::Yes;

 private:
  MessageBoxHook oldBox_;
  QuestionHook oldQuestion_;
};

}  // namespace rf::test
