// Helpers shared by every test program: scratch folders and a clean foundation state.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/errors.h"

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

// Records the texts of the message boxes (and, when asked, of the questions, which it answers)
// while it lives, and puts the earlier hooks back when it ends.
class MessageRecorder {
 public:
  explicit MessageRecorder(Answer answer = Answer::No, bool recordQuestions = true)
      : previousBox_(
            SetMessageBoxHook([this](MsgBox, const std::string&, const std::string& text) { texts.push_back(text); })),
        previousQuestion_(
            SetQuestionHook([this, answer, recordQuestions](Buttons, const std::string&, const std::string& text) {
              if (recordQuestions) texts.push_back(text);
              return answer;
            })) {}
  ~MessageRecorder() {
    SetMessageBoxHook(previousBox_);
    SetQuestionHook(previousQuestion_);
  }
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  std::vector<std::string> texts;

 private:
  MessageBoxHook previousBox_;
  QuestionHook previousQuestion_;
};

}  // namespace rf::test
