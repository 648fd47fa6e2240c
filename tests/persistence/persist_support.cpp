// Generated inputs and caught dialogs for the persistence tests.
#include "persist_support.h"

#include <cstdlib>

namespace rf::test {
namespace {

std::string Generate(const std::string& path, const std::string& args) {
  const std::string command = "ffmpeg -v error -nostdin " + args + " -y '" + path + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return path;
}

}  // namespace

std::string MakeMovie(const std::string& dir, const std::string& name, int32_t frames, bool audio) {
  const std::string seconds = std::to_string(frames / 10.0);
  std::string args = "-f lavfi -i testsrc=size=16x16:rate=10:d=" + seconds;
  if (audio) args += " -f lavfi -i sine=r=8000:d=" + seconds + " -c:a pcm_s16le";
  return Generate(dir + "/" + name, args + " -c:v rawvideo -pix_fmt bgr24 -frames:v " + std::to_string(frames));
}

std::string MakeWav(const std::string& dir, const std::string& name, double seconds) {
  return Generate(dir + "/" + name, "-f lavfi -i sine=r=8000:d=" + std::to_string(seconds) + " -c:a pcm_s16le");
}

std::string MakePicture(const std::string& dir, const std::string& name) {
  return Generate(dir + "/" + name, "-f lavfi -i testsrc=size=16x16 -frames:v 1");
}

void PersistTest::SetUp() {
  FoundationTest::SetUp();
  oldBox_ = SetMessageBoxHook([this](MsgBox kind, const std::string&, const std::string& text) {
    boxes.push_back(std::string(kind == MsgBox::Error ? "E: " : kind == MsgBox::Warning ? "W: " : "I: ") + text);
  });
  oldQuestion_ = SetQuestionHook([this](Buttons, const std::string&, const std::string& text) {
    questions.push_back(text);
    return answer;
  });
}

void PersistTest::TearDown() {
  SetMessageBoxHook(oldBox_);
  SetQuestionHook(oldQuestion_);
  FoundationTest::TearDown();
}

}  // namespace rf::test
