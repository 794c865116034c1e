#!/usr/bin/env bash
# GDSII interoperability with an independent reader (KLayout, from Debian):
#  1. every GDS file (tests/data/gds, the shared corpus when it is there, gdspy-written files) loads;
#     its symbol, call and array counts (zandor-cli info --json) equal the reference's cell, SREF
#     and AREF counts;
#  2. read and written back (convert IN.gds OUT.gds), its flattened geometry per layer number equals
#     the reference's reading of IN (gds_xor.py: exact on the 1 nm grid; texts become glyphs);
#  3. converted to CIF, the reference reads it, with the same geometry on layers without paths;
#  4. the comparison itself fails on a deliberately altered output file.
# Two macros take several minutes and gigabytes in the flattened XOR (millions of shapes, and the
# glyphs of their labels under every placement): they get the count checks only, unless
# GDS_INTEROP_LARGE=1 (bench/gds/run.py --check compares the SRAM macro as well).
# Usage: gds_interop.sh ZANDOR_CLI SOURCE_DIR
set -euo pipefail
cli=$1
src=$2
here="$src/tests/interop"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! command -v klayout >/dev/null; then
  echo "klayout is not installed (scripts/install-deps installs it)" >&2
  exit 1
fi

shared="$src/../shared"
summary="$shared/corpus/oracle-summary.tsv"
gdspy_summary="$shared/corpus/oracle-gdspy.tsv"
large='RM_IHPSG13_2P_512x32_c2_bm_bist.gds|sky130_sram_1rw1r_44x64_8.gds'

