#!/usr/bin/env bash
# Fuzzes the MXF reading layer (EssenceType, OpenRead, LargestFrameSize and
# every frame read as the conversion run reads it, into a buffer that starts
# at half the largest frame and grows) with libFuzzer for a bounded time:
# fuzz_mxf.sh [seconds] (default 60).
# Builds with clang in build-fuzz/; the real track files seed the corpus, new
# inputs go to build-fuzz/mxf-corpus, and a crash leaves its input in build-fuzz/.
set -euo pipefail
. "$(dirname "$0")/fuzz_common.sh"
fuzz_build mxf_fuzz mxf-corpus
fuzz_seeds mxf
fuzz_run tests/mxf/mxf_fuzz mxf-corpus -max_len=262144 -timeout=10 -rss_limit_mb=2048
