// The block settings dialog on a generated movie with sound: the keyboard moves the in point, the
// linked sound follows, a second of audio plays on the virtual output and OK writes the blocks.
#include "ui/blockdlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/test_support.h"
#include "engine/imgcache.h"
#include "engine/project.h"
#include "foundation/errors.h"
#include "ui/sound.h"

#include "screenshot.h"

namespace rf::ui {
namespace {

constexpr int32_t kRate = 8000;
constexpr int32_t kSamplesPerFrame = 800;  // at 10 frames per second

template <class T>
T* Find(const char* name) {
  QWidget* dialog = QApplication::activeModalWidget();
  return dialog ? dialog->findChild<T*>(name) : nullptr;
}

// The file's own sound from first on, as the reader decodes it.
std::vector<uint8_t> FileSound(const std::string& path, int32_t first, int32_t count) {
  QUniInfo info;
  QUniHandle handle;
  QSndBuf sound{};
  std::vector<uint8_t> bytes;
  if (UniInfo(path, info, false)) {
    UniOpen(handle, info);
    UniSndLoad(handle, sound, first, 0, count);
    bytes.assign(sound.SndData, sound.SndData + size_t(sound.count) * sound.format.blockAlign);
    UniClose(handle);
  }
  SndFree(sound);
  return bytes;
}

class BlockDialogTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    test::FoundationTest::SetUp();
    path = test::ScratchDir("blockdlg") + "/clip.avi";
    const std::string command =
        "ffmpeg -loglevel error -y -f lavfi -i testsrc=s=160x120:r=10:d=3 -f lavfi -i sine=f=440:r=" +
        std::to_string(kRate) + ":d=3 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(ProjectAddFile(project, path, false));
    ASSERT_EQ(project.list.video.items.size(), 1u);
    ASSERT_EQ(project.list.audio.items.size(), 1u);
  }
  void TearDown() override {
    SetSoundOutputFactory(previous);
    owner.reset();
    ImgCache_Clear();
    test::FoundationTest::TearDown();
  }
  void UseOutput(bool present) {
    previous = SetSoundOutputFactory([this, present]() -> std::unique_ptr<SoundOutput> {
      if (!present) return nullptr;
      auto output = std::make_unique<VirtualSoundOutput>();
      output_ = output.get();
      return output;
    });
  }

  std::string path;
  std::unique_ptr<Project> owner = std::make_unique<Project>();
  Project& project = *owner;
  SoundOutputFactory previous;
  VirtualSoundOutput* output_ = nullptr;
};

TEST_F(BlockDialogTest, KeyboardTrimsTheLinkedPairAndASecondOfSoundPlays) {
  UseOutput(true);
  std::vector<uint8_t> played;
  QTimer::singleShot(0, [&] {
    auto* bar = Find<QSlider>("TrackBar1");
    ASSERT_NE(bar, nullptr);
    bar->setFocus();
    for (int k = 0; k < 5; ++k) QTest::keyClick(bar, Qt::Key_Right);
    EXPECT_EQ(Find<QLabel>("lblVideoPos")->text(), "Time=00:00.500,  Frame=6");
    EXPECT_FALSE(Find<QLabel>("preview")->pixmap().isNull());
    QTest::keyClick(Find<QPushButton>("btnVideoInPoint"), Qt::Key_Space);
    EXPECT_EQ(Find<QLineEdit>("edVideoIn")->text(), "6");
    EXPECT_EQ(Find<QLineEdit>("edVideoLen")->text(), "25");
    EXPECT_EQ(Find<QLineEdit>("edAudioIn")->text(), QString::number(5 * kSamplesPerFrame + 1));
    QWidget* dialog = QApplication::activeModalWidget();
    testui::SaveScreenshot(*dialog, "block_settings.png");

    Find<QTabWidget>("pages")->setCurrentIndex(1);
    QTest::mouseClick(Find<QPushButton>("btnPlay"), Qt::LeftButton);
    ASSERT_NE(output_->Last(), nullptr);
    VirtualSoundStream& stream = *output_->Last();
    for (int step = 0; step < 8; ++step) {
      QApplication::processEvents();  // the refill the timer asked for
      stream.Advance(kRate / 8);
      stream.Tick();
    }
    QApplication::processEvents();
    played = stream.Received();
    EXPECT_TRUE(Find<QLabel>("lblAudioPos")->text().startsWith("Time=00:01."));
    QTest::mouseClick(Find<QPushButton>("btnStop"), Qt::LeftButton);
    EXPECT_EQ(Find<QLabel>("lblAudioPos")->text(), "Time=00:00.000,  Sample=1");
    Find<QDialogButtonBox>("buttons")->button(QDialogButtonBox::Ok)->click();
  });
  EXPECT_TRUE(ShowBlockDialog(nullptr, project, BLOCK_VIDEO, 0));
  const MMBlockRec& video = *project.list.video.items[0];
  const MMBlockRec& audio = *project.list.audio.items[0];
  EXPECT_EQ(video.first, 5);
  EXPECT_EQ(video.last, 29);
  EXPECT_EQ(audio.first, 5 * kSamplesPerFrame);
  EXPECT_EQ(project.list.video.totalQuants, 25);
  // One second from the new in point, exactly as the file holds it.
  EXPECT_EQ(played, FileSound(path, 5 * kSamplesPerFrame, kRate));
}

TEST_F(BlockDialogTest, WithoutSoundOutputTheAudioPageStillTrims) {
  UseOutput(false);
  QTimer::singleShot(0, [&] {
    EXPECT_EQ(Find<QTabWidget>("pages")->currentIndex(), 1);  // opened on the audio block
    EXPECT_EQ(Find<QLabel>("lblSound")->text(), "No sound output.");
    EXPECT_FALSE(Find<QPushButton>("btnPlay")->isEnabled());
    QWidget* dialog = QApplication::activeModalWidget();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    auto* length = Find<QLineEdit>("edAudioLen");
    length->setFocus();
    length->selectAll();
    QTest::keyClicks(length, "8000");
    QTest::keyClick(length, Qt::Key_Tab);
    EXPECT_EQ(length->text(), "8000");
    EXPECT_TRUE(Find<QCheckBox>("cbLink")->isChecked());
    EXPECT_EQ(Find<QLineEdit>("edVideoLen")->text(), "10");
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  EXPECT_FALSE(ShowBlockDialog(nullptr, project, BLOCK_AUDIO, 0));
  EXPECT_EQ(project.list.audio.items[0]->last, 3 * kRate - 1);  // cancelled: unchanged
}

}  // namespace
}  // namespace rf::ui
