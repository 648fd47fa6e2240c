// The codec libraries, opened on first use instead of at start-up: one table of the functions
// the platform layer calls, each resolved from the library whose major version the headers name.
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace rf {

// The libraries, in the order they are opened (each one's dependencies before it).
enum class AvLibrary { Util, Resample, Scale, Codec, Format, Count };

// Every function used, one line each: the library that exports it and its name.
#define RF_AV_FUNCTIONS(X)                  \
  X(Util, av_mallocz)                       \
  X(Util, av_channel_layout_default)        \
  X(Util, av_channel_layout_uninit)         \
  X(Util, av_frame_alloc)                   \
  X(Util, av_frame_free)                    \
  X(Util, av_frame_unref)                   \
  X(Util, av_get_bytes_per_sample)          \
  X(Util, av_sample_fmt_is_planar)          \
  X(Util, av_log_set_callback)              \
  X(Resample, swr_alloc_set_opts2)          \
  X(Resample, swr_set_matrix)               \
  X(Resample, swr_init)                     \
  X(Resample, swr_get_out_samples)          \
  X(Resample, swr_convert)                  \
  X(Resample, swr_free)                     \
  X(Util, av_opt_set)                       \
  X(Util, av_opt_set_int)                   \
  X(Util, av_frame_get_buffer)              \
  X(Util, av_frame_make_writable)           \
  X(Scale, sws_getCachedContext)            \
  X(Scale, sws_scale)                       \
  X(Scale, sws_freeContext)                 \
  X(Codec, avcodec_find_encoder_by_name)    \
  X(Codec, avcodec_send_frame)              \
  X(Codec, avcodec_receive_packet)          \
  X(Codec, av_packet_unref)                 \
  X(Codec, av_packet_new_side_data)         \
  X(Format, avformat_get_riff_video_tags)   \
  X(Codec, avcodec_find_decoder)            \
  X(Codec, avcodec_alloc_context3)          \
  X(Codec, avcodec_free_context)            \
  X(Codec, avcodec_open2)                   \
  X(Codec, avcodec_send_packet)             \
  X(Codec, avcodec_receive_frame)           \
  X(Codec, avcodec_flush_buffers)           \
  X(Codec, avcodec_descriptor_get)          \
  X(Codec, av_packet_alloc)                 \
  X(Codec, av_packet_free)                  \
  X(Codec, av_parser_init)                  \
  X(Codec, av_parser_parse2)                \
  X(Codec, av_parser_close)                 \
  X(Format, avformat_get_riff_audio_tags)   \
  X(Format, av_codec_get_id)                \
  X(Util, av_dict_set)                      \
  X(Util, av_dict_free)                     \
  X(Util, av_malloc)                        \
  X(Util, av_free)                          \
  X(Util, av_rescale_q)                     \
  X(Codec, avcodec_find_encoder)            \
  X(Codec, avcodec_parameters_to_context)   \
  X(Codec, avcodec_parameters_from_context) \
  X(Codec, av_packet_rescale_ts)            \
  X(Codec, av_packet_move_ref)              \
  X(Codec, avcodec_parameters_copy)         \
  X(Format, avformat_open_input)            \
  X(Format, avformat_find_stream_info)      \
  X(Format, avformat_close_input)           \
  X(Format, av_read_frame)                  \
  X(Format, av_seek_frame)                  \
  X(Format, av_find_best_stream)            \
  X(Format, av_find_input_format)           \
  X(Format, avformat_alloc_output_context2) \
  X(Format, avformat_new_stream)            \
  X(Format, avformat_write_header)          \
  X(Format, av_interleaved_write_frame)     \
  X(Format, av_write_trailer)               \
  X(Format, avformat_free_context)          \
  X(Format, avio_alloc_context)             \
  X(Format, avio_context_free)              \
  X(Format, avio_open)                      \
  X(Format, avio_closep)                    \
  X(Format, avio_flush)                     \
  X(Codec, av_new_packet)

// The resolved functions, named as the libraries name them: Av().swr_convert(...).
struct AvApi {
#define RF_AV_MEMBER(library, name) decltype(&::name) name = nullptr;
  RF_AV_FUNCTIONS(RF_AV_MEMBER)
#undef RF_AV_MEMBER
};

// Opens the libraries and resolves the table once per process (safe from any thread); false
// when a library or a function is missing, with AvLoadFailure() saying which, posted as a
// library error line (platform/libmsg) on every call so that each failure carries it.
bool AvLoad();
const std::string& AvLoadFailure();
// The table; valid once AvLoad() has returned true.
const AvApi& Av();

namespace detail {
// The file name each library is opened under: its name and the major version of its headers.
const char* AvSoname(AvLibrary library);
// Resolves the table from the given file names (one per library); the failure names the library.
bool AvResolve(AvApi& api, const char* const (&sonames)[size_t(AvLibrary::Count)], std::string& failure);
}  // namespace detail

}  // namespace rf
