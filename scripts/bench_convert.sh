#!/usr/bin/env bash
# End-to-end conversion speed: dcp2mov against FFmpeg doing the same job
# (reading the MXF, decoding JPEG 2000, X'Y'Z' to RGB, libx264 at the same
# quality: CRF 18, preset medium, 4:2:0) on the same clip in the same run,
# with 2 and with 8 processors.  Prints frames per second, the ratio
# (dcp2mov / FFmpeg, above 1 is faster) and the peak memory of each.
#
#   scripts/bench_convert.sh [TRACK.mxf]
#
# The clip defaults to the quick-start sample (made when absent).  BUILD_DIR
# names the Release build (default build-release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
for tool in bc /usr/bin/time taskset ffmpeg ffprobe; do
  command -v "$tool" >/dev/null || { echo "bench_convert: $tool is missing" >&2; exit 1; }
done
build=${BUILD_DIR:-$root/build-release}
if [ ! -x "$build/converter/dcp2mov" ] || [ ! -x "$build/mxf/mxf_wrap" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDCP_BUILD_TESTS=OFF -DDCP_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j4 --target dcp2mov mxf_wrap
fi
clip=${1:-$build/sample/sample.mxf}
[ -f "$clip" ] || BUILD_DIR=$build bash "$root/scripts/make_sample.sh" "$clip"
frames=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$clip")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data

# Wall seconds and peak resident kilobytes of a command.
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>&1
  cat "$work/time"
}

printf '%-8s %10s %10s %8s %12s %12s\n' cpus dcp2mov ffmpeg ratio dcp2mov_KB ffmpeg_KB
for cpus in 2 8; do
  set_cpus="taskset -c 0-$((cpus - 1))"
  read -r ours_s ours_kb < <(measure $set_cpus "$build/converter/dcp2mov" "$clip" "$work/ours")
  read -r peer_s peer_kb < <(measure $set_cpus ffmpeg -y -threads "$cpus" -i "$clip" \
    -vf scale=out_color_matrix=bt709:out_range=tv -pix_fmt yuv420p \
    -c:v libx264 -preset medium -crf 18 -threads "$cpus" "$work/peer.mov")
  ours_fps=$(echo "$frames / $ours_s" | bc -l)
  peer_fps=$(echo "$frames / $peer_s" | bc -l)
  printf '%-8s %10.2f %10.2f %8.2f %12s %12s\n' "$cpus" "$ours_fps" "$peer_fps" \
    "$(echo "$ours_fps / $peer_fps" | bc -l)" "$ours_kb" "$peer_kb"
done
echo "($frames frames of $clip; frames per second)"