failures=0
fail() {  # name message [log]
  echo "FAIL  $1: $2"
  if [[ $# -ge 3 ]]; then sed 's/^/      /' "$3"; fi
  failures=$((failures + 1))
}

files=()    # path to read
labels=()   # corpus-relative name (the key of the oracle tables) or a plain name
for f in "$src"/tests/data/gds/*.gds; do
  [[ -e "$f" ]] || continue
  # Copies of corpus files are read from the corpus when it is there.
  if [[ -d "$shared/corpus/gds" ]] && [[ -n "$(find "$shared/corpus/gds" -name "$(basename "$f")*" -print -quit)" ]]; then
    continue
  fi
  files+=("$f"); labels+=("tests/data/gds/$(basename "$f")")
done
if [[ -d "$shared/corpus/gds" ]]; then
  while IFS= read -r f; do
    rel=${f#"$shared/corpus/"}
    case "$f" in
      *.gz)
        plain="$work/$(basename "${f%.gz}")"
        gzip -dc "$f" >"$plain"
        files+=("$plain") ;;
      *) files+=("$f") ;;
    esac
    labels+=("$rel")
  done < <(find "$shared/corpus/gds" -name '*.gds' -o -name '*.gds.gz' | sort)
fi
gen="$shared/oracles/gen_gdspy.py"
if [[ -f "$gen" ]] && /usr/bin/python3 -c 'import gdspy' 2>/dev/null; then
  /usr/bin/python3 "$gen" "$work/gdspy" >/dev/null 2>&1
  for f in "$work"/gdspy/*.gds; do files+=("$f"); labels+=("gdspy/$(basename "$f")"); done
else
  for f in "$src"/tests/data/gds/gdspy/*.gds; do
    [[ -e "$f" ]] || continue
    files+=("$f"); labels+=("gdspy/$(basename "$f")")
  done
fi

expected_counts() {  # label file -> "cells sref aref" from the oracle tables, or nothing
  local label=$1 file=$2
  if grep -aq '\$\$\$CONTEXT_INFO\$\$\$' "$file"; then
    # The reference hides the context cell of the files it writes; gdspy, like us, reads it.
    if [[ -f "$gdspy_summary" ]]; then awk -F'\t' -v f="$label" '$1 == f { print $4, $9, $10 }' "$gdspy_summary"; fi
    return 0
  fi
  if [[ -f "$summary" ]]; then awk -F'\t' -v f="$label" '$1 == f && $2 == "gds" { print $4, $7, $8 }' "$summary"; fi
  return 0
}

for k in "${!files[@]}"; do
  f=${files[$k]}
  label=${labels[$k]}
  name=$(basename "$f")
  base="$work/${name%.gds}"
  started=$SECONDS

  # Layers whose reading differs on purpose.
  skip=""
  case "$name" in
    elements.gds) skip=3 ;;  # a rotated BOX element: the reference reads its bounding box, we the rotated rectangle
  esac

  if ! "$cli" info "$f" --json >"$base.json" 2>"$base.err"; then
    fail "$label" "zandor-cli info failed" "$base.err"
    continue
  fi
  expect=$(expected_counts "$label" "$f")
  status=0
  klayout -b -r "$here/gds_counts.py" -rd info="$base.json" -rd gds="$f" -rd expect="$expect" \
    >"$base.counts" 2>&1 || status=$?
  if ((status == 2)); then
    # Only files the reference itself can read are compared.
    echo "skip  $label (the reference cannot read it)"
    continue
  elif ((status != 0)); then
    fail "$label" "counts differ" "$base.counts"
    continue
  fi
  counts=$(tail -1 "$base.counts")

  if ! "$cli" convert "$f" "$base.out.gds" 2>"$base.err"; then
    fail "$label" "zandor-cli convert to GDS failed" "$base.err"
    continue
  fi
  if [[ "$name" =~ ^($large)$ && "${GDS_INTEROP_LARGE:-0}" != 1 ]]; then
    if klayout -b -r "$here/gds_counts.py" -rd info="$base.json" -rd gds="$base.out.gds" >"$base.counts2" 2>&1; then
      echo "ok    $label ($counts; written file read back with the same counts; XOR left to GDS_INTEROP_LARGE=1)"
    else
      fail "$label" "the written file reads back with other counts" "$base.counts2"
    fi
    continue
  fi
  if ! klayout -b -r "$here/gds_xor.py" -rd ref="$f" -rd out="$base.out.gds" -rd skip_layers="$skip" >"$base.xor" 2>&1; then
    fail "$label" "written GDS differs from the original" "$base.xor"
    continue
  fi

  # CIF has no magnification: scaled calls are written with a scale op no other reader takes, so
  # such layouts go to CIF flattened.  Boxes of odd size have their centre on a half unit, which
  # CIF rounds: slivers under 1 nm are allowed there.
  flatten=""
  if ! "$cli" convert "$f" "$base.out.cif" 2>"$base.err"; then
    fail "$label" "zandor-cli convert to CIF failed" "$base.err"
    continue
  fi
  if grep -Eq '^C [0-9]+ S' "$base.out.cif"; then
    flatten=--flatten
    "$cli" convert "$f" "$base.out.cif" --flatten 2>/dev/null
  fi
  tops=$(/usr/bin/env python3 -c 'import json, sys
d = json.load(open(sys.argv[1]))
called = {c for s in d["symbols"] for c in s["calls"]}
print(sum(s["name"] not in called for s in d["symbols"]))' "$base.json")
  if [[ -n $flatten ]] && ((tops > 1)); then
    # Flattened, the CIF holds the main symbol alone: here only that the reference reads it.
    if ! klayout -b -r "$here/kl_read.py" -rd infile="$base.out.cif" >"$base.cifxor" 2>&1; then
      fail "$label" "the reference cannot read the written CIF (flattened)" "$base.cifxor"
      continue
    fi
  elif ! klayout -b -r "$here/gds_xor.py" -rd ref="$f" -rd out="$base.out.cif" -rd info="$base.json" \
       -rd extra_grow_nm=0.5 -rd skip_paths=1 -rd skip_layers="$skip" >"$base.cifxor" 2>&1; then
    fail "$label" "written CIF${flatten:+ (flattened)} differs from the original" "$base.cifxor"
    continue
  fi
  tolerance=$(grep -o 'slivers under [0-9.]* nm' "$base.xor" | tail -1)
  glyphs=$(awk '$3 ~ /^[0-9.]+$/ && $4 > 0 { n++; a += $3 } END { if (n) printf "; glyphs %.3f um2 on %d layer(s)", a, n }' "$base.xor")
  echo "ok    $label ($counts; XOR 0, ${tolerance/slivers under 0 nm/exact}$glyphs; CIF${flatten:+ (flattened)} read back${skip:+; layer $skip not compared}) $((SECONDS - started)) s"
done

# The comparison must notice a wrong file: the first placement of a written file moved by 1 um.
altered=$(/usr/bin/env python3 - "$work/altered.gds" "$work"/demo.out.gds "$work"/*.out.gds <<'EOF'
import os, struct, sys
for name in sys.argv[2:]:
    if not os.path.exists(name) or os.path.getsize(name) > 2_000_000:
        continue   # a small one compares fast
    data = bytearray(open(name, "rb").read())
    if b"$$$CONTEXT_INFO$$$" in data:
        continue   # its first placements are in a cell the reference hides
    pos, in_sref = 0, False
    while pos + 4 <= len(data):
        length, rtype = struct.unpack(">HB", data[pos:pos + 3])
        if length < 4:
            break
        if rtype == 0x0A:
            in_sref = True
        elif rtype == 0x10 and in_sref:
            x = struct.unpack(">i", data[pos + 4:pos + 8])[0]
            data[pos + 4:pos + 8] = struct.pack(">i", x + 1000)
            open(sys.argv[1], "wb").write(data)
            print(name)
            sys.exit(0)
        pos += length
EOF
)
if [[ -z "$altered" ]]; then
  fail "self-check" "no written file with a placement to alter"
else
  for k in "${!files[@]}"; do
    n=$(basename "${files[$k]}")
    if [[ "$work/${n%.gds}.out.gds" == "$altered" ]]; then original=${files[$k]}; fi
  done
  if klayout -b -r "$here/gds_xor.py" -rd ref="$original" -rd out="$work/altered.gds" >"$work/altered.xor" 2>&1; then
    fail "self-check" "a placement moved by 1 um in $(basename "$altered") went unnoticed" "$work/altered.xor"
  else
    echo "ok    self-check: a placement moved by 1 um in $(basename "$altered") is reported"
  fi
fi

if ((failures > 0)); then
  echo "$failures file(s) failed"
  exit 1
fi
