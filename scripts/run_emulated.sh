#!/usr/bin/env bash
# Runs one test program of the primitives under Debian's user-mode emulator
# (package qemu-user) with a processor model of one generation: the model has
# the instruction sets the processor detection chooses that generation on and
# nothing newer, so the builds of that generation run where an instruction
# above it ends the run with an illegal instruction.  Only the tests of that
# generation's builds run, with those that name no generation; the px builds
# run with sse2, the oldest model.  DCP_EMULATED_GENERATION tells the core's
# tests which generation the detection must choose there.
#   usage: run_emulated.sh <generation> <test program> [test program options]
# Exits 77 (CTest's skip code here) when qemu-x86_64 is not installed.
set -euo pipefail
gen=${1:?usage: run_emulated.sh <generation> <test program> [options]}
program=${2:?usage: run_emulated.sh <generation> <test program> [options]}
shift 2

# Features the emulator does not have are turned off, which only silences its
# warnings about them.
case $gen in
  sse2) model=qemu64 ;;                                               # SSE3, no SSSE3
  ssse3) model=Conroe ;;                                              # 65 nm Core 2: SSSE3, no SSE4.1
  movbe) model=n270,+lm ;;                                            # Atom in 64-bit mode: SSSE3 and MOVBE
  sse41) model=Penryn ;;                                              # 45 nm Core 2: SSE4.1, no SSE4.2
  avx) model=SandyBridge,-x2apic,-tsc-deadline ;;                     # AVX, no AVX2
  avx2) model=Haswell,-pcid,-x2apic,-tsc-deadline,-hle,-invpcid,-rtm ;; # AVX2, FMA, BMI, no AVX-512
  *)
    echo "run_emulated.sh: unknown generation '$gen' (sse2, ssse3, movbe, sse41, avx or avx2)" >&2
    exit 2
    ;;
esac

if ! command -v qemu-x86_64 >/dev/null 2>&1; then
  echo "SKIPPED: qemu-x86_64 is not installed (Debian package qemu-user); no emulated $gen run"
  exit 77
fi

# Parameterised tests end in the name of the generation whose build they run;
# those of the other generations are left out.  So is the power's accuracy
# sweep over millions of floats (a third of the emulated time): the other
# power tests run the same code paths of each build.
skip=("*/PowxTest.GammaExponentsWithin21Bits/*")
for g in px sse2 ssse3 movbe sse41 avx avx2; do
  [ "$g" = "$gen" ] && continue
  [ "$g" = px ] && [ "$gen" = sse2 ] && continue
  skip+=("*/$g")
done
# Debian 12's emulator (qemu 7.2) ignores the index of a gather whose index
# register is xmm4 or ymm4: every lane loads the base element.  The avx2 power
# gathers its table entries, and the compiler may well give it that register,
# so it is left to the native run.
if [ "$gen" = avx2 ]; then skip+=("*/PowxTest.*/avx2"); fi
filter="-$(
  IFS=:
  echo "${skip[*]}"
)"

echo "emulated $gen processor: qemu-x86_64 -cpu $model"
DCP_EMULATED_GENERATION=$gen exec qemu-x86_64 -cpu "$model" "$program" --gtest_filter="$filter" "$@"
