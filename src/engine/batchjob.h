// A render job as the command line describes it: inputs (with trims and silences), an effect
// chain and the output settings, turned into a project that the run commands take.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/project.h"
#include "foundation/common.h"

namespace rf {

struct BatchInput {
  std::string name;         // empty for a silence block
  int32_t first = NOT_SET;  // trim in frames, 0-based and inclusive
  int32_t last = NOT_SET;
  double silenceSeconds = 0;  // for a silence block
};

struct BatchEffect {
  int32_t id = 0;
  int32_t valueCount = 0;  // values given; the others take the effect's defaults
  double values[3] = {0, 0, 0};
  int32_t first = 0;
  int32_t last = 999999999;
};

// The geometry of the output frames; the defaults keep the first video input's size.
struct BatchGeometry {
  int32_t width = 0, height = 0;   // the rescale size; 0: the first video input's
  int32_t fit = 0;                 // how a frame of another size fits it: SM_STRETCH .. SM_CENTER
  int32_t borderColor = 0;         // 0xRRGGBB around a bordered or centred frame
  bool resample = false;           // area averaging instead of picking pixels
  int32_t crop[4] = {0, 0, 0, 0};  // left, top, right, bottom margins of the rescaled frame
  bool resizeBack = false;         // the cropped frame is scaled back to the rescale size
  int32_t rotation = 0;            // 0 none, 1 clockwise, 2 half turn, 3 counter-clockwise
  int32_t divisible = 1;           // both rescale sides a multiple of this
  double aspect = 0;               // width / height of the rescale size; 0 free
};

struct BatchJob {
  std::vector<BatchInput> inputs;
  bool sequences = false;  // numbered pictures are gathered into one movie
  std::vector<BatchEffect> effects;
  double fps = 0;             // 0: the first video input's rate, else 25
  bool keepDuration = false;  // convert the frame rate, keeping the running time
  int32_t depth = 0;          // 0: as the output format stores the pictures
  bool dither = false;
  bool sharedPalette = false;  // 8-bit outputs: one palette for the whole movie, in two passes
  bool grayscale = false;
  int32_t interleave = 0;  // video frames per audio chunk; 0: one second's worth
  // The output's sound; 0 keeps the first sound input's.
  int32_t audioRate = 0, audioBits = 0, audioChannels = 0;
  bool backwards = false;
  std::string output;       // pictures (and sound when the format carries it)
  std::string audioOutput;  // sound into a file of its own

  // AVI compression (an AVI output only); NOT_SET keeps the compressor's default.
  std::string codec;            // FourCC ("MJPG", "DIB" ...); empty: Cinepak
  int32_t quality = NOT_SET;    // 0..100
  int32_t keyFrames = NOT_SET;  // frames between key frames, 0 off
  int32_t dataRate = NOT_SET;   // kilobytes per second, 0 off
  // MPEG and MP4 outputs.
  bool mpeg2 = false;    // MPEG-2 instead of MPEG-1
  int32_t mpegRate = 0;  // video kilobits per second, 0 the default
  int32_t crf = -1;      // MP4 H.264 quality 0..51, -1 the default
  BatchGeometry geometry;
};

// The effect with that name, case-insensitive; 0 when there is none.
int32_t BatchEffectId(const std::string& name);

// The job's edit list, effect chain and output definition in an empty project. False with the
// error register set when the job is refused.
bool BatchBuild(const BatchJob& job, Project& project);

// The output definition the job would run with, as lines of text, without writing anything.
// False with the error register set when the job would be refused.
bool BatchDescribe(const BatchJob& job, std::vector<std::string>& lines);

}  // namespace rf
