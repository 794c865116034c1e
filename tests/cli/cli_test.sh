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

# boolean: layers of the main symbol through calls and arrays, result polygons
# on a new layer.
expect 0 "boolean union of layer 1 into layer 30" "$cli" boolean "$demo" "$work/or.cif" --op or --a 1 --to 30
expect 0 "info on the boolean result" "$cli" info "$work/or.cif" --json
if ! /usr/bin/python3 - "$work/out" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
layers = {l["index"]: l for l in d["layers"]}
assert 30 in layers and layers[30]["short_name"] == "L30", layers.keys()
main = d["symbols"][0]
assert main["name"] == "MainSymbol" and main["objects"].get("Polygon", 0) > 0, main["objects"]
PY
then
  echo "FAIL  the union adds polygons on layer 30"
  failures=$((failures + 1))
fi
expect 0 "boolean xor of a layer with itself" "$cli" boolean "$demo" "$work/self.cif" --op xor --a 1 --b 1 --to 30
if awk '/^L L30;/{f=1;next} /^[LD9]/{f=0} f&&/^P/{n++} END{exit n>0?0:1}' "$work/self.cif"; then
  echo "FAIL  a layer xor itself leaves nothing"
  failures=$((failures + 1))
fi
expect 2 "boolean with an unknown --op" "$cli" boolean "$demo" "$work/x.cif" --op nand --a 1 --to 30
expect 2 "boolean without --to" "$cli" boolean "$demo" "$work/x.cif" --op or --a 1
expect 2 "boolean without --a" "$cli" boolean "$demo" "$work/x.cif" --op and --b 2 --to 30
expect 2 "boolean with a negative grid" "$cli" boolean "$demo" "$work/x.cif" --op or --a 1 --to 30 --grid -1
expect 2 "boolean with an unknown option" "$cli" boolean "$demo" "$work/x.cif" --op or --a 1 --to 30 --bogus 1
expect 1 "boolean on a missing input" "$cli" boolean "$work/absent.cif" "$work/x.cif" --op or --a 1 --to 30

# A 300-node polygon is cut into pieces below --max-nodes that cover it exactly.
/usr/bin/python3 - "$work/zig.cif" <<'PY'
import sys
pts = [(i * 100, 1500 if i % 2 else 1000) for i in range(298)] + [(29700, 0), (0, 0)]
with open(sys.argv[1], "w") as f:
    f.write("L L1;\nP " + " ".join(f"{x} {y}" for x, y in pts) + ";\nE\n")
PY
expect 0 "boolean splits large polygons" "$cli" boolean "$work/zig.cif" "$work/zig-or.cif" --op or --a 0 --to 2 --max-nodes 100
if ! /usr/bin/python3 - "$work/zig.cif" "$work/zig-or.cif" <<'PY'
import re, sys
def polygons(name, layer):
    text = re.sub(r"\([^)]*\)", "", open(name).read())
    current, found = None, []
    for command in text.split(";"):
        words = command.split()
        if not words:
            continue
        if words[0] == "L":
            current = words[1]
        elif words[0] == "P" and current == layer:
            v = list(map(int, words[1:]))
            found.append(list(zip(v[0::2], v[1::2])))
    return found
def area(p):
    return abs(sum(p[i][0] * p[(i + 1) % len(p)][1] - p[(i + 1) % len(p)][0] * p[i][1] for i in range(len(p)))) / 2
(original,) = polygons(sys.argv[1], "L1")
pieces = polygons(sys.argv[2], "L2")
assert len(pieces) >= 2, len(pieces)
assert all(len(p) < 100 for p in pieces), [len(p) for p in pieces]
# The reader scales the unit-less file to nm: compare the ratio of the areas.
scale = area(polygons(sys.argv[2], "L1")[0]) / area(original)
assert abs(sum(map(area, pieces)) - area(original) * scale) < 1e-6 * area(original) * scale
PY
then
  echo "FAIL  the split pieces stay below --max-nodes and cover the polygon"
  failures=$((failures + 1))
fi

