#!/usr/bin/env bash
# CIF interoperability with an independent reader (KLayout, from Debian):
#  1. every corpus file that the reference reads, read by zandor-cli and written back, gives the
#     same flattened geometry per layer as the reference's reading of the original (XOR area 0;
#     round flashes within the difference of circle approximations);
#  2. the demo mask as we write it (with extension records) and as we write it flattened without
#     extensions read the same in the reference;
#  3. arrays with steps that are not whole units land on the same units in our lattice definitions,
#     our flattening and our GDSII arrays.
# Usage: cif_interop.sh ZANDOR_CLI SOURCE_DIR
set -euo pipefail
cli=$1
src=$2
xor="$src/tests/interop/kl_xor.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! command -v klayout >/dev/null; then
  echo "klayout is not installed (scripts/install-deps installs it)" >&2
  exit 1
fi

failures=0
check() {  # name a b [extra kl_xor options]
  local name=$1 a=$2 b=$3
  shift 3
  if klayout -b -r "$xor" -rd a="$a" -rd b="$b" "$@" >"$work/xor.log" 2>&1; then
    echo "ok    $name"
  else
    echo "FAIL  $name"
    sed 's/^/      /' "$work/xor.log"
    failures=$((failures + 1))
  fi
}

corpus=("$src"/tests/data/cif/corpus/*.cif)
if [[ -d "$src/../shared/corpus/cif/klayout" ]]; then
  for f in "$src"/../shared/corpus/cif/klayout/*.cif*; do
    case "$f" in
      *.gz)
        if gzip -t "$f" 2>/dev/null; then
          gzip -dc "$f" >"$work/$(basename "${f%.gz}")"
        else
          cp "$f" "$work/$(basename "${f%.gz}")"
        fi
        corpus+=("$work/$(basename "${f%.gz}")")
        ;;
      *) corpus+=("$f") ;;
    esac
  done
fi

for f in "${corpus[@]}"; do
  name=$(basename "$f")
  # Only files the reference itself can read are compared.
  if ! klayout -b -r "$src/tests/interop/kl_read.py" -rd infile="$f" >/dev/null 2>&1; then
    echo "skip  $name (the reference cannot read it)"
    continue
  fi
  out="$work/${name%.cif}.zandor.cif"
  if ! "$cli" convert "$f" "$out" 2>"$work/cli.log"; then
    echo "FAIL  $name: zandor-cli convert failed"
    sed 's/^/      /' "$work/cli.log"
    failures=$((failures + 1))
    continue
  fi
  if grep -q '^ *R ' "$f"; then
    # Round flashes: both sides approximate the circle; ignore slivers below 10 nm.
    check "$name" "$f" "$out" -rd grow_um=0.01
  else
    check "$name" "$f" "$out"
  fi
done

demo="$src/examples/demo.cif"
if [[ -f "$demo" ]]; then
  "$cli" convert "$demo" "$work/demo.cif" 2>/dev/null
  "$cli" convert "$demo" "$work/demo-flat.cif" --flatten --no-extensions 2>/dev/null
  check "demo: written with extensions" "$demo" "$work/demo.cif"
  # Rings and arcs under a rotated call are approximated by polygons whose
  # vertices turn with the call in one file and not in the other: slivers up
  # to the sagitta of one segment (50 nm on the demo's 50 um ring) differ.
  check "demo: flattened without extensions" "$work/demo.cif" "$work/demo-flat.cif" -rd grow_um=0.05
fi

# Arrays whose steps are not whole units: the lattice definitions we write, our
# own flattening and the GDSII array as the reference reads it place every
# element on the same unit.
arrays="$src/tests/data/cif/off-grid-arrays.cif"
"$cli" convert "$arrays" "$work/arrays.cif" 2>/dev/null
"$cli" convert "$arrays" "$work/arrays-flat.cif" --flatten --no-extensions 2>/dev/null
"$cli" convert "$arrays" "$work/arrays.gds" 2>/dev/null
check "off-grid arrays: flattened" "$work/arrays.cif" "$work/arrays-flat.cif"
check "off-grid arrays: GDSII" "$work/arrays.cif" "$work/arrays.gds" -rd lmap="0/0=1/0"

if ((failures > 0)); then
  echo "$failures comparison(s) failed"
  exit 1
fi
