#!/usr/bin/env bash
# The ./zandor start script hands the editor absolute file names: relative
# ones are taken against the caller's directory, not the repository's.  The
# script runs in a copy of the repository whose installer, build and editor
# are stand-ins; the editor stand-in prints its arguments.
# Usage: zandor_script_test.sh SOURCE_DIR
set -uo pipefail
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
work=$(cd "$work" && pwd -P)

repo="$work/repo"
mkdir -p "$repo/scripts" "$repo/build/src/shell" "$repo/examples" "$work/bin" "$work/caller/sub"
cp "$src/zandor" "$repo/zandor"
printf '#!/bin/sh\nexit 0\n' >"$repo/scripts/install-deps"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/cmake"
printf '#!/bin/sh\nfor a in "$@"; do echo "$a"; done\n' >"$repo/build/src/shell/zandor-editor"
chmod +x "$repo/zandor" "$repo/scripts/install-deps" "$work/bin/cmake" "$repo/build/src/shell/zandor-editor"

failures=0
check() {  # description expected-output actual-output
  if [[ "$2" == "$3" ]]; then
    echo "ok    $1"
  else
    echo "FAIL  $1"
    echo "      expected: $(echo "$2" | tr '\n' ' ')"
    echo "      got:      $(echo "$3" | tr '\n' ' ')"
    failures=$((failures + 1))
  fi
}

cd "$work/caller"
export PATH="$work/bin:$PATH" QT_QPA_PLATFORM=offscreen
out=$("$repo/zandor" x.cif ./sub/y.cif ../z.gds /abs/w.cif "with blank.cif" --screenshot pic.png)
check "relative names against the caller's directory" "$work/caller/x.cif
$work/caller/./sub/y.cif
$work/caller/../z.gds
/abs/w.cif
$work/caller/with blank.cif
--screenshot
$work/caller/pic.png" "$out"

out=$(cd sub && "$repo/zandor")
check "without files, the demo" "$repo/examples/demo.cif" "$out"

exit $((failures > 0))
