// A conversion run fed from block lists the test holds, over generated pictures and sounds.
#pragma once

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "engine/conform.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/uniaccess.h"

namespace rf::test {

class ConRunTest : public FoundationTest {
 protected:
  std::vector<QConBlock> videoBlocks, audioBlocks;
  size_t nextVideo = 0, nextAudio = 0;
  QConReport report;
  std::deque<std::string> names;  // file blocks point at these names

  void TearDown() override {
    ConDone();
    FoundationTest::TearDown();
  }

  // Frames folder/f0001.ext .. of 4 x 2 pixels, the first byte of each holding its number; returns
  // the first.
  static std::string MakeSequence(const std::string& folder, const std::string& ext, int32_t frames) {
    for (int32_t n = 1; n <= frames; ++n) {
      Qimg img;
      _imgalloc_(img, 4, 2, 24, "Test.ConRun.img");
      img.data[0] = uint8_t(n);
      char name[32];
      std::snprintf(name, sizeof name, "/f%04d", n);
      ImgSave(folder + name + ext, img, FF_AUTO);
      ImgFree(img);
    }
    return folder + "/f0001" + ext;
  }

  // A mono 8-bit WAV whose sample i holds i mod 251.
  static std::string MakeWav(const std::string& name, uint32_t rate, int32_t frames) {
    QSndBuf buf;
    WaveFormatEx f{WAVE_FORMAT_PCM, 1, rate, 0, 0, 8, 0};
    WaveFormatValidate(f);
    SndMakeSilence(buf, frames, f);
    for (int32_t i = 0; i < frames; ++i) buf.SndData[i] = uint8_t(i % 251);
    QUniHandle h;
    UniCreate(h, name);
    UniSndSave(h, buf);
    UniClose(h);
    SndFree(buf);
    return name;
  }

  // A block naming a file; sequences are gathered from their first member.
  QConBlock FileBlock(const std::string& name, int32_t first = NOT_SET, int32_t count = NOT_SET) {
    names.push_back(name);
    QConBlock b;
    b.Kind = bkFileName;
    b.Source = names.back().c_str();
    b.FormatHint = 1;
    b.First = first;
    b.Count = count;
    b.StartTime = b.Duration = b.FrameRate = NOT_SET_F;
    return b;
  }

  // A block source that hands out the list from its start, then the end.
  static ConBlockCBF Source(const std::vector<QConBlock>& blocks, size_t& next) {
    next = 0;
    return [&blocks, &next](QConBlock& b) {
      if (next < blocks.size())
        b = blocks[next++];
      else
        b.End = RF_TRUE;
    };
  }

  // Hands the non-empty block lists to the next run from their start; the video and audio
  // functions pass what they get.
  void Register() {
    if (!videoBlocks.empty()) ConSetVideoBlockCBF(Source(videoBlocks, nextVideo));
    if (!audioBlocks.empty()) ConSetAudioBlockCBF(Source(audioBlocks, nextAudio));
    ConSetVideoFuncCBF([](QConVideoFunc& rec) { rec.Result = rec.Source; });
    ConSetAudioFuncCBF([](QConAudioFunc& rec) { rec.Result = rec.Source; });
  }
};

}  // namespace rf::test