# GDSII: CIF to GDSII and back, GDSII to GDSII; the layer map goes beside the
# stream file and comes back with it.
expect 0 "convert to GDSII" "$cli" convert "$demo" "$work/demo.gds"
[[ -s "$work/demo.map" ]] || { echo "FAIL  convert to GDSII writes the layer map"; failures=$((failures + 1)); }
expect 0 "info on the GDSII file" "$cli" info "$work/demo.gds" --json
if ! /usr/bin/python3 - "$work/out" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
assert d["main"] == "MainSymbol", d["main"]
names = {s["name"]: s for s in d["symbols"]}
assert set(names) == {"MainSymbol", "AlignMark", "TestCell", "RingResonator"}, names.keys()
assert names["MainSymbol"]["calls"] == ["AlignMark", "TestCell", "RingResonator"]
assert "Arc wire" not in names["RingResonator"]["objects"], names["RingResonator"]["objects"]
assert d["bbox_um"] == [-1810, -1810, 1810, 1810], d["bbox_um"]
layers = {l["index"]: l for l in d["layers"]}
assert layers[10]["datatype"] == 2 and layers[10]["name"] == "Alignment marks"
PY
then
  echo "FAIL  info on the GDSII file"
  failures=$((failures + 1))
fi
expect 0 "convert GDSII to CIF" "$cli" convert "$work/demo.gds" "$work/back.cif"
expect 0 "convert GDSII to GDSII" "$cli" convert "$work/demo.gds" "$work/again.gds"
"$cli" info "$work/demo.gds" | tail -n +2 >"$work/first.txt"
"$cli" info "$work/again.gds" | tail -n +2 >"$work/second.txt"
cmp -s "$work/first.txt" "$work/second.txt" ||
  { echo "FAIL  GDSII to GDSII keeps the layout"; failures=$((failures + 1)); }
expect 2 "CIF options for GDSII output" "$cli" convert "$demo" "$work/flat.gds" --flatten
printf 'not a stream' >"$work/text.gds"
expect 1 "a text file named .gds" "$cli" info "$work/text.gds"
grep -q "^Error: The file .*text.gds is not a valid GDS-II file." "$work/err" ||
  { echo "FAIL  a text file named .gds is reported"; failures=$((failures + 1)); }

# Diagnostics: info --json lists what reading reported, convert --report
# writes what reading and writing reported, identical ones with a count.
damaged="$src/tests/data/cif/reader/damaged.cif"
expect 0 "info --json on a damaged file" "$cli" info "$damaged" --json
grep -q "^Error: Unexpected end of box statement# 3" "$work/err" ||
  { echo "FAIL  info still prints the Error: lines"; failures=$((failures + 1)); }
if ! /usr/bin/python3 - "$work/out" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
found = d["diagnostics"]
errors = [e for e in found if e["severity"] == "error"]
assert [(e["line"], e["statement"], e["cell"]) for e in errors] == [(3, 3, "MainSymbol"), (7, 7, "cell"), (8, 8, "cell")], errors
assert errors[0]["text"] == "Unexpected end of box statement# 3\nX coordinate of box expected", errors[0]
assert all(e["offset"] is None and e["count"] == 1 and e["file"].endswith("damaged.cif") for e in errors)
notes = [e for e in found if e["severity"] == "info"]
assert notes == [{"severity": "info", "text": "A user extension statement was skipped.", "file": errors[0]["file"],
                  "line": None, "statement": None, "offset": None, "cell": "cell", "count": 2}], notes
PY
then
  echo "FAIL  info --json lists the diagnostics of the damaged file"
  failures=$((failures + 1))
fi
expect 0 "info --json on a sound file" "$cli" info "$demo" --json
/usr/bin/python3 -c 'import json, sys; assert json.load(open(sys.argv[1]))["diagnostics"] == []' "$work/out" ||
  { echo "FAIL  the demo reads without diagnostics"; failures=$((failures + 1)); }

expect 0 "convert --report" "$cli" convert "$damaged" "$work/damaged.gds" --report "$work/report.json"
if ! /usr/bin/python3 - "$work/report.json" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
assert d["loaded"] and d["saved"] and d["output"].endswith("damaged.gds"), d
entries = d["diagnostics"]
load = [e for e in entries if e["phase"] == "load"]
save = [e for e in entries if e["phase"] == "save"]
assert [e["severity"] for e in load] == ["error", "error", "error", "info"], load
assert load[3]["count"] == 2
assert {(e["text"], e["cell"], e["count"]) for e in save} == {
    ("A call of a symbol that does not exist was left out.", "MainSymbol", 1),
    ("A circle was written as a boundary of 72 points.", "cell", 1)}, save
assert all(e["file"].endswith("damaged.gds") for e in save)
assert d["diagnostics_omitted"] == 0
PY
then
  echo "FAIL  convert --report lists what reading and writing reported"
  failures=$((failures + 1))
