#!/usr/bin/env bash
# The fracturing's figures against an independent reader (KLayout, from Debian): for rectilinear
# shapes (among them a serpentine and a spiral large enough to be cut into pieces) the figures of
# the flash and the photoplot kinds cover each shape exactly, layer by layer; for shapes with
# slanted edges nothing thicker than the minimum figure size (1 um) is missing or added; and the
# comparison fails when one figure is left out.
# Usage: fracture_interop.sh ZANDOR_FRACTURE_FIGURES SOURCE_DIR
set -uo pipefail
figures=$1
src=$2
here="$src/tests/interop"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! command -v klayout >/dev/null; then
  echo "klayout is not installed (scripts/install-deps installs it)" >&2
  exit 1
fi
if ! "$figures" "$work"; then
  echo "FAIL  writing the figures"
  exit 1
fi

failures=0
xor() {  # label expected-status a b [options...]
  local label=$1 expected=$2 a=$3 b=$4
  shift 4
  klayout -b -r "$here/kl_xor.py" -rd a="$work/$a" -rd b="$work/$b" "$@" >"$work/log" 2>&1
  local status=$?
  if [[ $status -eq $expected ]]; then
    echo "ok    $label"
  else
    echo "FAIL  $label (status $status, expected $expected)"
    sed 's/^/      /' "$work/log"
    failures=$((failures + 1))
  fi
}

xor "rectilinear, flash figures" 0 rect-input.gds rect-flash.gds -rd tol_um2=0
xor "rectilinear, photoplot figures" 0 rect-input.gds rect-photo.gds -rd tol_um2=0
xor "rectilinear, one figure left out" 1 rect-input.gds rect-missing.gds -rd tol_um2=0
xor "slanted, flash figures" 0 slanted-input.gds slanted-flash.gds -rd tol_um2=0 -rd grow_um=0.75
xor "slanted, photoplot figures" 0 slanted-input.gds slanted-photo.gds -rd tol_um2=0 -rd grow_um=0.75

if [[ $failures -ne 0 ]]; then
  echo "$failures failed"
  exit 1
fi
echo "all passed"
