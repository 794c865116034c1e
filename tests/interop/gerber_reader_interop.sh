#!/usr/bin/env bash
# The Gerber reader against an independent renderer (gerbv, from Debian): every file is read by
# Zandor (`convert --flatten --format gerber` to CIF), what it read is written back as a plain
# RS-274X file (cif_to_gerber.py: regions, round draws and flashes only) and gerbv draws the
# original and that file over the same window (Zandor's bounding box with a margin) at 1000 dpi,
# or fewer for boards that would exceed 4000 pixels a side.  The differing pixels beyond edges
# (those whose eight neighbours differ too) must stay below 0.5 % of the pixels the original
# fills; all differing pixels are reported as well.  Files with image statements Zandor names as not applied
# (negative image, rotation, knockout, ...) are measured and reported, not failed; files gerbv
# rejects must get a message from Zandor, not a crash.  A copy of the first file's result with a
# pad left out must fail the comparison.
# The default run reads the files of tests/data/gerber; GERBER_INTEROP_CORPUS=1 reads every file
# of the shared Gerber corpus.  Per file it prints what it measured.
# Usage: gerber_reader_interop.sh ZANDOR_CLI SOURCE_DIR
set -euo pipefail
cli=$1
src=$2
here="$src/tests/interop"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in gerbv compare convert; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is not installed (scripts/install-deps installs gerbv and imagemagick)" >&2
    exit 1
  fi
done

files=("$src/tests/data/gerber/macros__clear-with-multiple-exposures.gbr"
       "$src/tests/data/gerber/step-repeats__multi-polarity-over-existing.gbr"
       "$src/tests/data/gerber/regions__region-with-arcs.gbr"
       "$src/tests/data/gerber/macros-and-polarity.gbr")
shared="$src/../shared/corpus/gerber"
if [[ "${GERBER_INTEROP_CORPUS:-0}" == 1 && -d "$shared" ]]; then
  files=()
  while IFS= read -r f; do files+=("$f"); done < <(find "$shared" -type f ! -name '*.tsv' | sort)
fi

# Hand-made test files of gerbv that it draws otherwise, each checked by hand: the difference is
# reported, not failed.
known_disagreement() {
  case "$(basename "$1")" in
    inputs__test-aperture-obround-1.gbx|inputs__test-aperture-rectangle-1.gbx)
      echo "gerbv strokes arcs of obround and rectangular apertures with the longer side and square ends; Zandor with a round wire as wide as the sides' mean" ;;
    inputs__test-aperture-polygon-flash-1.gbx)
      echo "gerbv turns the rectangular hole of a polygon aperture with the polygon; Zandor keeps holes axis-parallel" ;;
    inputs__test-circular-interpolation-1.gbx)
      echo "single-quadrant arcs whose offsets fit neither end are placed differently" ;;
    *) echo "" ;;
  esac
}

# Prints "origin window dpi" for gerbv from Zandor's bounding box in um.
window_of() {
  /usr/bin/python3 - "$1" <<'PY'
import re, sys
x1, y1, x2, y2 = (float(v) for v in re.findall(r"-?[\d.]+", sys.argv[1])[:4])
w, h = (x2 - x1) / 25400, (y2 - y1) / 25400
m = max(w, h) * 0.02 + 0.01
dpi = 1000
while max(w + 2 * m, h + 2 * m) * dpi > 4000 and dpi > 100:
    dpi -= 50
print("%.5fx%.5f %.5fx%.5f %d" % (x1 / 25400 - m, y1 / 25400 - m, w + 2 * m, h + 2 * m, dpi))
PY
}

render() {  # file origin window dpi out.png
  gerbv -x png -B 0 -D "$4" -O "$2" -W "$3" -b '#FFFFFF' -f '#000000FF' -o "$5" "$1" >/dev/null 2>&1 || true
  [[ -s "$5" ]]
}

# Prints "differing filled beyond_edges" of two pictures of the same size: the differing pixels,
# the pixels the first fills, and the differing pixels whose eight neighbours differ too (a
# difference more than an edge pixel wide).
measure() {
  local differing filled solid
  differing=$(compare -metric AE "$1" "$2" null: 2>&1 >/dev/null || true)
  filled=$(convert "$1" -colorspace gray -threshold 50% -precision 16 -format '%[fx:round(w*h*(1-mean))]' info:)
  solid=$(convert "$1" "$2" -compose difference -composite -colorspace gray -threshold 50% \
          -morphology Erode Square:1 -precision 16 -format '%[fx:round(w*h*mean)]' info:)
  differing=${differing%% *}
  [[ $differing =~ ^[0-9.]+e[+][0-9]+$ ]] && differing=$(printf '%.0f' "$differing")
  [[ $differing =~ ^[0-9]+$ && $filled =~ ^[0-9]+$ && $solid =~ ^[0-9]+$ ]] || { echo "compare failed: $differing" >&2; return 1; }
  echo "$differing $filled $solid"
}