fi
expect 1 "convert --report of a file that cannot be read" "$cli" convert "$work/text.gds" "$work/x.cif" --report "$work/failed.json"
if ! /usr/bin/python3 - "$work/failed.json" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
assert not d["loaded"] and not d["saved"], d
first = d["diagnostics"][0]
assert first["text"].endswith("text.gds is not a valid GDS-II file.") and first["offset"] == 0, first
assert d["diagnostics"][-1]["text"].startswith("Could not read "), d["diagnostics"]
PY
then
  echo "FAIL  a failed conversion still writes its report"
  failures=$((failures + 1))
fi
expect 2 "--report needs a value" "$cli" convert "$demo" "$work/x.cif" --report
expect 2 "info takes no --report" "$cli" info "$demo" --report "$work/r.json"

# grow, flatten and transform.  Bad arguments are usage errors; a refused edit
# fails; in both cases an existing output file keeps its contents.
bbox() {  # file -> "minx miny maxx maxy" in um
  "$cli" info "$1" --json 2>/dev/null | /usr/bin/python3 -c 'import json, sys; print(*json.load(sys.stdin)["bbox_um"])' 2>/dev/null
}
printf 'keep me\n' >"$work/kept.cif"
while IFS='|' read -r want what args; do
  [[ -n "$want" ]] || continue
  # shellcheck disable=SC2086
  expect "$want" "$what" "$cli" $args
  [[ "$(cat "$work/kept.cif")" == "keep me" ]] || { echo "FAIL  $what: the output file was replaced"; failures=$((failures + 1)); }
  if [[ $want == 1 ]] && ! grep -q "^Error: " "$work/err"; then
    echo "FAIL  $what: says Error:"
    failures=$((failures + 1))
  fi
done <<EOF2
2|grow without --by|grow $demo $work/kept.cif --layer 1
2|grow by NaN|grow $demo $work/kept.cif --layer 1 --by nan
2|grow by a number with text glued on|grow $demo $work/kept.cif --layer 1 --by 1um
2|grow by more than the coordinate range|grow $demo $work/kept.cif --layer 1 --by 3000000
2|grow on a layer that is no index|grow $demo $work/kept.cif --layer metal --by 1
2|grow with --layer twice|grow $demo $work/kept.cif --layer 1 --layer 2 --by 1
2|flatten with an unknown option|flatten $demo $work/kept.cif --deep
2|flatten without an output|flatten $demo
2|transform without an operation|transform $demo $work/kept.cif --layer all
2|transform with two operations|transform $demo $work/kept.cif --layer all --move 1,1 --rotate 90 --about 0,0
2|transform with a pair of three numbers|transform $demo $work/kept.cif --layer all --move 1,2,3
2|transform move by one number|transform $demo $work/kept.cif --layer all --move 1.5
2|transform by an infinite angle|transform $demo $work/kept.cif --layer all --rotate inf --about 0,0
2|transform rotation without a centre|transform $demo $work/kept.cif --layer all --rotate 30
2|transform move with a centre|transform $demo $work/kept.cif --layer all --move 1,1 --about 0,0
2|transform scale by 0|transform $demo $work/kept.cif --layer all --scale 0,1 --about 0,0
2|transform scale by NaN|transform $demo $work/kept.cif --layer all --scale nan --about 0,0
2|transform without --layer|transform $demo $work/kept.cif --move 1,1
1|transform of a layer that does not exist|transform $demo $work/kept.cif --layer 99 --move 1,1
1|grow of a layer that does not exist|grow $demo $work/kept.cif --layer 99 --by 1
1|transform beyond the coordinate range|transform $demo $work/kept.cif --layer all --scale 2000 --about 0,0
1|transform moved beyond the coordinate range|transform $demo $work/kept.cif --layer all --move 2146000,0
1|transform of a missing input|transform $work/absent.cif $work/kept.cif --layer all --move 1,1
1|transform into an unknown output type|transform $demo $work/kept.txt --layer all --move 1,1
EOF2

expect 0 "transform --help lists the edits" "$cli" --help
grep -q "transform IN OUT --layer L|all" "$work/out" || { echo "FAIL  --help lists transform"; failures=$((failures + 1)); }

