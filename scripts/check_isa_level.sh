#!/usr/bin/env bash
# Checks that the per-generation objects of the primitives libraries use no
# instruction above their generation: px and sse2 nothing beyond the x86-64
# baseline (no SSE3 and later, no VEX/EVEX, no ymm/zmm registers), ssse3
# nothing from SSE4.1 on, movbe the same but for MOVBE, and sse41 nothing a
# processor with SSE4.1 alone may lack.  No generation up to sse41 is chosen
# on SSE4.2, POPCNT, LZCNT, TZCNT, AES, PCLMULQDQ, RDRAND, RDSEED, ADX or
# PREFETCHW, so none of their objects may use them; MOVBE only the movbe
# objects.
#   usage: check_isa_level.sh <build>/primitives
set -euo pipefail
root=${1:?usage: check_isa_level.sh <build dir>/primitives}

sse3='addsubpd|addsubps|haddpd|haddps|hsubpd|hsubps|lddqu|movddup|movshdup|movsldup|fisttp[lsq]?|monitor|mwait'
ssse3='pabs[bwd]|palignr|phadd(w|d|sw)|phsub(w|d|sw)|pmaddubsw|pmulhrsw|pshufb|psign[bwd]'
sse41='blendp[sd]|blendvp[sd]|dpp[sd]|extractps|insertps|movntdqa|mpsadbw|packusdw|pblendvb|pblendw|pcmpeqq|pextr[bdq]|phminposuw|pinsr[bdq]|pmax(sb|sd|ud|uw)|pmin(sb|sd|ud|uw)|pmovsx[a-z]+|pmovzx[a-z]+|pmuldq|pmulld|ptest|round(ps|pd|ss|sd)'
sse42='crc32[bwlq]?|pcmp[ei]str[im]|pcmpgtq|popcnt[wlq]?'
movbe='movbe[wlq]?'
other='lzcnt[wlq]?|tzcnt[wlq]?|aes[a-z]*|pclmul[a-z]*|rdrand|rdseed|adc[xo][lq]?|ado[xo][lq]?|prefetchw'
vex='v[a-z0-9]+|andn[lq]?|bextr[lq]?|blsi[lq]?|blsmsk[lq]?|blsr[lq]?|bzhi[lq]?|mulx[lq]?|pdep[lq]?|pext[lq]?|rorx[lq]?|sarx[lq]?|shlx[lq]?|shrx[lq]?|k[a-z]+[bwdq]'

# forbidden <generation>: the mnemonic pattern that generation must not use
forbidden() {
  case $1 in
    px|sse2) echo "$sse3|$ssse3|$sse41|$sse42|$movbe|$other|$vex" ;;
    ssse3) echo "$sse41|$sse42|$movbe|$other|$vex" ;;
    movbe) echo "$sse41|$sse42|$other|$vex" ;;
    sse41) echo "$sse42|$movbe|$other|$vex" ;;
  esac
}

status=0
checked=0
for gen in px sse2 ssse3 movbe sse41; do
  pattern=$(forbidden "$gen")
  while IFS= read -r -d '' obj; do
    checked=$((checked + 1))
    # The mnemonic is the first word of the instruction text after any prefix.
    bad=$(objdump -d --no-show-raw-insn "$obj" |
      awk -F'\t' 'NF >= 2 && $1 ~ /^ *[0-9a-f]+:$/ { print $2 }' |
      awk -v pat="^($pattern)\$" '{
        i = 1
        while (i < NF && $i ~ /^(rep|repz|repnz|repe|repne|lock|notrack|bnd|data16|addr32|cs|ds|es|ss|fs|gs)$/) i++
        if ($i ~ pat || $0 ~ /%[yz]mm[0-9]+/) print
      }' | head -n 5)
    if [ -n "$bad" ]; then
      echo "FAIL: $obj ($gen) uses instructions above its level:"
      echo "$bad" | sed 's/^/    /'
      status=1
    fi
  done < <(find "$root" -name "*_${gen}.cpp.o" -print0)
done
if [ "$checked" -eq 0 ]; then
  echo "FAIL: no per-generation objects under $root (build the primitives first)"
  exit 1
fi
[ "$status" -eq 0 ] && echo "OK: $checked per-generation objects stay within their instruction sets"
exit "$status"
