#!/usr/bin/env bash
# HAV codecs against ffmpeg's lossless FFV1, HuffYUV and Ut Video on the same 640 x 480 24-bit
# test-source frames, one thread each: milliseconds of CPU per frame to encode and to decode, and
# bytes per frame. Ours come from bench_hav (codec alone, frames in memory); the peers' from
# ffmpeg runs on the whole batch, less the same run without the codec (reading the frames and
# converting them to the codec's pixel format, or reading its raw output), best of RUNS.
#   [RUNS=3] [SOURCE=testsrc] bash bench/peers_hav.sh [frames] [bench_hav]
# SOURCE is any ffmpeg video source filter chain, e.g. "testsrc2,noise=alls=12:allf=t" for
# frames with noise.
#
# Measured here (2 shared cores, best of 3), testsrc, 50 frames:
#   codec              encode ms/fr   decode ms/fr      bytes/frame
#   HAV BEST K=25              0.95           0.01             2556
#   HAV FAST K=25              0.10           0.01             4348
#   HAV BEST-P K=25            1.22           0.57              859
#   HAV BEST K=1               1.39           0.03             7490
#   HAV FAST K=1               0.14           0.15            23149
#   HAV BEST-P K=1             1.62           0.57             5713
#   FFV1                       8.10           2.08             9185
#   HuffYUV                    2.02           1.98           248519
#   Ut Video                   2.82           2.26           133968
# With noise (SOURCE="testsrc2,noise=alls=12:allf=t", 30 frames) literals dominate, and a HAV
# literal costs 9 or 10 bits: every peer's files are smaller there, BEST encodes slowly, but FAST
# still decodes fastest.
#   HAV BEST K=25             39.73           3.94           750384
#   HAV FAST K=25              8.80           2.23           858087
#   HAV BEST-P K=25           39.90           3.35           899763
#   FFV1                      27.97          21.33           553512
#   HuffYUV                    1.63           7.87           656747
#   Ut Video                   3.53           4.33           579529
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"

FFMPEG=${FFMPEG:-/usr/bin/ffmpeg}
FRAMES=${1:-50}
BENCH=${2:-build/default/bench/bench_hav}
W=640
H=480
work=$(mktemp -d "${TMPDIR:-/tmp}/rfhav.XXXXXX")
trap 'rm -rf "$work"' EXIT

SOURCE=${SOURCE:-testsrc}
source_name=${SOURCE%%,*}
"$FFMPEG" -v error -f lavfi -i "$source_name=s=${W}x${H}:r=25${SOURCE#"$source_name"}" -frames:v "$FRAMES" -pix_fmt bgr24 -f rawvideo "$work/in.raw"

RUNS=${RUNS:-3}
per_frame() { echo "$1 $2" | awk -v n="$FRAMES" '{ d = $1 - $2; if (d < 0) d = 0; printf "%.2f", d / n * 1000 }'; }

printf "%-16s %14s %14s %16s\n" "codec" "encode ms/fr" "decode ms/fr" "bytes/frame"

# Ours: bench_hav's CPU time per iteration (one frame) and its bytes_per_frame counter.
declare -A enc dec size
while IFS=, read -r name _ _ cpu _ _ _ _ _ _ bytes; do
  name=${name//\"/}
  run=${name#*/}
  case $name in
    BM_HavEncode/*) enc[$run]=$cpu size[$run]=$bytes ;;
    BM_HavDecode/*) dec[$run]=$cpu ;;
  esac
done < <(HAV_BENCH_FRAMES="$work/in.raw" "$BENCH" --benchmark_format=csv --benchmark_min_time=0.5 \
  --benchmark_counters_tabular=true 2> /dev/null | grep '^"BM_')
label=("HAV BEST" "HAV FAST" "HAV BEST-P")
for key in 25 1; do
  for mode in 0 1 2; do
    run="mode:$mode/key:$key"
    printf "%-16s %14.2f %14.2f %16.0f\n" "${label[$mode]} K=$key" "${enc[$run]}" "${dec[$run]}" "${size[$run]}"
  done
done

ff() { "$FFMPEG" -v error -threads 1 -filter_threads 1 "$@"; }
peer() {  # peer <label> <encoder> <pixel format> [encoder options...]
  local label=$1 codec=$2 pix=$3
  shift 3
  local raw=(-f rawvideo -pix_fmt bgr24 -s ${W}x${H} -i "$work/in.raw")
  ff "${raw[@]}" -pix_fmt "$pix" -f rawvideo -y "$work/native.raw"
  local e eb d db
  e=$(best_of ff "${raw[@]}" -pix_fmt "$pix" -c:v "$codec" "$@" -threads 1 -y "$work/out.mkv")
  eb=$(best_of ff "${raw[@]}" -pix_fmt "$pix" -f null -)
  d=$(best_of ff -i "$work/out.mkv" -f null -)
  db=$(best_of ff -f rawvideo -pix_fmt "$pix" -s ${W}x${H} -i "$work/native.raw" -f null -)
  printf "%-16s %14s %14s %16d\n" "$label" "$(per_frame "$e" "$eb")" "$(per_frame "$d" "$db")" \
    $(($(stat -c %s "$work/out.mkv") / FRAMES))
}
peer "FFV1" ffv1 bgr0
peer "HuffYUV" huffyuv rgb24
peer "Ut Video" utvideo gbrp
