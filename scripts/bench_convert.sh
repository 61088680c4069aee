#!/usr/bin/env bash
# End-to-end conversion speed: dcp2mov against FFmpeg doing the same job
# (reading the MXF, decoding JPEG 2000, X'Y'Z' to RGB, libx264 at the same
# quality: CRF 18, preset medium, 4:2:0) on the same clip in the same run,
# on all the processors the script was given and on two of them.  The
# processors are the script's own: `taskset -c 4-7 bash
# scripts/bench_convert.sh` measures on 4-7 and on 4,5.
#
# For each side it prints the wall seconds, the CPU seconds (user and
# system), the system share of the CPU time and the peak resident memory;
# then the ratios FFmpeg / dcp2mov of wall time (above 1: dcp2mov is
# faster), of CPU time and of peak memory (below 1: dcp2mov uses less).
#
#   scripts/bench_convert.sh [TRACK.mxf]
#
# The clip defaults to the quick-start sample (48 frames, made when absent).
# BUILD_DIR names the Release build (default build-release); RUNS repeats
# each measurement and keeps the fastest (default 1); PAIR names the two
# processors of the second measurement (default: the first two the script
# was given), so that it can be kept off processors that other work is
# pinned to.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
for tool in awk /usr/bin/time taskset ffmpeg ffprobe; do
  command -v "$tool" >/dev/null || { echo "bench_convert: $tool is missing" >&2; exit 1; }
done
build=${BUILD_DIR:-$root/build-release}
runs=${RUNS:-1}
# The processors this script may run on ("0-3,6" as taskset lists them),
# one by one.
allowed=$(taskset -pc $$ | sed 's/.*: *//')
cpu_list=()
IFS=, read -ra ranges <<<"$allowed"
for range in "${ranges[@]}"; do
  for ((cpu = ${range%-*}; cpu <= ${range#*-}; ++cpu)); do cpu_list+=("$cpu"); done
done
all=${#cpu_list[@]}
if [ -z "${PAIR:-}" ] && [ "$all" -lt 2 ]; then
  echo "bench_convert: needs two processors, was given $allowed" >&2
  exit 1
fi
pair=${PAIR:-${cpu_list[0]},${cpu_list[1]:-}}
if [ ! -x "$build/converter/dcp2mov" ] || [ ! -x "$build/mxf/mxf_wrap" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDCP_BUILD_TESTS=OFF -DDCP_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j3 --target dcp2mov mxf_wrap
fi
clip=${1:-$build/sample/sample.mxf}
[ -f "$clip" ] || BUILD_DIR=$build bash "$root/scripts/make_sample.sh" "$clip"
frames=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$clip")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data

# "wall user system peak_KB" of a command; the fastest of $runs runs.
measure() {
  local best=""
  for ((r = 0; r < runs; ++r)); do
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>&1 ||
      { echo "bench_convert: failed: $*" >&2; exit 1; }
    local line
    line=$(tail -n 1 "$work/time")
    if [ -z "$best" ] || awk -v a="$line" -v b="$best" 'BEGIN { split(a, x); split(b, y); exit !(x[1] < y[1]) }'; then
      best=$line
    fi
  done
  echo "$best"
}

row() {  # label cpus wall user sys kb
  awk -v l="$1" -v c="$2" -v w="$3" -v u="$4" -v s="$5" -v k="$6" -v f="$frames" 'BEGIN {
    cpu = u + s; share = cpu > 0 ? 100 * s / cpu : 0
    printf "%-5s %-8s %8.2f %8.2f %8.2f %8.2f %6.1f%% %9.0f %7.2f\n", c, l, w, u, s, cpu, share, k / 1024, f / w }'
}

printf '%-5s %-8s %8s %8s %8s %8s %7s %9s %7s\n' cpus side wall_s user_s sys_s cpu_s sys% rss_MB fps
for which in all pair; do
  if [ "$which" = pair ]; then
    cpus=2 set_cpus="taskset -c $pair"
  else
    cpus=$all set_cpus="taskset -c $allowed"
  fi
  read -r ow ou os ok < <(measure $set_cpus "$build/converter/dcp2mov" "$clip" "$work/ours")
  read -r pw pu ps pk < <(measure $set_cpus ffmpeg -y -threads "$cpus" -i "$clip" \
    -vf scale=out_color_matrix=bt709:out_range=tv -pix_fmt yuv420p \
    -c:v libx264 -preset medium -crf 18 -threads "$cpus" "$work/peer.mov")
  row dcp2mov "$cpus" "$ow" "$ou" "$os" "$ok"
  row ffmpeg "$cpus" "$pw" "$pu" "$ps" "$pk"
  awk -v c="$cpus" -v ow="$ow" -v oc="$(awk -v u="$ou" -v s="$os" 'BEGIN{print u+s}')" -v ok="$ok" \
      -v pw="$pw" -v pc="$(awk -v u="$pu" -v s="$ps" 'BEGIN{print u+s}')" -v pk="$pk" 'BEGIN {
    printf "%-5s ratio    wall %.2fx   cpu %.2fx   peak memory %.2f  (ffmpeg / dcp2mov; memory dcp2mov / ffmpeg)\n",
      c, pw / ow, pc / oc, ok / pk }'
done
echo "($frames frames of $clip; fastest of $runs run(s) each)"
