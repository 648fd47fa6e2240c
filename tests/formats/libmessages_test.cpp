// The outside libraries under the format units: their messages reach the trace and the error the
// user sees, never standard error.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "formats/ff_jpg.h"
#include "formats/ff_png.h"
#include "formats/ff_tif.h"
#include "formats/ff_wav.h"
#include "formats/still_test_util.h"
#include "foundation/trace.h"
#include "image/image_test_util.h"

namespace rf {
namespace {

using stilltest::FileBytes;
using stilltest::PutFile;
using stilltest::Str;

class LibMessagesTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("libmessages");
  std::string Path(const std::string& name) const { return dir + "/" + name; }
};

// A picture saved by our writer, then damaged where its library will notice.
void SaveDamaged(const std::string& path, void (*save)(std::string_view, const Qimg&),
                 const std::function<void(std::vector<uint8_t>&)>& damage) {
  Qimg img;
  test::MakePattern(img, 64, 48, 24);
  GuardedSilent("Test.Save", [&] { save(path, img); });
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  ImgFree(img);
  std::vector<uint8_t> bytes = FileBytes(path);
  damage(bytes);
  PutFile(path, bytes);
}

// MS ADPCM made by ffmpeg, whose every block then names predictor 200 of the format's 7.
void SaveDamagedAdpcm(const std::string& path) {
  const std::string made = path + ".made.wav";
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=d=0.2 -ar 22050 -c:a adpcm_ms '" + made + "'").c_str()),
            0);
  std::vector<uint8_t> bytes = FileBytes(made);
  const size_t align = stilltest::Le16(bytes, 32);
  const size_t data = Str(bytes).find("data") + 8;
  for (size_t at = data; at < bytes.size(); at += align) bytes[at] = 200;
  PutFile(path, bytes);
}

TEST_F(LibMessagesTest, DamagedFilesSayWhyInTheTraceAndTheErrorAndNothingOnStandardError) {
  struct Case {
    const char* file;
    std::function<void(const std::string&)> make;
    void (*info)(std::string_view, QffInfo&);
    const char* traced;  // the library's line in the trace
    const char* reason;  // in the error the user sees
  };
  const Case cases[] = {
      {"crc.png", [](const std::string& p) { SaveDamaged(p, PNGSave, [](auto& b) { b[29] ^= 0xFF; }); }, PNGInfo,
       "#libpng: IHDR: CRC error", "IHDR: CRC error"},
      {"magic.jpg", [](const std::string& p) { SaveDamaged(p, JPGSave, [](auto& b) { b[1] = 0x00; }); }, JPGInfo,
       "#libjpeg: Not a JPEG file", "Not a JPEG file"},
      {"order.tif", [](const std::string& p) { SaveDamaged(p, TIFSave, [](auto& b) { b[2] = 0x2B; }); }, TIFInfo,
       "#libtiff", "TIFF"},
      {"predictor.wav", SaveDamagedAdpcm, WAVInfo, "block_predictor[0] = 200", "block_predictor[0] = 200"},
  };
  for (const Case& c : cases) {
    c.make(Path(c.file));
    const std::string trace = Path(std::string(c.file) + ".trace");
    TraceSetFile(trace);
    TraceStart("heading");
    QffInfo info;
    std::string message;
    const std::string printed = test::StandardErrorOf([&] {
      GuardedSilent("Test.Info", [&] { c.info(Path(c.file), info); });
      message = ErrLastMessage();
      ErrClear();
    });
    TraceStop();
    EXPECT_EQ(printed, "") << c.file;
    EXPECT_NE(test::ReadWholeFile(trace).find(c.traced), std::string::npos) << c.file << ":\n"
                                                                            << test::ReadWholeFile(trace);
    EXPECT_NE(message.find(c.reason), std::string::npos) << c.file << ": " << message;
  }
}

}  // namespace
}  // namespace rf
