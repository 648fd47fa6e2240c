// File information texts: the value rules, the report and CSV layouts character for character,
// and the record list with its edit-box cut, over records of files written to a scratch folder.
#include <gtest/gtest.h>

#include <deque>

#include "common/test_support.h"
#include "editlist/informer.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/sndbasic.h"
#include "foundation/errors.h"
#include "image/imgbasic.h"

namespace rf {
namespace {

using detail::CalcInfoValues;
using detail::CalcTimeString;
using detail::GetRatioString;
using detail::GetSizeString;
using detail::GetTextualInfo;

class InformerTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("informer");

  void SetUp() override {
    FoundationTest::SetUp();
    InfoListInit();
  }
  void TearDown() override {
    InfoListDone();
    FoundationTest::TearDown();
  }

  // 3000 sample frames of 16-bit stereo at 22050 Hz.
  QUniInfo Wav() {
    const std::string name = dir + "/tone.wav";
    QUniHandle out;
    UniCreate(out, name);
    QSndBuf buf;
    WaveFormatEx fmt{WAVE_FORMAT_PCM, 2, 22050, 0, 0, 16, 0};
    WaveFormatValidate(fmt);
    SndMakeSilence(buf, 3000, fmt);
    UniSndSave(out, buf);
    UniClose(out);
    SndFree(buf);
    QUniInfo info;
    EXPECT_TRUE(UniInfo(name, info, false));
    EXPECT_TRUE(ErrNone()) << ErrLastMessage();
    return info;
  }

  QUniInfo Picture(const std::string& file, int32_t w, int32_t h, int32_t bpp) {
    const std::string name = dir + "/" + file;
    Qimg img;
    EXPECT_EQ(_imgalloc_(img, w, h, bpp, "Test.Informer.img"), 0);
    for (int32_t i = 0; i < img.size; ++i) img.data[i] = uint8_t(i * 3);
    ImgSave(name, img, FF_AUTO);
    ImgFree(img);
    QUniInfo info;
    EXPECT_TRUE(UniInfo(name, info, false));
    return info;
  }

