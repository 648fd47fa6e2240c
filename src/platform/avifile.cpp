// AVI file library stand-in: the calls' entry points (the reader and the writer follow).
#include "platform/avifile.h"

namespace rf {

int32_t AVIFileOpen(PAVIFILE* file, std::string_view, uint32_t) {
  if (file) *file = nullptr;
  return AVIERR_UNSUPPORTED;
}
int32_t AVIFileInfo(PAVIFILE, AVIFILEINFO*, int32_t) { return AVIERR_BADHANDLE; }
int32_t AVIFileGetStream(PAVIFILE, PAVISTREAM* stream, uint32_t, int32_t) {
  if (stream) *stream = nullptr;
  return AVIERR_BADHANDLE;
}
int32_t AVIFileCreateStream(PAVIFILE, PAVISTREAM* stream, const AVISTREAMINFO*) {
  if (stream) *stream = nullptr;
  return AVIERR_BADHANDLE;
}
int32_t AVIFileRelease(PAVIFILE) { return AVIERR_BADHANDLE; }
void AVIFileAbandon(PAVIFILE) {}
AviIndexKind AVIFileIndexKind(PAVIFILE) { return AviIndexKind::Scan; }
void AVIFileSetPartLimit(PAVIFILE, int64_t) {}
int32_t AVIStreamInfo(PAVISTREAM, AVISTREAMINFO*, int32_t) { return AVIERR_BADHANDLE; }
int32_t AVIStreamReadFormat(PAVISTREAM, int32_t, void*, int32_t*) { return AVIERR_BADHANDLE; }
int32_t AVIStreamLength(PAVISTREAM) { return -1; }
int32_t AVIStreamRead(PAVISTREAM, int32_t, int32_t, void*, int32_t, int32_t*, int32_t*) { return AVIERR_BADHANDLE; }
bool AVIStreamIsKeyFrame(PAVISTREAM, int32_t) { return false; }
int32_t AVIStreamNearestKeyFrame(PAVISTREAM, int32_t) { return 0; }
int32_t AVIStreamSetFormat(PAVISTREAM, int32_t, const void*, int32_t) { return AVIERR_BADHANDLE; }
int32_t AVIStreamWrite(PAVISTREAM, int32_t, int32_t, const void*, int32_t, uint32_t, int32_t*, int32_t*) {
  return AVIERR_BADHANDLE;
}

}  // namespace rf
