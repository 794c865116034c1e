#!/usr/bin/env bash
# Editing operations of zandor-cli against an independent implementation (KLayout, from Debian):
#  1. transform --layer all (rotations by 90 and 30 degrees, scaling by 2 and 0.5, mirroring both
#     ways, a move) of layouts with calls and arrays gives, per layer, the flattened geometry the
#     reference gets by transforming the original's (kl_edit.py: within the rounding of each vertex);
#  2. flatten gives exactly the reference's flattening, with no placement left;
#  3. grow of Manhattan shapes gives exactly the reference's sizing (growing overlapping shapes,
#     shrinking separate ones), and grow --round its sizing with round corners within the arcs'
#     approximation;
#  4. the comparison fails on an output that was rotated by another angle.
# Inputs: the fixtures of tests/data/edit (make_edit_fixtures.py) and, when the shared corpus is
# there, two small layouts of it.
# Usage: edit_interop.sh ZANDOR_CLI SOURCE_DIR
set -uo pipefail
cli=$1
src=$2
here="$src/tests/interop"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! command -v klayout >/dev/null; then
  echo "klayout is not installed (scripts/install-deps installs it)" >&2
  exit 1
fi

failures=0
fail() {  # what message [log]
  echo "FAIL  $1: $2"
  if [[ $# -ge 3 ]]; then sed 's/^/      /' "$3"; fi
  failures=$((failures + 1))
}

# The layer index zandor-cli gives GDS layer L/D of a file.
layer_index() {  # file L/D
  "$cli" info "$1" --json | /usr/bin/python3 -c '
import json, sys
l, d = map(int, sys.argv[1].split("/"))
print(next(x["index"] for x in json.load(sys.stdin)["layers"] if x["gds_layer"] == l and x["datatype"] == d))' "$2"
}

main_symbol() {  # file
  "$cli" info "$1" --json | /usr/bin/python3 -c 'import json, sys; print(json.load(sys.stdin)["main"])'
}

run() {  # label log command...
  local label=$1 log=$2
  shift 2
  if ! "$@" 2>"$log"; then
    fail "$label" "zandor-cli failed" "$log"
    return 1
  fi
}

# Cases of one input, checked by one run of the reference.
labels=()
cases=""
add_case() {  # label output edit
  labels+=("$1|$2")
  cases+="$2=$3;"
}
check_cases() {  # input
  local in=$1 log="$work/check.log" entry label out
  if ((${#labels[@]} > 0)); then
    klayout -b -r "$here/kl_edit.py" -rd ref="$in" -rd top="$(main_symbol "$in")" -rd cases="$cases" \
      >"$log" 2>&1
    for entry in "${labels[@]}"; do
      label=${entry%%|*}
      out=${entry#*|}
      if grep -qxF "PASS $out" "$log"; then
        echo "ok    $label"
      else
        awk -v out="$out" '$0 == out ":" || $0 ~ ("^" out ": ") { on = 1 } on { print } $0 == "FAIL " out { on = 0 }' \
          "$log" >"$work/case.log"
        [[ -s "$work/case.log" ]] || cp "$log" "$work/case.log"
        fail "$label" "differs from the reference" "$work/case.log"
      fi
    done
  fi
  labels=()
  cases=""
}

data="$work/data"
/usr/bin/python3 "$src/tests/data/edit/make_edit_fixtures.py" "$data"
for f in hierarchy.gds manhattan.gds; do
  cmp -s "$data/$f" "$src/tests/data/edit/$f" || fail "$f" "differs from what make_edit_fixtures.py writes"
done

inputs=("$src/tests/data/edit/hierarchy.gds")
corpus="$src/../shared/corpus/gds/klayout"
for f in t200.gds issue_893.gds; do
  [[ -f "$corpus/$f" ]] && inputs+=("$corpus/$f")
done

transforms=(
  "--rotate 90 --about 1,2|rotate:90:1000,2000"
  "--rotate 30 --about 0.5,-3|rotate:30:500,-3000"
  "--scale 2 --about 0,0|scale:2,2:0,0"
  "--scale 0.5 --about 3,1|scale:0.5,0.5:3000,1000"
  "--scale -1,1 --about 2,0|scale:-1,1:2000,0"
  "--scale 1,-1 --about 0,5|scale:1,-1:0,5000"
  "--move 1.5,-2|move:1500,-2000"
)
for f in "${inputs[@]}"; do
  name=$(basename "$f" .gds)
  for t in "${transforms[@]}"; do
    options=${t%%|*}
    edit=${t#*|}
    out="$work/$name.$(echo "$edit" | tr -c 'a-z0-9\n' _).gds"
    # shellcheck disable=SC2086
    run "$name transform $options" "$work/cli.log" "$cli" transform "$f" "$out" --layer all $options &&
      add_case "$name transform $options" "$out" "$edit"
  done
  run "$name flatten" "$work/cli.log" "$cli" flatten "$f" "$work/$name.flat.gds" &&
    add_case "$name flatten" "$work/$name.flat.gds" flatten
  check_cases "$f"
done

flat="$src/tests/data/edit/manhattan.gds"
grow_layer=$(layer_index "$flat" 2/0)
shrink_layer=$(layer_index "$flat" 3/0)
run "grow by 0.25 um" "$work/cli.log" "$cli" grow "$flat" "$work/grown.gds" --layer "$grow_layer" --by 0.25 &&
  add_case "grow by 0.25 um" "$work/grown.gds" grow:250@2/0
run "shrink by 0.1 um" "$work/cli.log" "$cli" grow "$flat" "$work/shrunk.gds" --layer "$shrink_layer" --by -0.1 &&
  add_case "shrink by 0.1 um" "$work/shrunk.gds" grow:-100@3/0
run "grow by 0.5 um, rounded" "$work/cli.log" "$cli" grow "$flat" "$work/round.gds" --layer "$grow_layer" --by 0.5 --round &&
  add_case "grow by 0.5 um, rounded" "$work/round.gds" round:500@2/0
check_cases "$flat"

# The comparison notices a rotation by another angle.
in="$src/tests/data/edit/hierarchy.gds"
if [[ -f "$work/hierarchy.rotate_30_500__3000.gds" ]]; then
  if klayout -b -r "$here/kl_edit.py" -rd ref="$in" -rd out="$work/hierarchy.rotate_30_500__3000.gds" \
       -rd top=TOP -rd cases="$work/hierarchy.rotate_30_500__3000.gds=rotate:29.9:500,-3000" >"$work/self.log" 2>&1; then
    fail "self-check" "a rotation by 30 degrees passed as one by 29.9" "$work/self.log"
  else
    echo "ok    self-check: a rotation by 30 degrees is told from one by 29.9"
  fi
else
  fail "self-check" "no rotated output to check"
fi

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
