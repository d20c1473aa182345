#!/usr/bin/env bash
# scripts/check-layers on a small tree that keeps every rule, then with one
# rule broken at a time: the tree must pass, each broken one fail and name the
# offending include by file:line.
set -euo pipefail
check="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-layers"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# add FILE INCLUDED...: FILE (under src/) gets one #include per INCLUDED.
add() {
  local file=$work/src/$1
  shift
  mkdir -p "${file%/*}"
  for included in "$@"; do printf '#include "%s"\n' "$included" >>"$file"; done
  touch "$file"
}

# One file per layer, each including what it may: a core chain, the two
# window layers over ui, app and cli on top, and another library's header.
base() {
  rm -rf "$work/src"
  add util/numbers.h
  add settings/store.h util/numbers.h
  add link/link.h settings/store.h
  add jobs/runner.h link/link.h
  add modes/figure_session.h jobs/runner.h
  add modes/milling/router_head.h modes/figure_session.h
  add ui/mode_window.h link/link.h QtWidgets/QWidget
  add modes/figure_window.h ui/mode_window.h modes/figure_session.h
  add modes/milling/milling_window.h modes/figure_window.h modes/milling/router_head.h
  add modes/cutting/cutting_window.cpp modes/milling/milling_window.h ui/mode_window.h
  add cli/cli.h modes/milling/router_head.h
  add cli/cli.cpp cli/cli.h
  add app/main_window.cpp modes/cutting/cutting_window.cpp cli/cli.h
}

base
"$check" "$work" >/dev/null

status=0
# expect WHAT MESSAGE: after the additions made since base, the check fails
# and prints MESSAGE (one include with its file:line and why).
expect() {
  local output
  if output=$("$check" "$work" 2>&1); then
    echo "FAIL: $1: the check passed" >&2
    status=1
  elif ! grep -qF -- "$2" <<<"$output"; then
    printf 'FAIL: %s: no "%s" in\n%s\n' "$1" "$2" "$output" >&2
    status=1
  fi
  base
}

add jobs/count.cpp util/numbers.h modes/figure_session.h
expect "core up a core layer" \
  "src/jobs/count.cpp:2: includes modes/figure_session.h, but modes is not under jobs"

add link/sim.cpp ui/mode_window.h
expect "core up into ui" "src/link/sim.cpp:1: includes ui/mode_window.h, but ui is not under link"

add modes/scan_plan.h modes/figure_window.h
expect "mode core up into a mode window" \
  "src/modes/scan_plan.h:1: includes modes/figure_window.h, but windows is not under modes"

add ui/tabs_widget.cpp modes/milling/milling_window.h
expect "ui up into a mode window" \
  "src/ui/tabs_widget.cpp:1: includes modes/milling/milling_window.h, but windows is not under ui"

add ui/tabs_widget.cpp app/main_window.h
expect "ui up into app" "src/ui/tabs_widget.cpp:1: includes app/main_window.h, but app is not under ui"

add modes/milling/stop_dialog.cpp app/main_window.h
expect "mode window up into app" \
  "src/modes/milling/stop_dialog.cpp:1: includes app/main_window.h, but app is not under windows"

add cli/print.cpp ui/mode_window.h
expect "cli into a window" "src/cli/print.cpp:1: includes ui/mode_window.h, but ui is not under cli"

add modes/figure_session.cpp modes/milling/router_head.h
expect "core folders include each other" \
  "src/modes/milling/router_head.h:1: includes modes/figure_session.h, and src/modes includes src/modes/milling"

add modes/milling/stop_dialog.cpp modes/cutting/cutting_window.h
expect "window folders include each other" \
  "src/modes/cutting/cutting_window.cpp:1: includes modes/milling/milling_window.h, and src/modes/milling includes src/modes/cutting"

# The layers allow this include; the folders' mutual inclusion does not.
add ui/frontend_dialog.cpp modes/figure_session.h
expect "ui and a mode folder include each other" \
  "src/ui/frontend_dialog.cpp:1: includes modes/figure_session.h, and src/modes includes src/ui"

add link/port_widget.h
expect "a window file in a core folder" \
  "src/link/port_widget.h: a window file belongs in src/modes, src/ui or src/app"

add extra/thing.h
expect "a folder that is no layer" "src/extra/thing.h: the folder src/extra is no layer known"

exit $status
