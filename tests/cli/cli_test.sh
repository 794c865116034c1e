#!/usr/bin/env bash
# zandor-cli: exit statuses, messages on standard error, and the JSON of info.
# Usage: cli_test.sh ZANDOR_CLI SOURCE_DIR
set -uo pipefail
cli=$1
src=$2
demo="$src/examples/demo.cif"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

expect() {  # expected-status description command...
  local want=$1 what=$2
  shift 2
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  if [[ $got -ne $want ]]; then
    echo "FAIL  $what: status $got, expected $want"
    sed 's/^/      /' "$work/err"
    failures=$((failures + 1))
  else
    echo "ok    $what"
  fi
}

expect 2 "no command" "$cli"
expect 0 "--help" "$cli" --help
grep -q "convert IN OUT" "$work/out" || { echo "FAIL  --help lists convert"; failures=$((failures + 1)); }
expect 2 "unknown command" "$cli" frobnicate x
expect 2 "unknown option" "$cli" info "$demo" --bogus
expect 2 "layer out of range" "$cli" export "$demo" --layer 300 --format cif "$work/x.cif"
expect 2 "unknown export format" "$cli" export "$demo" --layer 3 --format xyz "$work/x.cif"
expect 1 "missing input" "$cli" info "$work/absent.cif"
grep -q "^Error: " "$work/err" || { echo "FAIL  missing input says Error:"; failures=$((failures + 1)); }
expect 1 "unknown output type" "$cli" convert "$demo" "$work/out.txt"

expect 0 "info --json" "$cli" info "$demo" --json
if ! /usr/bin/python3 - "$work/out" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
assert d["main"] == "MainSymbol", d["main"]
names = {s["name"]: s for s in d["symbols"]}
assert set(names) == {"MainSymbol", "AlignMark", "TestCell", "RingResonator"}, names.keys()
assert names["AlignMark"]["objects"] == {"Rectangle": 2, "Box": 4, "Wire": 1}, names["AlignMark"]["objects"]
assert names["MainSymbol"]["calls"] == ["AlignMark", "TestCell", "RingResonator"]
assert names["RingResonator"]["objects"]["Arc wire"] == 3
assert d["bbox_um"] == [-1810, -1810, 1810, 1810], d["bbox_um"]
layers = {l["index"]: l for l in d["layers"]}
assert layers[10]["short_name"] == "XM" and layers[10]["datatype"] == 2 and layers[10]["name"] == "Alignment marks"
PY
then
  echo "FAIL  info --json content"
  failures=$((failures + 1))
fi

expect 0 "info text" "$cli" info "$demo"
grep -q "Main symbol: MainSymbol" "$work/out" || { echo "FAIL  info text names the main symbol"; failures=$((failures + 1)); }

expect 0 "export one layer" "$cli" export "$demo" --layer 20 --format cif "$work/wg.cif"
if grep -q "^L CAA" "$work/wg.cif" || ! grep -q "^L WG" "$work/wg.cif"; then
  echo "FAIL  the export holds layer WG alone"
  failures=$((failures + 1))
fi
expect 1 "export of a layer that does not exist" "$cli" export "$demo" --layer 99 --format cif "$work/none.cif"

expect 0 "convert flattened" "$cli" convert "$demo" "$work/flat.cif" --flatten
if grep -q "^9 AlignMark" "$work/flat.cif"; then
  echo "FAIL  the flattened file still defines AlignMark"
  failures=$((failures + 1))
fi
expect 0 "info on the flattened file" "$cli" info "$work/flat.cif" --json

# A failed write leaves no file behind and says so.
expect 1 "convert into a missing folder" "$cli" convert "$demo" "$work/no/such/dir/out.cif"
grep -q "^Error: " "$work/err" || { echo "FAIL  failed write says Error:"; failures=$((failures + 1)); }

((failures == 0)) || { echo "$failures check(s) failed"; exit 1; }