# The whole demo, calls and arrays included, moves, turns and mirrors as one:
# its bounding box (+-1810 um) follows exactly.
while IFS='|' read -r what args box; do
  [[ -n "$what" ]] || continue
  # shellcheck disable=SC2086
  expect 0 "$what" "$cli" transform "$demo" "$work/edited.cif" --layer all $args
  got=$(bbox "$work/edited.cif")
  [[ "$got" == "$box" ]] || { echo "FAIL  $what: bounding box $got, expected $box"; failures=$((failures + 1)); }
done <<EOF2
move by (10, -2.5) um|--move 10,-2.5|-1800 -1812.5 1820 1807.5
rotate by 90 about (100, 0)|--rotate 90 --about 100,0|-1710 -1910 1910 1710
scale by 0.5 about (-1810, -1810)|--scale 0.5 --about -1810,-1810|-1810 -1810 0 0
mirror about x = 10|--scale -1,1 --about 10,0|-1790 -1810 1830 1810
EOF2

# Objects of one layer move (the title text on CMS, layer 4); the other layers
# and the placed symbols stay.
expect 0 "transform of one layer" "$cli" transform "$demo" "$work/layer.cif" --layer 4 --move 5000,0
if ! /usr/bin/python3 - "$demo" "$work/layer.cif" <<'PY'
import re, sys
def layers(name):
    found, current = {}, None
    for command in re.sub(r"\([^)]*\)", "", open(name).read()).split(";"):
        words = command.split()
        if not words:
            continue
        if words[0] == "L":
            current = words[1]
        elif words[0] in ("B", "P", "W", "R") and current:
            found.setdefault(current, []).append(" ".join(words))
        elif words[0] == "C":
            found.setdefault("calls", []).append(" ".join(words))
    return found
before, after = layers(sys.argv[1]), layers(sys.argv[2])
assert before["CMS"] != after["CMS"], "layer CMS did not change"
assert {k: v for k, v in before.items() if k != "CMS"} == {k: v for k, v in after.items() if k != "CMS"}
PY
then
  echo "FAIL  a transform of layer 4 changes that layer alone"
  failures=$((failures + 1))
fi

# grow: every outline of the layer moves out, and back in.
flat="$src/tests/data/edit/manhattan.gds"
expect 0 "grow all layers by 0.25 um" "$cli" grow "$flat" "$work/grown.gds" --layer all --by 0.25
[[ "$(bbox "$work/grown.gds")" == "-0.25 -0.25 20.85 38.25" ]] ||
  { echo "FAIL  grow by 0.25 um: bounding box $(bbox "$work/grown.gds")"; failures=$((failures + 1)); }
expect 0 "shrink the grown layout by 0.25 um" "$cli" grow "$work/grown.gds" "$work/back.gds" --layer all --by -0.25
[[ "$(bbox "$work/back.gds")" == "$(bbox "$flat")" ]] ||
  { echo "FAIL  grow and shrink by 0.25 um: bounding box $(bbox "$work/back.gds")"; failures=$((failures + 1)); }
expect 0 "grow with round corners" "$cli" grow "$flat" "$work/round.gds" --layer all --by 0.5 --round
"$cli" info "$work/round.gds" --json | /usr/bin/python3 -c '
import json, sys
d = json.load(sys.stdin)
assert d["symbols"][0]["objects"] == {"Polygon": 10}, d["symbols"][0]["objects"]
assert d["bbox_um"] == [-0.5, -0.5, 21.1, 38.5], d["bbox_um"]' ||
  { echo "FAIL  grow --round makes polygons of every object"; failures=$((failures + 1)); }
printf 'DS 1 1 1;\nL LA;\nB 100 100 0 0;\nDF;\nC 1;\nL LB;\nB 100 100 500 0;\nE\n' >"$work/nested.cif"
only_nested=$("$cli" info "$work/nested.cif" --json |
  /usr/bin/python3 -c 'import json, sys; print(next(l["index"] for l in json.load(sys.stdin)["layers"] if l["short_name"] == "LA"))')
expect 0 "grow of a layer without objects in the main symbol" "$cli" grow "$work/nested.cif" "$work/none.cif" --layer "$only_nested" --by 1
grep -q "^Warning: " "$work/err" || { echo "FAIL  an edit of nothing warns"; failures=$((failures + 1)); }

