#!/usr/bin/env bash
# Times the peer tools on the jobs of bench_image (640 x 480 pictures), single-threaded, and prints
# megapixels per second of source picture beside our own figures from bench_image. Each peer job
# runs on a batch of frames in one process; the CPU time of the same batch without the operation
# (decode, copy, write to null) is subtracted, so that the figure is the operation's own speed, as
# bench_image measures ours (CPU time, which other work on the machine does not inflate).
#   [RUNS=5] bash bench/peers.sh [frames] [bench_image]
#   (default 200 frames for ffmpeg, a quarter of it for ImageMagick; build/default/bench/bench_image)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"

FFMPEG=${FFMPEG:-/usr/bin/ffmpeg}
IM=${IM:-/usr/bin/convert-im6.q16}
[[ -x "$IM" ]] || IM=/usr/bin/convert
FRAMES=${1:-200}
BENCH=${2:-build/default/bench/bench_image}
IMFRAMES=$((FRAMES / 4))
W=640
H=480
work=$(mktemp -d "${TMPDIR:-/tmp}/rfpeers.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Test material: a moving test pattern with gradients and noise, as raw blue-green-red frames and
# as 16-bit 5-6-5 words.
"$FFMPEG" -v error -f lavfi -i "testsrc2=s=${W}x${H}:r=25,noise=alls=12:allf=t" -frames:v "$FRAMES" \
  -pix_fmt bgr24 -f rawvideo "$work/in24.raw"
"$FFMPEG" -v error -f rawvideo -pix_fmt bgr24 -s ${W}x${H} -i "$work/in24.raw" \
  -pix_fmt rgb565le -f rawvideo "$work/in16.raw"
head -c $((W * H * 3 * IMFRAMES)) "$work/in24.raw" > "$work/im24.raw"

# CPU seconds (user + system) one command takes, best of RUNS (default 5) runs.
RUNS=${RUNS:-5}

# Our figures: the Mpx/s counter of every benchmark, by name.
declare -A ours
if [[ -x "$BENCH" ]]; then
  while IFS=, read -r name rest; do
    ours[${name//\"/}]=${rest##*,}
  done < <("$BENCH" --benchmark_format=csv --benchmark_min_time=0.2 2> /dev/null | grep '^"BM_')
fi

# Megapixels per second from the frame count, the job time and the time without the job.
rate() {
  local frames=$1 job=$2 base=$3
  echo "$frames $job $base" | awk -v px=$((W * H)) '{ net = $2 - $3; if (net <= 0.0005) print "n/a"; else printf "%.1f", $1 * px / net / 1e6 }'
}

ff() {  # ff <input pix_fmt> <input file> <output pix_fmt> [filter]
  local args=(-v error -threads 1 -filter_threads 1 -f rawvideo -pix_fmt "$1" -s ${W}x${H} -i "$2")
  [[ -n "${4:-}" ]] && args+=(-vf "$4")
  "$FFMPEG" "${args[@]}" -pix_fmt "$3" -f null -
}

im() {  # im <options...>: reads the raw batch, applies the options, writes nothing
  "$IM" -limit thread 1 -size ${W}x${H} -depth 8 "bgr:$work/im24.raw" "$@" null:
}

ff_base24=$(best_of ff bgr24 "$work/in24.raw" bgr24)
ff_base16=$(best_of ff rgb565le "$work/in16.raw" rgb565le)
im_base=$(best_of im)

printf "%-34s %10s %12s %18s\n" "job (640 x 480 source), Mpx/s" "ours" "ffmpeg" "ImageMagick"
job() {  # job <name> <our benchmark> <ffmpeg time> <ffmpeg base> <ImageMagick options or empty>
  local name=$1 bench=$2 fft=$3 ffb=$4
  shift 4
  local imr="n/a" our=${ours[$bench]:-n/a}
  if (($# > 0)); then imr=$(rate "$IMFRAMES" "$(best_of im "$@")" "$im_base"); fi
  [[ "$our" == n/a ]] || our=$(printf "%.1f" "$our")
  printf "%-34s %10s %12s %18s\n" "$name" "$our" "$(rate "$FRAMES" "$fft" "$ffb")" "$imr"
}

job "ConvBpp 24->16" BM_ConvBpp/from:24/to:16/method:0 "$(best_of ff bgr24 "$work/in24.raw" rgb565le)" "$ff_base24"
job "ConvBpp 24->15" BM_ConvBpp/from:24/to:15/method:0 "$(best_of ff bgr24 "$work/in24.raw" rgb555le)" "$ff_base24"
job "ConvBpp 16->24" BM_ConvBpp/from:16/to:24/method:0 "$(best_of ff rgb565le "$work/in16.raw" bgr24)" "$ff_base16"
job "ConvBpp 24->8 grey" BM_ConvBpp/from:24/to:8/method:2 "$(best_of ff bgr24 "$work/in24.raw" gray)" "$ff_base24" -grayscale Average
job "Resize (nearest) 320x240" BM_ImgResize/w:320/h:240 "$(best_of ff bgr24 "$work/in24.raw" bgr24 scale=320:240:flags=neighbor)" \
  "$ff_base24" -sample 320x240!
job "Resize (nearest) 1280x960" BM_ImgResize/w:1280/h:960 "$(best_of ff bgr24 "$work/in24.raw" bgr24 scale=1280:960:flags=neighbor)" \
  "$ff_base24" -sample 1280x960!
job "Resample (box) 320x240" BM_ImgResample/w:320/h:240 "$(best_of ff bgr24 "$work/in24.raw" bgr24 scale=320:240:flags=area)" \
  "$ff_base24" -scale 320x240!
job "Resample (linear) 1280x960" BM_ImgResample/w:1280/h:960 "$(best_of ff bgr24 "$work/in24.raw" bgr24 scale=1280:960:flags=bilinear)" \
  "$ff_base24" -filter Triangle -resize 1280x960!
job "Rotate 90" BM_ImgRotate90 "$(best_of ff bgr24 "$work/in24.raw" bgr24 transpose=1)" "$ff_base24" -rotate 90
job "ConvTo8bit 256 colours, plain" BM_ConvTo8bit/dither:0 \
  "$(best_of ff bgr24 "$work/in24.raw" pal8 "split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1:dither=none")" \
  "$ff_base24" +dither -colors 256
job "ConvTo8bit 256 colours, dithered" BM_ConvTo8bit/dither:1 \
  "$(best_of ff bgr24 "$work/in24.raw" pal8 "split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1:dither=floyd_steinberg")" \
  "$ff_base24" -dither FloydSteinberg -colors 256
