// The commands that run a job (render, convert, count-colors, average): options into a batch
// job, the job into a project, the project through the run commands.
#include <getopt.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "cli.h"
#include "cli_progress.h"
#include "effects/fnparams.h"
#include "engine/outdef.h"
#include "formats/ff_avi.h"
#include "formats/ffdesc.h"

namespace rf::cli {
namespace {

const char* const kRenderHelp =
    "usage: reelforge-cli render [OPTIONS] -o OUTPUT INPUT...\n"
    "       reelforge-cli convert INPUT OUTPUT [OPTIONS]\n"
    "       reelforge-cli count-colors [OPTIONS] INPUT...\n"
    "       reelforge-cli average [OPTIONS] -o OUTPUT INPUT...\n"
    "\n"
    "Renders the inputs, in the order given, into OUTPUT (a picture, a numbered picture\n"
    "sequence, or a sound file). INPUT@FIRST-LAST takes frames FIRST to LAST (from 0).\n"
    "count-colors prints how many colours the rendered frames hold and writes nothing;\n"
    "average writes the mean of the rendered frames as one picture.\n"
    "\n"
    "  -o, --output FILE       the output; its extension chooses the format\n"
    "      --audio-out FILE    the sound into a file of its own\n"
    "      --sequences         numbered pictures (img0001.tga ...) are read as one movie\n"
    "      --silence SECONDS   a stretch of silence at this place among the inputs\n"
    "      --effect EFFECT     NAME[:a,b,c][@FIRST-LAST], e.g. \"Brightness:10,10,10@0-49\";\n"
    "                          names as the effect list spells them, any case\n"
    "      --fps RATE          output frames per second (default: the first input's, else 25)\n"
    "      --keep-duration     convert the frame rate so that the running time stays\n"
    "      --depth BITS        24, 16, 15 or 8 bits per pixel\n"
    "      --dither            error diffusion when reducing to 8 bits\n"
    "      --shared-palette    8 bits: one palette for the whole movie (two passes)\n"
    "      --grayscale         grey pictures\n"
    "      --backwards         play the video backwards\n"
    "  Movie outputs take the sound into the same file unless --audio-out is given.\n"
    "      --interleave N      a chunk of sound every N frames (default: one second's worth)\n"
    "      --audio-rate HZ     the output's sample rate (default: the first sound input's)\n"
    "      --audio-bits N      8 or 16 bits per sample\n"
    "      --audio-channels N  1 or 2\n"
    "      --codec NAME        the video compressor: for AVI a FourCC (default cvid; DIB:\n"
    "                          uncompressed; 'reelforge-cli codecs' lists them), for MP4 h264\n"
    "      --quality N         compression quality, 0 to 100\n"
    "      --keyframes N       a key frame every N frames (0: the compressor's choice)\n"
    "      --data-rate KB      target data rate in kilobytes per second (0: none)\n"
    "      --mpeg2             MPEG outputs (.mpg) in MPEG-2 instead of MPEG-1\n"
    "      --bitrate KB        MPEG video kilobits per second (1..102400, default 1125)\n"
    "      --crf N             MP4 outputs (.mp4, H.264 and AAC): quality 0 (best) .. 51, default 23\n"
    "  Geometry, applied to every frame in this order: rescale, crop, rotate, the effects, then the\n"
    "  scaling back when asked for. Sizes are 4 to 4096 pixels.\n"
    "      --size WxH          the rescale size (default: the first video input's)\n"
    "      --fit MODE          how a frame of another size fits it: stretch (default), border (all\n"
    "                          of it, bordered), crop (filled, the overhang cut off), center (unscaled,\n"
    "                          cut or bordered)\n"
    "      --border-color RRGGBB  the colour of the border, hexadecimal (default 000000)\n"
    "      --resample          scale by averaging areas instead of picking pixels\n"
    "      --crop L,T,R,B      margins cut from the rescaled frame, in pixels\n"
    "      --resize-back       scale the cropped frame back to the rescale size\n"
    "      --rotate DEGREES    90, 180 or 270, clockwise\n"
    "      --divisible N       both sides of the rescale size a multiple of N (1 to 256)\n"
    "      --aspect W:H        a fixed ratio of the rescale size: the height follows the width\n"
    "      --dry-run           print the output definition (sizes, rate, sound format, names) and\n"
    "                          write nothing\n"
    "      --preview[=MODE]    render a quick HAV preview instead (super-fast, fast, medium,\n"
    "                          high; default medium) into the temporary folder; prints its name\n"
    "  -y, --yes               replace an existing OUTPUT without asking\n"
    "  -n, --no                never replace an existing OUTPUT\n"
    "  An existing OUTPUT is replaced only after a yes on the terminal or with -y; without a\n"
    "  terminal to ask on, the command refuses.\n"
    "  -q, --quiet             no progress display\n"
    "      --progress=machine  one key=value line per update on standard error\n"
    "      --help              this text\n"
    "\n"
    "The first Ctrl-C stops (half a second later) and keeps what was written; a second one within\n"
    "that time aborts and removes what this run wrote. A failed or aborted run leaves files that\n"
    "existed before it as they were.\n";

enum Option {
  kOptAudioOut = 256,
  kOptSequences,
  kOptSilence,
  kOptEffect,
  kOptFps,
  kOptKeepDuration,
  kOptDepth,
  kOptDither,
  kOptBackwards,
  kOptProgress,
  kOptHelp,
  kOptCodec,
  kOptQuality,
  kOptKeyFrames,
  kOptDataRate,
  // MPEG and MP4 outputs.
  kOptMpeg2,
  kOptBitrate,
  kOptCrf,
  // Geometry.
  kOptSize,
  kOptFit,
  kOptBorderColor,
  kOptResample,
  kOptCrop,
  kOptResizeBack,
  kOptRotate,
  kOptDivisible,
  kOptAspect,
  kOptDryRun,
  kOptSharedPalette,
  kOptGrayscale,
  kOptInterleave,
  kOptAudioRate,
  kOptAudioBits,
  kOptAudioChannels,
  kOptPreview,
};

const option kLongOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"audio-out", required_argument, nullptr, kOptAudioOut},
    {"sequences", no_argument, nullptr, kOptSequences},
    {"silence", required_argument, nullptr, kOptSilence},
    {"effect", required_argument, nullptr, kOptEffect},
    {"fps", required_argument, nullptr, kOptFps},
    {"keep-duration", no_argument, nullptr, kOptKeepDuration},
    {"depth", required_argument, nullptr, kOptDepth},
    {"dither", no_argument, nullptr, kOptDither},
    {"backwards", no_argument, nullptr, kOptBackwards},
    {"quiet", no_argument, nullptr, 'q'},
    {"progress", required_argument, nullptr, kOptProgress},
    {"help", no_argument, nullptr, kOptHelp},
    {"codec", required_argument, nullptr, kOptCodec},
    {"quality", required_argument, nullptr, kOptQuality},
    {"keyframes", required_argument, nullptr, kOptKeyFrames},
    {"data-rate", required_argument, nullptr, kOptDataRate},
    {"mpeg2", no_argument, nullptr, kOptMpeg2},
    {"bitrate", required_argument, nullptr, kOptBitrate},
    {"crf", required_argument, nullptr, kOptCrf},
    {"size", required_argument, nullptr, kOptSize},
    {"fit", required_argument, nullptr, kOptFit},
    {"border-color", required_argument, nullptr, kOptBorderColor},
    {"resample", no_argument, nullptr, kOptResample},
    {"crop", required_argument, nullptr, kOptCrop},
    {"resize-back", no_argument, nullptr, kOptResizeBack},
    {"rotate", required_argument, nullptr, kOptRotate},
    {"divisible", required_argument, nullptr, kOptDivisible},
    {"aspect", required_argument, nullptr, kOptAspect},
    {"dry-run", no_argument, nullptr, kOptDryRun},
    {"shared-palette", no_argument, nullptr, kOptSharedPalette},
    {"grayscale", no_argument, nullptr, kOptGrayscale},
    {"interleave", required_argument, nullptr, kOptInterleave},
    {"audio-rate", required_argument, nullptr, kOptAudioRate},
    {"audio-bits", required_argument, nullptr, kOptAudioBits},
    {"audio-channels", required_argument, nullptr, kOptAudioChannels},
    {"preview", optional_argument, nullptr, kOptPreview},
    {"yes", no_argument, nullptr, 'y'},
    {"no", no_argument, nullptr, 'n'},
    {nullptr, 0, nullptr, 0},
};

