#!/usr/bin/env bash
# Fails when a weak (or unique) symbol is defined by the objects of more than
# one processor generation of the primitives libraries.  The linker keeps one
# copy of such a symbol for the whole program, so an inline or template
# function compiled with, say, AVX2 flags could end up serving the px build.
# Code shared by generation sources must live in prim::PRIM_GEN_NS or an
# anonymous namespace.
#   usage: check_weak_symbols.sh <build>/primitives
set -euo pipefail
root=${1:?usage: check_weak_symbols.sh <build dir>/primitives}

list=$(mktemp)
trap 'rm -f "$list"' EXIT
count=0
for gen in px sse2 ssse3 movbe sse41 avx avx2; do
  while IFS= read -r -d '' obj; do
    count=$((count + 1))
    # Defined weak functions (W), weak objects (V) and unique globals (u).
    nm --defined-only "$obj" | awk -v gen="$gen" -v obj="$obj" \
      '$2 ~ /^[WVu]$/ && $3 !~ /^DW\.ref\./ { print $3 "\t" gen "\t" obj }' >>"$list"
  done < <(find "$root" -name "*_${gen}.cpp.o" -print0)
done
if [ "$count" -eq 0 ]; then
  echo "FAIL: no per-generation objects under $root (build the primitives first)"
  exit 1
fi
shared=$(sort -u -k1,1 -k2,2 "$list" | awk -F'\t' '
  { gens[$1] = gens[$1] " " $2; n[$1]++; objs[$1] = objs[$1] "\n    " $3 }
  END { for (s in n) if (n[s] > 1) print s ":" gens[s] objs[s] }')
if [ -n "$shared" ]; then
  echo "FAIL: weak symbols defined by objects of more than one generation:"
  echo "$shared" | c++filt | sed 's/^/  /'
  exit 1
fi
echo "OK: $count per-generation objects share no weak symbol across generations"
