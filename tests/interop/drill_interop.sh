#!/usr/bin/env bash
# Drill files against an independent renderer (gerbv, from Debian).
#  1. Reading: every drill file is read by Zandor (`convert --format tap` to CIF); its holes and
#     slots are written back as a plain Excellon file (cif_to_drill.py: each hole with its own
#     diameter, each wire segment a G85 slot), and gerbv draws the original and that file over
#     the same window.  The differing pixels must stay below 0.5 % of the filled ones.  Files
#     with routed paths, which gerbv does not draw, with tools sized only in comments, which gerbv
#     draws at default sizes, and files gerbv rejects are reported, not compared.
#  2. Writing: circles of a CIF layout, through calls, are exported as a TAP file in the default
#     format (2.4, inches); gerbv must draw it like the circles themselves.
# The default run reads a few files of tests/data/drill; DRILL_INTEROP_CORPUS=1 reads every drill
# file of the shared corpus.  Per file it prints what it measured.
# Usage: drill_interop.sh ZANDOR_CLI SOURCE_DIR
set -euo pipefail
cli=$1
src=$2
here="$src/tests/interop"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in gerbv convert compare; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is not installed (scripts/install-deps installs gerbv and imagemagick)" >&2
    exit 1
  fi
done

files=("$src/tests/data/drill/eagle-newer__drills.xln" "$src/tests/data/drill/allegro__ncdrill-1-4.drl"
       "$src/tests/data/drill/drill__slot.drl")
shared="$src/../shared/corpus/drill"
if [[ "${DRILL_INTEROP_CORPUS:-0}" == 1 && -d "$shared" ]]; then
  files=()
  while IFS= read -r f; do files+=("$f"); done < <(find "$shared" -type f ! -name '*.tsv' | sort)
fi

# What a user chooses in the options dialog for files that do not say it themselves.
options_for() {
  case "$(basename "$1")" in
    nollezappare__ThruHolePlated.ncd) echo "--mm --integers 3 --decimals 3" ;;
    *) echo "" ;;
  esac
}

# Files gerbv reads differently, each checked by hand against the file's own numbers: the
# difference is reported, not failed.
known_disagreement() {
  case "$(basename "$1")" in
    pads__Drill.drl) echo "gerbv reads numbers shorter than 6 digits as keeping trailing zeros and the 6-digit ones in full, so neighbouring holes (X0221, X021772) land ten times apart" ;;
    easyeda__Gerber_Drill_PTH.DRL) echo "gerbv reads INCH,LZ with FILE_FORMAT=2:4 a hundred times too large (X011100 as 111 inches)" ;;
    inputs__LimeSDR-QPCIe_1v2-RoundHoles.drl) echo "gerbv reads the shorter numbers of METRIC,LZ with FILE_FORMAT=4:4 as keeping trailing zeros (X002365 as 0.2365 mm beside X00248233 at 24.8 mm)" ;;
    ekf2__drill20.exc) echo "gerbv does not take the header's definition of tool 0 (T0C0.006), with which most holes are drilled" ;;
    *) echo "" ;;
  esac
}

