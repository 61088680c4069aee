#!/usr/bin/env bash
# Makes a small sample picture track file: a few seconds of moving, textured
# 2K content (FFmpeg's testsrc2 pattern, 1998x1080, 12 bits per component),
# coded as Digital Cinema 2K codestreams by Debian's opj_compress and wrapped
# into an OP-Atom track file by the project's own writer (mxf_wrap).
#
#   scripts/make_sample.sh [OUT.mxf] [FRAMES]
#
# OUT.mxf defaults to build-release/sample/sample.mxf, FRAMES to 48 (two
# seconds at 24 fps).  BUILD_DIR names the build that holds mxf_wrap
# (default build-release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-release}
out=${1:-$build/sample/sample.mxf}
frames=${2:-48}
wrap=$build/mxf/mxf_wrap
[ -x "$wrap" ] || { echo "make_sample: $wrap is missing; build the target mxf_wrap first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "make_sample: ffmpeg is missing (scripts/deps.sh installs it)" >&2; exit 1; }
command -v opj_compress >/dev/null || { echo "make_sample: opj_compress is missing (scripts/deps.sh installs it)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
width=1998
height=1080
frame_bytes=$((width * height * 3 * 2))

# Planar 12-bit samples in 16-bit little-endian words, one file per frame.
ffmpeg -v error -f lavfi -i "testsrc2=size=${width}x${height}:rate=24" -frames:v "$frames" \
  -pix_fmt gbrp12le -f rawvideo - |
  split -d -a 4 --additional-suffix=.rawl -b "$frame_bytes" - "$work/f"
count=$(find "$work" -name 'f*.rawl' | wc -l)
[ "$count" -eq "$frames" ] || { echo "make_sample: ffmpeg gave $count frames, not $frames" >&2; exit 1; }

# Each frame coded on its own, as many at once as there are processors
# (JOBS when set).
find "$work" -name 'f*.rawl' -print0 | sort -z |
  xargs -0 -P "${JOBS:-$(nproc)}" -I{} sh -c \
    'opj_compress -i "$1" -F '"$width,$height"',3,12,u -o "${1%.rawl}.j2c" -cinema2K 24 >/dev/null 2>&1 ||
       { echo "make_sample: opj_compress failed on $1" >&2; exit 1; }' _ {}

coded=$(find "$work" -name 'f*.j2c' | wc -l)
[ "$coded" -eq "$frames" ] || { echo "make_sample: $coded of $frames frames were coded" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
find "$work" -name 'f*.j2c' -print0 | sort -z | xargs -0 "$wrap" "$out"
echo "sample track file: $out ($frames frames, ${width}x${height}, 24 fps)"