failures=0
checked=0
first_result=""
first_window=""
for f in "${files[@]}"; do
  name=$(basename "$f")
  cif="$work/read.cif"
  status=0
  "$cli" convert --flatten --format gerber "$f" "$cif" >/dev/null 2>"$work/read.err" || status=$?
  if (( status > 1 )); then
    echo "FAIL  $name: zandor-cli ended with status $status"; sed 's/^/      /' "$work/read.err"
    failures=$((failures + 1)); continue
  fi
  box=$("$cli" info --format gerber "$f" 2>/dev/null | sed -n 's/^Bounding box: //p')
  read -r origin window dpi < <(window_of "$box")
  if ! render "$f" "$origin" "$window" "$dpi" "$work/gerbv.png"; then
    echo "skip  $name: gerbv draws nothing of it; Zandor said: $(head -c 200 "$work/read.err" | tr '\n' ' ')"
    continue
  fi
  if (( status != 0 )); then
    echo "FAIL  $name: Zandor could not read a file gerbv draws"; sed 's/^/      /' "$work/read.err"
    failures=$((failures + 1)); continue
  fi
  /usr/bin/python3 "$here/cif_to_gerber.py" "$cif" "$work/zandor.gbr"
  if ! render "$work/zandor.gbr" "$origin" "$window" "$dpi" "$work/zandor.png"; then
    echo "FAIL  $name: gerbv could not draw what Zandor read"; failures=$((failures + 1)); continue
  fi
  if ! measure "$work/gerbv.png" "$work/zandor.png" >"$work/measure" 2>"$work/measure.err"; then
    echo "FAIL  $name: the pictures could not be compared: $(head -c 200 "$work/measure.err")"
    failures=$((failures + 1)); continue
  fi
  read -r differing filled solid <"$work/measure"
  if (( filled == 0 )); then
    echo "skip  $name: gerbv draws nothing of it over Zandor's bounding box (Zandor drew $differing pixels)"
    continue
  fi
  percent=$(/usr/bin/python3 -c "print('%.3f' % (100.0 * $differing / max($filled, 1)))")
  checked=$((checked + 1))
  line="$name: $differing of $filled filled pixels differ ($percent %), $solid beyond edges, at $dpi dpi"
  not_applied=$(grep -o 'Warning: .*is not applied' "$work/read.err" | head -3 | tr '\n' ';' || true)
  if /usr/bin/python3 -c "import sys; sys.exit(0 if $solid <= 0.005 * $filled else 1)"; then
    echo "ok    $line"
  elif [[ -n "$(known_disagreement "$f")" ]]; then
    echo "known $line; $(known_disagreement "$f")"
  elif [[ -n "$not_applied" ]]; then
    echo "note  $line; Zandor warned: $not_applied"
  else
    echo "FAIL  $line"; failures=$((failures + 1))
  fi
  if [[ -z "$first_result" && $filled -gt 0 ]]; then
    first_result="$work/first.gbr"; cp "$work/zandor.gbr" "$first_result"; first_window="$origin $window $dpi"
  fi
done

# The comparison must see a difference: the first result with its last object left out.
if [[ -n "$first_result" ]]; then
  read -r origin window dpi <<<"$first_window"
  /usr/bin/python3 - "$first_result" "$work/broken.gbr" <<'PY'
import sys
lines = open(sys.argv[1]).read().splitlines()
body = [k for k, l in enumerate(lines) if l.endswith("D03*") or l == "G37*" or l.endswith("D01*")]
# Leave out everything from the last region or draw run on, and add a pad far from the rest.
cut = body[len(body) // 2]
open(sys.argv[2], "w").write("\n".join(lines[:cut] + ["M02*"]) + "\n")
PY
  render "$first_result" "$origin" "$window" "$dpi" "$work/a.png"
  render "$work/broken.gbr" "$origin" "$window" "$dpi" "$work/b.png" || convert -size 10x10 xc:white "$work/b.png"
  read -r differing filled solid < <(measure "$work/a.png" "$work/b.png")
  if /usr/bin/python3 -c "import sys; sys.exit(0 if $solid <= 0.005 * $filled else 1)"; then
    echo "FAIL  a result with objects left out passed the comparison ($differing of $filled)"
    failures=$((failures + 1))
  else
    echo "ok    a result with objects left out is told apart ($differing of $filled filled pixels differ)"
  fi
fi

echo "$checked files compared, $failures failures"
(( failures == 0 && checked > 0 ))
