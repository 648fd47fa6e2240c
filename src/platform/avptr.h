// Owning pointers for the codec libraries' objects, each freed through the loaded library.
#pragma once

#include <memory>

#include "platform/avlib.h"

namespace rf {

struct AvInputCloser {
  void operator()(AVFormatContext* c) const { Av().avformat_close_input(&c); }
};
struct AvCodecCloser {
  void operator()(AVCodecContext* c) const { Av().avcodec_free_context(&c); }
};
struct AvPacketFree {
  void operator()(AVPacket* p) const { Av().av_packet_free(&p); }
};
struct AvFrameFree {
  void operator()(AVFrame* f) const { Av().av_frame_free(&f); }
};

using AvInputPtr = std::unique_ptr<AVFormatContext, AvInputCloser>;
using AvCodecPtr = std::unique_ptr<AVCodecContext, AvCodecCloser>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketFree>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameFree>;

}  // namespace rf