# flatten: no call is left, and the symbols only the main symbol used are gone
# unless kept.
expect 0 "flatten" "$cli" flatten "$demo" "$work/flat-demo.cif"
"$cli" info "$work/flat-demo.cif" --json | /usr/bin/python3 -c '
import json, sys
d = json.load(sys.stdin)
assert [s["name"] for s in d["symbols"]] == ["MainSymbol"], [s["name"] for s in d["symbols"]]
assert d["symbols"][0]["calls"] == [] and "Symbol" not in d["symbols"][0]["objects"]
assert d["bbox_um"] == [-1810, -1810, 1810, 1810], d["bbox_um"]' ||
  { echo "FAIL  flatten leaves plain objects alone"; failures=$((failures + 1)); }
expect 0 "flatten --keep-symbols" "$cli" flatten "$demo" "$work/flat-kept.cif" --keep-symbols
"$cli" info "$work/flat-kept.cif" --json | /usr/bin/python3 -c '
import json, sys
d = json.load(sys.stdin)
assert len(d["symbols"]) == 4 and d["symbols"][0]["calls"] == [], d["symbols"]' ||
  { echo "FAIL  flatten --keep-symbols keeps the definitions"; failures=$((failures + 1)); }

# Flash files: a layer exported as Mann (both formats) and EMK, in blocks by
# default, and read back to the same extent; the options are checked.
cat >"$work/flash.cif" <<'CIF'
L L1;
B 10000 6000 5000 3000;
B 4000 2000 20000 20000 1 1;
L L2;
B 100 100 90000 90000;
E
CIF
flash_extent() {  # file [reader options...]: the bounding box in um
  "$cli" info "$@" --json | /usr/bin/python3 -c '
import json, sys
d = json.load(sys.stdin)
assert [l["name"] for l in d["layers"]] == ["Layer 0"], d["layers"]
print(" ".join("%.1f" % v for v in d["bbox_um"]))'
}
for format in man3000 man3600 emk; do
  ext=${format%%[0-9]*}
  [[ $ext == man ]] || ext=emk
  expect 0 "export --format $format" "$cli" export "$work/flash.cif" --layer 0 --format "$format" "$work/flash-$format.$ext"
  size=$(stat -c %s "$work/flash-$format.$ext")
  block=512
  [[ $format == emk ]] && block=800
  ((size > 0 && size % block == 0)) || { echo "FAIL  $format is made of blocks of $block"; failures=$((failures + 1)); }
  got=$(flash_extent "$work/flash-$format.$ext")
  [[ $got == "0.0 0.0 221.2 221.2" ]] || { echo "FAIL  $format reads back to its extent: $got"; failures=$((failures + 1)); }
done
head -c 5 "$work/flash-man3000.man" | grep -q '"#00"' || { echo "FAIL  man3000 starts with the block header"; failures=$((failures + 1)); }
expect 0 "export man3600 without blocks" "$cli" export "$work/flash.cif" --layer 0 --format man3600 "$work/lines.man" \
  --blocks off --implicit-decimal off
head -1 "$work/lines.man" | grep -q '^"T360M"' || { echo "FAIL  man3600 header"; failures=$((failures + 1)); }
grep -q '^X0.05Y0.03W0.1H0.06A0.0;' "$work/lines.man" || { echo "FAIL  man3600 statement"; failures=$((failures + 1)); }
# Quarter mils round the extent; mirrored, it rounds the same way.
expect 0 "export English" "$cli" export "$work/flash.cif" --layer 0 --format man3000 "$work/english.man" --english
expect 0 "export English, mirrored" "$cli" export "$work/flash.cif" --layer 0 --format man3000 "$work/mirror.man" \
  --english --mirror --max-coord 1
want=$(flash_extent "$work/english.man" --english)
got=$(flash_extent "$work/mirror.man" --english --mirror --max-coord 1)
[[ $got == "$want" && $want != "0.0 0.0 221.2 221.2" ]] ||
  { echo "FAIL  English mirrored reads back in place: $got, not $want"; failures=$((failures + 1)); }