# Renders A and B with gerbv over the window of Zandor's bounding box (um) with a margin; prints
# "differing filled".
compare_pictures() {
  local a=$1 b=$2 bbox=$3 out=$4
  read -r origin window dpi < <(python3 -c '
import sys
x0, y0, x1, y1 = (float(v) / 25400 for v in sys.argv[1].split(","))
m = 0.05 * max(x1 - x0, y1 - y0, 0.1) + 0.05
w, h = x1 - x0 + 2 * m, y1 - y0 + 2 * m
dpi = int(min(1000, 3000 / max(w, h)))
print("%.5fx%.5f %.5fx%.5f %d" % (x0 - m, y0 - m, w, h, dpi))' "$bbox")
  mkdir -p "$out"
  bash "$src/tests/interop/gerber_pixdiff.sh" "$a" "$b" "$dpi" "$origin" "$window" "$out" >"$out/pixdiff.txt" 2>&1 || true
  local differing filled
  differing=$(sed -n 's/^differing_pixels=\([0-9.e+]*\).*/\1/p' "$out/pixdiff.txt")
  filled=$(convert "$out/A.png" -threshold 50% -format '%[fx:round(w*h*(1-mean))]' info: 2>/dev/null || echo 0)
  echo "${differing:-none} $filled $dpi"
}

failures=0
compared=0
for f in "${files[@]}"; do
  name=$(basename "$f")
  read -ra opts <<<"$(options_for "$f")"
  cif="$work/$name.cif"
  if ! "$cli" convert "$f" "$cif" --format tap "${opts[@]}" >/dev/null 2>"$work/read.err"; then
    if grep -q '^Error: ' "$work/read.err"; then
      echo "note  $name: Zandor refuses it: $(grep -m1 '^Error: ' "$work/read.err")"
    else
      echo "FAIL  $name: read failed without a message"; failures=$((failures + 1))
    fi
    continue
  fi
  bbox=$("$cli" info "$f" --format tap "${opts[@]}" --json 2>/dev/null |
    python3 -c 'import json, sys; print(",".join(str(v) for v in json.load(sys.stdin)["bbox_um"]))')
  counts=$(python3 "$here/cif_to_drill.py" "$cif" "$work/ours.drl")
  gerbv -x png -o "$work/alone.png" "$f" >/dev/null 2>"$work/gerbv.log" || true
  if [[ ! -s "$work/alone.png" ]]; then
    echo "note  $name: gerbv draws nothing ($(grep -c CRITICAL "$work/gerbv.log") critical messages); Zandor: $counts"
    rm -f "$work/alone.png"
    continue
  fi
  rm -f "$work/alone.png"
  read -r differing filled dpi < <(compare_pictures "$f" "$work/ours.drl" "$bbox" "$work/pictures")
  routed=$(grep -c -E 'Unsupported (G0[0-3]|M1[5-7])' "$work/pictures/A.log" || true)
  share=$(python3 -c 'import sys; d, f = sys.argv[1:]; print("%.3f" % (100 * float(d) / max(float(f), 1)) if d != "none" else "none")' "$differing" "$filled")
  line="$name: $counts, $differing of $filled filled pixels differ ($share %) at $dpi dpi"
  undefined=$(grep -c 'without being defined' "$work/pictures/A.log" || true)
  known=$(known_disagreement "$f")
  if [[ $routed -gt 0 ]]; then
    echo "note  $line; gerbv does not draw routed paths ($routed codes unsupported)"
  elif [[ $undefined -gt 0 ]]; then
    echo "note  $line; gerbv draws $undefined tools the file sizes only in comments at default sizes"
  elif [[ "$share" != none ]] && python3 -c 'import sys; sys.exit(0 if float(sys.argv[1]) < 0.5 else 1)' "$share"; then
    echo "ok    $line"
    compared=$((compared + 1))
  elif [[ -n "$known" ]]; then
    echo "note  $line; $known"
  else
    echo "FAIL  $line"; failures=$((failures + 1))
  fi
done

# The comparison must see a difference: the holes read with another format.
if [[ $compared -gt 0 ]]; then
  f="$src/tests/data/drill/eagle-newer__drills.xln"
  "$cli" convert "$f" "$work/shifted.cif" --format tap >/dev/null 2>&1
  sed -i 's/^R \([0-9]*\) \([0-9-]*\) /R \1 \2000 /' "$work/shifted.cif"
  python3 "$here/cif_to_drill.py" "$work/shifted.cif" "$work/shifted.drl" >/dev/null
  bbox=$("$cli" info "$f" --format tap --json 2>/dev/null |
    python3 -c 'import json, sys; print(",".join(str(v) for v in json.load(sys.stdin)["bbox_um"]))')
  read -r differing filled dpi < <(compare_pictures "$f" "$work/shifted.drl" "$bbox" "$work/control")
  if [[ "$differing" == none ]] || python3 -c 'import sys; sys.exit(0 if float(sys.argv[1]) < 0.1 * float(sys.argv[2]) else 1)' "$differing" "$filled"; then
    echo "FAIL  control: holes moved far away still compare equal ($differing of $filled)"
    failures=$((failures + 1))
  fi
fi

# Writing: circles through calls, rotated, and a circle of another layer; layer L1 is index 0.
cat >"$work/holes.cif" <<'CIF'
DS 1 1 1;
L L1;
R 30000 0 0;
R 150000 100000 50000;
DF;
DS 2 1 1;
9 holes;
L L1;
R 10000 -50000 -20000;
R 20000 12700 25400;
R 40000 200000 -100000;
L L2;
R 80000 0 0;
C 1 T 10000 20000;
C 1 R 0 1 T -30000 40000;
DF;
C 2;
E
CIF
"$cli" export "$work/holes.cif" --layer 0 --format tap "$work/holes.tap" >/dev/null 2>"$work/export.err" || {
  echo "FAIL  writing: export"; sed 's/^/      /' "$work/export.err"; failures=$((failures + 1)); }
if [[ -s "$work/holes.tap" ]]; then
  "$cli" flatten "$work/holes.cif" "$work/flat.cif" >/dev/null 2>&1
  python3 - "$work/flat.cif" "$work/flat-layer1.cif" <<'PY'
import re, sys
# The round flashes of layer L1 only, with the diameter of their tool (0.1 mm steps, announced in
# inches with three decimals).
layer, out = None, []
for statement in open(sys.argv[1]).read().split(";"):
    s = re.sub(r"\([^)]*\)", "", statement).strip()
    if s.startswith("L "):
        layer = s.split()[1]
    elif s.startswith("R ") and layer in ("L1", "L01"):
        d, x, y = (int(v) for v in s.split()[1:4])
        tool = max(1, -(-d // 100000))
        out.append("R %d %d %d" % (round(round(tool / 254, 3) * 25400000), x, y))
open(sys.argv[2], "w").write(";\n".join(out) + ";\n")
PY
  python3 "$here/cif_to_drill.py" "$work/flat-layer1.cif" "$work/circles.drl" >/dev/null
  bbox=$(python3 -c '
import re, sys
xs, ys = [], []
for m in re.finditer(r"R (\d+) (-?\d+) (-?\d+)", open(sys.argv[1]).read()):
    d, x, y = map(int, m.groups()); xs += [x - d, x + d]; ys += [y - d, y + d]
print("%g,%g,%g,%g" % (min(xs) / 1000, min(ys) / 1000, max(xs) / 1000, max(ys) / 1000))' "$work/flat-layer1.cif")
  read -r differing filled dpi < <(compare_pictures "$work/holes.tap" "$work/circles.drl" "$bbox" "$work/written")
  holes=$(grep -c '^X' "$work/holes.tap" || true)
  if [[ "$holes" != 7 ]] || ! python3 -c 'import sys; sys.exit(0 if float(sys.argv[1]) < 0.005 * float(sys.argv[2]) else 1)' "$differing" "$filled"; then
    echo "FAIL  writing: $holes holes written, $differing of $filled filled pixels differ from the circles"
    failures=$((failures + 1))
  else
    echo "ok    writing: $holes holes drawn by gerbv like the circles of the layer ($differing of $filled pixels differ at $dpi dpi)"
  fi
fi

echo "drill interop: $compared files compared, $failures failures"
[[ $failures -eq 0 ]]
