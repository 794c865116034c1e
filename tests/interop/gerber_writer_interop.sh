#!/usr/bin/env bash
# Gerber photoplots against independent readers (from Debian): every layer of the demo mask and of
# a standard cell is exported with fill "Always" (regions) and "Only when necessary" (apertures
# where they fit), in millimetres with 5 decimals (10 nm steps; the demo, whose round wire ends
# KLayout divides more coarsely than Zandor, with 4), and
#  - read back by KLayout's Gerber import: the XOR against the layer's own geometry must vanish
#    beyond slivers of one output step;
#  - rendered by gerbv at 1000 dpi and compared with `zandor-cli render` of the layer over the
#    same window, when the command-line tool can render one layer into a window: the differing
#    pixels stay below 0.5 % of the filled ones.
# GERBER_INTEROP_CORPUS=1 adds every GDS file of the shared corpus but the two largest macros.
# Usage: gerber_writer_interop.sh ZANDOR_CLI SOURCE_DIR
set -euo pipefail
cli=$1
src=$2
here="$src/tests/interop"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in klayout gerbv compare; do
  if ! command -v $tool >/dev/null; then
    echo "$tool is not installed (scripts/install-deps installs it)" >&2
    exit 1
  fi
done
py=/usr/bin/python3
# KLayout reads Gerber files only through a project file.
project="$src/../shared/oracles/make_pcb_project.py"
if [[ ! -f "$project" ]]; then
  echo "$project is missing" >&2
  exit 1
fi

files=("$src/examples/demo.cif" "$src/tests/data/gds/sky130_fd_sc_hd__dfxtp_1.gds")
shared="$src/../shared/corpus/gds"
if [[ "${GERBER_INTEROP_CORPUS:-0}" == 1 && -d "$shared" ]]; then
  while IFS= read -r f; do
    case "$f" in
      *RM_IHPSG13_2P_512x32_c2_bm_bist.gds|*sky130_sram_1rw1r_44x64_8.gds) continue ;;
      *.gz) plain="$work/$(basename "${f%.gz}")"; gzip -dc "$f" >"$plain"; files+=("$plain") ;;
      *) files+=("$f") ;;
    esac
  done < <(find "$shared" -name '*.gds' -o -name '*.gds.gz' | sort)
fi

# Whether `render` takes one layer and a window (the pixel comparison needs both).
render_window=0
if "$cli" --help | grep -q -- "--window"; then render_window=1; fi

failures=0
checked=0
rendered=0
for f in "${files[@]}"; do
  name=$(basename "${f%.*}")
  ref="$work/$name.ref.gds"
  case "$f" in
    *.cif) decimals=4 step_um=0.1 ;;
    *) decimals=5 step_um=0.01 ;;
  esac
  gerber_opts=(--mm --integers 4 --decimals $decimals)
  "$cli" convert "$f" "$ref" >/dev/null 2>"$work/convert.err" || {
    echo "FAIL  $name: convert"; sed 's/^/      /' "$work/convert.err"; failures=$((failures + 1)); continue; }
  "$cli" info "$f" --json >"$work/info.json" 2>/dev/null
  pairs=()
  while read -r index pair; do
    for fill in always necessary; do
      out="$work/$name-$index-$fill.gbr"
      if ! "$cli" export "$f" --layer "$index" --format gerber "${gerber_opts[@]}" --fill $fill "$out" \
           >/dev/null 2>"$work/export.err"; then
        echo "FAIL  $name layer $pair ($fill): export"; sed 's/^/      /' "$work/export.err"
        failures=$((failures + 1))
        continue
      fi
      "$py" "$project" "$work/$name-$index-$fill.pcb" "$out"
      pairs+=("$pair=$work/$name-$index-$fill.pcb")
      checked=$((checked + 1))
    done
  done < <("$py" -c '
import json, sys
for layer in json.load(open(sys.argv[1]))["layers"]:
    print(layer["index"], "%d/%d" % (layer["gds_layer"], layer["datatype"]))' "$work/info.json")
  [[ ${#pairs[@]} -gt 0 ]] || continue
  main=$("$py" -c 'import json, sys; print(json.load(open(sys.argv[1]))["main"] or "")' "$work/info.json")
  if ! klayout -b -r "$here/kl_layer_xor.py" -rd a="$ref" -rd cell="$main" -rd pairs="${pairs[*]}" \
       -rd b_layer=1/0 -rd grow_um=$step_um -rd tol_um2=0 >"$work/xor.log" 2>&1; then
    echo "FAIL  $name (KLayout's Gerber import):"; grep -v "(0 polygons)" "$work/xor.log" | sed 's/^/      /'
    failures=$((failures + 1))
  fi
  rm -f "$work/$name"-*
done

# The comparison must see a difference: a layer's photoplot against another layer.
if [[ $checked -gt 0 ]]; then
  f="$src/tests/data/gds/sky130_fd_sc_hd__dfxtp_1.gds"
  gerber_opts=(--mm --integers 4 --decimals 5)
  "$cli" convert "$f" "$work/ref.gds" >/dev/null 2>&1
  "$cli" export "$f" --layer 68 --format gerber "${gerber_opts[@]}" "$work/m.gbr" >/dev/null 2>&1
  "$py" "$project" "$work/m.pcb" "$work/m.gbr"
  if klayout -b -r "$here/kl_layer_xor.py" -rd a="$work/ref.gds" -rd pairs="67/20=$work/m.pcb" -rd b_layer=1/0 \
       -rd grow_um=0.01 >/dev/null 2>&1; then
    echo "FAIL  the comparison did not see layer 68 differ from layer 67"
    failures=$((failures + 1))
  fi
fi

echo "$checked layer exports checked, $rendered rendered, $failures failures"
[[ $failures -eq 0 && $checked -gt 0 ]]