expect 0 "convert a flash file" "$cli" convert "$work/flash-emk.emk" "$work/from-emk.gds" --unit 0.1
expect 2 "a number that is none" "$cli" export "$work/flash.cif" --layer 0 --format man3000 "$work/x.man" --resolution 5um
expect 2 "an EMK option for Mann" "$cli" export "$work/flash.cif" --layer 0 --format man3600 "$work/x.man" --unit 1
expect 2 "a flash option for CIF" "$cli" export "$work/flash.cif" --layer 0 --format cif "$work/x.cif" --english
expect 2 "on or off" "$cli" export "$work/flash.cif" --layer 0 --format man3000 "$work/x.man" --blocks yes
expect 2 "reading options for CIF" "$cli" info "$work/flash.cif" --mirror
expect 2 "writing options for reading" "$cli" info "$work/flash-man3000.man" --resolution 1
expect 1 "an option out of range" "$cli" export "$work/flash.cif" --layer 0 --format emk "$work/x.emk" --unit 0
grep -q "^Error: Unit must be a positive value" "$work/err" || { echo "FAIL  the unit's message"; failures=$((failures + 1)); }
[[ ! -e $work/x.emk ]] || { echo "FAIL  nothing written for a refused option"; failures=$((failures + 1)); }

# Gerber photoplots: the defaults, the options, and refusals that leave no file.
expect 0 "export --format gerber" "$cli" export "$work/flash.cif" --layer 0 --format gerber "$work/plot.gbr"
[[ $(head -2 "$work/plot.gbr" | tr -d '\r' | tr '\n' ' ') == "%FSLAX34Y34*% %MOIN*% " ]] ||
  { echo "FAIL  gerber header"; failures=$((failures + 1)); }
[[ $(tail -1 "$work/plot.gbr" | tr -d '\r') == "M02*" ]] || { echo "FAIL  gerber end"; failures=$((failures + 1)); }
expect 0 "export gerber with options" "$cli" export "$work/flash.cif" --layer 0 --format gerber "$work/mm.gbr" \
  --mm --integers 2 --decimals 3 --fill always --aperture D10=0.25,square --aperture D14=10mil,round \
  --aperture D11=,none --end-of-block '!' --delimiter '#'
for line in '#FSLAX23Y23!#' '#MOMM!#' '#ADD10R,0.250X0.250!#' '#ADD14C,0.254!#' 'G36!' 'G01X0Y0D02!' 'X100Y60D01!'; do
  tr -d '\r' <"$work/mm.gbr" | grep -qxF "$line" || { echo "FAIL  gerber line $line"; failures=$((failures + 1)); }
done
! grep -q "ADD11" "$work/mm.gbr" || { echo "FAIL  gerber aperture taken out"; failures=$((failures + 1)); }
for bad in "--decimals 7" "--integers 0" "--fill sometimes" "--aperture D60=1,round" "--aperture D10=-1,round" \
           "--aperture D10=1,oval" "--end-of-block **" "--end-of-block X" "--mm --inch" "--resolution 1"; do
  # shellcheck disable=SC2086
  expect 2 "gerber refuses $bad" "$cli" export "$work/flash.cif" --layer 0 --format gerber "$work/bad.gbr" $bad
  [[ ! -e $work/bad.gbr ]] || { echo "FAIL  nothing written for $bad"; failures=$((failures + 1)); }
done
grep -q "0 to 6 decimals" <("$cli" export "$work/flash.cif" --layer 0 --format gerber "$work/bad.gbr" --decimals 7 2>&1) ||
  { echo "FAIL  the decimals' message"; failures=$((failures + 1)); }
expect 2 "a Gerber option for CIF" "$cli" export "$work/flash.cif" --layer 0 --format cif "$work/x.cif" --mm
expect 2 "a Gerber option for reading" "$cli" info "$work/flash.cif" --fill always

# A picture over a window in inches: a 3 mil square at the origin, drawn at
# 1000 dpi from (-1, -1) mil, covers exactly pixels 1..3 of rows 1..3.
printf 'L L1;\nB 7620 7620 3810 3810;\nE\n' >"$work/square.cif"
expect 0 "render a window" "$cli" render "$work/square.cif" "$work/square.png" --mono --window -0.001,-0.001,0.005,0.005 \
  --dpi 1000
if command -v convert >/dev/null; then
  black=$(convert "$work/square.png" txt:- | awk '/#000000/ {split($1, p, ","); printf "%s,%s ", p[1], p[2]}')
  [[ $black == "1,1: 2,1: 3,1: 1,2: 2,2: 3,2: 1,3: 2,3: 3,3: " ]] ||
    { echo "FAIL  the square's pixels: $black"; failures=$((failures + 1)); }