  // A still's record turned into the movie it would be: stills carry no frame rate.
  QUniInfo Movie(int32_t frames, double rate) {
    QUniInfo info = Picture("frame.tga", 8, 6, 24);
    info.video.frames = frames;
    info.video.frameRate = rate;
    info.video.duration = frames / rate;
    return info;
  }
};

TEST_F(InformerTest, SizeRatioAndTimeTexts) {
  EXPECT_EQ(GetSizeString(2147483646.9, false), "2147483646") << "within 32 bits the integer part";
  EXPECT_EQ(GetSizeString(2147483647.0, true), "2,147,483,647");
  EXPECT_EQ(GetSizeString(2147483647.6, false), "2147483648") << "beyond it rounded";
  EXPECT_EQ(GetSizeString(12345678901.5, true), "12,345,678,902");
  EXPECT_EQ(GetSizeString(999, true) + " " + GetSizeString(1000, true), "999 1,000");

  EXPECT_EQ(GetRatioString(1000000, 4000000, true), "25.0%  (4.0 : 1)");
  EXPECT_EQ(GetRatioString(1000000, 4000000, false), "25.0%");
  EXPECT_EQ(GetRatioString(1000000, 500000, true), "200.0%") << "no factor when the file is larger";
  EXPECT_EQ(GetRatioString(3, 10, true), "30.0%  (3.3 : 1)");
  EXPECT_EQ(GetRatioString(-2, 10, true), "20.0%  (5.0 : 1)");
  EXPECT_EQ(GetRatioString(1000, 0, true) + GetRatioString(0, 1000, true), "");

  EXPECT_EQ(CalcTimeString(25, 250, true), "00:10.000");
  EXPECT_EQ(CalcTimeString(25, 250, false), "10.000");
  EXPECT_EQ(CalcTimeString(2, 7323, true), "01:01:01.500");
  EXPECT_EQ(CalcTimeString(0, 250, true) + CalcTimeString(-25, 250, false), "");

  QInfTextRec rec;
  rec.texts.fill("x");
  detail::ClearInfRec(rec);
  for (int32_t i = 0; i < INF_TEXT_COUNT; ++i) {
    if (i == INF_VID_FORMAT)
      EXPECT_EQ(rec.texts[i], "No video stream");
    else if (i == INF_AUD_FORMAT)
      EXPECT_EQ(rec.texts[i], "No audio stream");
    else
      EXPECT_EQ(rec.texts[i], "") << i;
  }
}

TEST_F(InformerTest, WavReport) {
  const QUniInfo info = Wav();
  ASSERT_FALSE(info.audio.compression.empty());
  ASSERT_EQ(info.size, 12046) << "46 header bytes and 12000 bytes of sound";
  const std::string expected = "File name............... " + info.name + "\r\n" +
                               "File Format............. WAV, Windows Wave Sound\r\n"
                               "File Size............... 12,046 bytes\r\n"
                               "Uncompressed size....... 12,000 bytes\r\n"
                               "Compression ratio....... 100.4%\r\n"
                               "Reported data rate...... \r\n"
                               "Estimated data rate..... 86 kB/s\r\n"
                               "\r\n"
                               "Video format............ No video stream\r\n"
                               "Width x Height.......... \r\n"
                               "Color depth............. \r\n"
                               "Frame rate.............. \r\n"
                               "Number of frames........ \r\n"
                               "Duration................ \r\n"
                               "Uncompressed size....... \r\n"
                               "\r\n"
                               "Audio format............ " +
                               info.audio.compression + "\r\n" +
                               "Sample rate............. 22050 Hz\r\n"
                               "Channels................ 2 (stereo)\r\n"
                               "Bits per channel........ 16-bit\r\n"
                               "Number of samples....... 3,000\r\n"
                               "Duration................ 00:00.136\r\n"
                               "Uncompressed size....... 12,000 bytes\r\n"
                               "************************************************************************\r\n";
  EXPECT_EQ(GetTextualInfo(info, false, true), expected);
  EXPECT_EQ(GetTextualInfo(info, false, false), expected) << "a report has no header";

  QInfTextRec rec;
  CalcInfoValues(info, rec, true);
  EXPECT_EQ(rec.texts[INF_VID_FORMAT], "No video stream");
  for (int32_t i = INF_VID_RES; i <= INF_VID_UNCMP_SIZE; ++i) EXPECT_EQ(rec.texts[i], "") << i;
}

TEST_F(InformerTest, WavCsvWithAndWithoutHeader) {
  const QUniInfo info = Wav();
  const std::string header =
      "\"FileName\";\"FileFormat\";\"FileSize\";\"FileUncompSize\";\"FileComprRatio\";\"FileDataRate\";"
      "\"FileEstDataRate\";\"VidFormat\";\"VidRes\";\"VidColors\";\"VidRate\";\"VidFrames\";\"VidTime\";"
      "\"VidUncmpSize\";\"AudFormat\";\"AudRate\";\"AudChannels\";\"AudBits\";\"AudSamples\";\"AudTime\";"
      "\"AudUncmpSize\"\r\n";
  const std::string line = "\"" + info.name +
                           "\";\"WAV, Windows Wave Sound\";12046;12000;\"100.4%\";;86;\"No video stream\";\"\";\"\";"
                           ";;;;\"" +
                           info.audio.compression + "\";22050;2;\"16\";3000;0.136;12000;\r\n";
  EXPECT_EQ(GetTextualInfo(info, true, true), header + line);
  EXPECT_EQ(GetTextualInfo(info, true, false), line);
}

TEST_F(InformerTest, VideoOfTenSecondsAndItsUnits) {
  const QUniInfo info = Movie(250, 25);
  const std::string report = GetTextualInfo(info, false, false);
  EXPECT_NE(report.find("\r\nVideo format............ " + info.video.compression +
                        "\r\n"
                        "Width x Height.......... 8 x 6 pixels\r\n"
                        "Color depth............. 24-bit (16,777,216 colors)\r\n"
                        "Frame rate.............. 25.00 fps\r\n"
                        "Number of frames........ 250\r\n"
                        "Duration................ 00:10.000\r\n"
                        "Uncompressed size....... 36,000 bytes\r\n"
                        "\r\n"
                        "Audio format............ No audio stream\r\n"
                        "Sample rate............. \r\n"
                        "Channels................ \r\n"
                        "Bits per channel........ \r\n"),
            std::string::npos)
      << report;
  const std::string csv = GetTextualInfo(info, true, false);
  EXPECT_NE(csv.find(";\"" + info.video.compression +
                     "\";\"8 x 6\";\"24-bit (16,777,216 colors)\";25.00;250;10.000;36000;"
                     "\"No audio stream\";;;\"\";;;;\r\n"),
            std::string::npos)
      << csv;

  QInfTextRec rec;
  QUniInfo big = Movie(2500, 25);
  big.video.videoReadable = RF_FALSE;
  big.video.bpp = 12;
  big.maxDataRate = 5 * 1024 * 1024 + 1023;
  CalcInfoValues(big, rec, true);
  EXPECT_EQ(rec.texts[INF_VID_FORMAT], big.video.compression + " *NOT SUPPORTED*");
  EXPECT_EQ(rec.texts[INF_VID_COLORS], "12-bit");
  EXPECT_EQ(rec.texts[INF_VID_FRAMES], "2,500");
  EXPECT_EQ(rec.texts[INF_VID_TIME], "01:40.000");
  EXPECT_EQ(rec.texts[INF_FILE_DATA_RATE], "5,120");
  big.maxDataRate = 1023;
  CalcInfoValues(big, rec, true);
  EXPECT_EQ(rec.texts[INF_FILE_DATA_RATE], "") << "below 1 kB/s";
  EXPECT_NE(GetTextualInfo(big, false, false).find("Reported data rate...... \r\n"), std::string::npos);
}

TEST_F(InformerTest, ColourDepthsAndChannelTexts) {
  QUniInfo info = Picture("grey.tga", 4, 4, 8);
  QInfTextRec rec;
  // The ends of the depth texts: alpha, and a depth without a colour count.
  const std::pair<int32_t, const char*> depths[] = {{32, "32-bit (16,777,216 colors + alpha channel)"}, {1, "1-bit"}};
  for (const auto& [bpp, text] : depths) {
    info.video.bpp = bpp;
    CalcInfoValues(info, rec, true);
    EXPECT_EQ(rec.texts[INF_VID_COLORS], text);
  }
  EXPECT_EQ(rec.texts[INF_FILE_EST_DATA_RATE], "") << "a still lasts no time";

  QUniInfo wav = Wav();
  struct Channels {
    int32_t count;
    const char* report;
    const char* csv;
  };
  for (const Channels& c : {Channels{1, "1 (mono)", "1"}, Channels{6, "6", "6"}}) {
    wav.audio.channels = c.count;
    CalcInfoValues(wav, rec, true);
    EXPECT_EQ(rec.texts[INF_AUD_CHANNELS], c.report);
    CalcInfoValues(wav, rec, false);
    EXPECT_EQ(rec.texts[INF_AUD_CHANNELS], c.csv);
  }
  wav.audio.samplesPerSec = 11025.9;
  wav.audio.audioReadable = RF_FALSE;
  CalcInfoValues(wav, rec, false);
  EXPECT_EQ(rec.texts[INF_AUD_RATE], "11025");
  EXPECT_EQ(rec.texts[INF_AUD_FORMAT], wav.audio.compression + " *NOT SUPPORTED*");
}

TEST_F(InformerTest, QuarterRatioAndThreeGigabytesInBothLayouts) {
  // 100 x 100 pictures of one byte per pixel: 400 of them are 4,000,000 bytes.
  QUniInfo info = Picture("small.tga", 100, 100, 8);
  info.video.frames = 400;
  info.size = 1000000;
  EXPECT_NE(GetTextualInfo(info, false, false).find("\r\nCompression ratio....... 25.0%  (4.0 : 1)\r\n"),
            std::string::npos);
  EXPECT_NE(GetTextualInfo(info, true, false).find(";1000000;4000000;\"25.0%\";"), std::string::npos);

  info.size = 3000000000;
  info.video.frames = 30000;  // 300,000,000 bytes
  const std::string report = GetTextualInfo(info, false, false);
  EXPECT_NE(report.find("\r\nFile Size............... 3,000,000,000 bytes\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("\r\nCompression ratio....... 1000.0%\r\n"), std::string::npos) << report;
  EXPECT_NE(GetTextualInfo(info, true, false).find(";3000000000;300000000;\"1000.0%\";"), std::string::npos);
}

TEST_F(InformerTest, RecordListListsEachRecordOnce) {
  EXPECT_EQ(InfoListGetStr(true), "");
  EXPECT_EQ(InfoListGetBoxStr(false), "");
  const QUniInfo wav = Wav();
  const QUniInfo movie = Movie(250, 25);
  EXPECT_EQ(InfoListAdd(&wav), 0);
  EXPECT_EQ(InfoListAdd(&movie), 1);
  EXPECT_EQ(InfoListAdd(&wav), 0);
  EXPECT_EQ(InfoListAdd(nullptr), NOT_SET);
  EXPECT_EQ(InfoListGetStr(true), GetTextualInfo(wav, true, true) + GetTextualInfo(movie, true, false));
  EXPECT_EQ(InfoListGetStr(false), GetTextualInfo(wav, false, false) + GetTextualInfo(movie, false, false));
  EXPECT_EQ(InfoListGetBoxStr(true), InfoListGetStr(true));
  InfoListDone();
  EXPECT_EQ(InfoListGetStr(true), "");
  InfoListInit();
  EXPECT_EQ(InfoListAdd(&movie), 0);
}

TEST_F(InformerTest, EditBoxTextStopsAt32000Characters) {
  // Reports of exactly 1000 characters: 32 fill the box to the limit, the 33rd does not fit.
  QUniInfo base = Wav();
  const size_t bare = GetTextualInfo(base, false, false).size() - base.name.size();
  base.name = dir + "/" + std::string(1000 - bare - dir.size() - 1, 'n');
  ASSERT_EQ(GetTextualInfo(base, false, false).size(), 1000u);
  std::deque<QUniInfo> records(100, base);

  for (size_t i = 0; i < 32; ++i) InfoListAdd(&records[i]);
  std::string box = InfoListGetBoxStr(false);
  EXPECT_EQ(box.size(), 32000u);
  EXPECT_EQ(box.find("Sorry"), std::string::npos) << "exactly 32000 characters still fit";

  for (size_t i = 32; i < records.size(); ++i) InfoListAdd(&records[i]);
  box = InfoListGetBoxStr(false);
  const std::string notice = "\r\n...Sorry, Windows edit box can't handle more than 32k...";
  ASSERT_EQ(box.size(), 32000u + notice.size());
  EXPECT_EQ(box.substr(32000), notice);
  EXPECT_EQ(box.substr(0, 32000), InfoListGetStr(false).substr(0, 32000));
  EXPECT_EQ(InfoListGetStr(false).size(), 100000u) << "the log and the command line get every record";

  // In CSV the header goes with the first record only, and the cut works the same way.
  const std::string csv = InfoListGetBoxStr(true);
  const size_t header = GetTextualInfo(base, true, true).size() - GetTextualInfo(base, true, false).size();
  const size_t line = GetTextualInfo(base, true, false).size();
  const size_t fits = (32000 - header) / line;
  ASSERT_LT(fits, records.size());
  EXPECT_EQ(csv.size(), header + fits * line + notice.size());
  EXPECT_EQ(csv.substr(csv.size() - notice.size()), notice);
  EXPECT_EQ(InfoListGetStr(true).size(), header + records.size() * line);
}

}  // namespace
}  // namespace rf