bool ParseNumber(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && end && *end == '\0' && std::isfinite(value);
}

// INPUT or INPUT@FIRST-LAST.
// The MPEG and MP4 options; an empty message when the option was taken.
std::string ParseMpegOption(int option, const char* arg, BatchJob& job) {
  double number = 0;
  switch (option) {
    case kOptMpeg2:
      job.mpeg2 = true;
      return {};
    case kOptBitrate:
      if (!ParseNumber(arg, number) || number < 1 || number > 102400) return "--bitrate wants 1 to 102400 kilobits";
      job.mpegRate = int32_t(number);
      return {};
    case kOptCrf:
      if (!ParseNumber(arg, number) || number < 0 || number > 51) return "--crf wants 0 to 51";
      job.crf = int32_t(number);
      return {};
    default:
      return {};
  }
}

BatchInput ParseInput(const std::string& arg) {
  static const std::regex trim(R"((.+)@(\d+)-(\d+))");
  std::smatch m;
  BatchInput in;
  if (std::regex_match(arg, m, trim)) {
    in.name = m[1];
    in.first = std::atoi(m[2].str().c_str());
    in.last = std::atoi(m[3].str().c_str());
  } else {
    in.name = arg;
  }
  return in;
}

// NAME[:a,b,c][@FIRST-LAST]; an empty message when it parsed.
std::string ParseEffect(const std::string& text, BatchEffect& fx) {
  static const std::regex form(R"(([^:@]+)(?::([^@]*))?(?:@(\d+)-(\d+))?)");
  std::smatch m;
  if (!std::regex_match(text, m, form)) return "bad effect '" + text + "'";
  fx.id = BatchEffectId(m[1]);
  if (fx.id == 0) return "unknown effect '" + m[1].str() + "'";
  if (m[2].matched) {
    std::string values = m[2];
    size_t start = 0;
    while (start <= values.size()) {
      const size_t comma = values.find(',', start);
      const std::string item = values.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      double v;
      if (fx.valueCount == 3 || !ParseNumber(item, v)) return "bad values in effect '" + text + "'";
      fx.values[fx.valueCount++] = v;
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  if (m[3].matched) {
    fx.first = std::atoi(m[3].str().c_str());
    fx.last = std::atoi(m[4].str().c_str());
    if (fx.last < fx.first) return "effect range ends before it starts in '" + text + "'";
  }
  return {};
}

// The AVI options; an empty message when the option is not one of them or parsed.
std::string ParseAviOption(int option, const std::string& value, BatchJob& job) {
  double number;
  const bool numeric = ParseNumber(value, number) && number >= 0 && number == std::trunc(number);
  switch (option) {
    case kOptCodec:
      if (value.empty() || value.size() > 4) return "--codec wants a code of one to four characters";
      job.codec = value;
      return {};
    case kOptQuality:
      if (!numeric || number > 100) return "--quality wants a whole number from 0 to 100";
      job.quality = int32_t(number);
      return {};
    case kOptKeyFrames:
      if (!numeric || number > 1000000) return "--keyframes wants a whole number of frames from 0";
      job.keyFrames = int32_t(number);
      return {};
    case kOptDataRate:
      if (!numeric || number > 2000000) return "--data-rate wants a whole number of kilobytes per second";
      job.dataRate = int32_t(number);
      return {};
    default:
      return {};
  }
}

// Count whole numbers separated by sep, each within [low, high]; false when the text is anything else.
bool ParseInts(const std::string& text, char sep, size_t count, int32_t low, int32_t high, int32_t* values) {
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t end = i + 1 < count ? text.find(sep, start) : text.size();
    if (end == std::string::npos) return false;
    const std::string item = text.substr(start, end - start);
    if (item.empty() || item.size() > 5 || item.find_first_not_of("0123456789") != std::string::npos) return false;
    values[i] = std::atoi(item.c_str());
    if (values[i] < low || values[i] > high) return false;
    start = end + 1;
  }
  return true;
}

// The geometry options; an empty message when the option is not one of them or parsed.
std::string ParseGeometryOption(int option, const std::string& value, BatchGeometry& g) {
  static const char* const kFits[] = {"stretch", "border", "crop", "center"};  // in SM_ order
  static const std::regex color("[0-9A-Fa-f]{6}");
  int32_t v[2];
  switch (option) {
    case kOptSize:
      if (!ParseInts(value, 'x', 2, OUT_MIN_SIDE, OUT_MAX_SIDE, v)) return "--size wants WxH, each 4 to 4096";
      g.width = v[0];
      g.height = v[1];
      return {};
    case kOptFit:
      for (int32_t mode = SM_STRETCH; mode <= SM_CENTER; ++mode) {
        if (value != kFits[mode]) continue;
        g.fit = mode;
        return {};
      }
      return "--fit wants border, crop, center or stretch";
    case kOptBorderColor:
      if (!std::regex_match(value, color)) return "--border-color wants RRGGBB in hexadecimal";
      g.borderColor = int32_t(std::stoul(value, nullptr, 16));
      return {};
    case kOptResample:
      g.resample = true;
      return {};
    case kOptCrop:
      if (!ParseInts(value, ',', 4, 0, OUT_MAX_SIDE, g.crop)) return "--crop wants L,T,R,B in pixels";
      return {};
    case kOptResizeBack:
      g.resizeBack = true;
      return {};
    case kOptRotate:
      if (value != "90" && value != "180" && value != "270") return "--rotate wants 90, 180 or 270";
      g.rotation = value == "90" ? 1 : value == "180" ? 2 : 3;
      return {};
    case kOptDivisible:
      if (!ParseInts(value, ',', 1, 1, 256, v)) return "--divisible wants a whole number from 1 to 256";
      g.divisible = v[0];
      return {};
    case kOptAspect:
      if (!ParseInts(value, ':', 2, 1, OUT_MAX_SIDE, v)) return "--aspect wants W:H, two whole numbers from 1 to 4096";
      g.aspect = double(v[0]) / v[1];
      return {};
    default:
      return {};
  }
}

// The depth, palette and sound options; an empty message when the option is not one of them or
// parsed.
std::string ParseOutputOption(int option, const std::string& value, BatchJob& job) {
  int32_t v = 0;
  switch (option) {
    case kOptSharedPalette:
      job.sharedPalette = true;
      return {};
    case kOptGrayscale:
      job.grayscale = true;
      return {};
    case kOptInterleave:
      if (!ParseInts(value, ',', 1, 1, 10000, &v)) return "--interleave wants a whole number of frames from 1";
      job.interleave = v;
      return {};
    case kOptAudioRate:
      if (!ParseInts(value, ',', 1, 1000, 96000, &v)) return "--audio-rate wants 1000 to 96000 Hz";
      job.audioRate = v;
      return {};
    case kOptAudioBits:
      if (value != "8" && value != "16") return "--audio-bits wants 8 or 16";
      job.audioBits = std::atoi(value.c_str());
      return {};
    case kOptAudioChannels:
      if (value != "1" && value != "2") return "--audio-channels wants 1 or 2";
      job.audioChannels = std::atoi(value.c_str());
      return {};
    default:
      return {};
  }
}

// The preview presets by name, in the order of their numbers.
bool ParsePreviewMode(const char* arg, int32_t& mode) {
  static const char* const kModes[] = {"super-fast", "fast", "medium", "high"};
  if (!arg) {
    mode = 2;
    return true;
  }
  for (int32_t m = 0; m < 4; ++m) {
    if (std::string(arg) != kModes[m]) continue;
    mode = m;
    return true;
  }
  return false;
}

// The output definition of the job, written nowhere.
int DryRun(const BatchJob& job) {
  std::vector<std::string> lines;
  if (!BatchDescribe(job, lines)) return Fail(kFailed, TakeError());
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  return kOk;
}

// A compressor named for an AVI output must be installed and able to compress.
std::string CheckCodec(const BatchJob& job) {
  if (job.codec.empty() || FFGetId(job.output, FF_SAVE_TABLE) != FF_AVI) return {};
  aviCodecsRec rec;
  AviSettingsInit(rec, AviFourCC(job.codec));
  if (rec.isEncoder) return {};
  return "no installed compressor encodes '" + job.codec + "' (see 'reelforge-cli codecs')";
}

// count-colors runs the pictures through the pipeline of a picture output that is never written.
constexpr const char* kCountTarget = "count-colors.bmp";

const char* CommandName(JobCommand kind) {
  static const char* const kNames[] = {"render", "convert", "count-colors", "average"};
  return kNames[int(kind)];
}

// The exit status of a command that ran (or refused) with the run commands' result.
int StatusOf(int32_t result, const CliProgress& view) {
  if (result == 2 || result == NOT_RUN) return kFailed;
  if (view.Interrupts() > 0) return Fail(kInterrupted, "stopped");
  return kOk;
}

int RunCountColors(Project& project, const ProgressMode& mode, const RunSettings& settings) {
  CliProgress view(mode);
  int32_t colors = 0;
  return StatusOf(CountColors(project, view, settings, colors), view);
}

int RunAverage(Project& project, const ProgressMode& mode, const RunSettings& settings) {
  CliProgress view(mode);
  const int32_t result = TemporalAverage(project, view, settings);
  if (result == 0) std::printf("average: %s\n", ShortStrGet(project.output.LastVideoFile.data()).c_str());
  if (result == 1 && view.Interrupts() == 0) return Fail(kFailed, "average: nothing was written");
  return StatusOf(result, view);
}

int RunPreview(Project& project, const ProgressMode& mode, RunSettings settings, int32_t preset) {
  CliProgress view(mode);
  settings.previewMode = preset;
  std::string name;
  const int32_t result = RenderPreview(project, view, settings, name);
  if (result == 0) std::printf("preview: %s\n", name.c_str());
  if (result == 1 && view.Interrupts() == 0) return Fail(kFailed, "preview: nothing was written");
  return StatusOf(result, view);
}

int RunCommand(const BatchJob& job, JobCommand kind, const ProgressMode& mode, int32_t preview) {
  Project project;
  if (!BatchBuild(job, project)) {
    const std::string why = TakeError();
    // The count's picture output is the command's own: what its refusal means is a lack of pictures.
    if (kind == JobCommand::CountColors && why.find(kCountTarget) != std::string::npos)
      return Fail(kFailed, "count-colors: no input has pictures");
    return Fail(kFailed, why);
  }
  if (BuildsSession()) return SaveBuiltSession(project);
  RunSettings settings;
  if (kind == JobCommand::CountColors) return RunCountColors(project, mode, settings);
  if (kind == JobCommand::Average) return RunAverage(project, mode, settings);
  if (preview != NOT_SET) return RunPreview(project, mode, settings, preview);
  return RunProject(project, mode, settings);
}

}  // namespace

