#!/usr/bin/env bash
# Flash files against an independent reader (KLayout, from Debian): every layer of a GDSII layout is
# exported as a Mann 3600 file (1 nm resolution, flashes from 0.1 um) and as an EMK file (unit
# 0.001 um), read back, and compared with the layout's own geometry of that layer, flattened (texts
# as their glyphs): the XOR must vanish beyond slivers of the minimum flash size along slanted
# edges.  The default run checks one standard cell; FLASH_INTEROP_CORPUS=1 adds every GDS file of
# the shared corpus but the two largest macros.
# Usage: flash_interop.sh ZANDOR_CLI SOURCE_DIR
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

files=("$src/tests/data/gds/sky130_fd_sc_hd__dfxtp_1.gds")
shared="$src/../shared/corpus/gds"
if [[ "${FLASH_INTEROP_CORPUS:-0}" == 1 && -d "$shared" ]]; then
  while IFS= read -r f; do
    case "$f" in
      *RM_IHPSG13_2P_512x32_c2_bm_bist.gds|*sky130_sram_1rw1r_44x64_8.gds) continue ;;
      *.gz) plain="$work/$(basename "${f%.gz}")"; gzip -dc "$f" >"$plain"; files+=("$plain") ;;
      *) files+=("$f") ;;
    esac
  done < <(find "$shared" -name '*.gds' -o -name '*.gds.gz' | sort)
fi

failures=0
checked=0
for f in "${files[@]}"; do
  name=$(basename "$f" .gds)
  ref="$work/$name.ref.gds"
  "$cli" convert "$f" "$ref" >/dev/null 2>"$work/convert.err" || {
    echo "FAIL  $name: convert"; sed 's/^/      /' "$work/convert.err"; failures=$((failures + 1)); continue; }
  "$cli" info "$f" --json >"$work/info.json" 2>/dev/null
  pairs=()
  while read -r index pair; do
    for format in man3600 emk; do
      case $format in
        man3600) out="$work/$name-$index.man"
                 opts=(--resolution 0.001 --min-flash 0.1 --max-flash 1000 --blocks on)
                 back_opts=() ;;
        emk)     out="$work/$name-$index.emk"
                 opts=(--unit 0.001 --min-flash 0.1 --max-flash 1000)
                 back_opts=(--unit 0.001) ;;
      esac
      back="$work/$name-$index-$format.gds"
      if ! "$cli" export "$f" --layer "$index" --format "$format" "${opts[@]}" "$out" >/dev/null 2>"$work/export.err" ||
         ! "$cli" convert "$out" "$back" "${back_opts[@]}" >/dev/null 2>"$work/back.err"; then
        echo "FAIL  $name layer $pair ($format): export or read back"
        cat "$work/export.err" "$work/back.err" | sed 's/^/      /'
        failures=$((failures + 1))
        continue
      fi
      rm -f "$out"
      pairs+=("$pair=$back")
      checked=$((checked + 1))
    done
  done < <(python3 -c '
import json, sys
for layer in json.load(open(sys.argv[1]))["layers"]:
    print(layer["index"], "%d/%d" % (layer["gds_layer"], layer["datatype"]))' "$work/info.json")
  [[ ${#pairs[@]} -gt 0 ]] || continue
  # Only the main symbol is exported: a library's other cells are left out.
  main=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["main"] or "")' "$work/info.json")
  # A large layout is compared one layer at a time: KLayout holding every
  # flattened layer of a macro at once runs out of memory.
  groups=("${pairs[*]}")
  if [[ $(stat -c %s "$f") -gt 5000000 ]]; then
    groups=()
    for ((k = 0; k < ${#pairs[@]}; k += 2)); do groups+=("${pairs[k]} ${pairs[k + 1]:-}"); done
  fi
  for group in "${groups[@]}"; do
    if ! klayout -b -r "$here/kl_layer_xor.py" -rd a="$ref" -rd cell="$main" -rd pairs="$group" -rd grow_um=0.1 \
         -rd tol_um2=0.0001 >"$work/xor.log" 2>&1; then
      echo "FAIL  $name:"; grep -v " 0.000000 um2 (0 polygons)" "$work/xor.log" | sed 's/^/      /'
      failures=$((failures + 1))
    fi
  done
  rm -f "$work/$name"-*.gds
done

# The comparison must see a difference: a layer read back against another layer.
if [[ $checked -gt 0 ]]; then
  f=${files[0]}
  "$cli" convert "$f" "$work/ref.gds" >/dev/null 2>&1
  "$cli" export "$f" --layer 68 --format man3600 --resolution 0.001 --min-flash 0.1 "$work/m.man" >/dev/null 2>&1
  "$cli" convert "$work/m.man" "$work/m.gds" >/dev/null 2>&1
  if klayout -b -r "$here/kl_layer_xor.py" -rd a="$work/ref.gds" -rd pairs="67/20=$work/m.gds" \
       -rd grow_um=0.1 >/dev/null 2>&1; then
    echo "FAIL  the comparison did not see layer 68 differ from layer 67"
    failures=$((failures + 1))
  fi
fi

echo "$checked layer exports checked, $failures failures"
[[ $failures -eq 0 && $checked -gt 0 ]]