fi
expect 2 "a window without dpi" "$cli" render "$work/square.cif" "$work/x.png" --window 0,0,1,1
expect 2 "a window too large for its dpi" "$cli" render "$work/square.cif" "$work/x.png" --window 0,0,10,10 --dpi 10000
# Drill files: circles exported as TAP and read back, Excellon files under any name with
# --format tap, and the options checked.
cat >"$work/holes.cif" <<'CIF'
L L1;
R 30000 100000 -200000;
R 100000 0 0;
B 100 100 0 0;
E
CIF
expect 0 "export --format tap" "$cli" export "$work/holes.cif" --layer 0 --format tap "$work/holes.tap" --mm --decimals 3
grep -q '^T3C0.300F200S100' "$work/holes.tap" && grep -q '^X01000Y-02000' "$work/holes.tap" && grep -q '^T10C1.000F200S100' "$work/holes.tap" ||
  { echo "FAIL  the tools and holes of the TAP file"; failures=$((failures + 1)); }
grep -q "^Warning: The layer contains shapes other than circles and rings" "$work/err" ||
  { echo "FAIL  the warning about other shapes"; failures=$((failures + 1)); }
expect 0 "read the TAP file back" "$cli" info "$work/holes.tap" --json --mm --decimals 3
/usr/bin/python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
assert d["symbols"][0]["objects"] == {"Circle": 2}, d["symbols"][0]
assert d["bbox_um"] == [-500, -2150, 1150, 500], d["bbox_um"]' "$work/out" ||
  { echo "FAIL  the TAP file reads back to its holes"; failures=$((failures + 1)); }
printf 'M48\nMETRIC,TZ,000.000\nT1C1.0\n%%\nT1\nX1000Y2000\nM30\n' >"$work/board.drl"
expect 0 "a .drl file read by its extension" "$cli" info "$work/board.drl"
cp "$work/board.drl" "$work/board.nc"
expect 1 "an extension that says nothing, without --format" "$cli" info "$work/board.nc"
expect 0 "a .drl file with --format tap" "$cli" convert "$work/board.drl" "$work/board.gds" --format tap
expect 0 "its extent" "$cli" info "$work/board.drl" --format tap --json
grep -q '"bbox_um": \[500, 1500, 1500, 2500\]' "$work/out" || { echo "FAIL  the Excellon file's extent"; failures=$((failures + 1)); }
expect 2 "an unknown reading format" "$cli" info "$work/board.drl" --format gerbil
expect 2 "drill options for a CIF file" "$cli" info "$work/holes.cif" --mm
expect 2 "drill options for Mann output" "$cli" export "$work/holes.cif" --layer 0 --format man3000 "$work/x.man" --decimals 3
expect 2 "a number of decimals that is none" "$cli" export "$work/holes.cif" --layer 0 --format tap "$work/x.tap" --decimals three
expect 2 "millimetres and inches" "$cli" export "$work/holes.cif" --layer 0 --format tap "$work/x.tap" --mm --inch
expect 1 "decimals out of range" "$cli" export "$work/holes.cif" --layer 0 --format tap "$work/x.tap" --decimals 7
grep -q "^Error: Number of decimals must be between 0 and 6" "$work/err" ||
  { echo "FAIL  the decimals' message"; failures=$((failures + 1)); }
[[ ! -e $work/x.tap ]] || { echo "FAIL  nothing written for refused decimals"; failures=$((failures + 1)); }
expect 1 "reading with decimals out of range" "$cli" info "$work/holes.tap" --decimals 9
grep -q "^Error: Number of decimals must be between 0 and 6" "$work/err" ||
  { echo "FAIL  the reader's decimals message"; failures=$((failures + 1)); }
# Gerber files of any extension with --format gerber; an unknown format name is refused.
printf '%%FSLAX33Y33*%%\n%%MOMM*%%\n%%ADD10C,1*%%\nD10*\nX2000Y3000D03*\nM02*\n' >"$work/board.gtl"
expect 0 "info --format gerber" "$cli" info --format gerber "$work/board.gtl"
grep -q "Bounding box: (1500, 2500) - (2500, 3500) um" "$work/out" ||
  { echo "FAIL  the Gerber file's box"; failures=$((failures + 1)); }
expect 0 "convert --format gerber" "$cli" convert "$work/board.gtl" "$work/board.cif" --format gerber
expect 0 "a PCB tool's Gerber extension" "$cli" info "$work/board.gtl"
cp "$work/board.gtl" "$work/board.top"
expect 1 "a Gerber file named .top, without --format" "$cli" info "$work/board.top"
expect 2 "an unknown reading format" "$cli" info --format gerbv "$work/board.gtl"

((failures == 0)) || { echo "$failures check(s) failed"; exit 1; }