int CmdRender(int argc, char** argv, JobCommand kind) {
  if (kind == JobCommand::Render && RendersSaved(argc, argv)) return RenderSaved(argc, argv);
  BatchJob job;
  ProgressMode mode;
  const std::string command = CommandName(kind);
  const bool convertShorthand = kind == JobCommand::Convert;
  std::vector<std::string> positional;
  bool dryRun = false;
  int32_t preview = NOT_SET;
  Overwrite overwrite = Overwrite::Ask;
  optind = 1;
  opterr = 0;
  int c;
  // A leading "-" hands out the inputs in order among the options, so that --silence keeps its place.
  while ((c = getopt_long(argc, argv, "-o:qyn", kLongOptions, nullptr)) != -1) {
    double number;
    switch (c) {
      case 1:
        positional.push_back(optarg);
        break;
      case 'o':
        job.output = optarg;
        break;
      case kOptAudioOut:
        job.audioOutput = optarg;
        break;
      case kOptSequences:
        job.sequences = true;
        break;
      case kOptSilence: {
        if (!ParseNumber(optarg, number) || number <= 0)
          return Fail(kUsage, command + ": --silence wants a positive number of seconds");
        if (!convertShorthand) {
          for (const std::string& p : positional) job.inputs.push_back(ParseInput(p));
          positional.clear();
        }
        BatchInput silence;
        silence.silenceSeconds = number;
        job.inputs.push_back(silence);
        break;
      }
      case kOptEffect: {
        BatchEffect fx;
        const std::string problem = ParseEffect(optarg, fx);
        if (!problem.empty()) return Fail(kUsage, command + ": " + problem);
        job.effects.push_back(fx);
        break;
      }
      case kOptFps:
        if (!ParseNumber(optarg, number) || number <= 0 || number > 1000)
          return Fail(kUsage, command + ": --fps wants a rate above 0 and up to 1000");
        job.fps = number;
        break;
      case kOptKeepDuration:
        job.keepDuration = true;
        break;
      case kOptDepth:
        if (!ParseNumber(optarg, number) || (number != 24 && number != 16 && number != 15 && number != 8))
          return Fail(kUsage, command + ": --depth wants 24, 16, 15 or 8");
        job.depth = int32_t(number);
        break;
      case kOptDither:
        job.dither = true;
        break;
      case kOptBackwards:
        job.backwards = true;
        break;
      case 'q':
        mode.quiet = true;
        break;
      case kOptProgress:
        if (std::string(optarg) != "machine") return Fail(kUsage, command + ": --progress takes only 'machine'");
        mode.machine = true;
        break;
      case kOptHelp:
        std::fputs(kRenderHelp, stdout);
        return kOk;
      case kOptCodec:
      case kOptQuality:
      case kOptKeyFrames:
      case kOptDataRate: {
        const std::string problem = ParseAviOption(c, optarg, job);
        if (!problem.empty()) return Fail(kUsage, command + ": " + problem);
        break;
      }
      case kOptMpeg2:
      case kOptBitrate:
      case kOptCrf: {
        const std::string problem = ParseMpegOption(c, optarg, job);
        if (!problem.empty()) return Fail(kUsage, command + ": " + problem);
        break;
      }
      case kOptSize:
      case kOptFit:
      case kOptBorderColor:
      case kOptResample:
      case kOptCrop:
      case kOptResizeBack:
      case kOptRotate:
      case kOptDivisible:
      case kOptAspect: {
        const std::string problem = ParseGeometryOption(c, optarg ? optarg : "", job.geometry);
        if (!problem.empty()) return Fail(kUsage, command + ": " + problem);
        break;
      }
      case kOptDryRun:
        dryRun = true;
        break;
      case kOptSharedPalette:
      case kOptGrayscale:
      case kOptInterleave:
      case kOptAudioRate:
      case kOptAudioBits:
      case kOptAudioChannels: {
        const std::string problem = ParseOutputOption(c, optarg ? optarg : "", job);
        if (!problem.empty()) return Fail(kUsage, command + ": " + problem);
        break;
      }
      case kOptPreview:
        if (!ParsePreviewMode(optarg, preview))
          return Fail(kUsage, command + ": --preview takes super-fast, fast, medium or high");
        break;
      case 'y':
        overwrite = Overwrite::Yes;
        break;
      case 'n':
        overwrite = Overwrite::No;
        break;
      default:
        return Fail(kUsage, command + ": unknown or incomplete option '" + std::string(argv[optind - 1]) +
                                "' (see 'reelforge-cli " + command + " --help')");
    }
  }
  if (convertShorthand) {
    if (positional.size() != 2 || !job.output.empty())
      return Fail(kUsage, "convert: wants INPUT and OUTPUT (see 'reelforge-cli convert --help')");
    job.inputs.insert(job.inputs.begin(), ParseInput(positional[0]));
    job.output = positional[1];
  } else {
    for (const std::string& p : positional) job.inputs.push_back(ParseInput(p));
    if (kind == JobCommand::CountColors) job.output = kCountTarget;
    if (job.output.empty()) return Fail(kUsage, command + ": no output given (-o OUTPUT)");
  }
  bool anyFile = false;
  for (const BatchInput& in : job.inputs) anyFile = anyFile || !in.name.empty();
  if (!anyFile) return Fail(kUsage, command + ": no input given");
  const std::string codecProblem = CheckCodec(job);
  if (!codecProblem.empty()) return Fail(kUsage, command + ": " + codecProblem);
  if (dryRun) return DryRun(job);
  SetOverwriteAnswer(overwrite);
  return RunCommand(job, kind, mode, preview);
}

}  // namespace rf::cli
