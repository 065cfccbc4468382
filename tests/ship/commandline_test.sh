#!/usr/bin/env bash
# The game answers on its command line as other programs do: --help and --version without a
# display, an unknown option refused with status 2, and the manual page telling the same options
# and environment variables as --help. Started where none of its data files are, it says so.
#   commandline_test.sh <game> <version> <manual-page> <data-folder>
set -euo pipefail
game=$1
version=$2
manual=$3
data=$4

tmp=$(mktemp -d)
pid=
xvfb=
cleanup() {
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# No display at all: --help, -h and --version need none.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY)
for flag in --help -h; do
    status=0
    "${nodisplay[@]}" "$game" "$flag" >"$tmp/out" 2>"$tmp/err" || status=$?
    [ "$status" -eq 0 ] || fail "$flag: exit status $status"
    [ ! -s "$tmp/err" ] || fail "$flag wrote to standard error: $(cat "$tmp/err")"
    head -n 1 "$tmp/out" | grep -q '^Usage: skaldora ' || fail "$flag: no usage line"
done
cp "$tmp/out" "$tmp/help"

status=0
"${nodisplay[@]}" "$game" --version >"$tmp/out" 2>"$tmp/err" || status=$?
[ "$status" -eq 0 ] || fail "--version: exit status $status"
[ "$(cat "$tmp/out")" = "skaldora $version" ] || fail "--version printed '$(cat "$tmp/out")'"

for bad in --bogus -x "--frame-rate 5" "--ghost"; do
    status=0
    # shellcheck disable=SC2086  # the case's words are the arguments
    "${nodisplay[@]}" "$game" $bad >"$tmp/out" 2>"$tmp/err" || status=$?
    [ "$status" -eq 2 ] || fail "$bad: exit status $status, not 2"
    [ ! -s "$tmp/out" ] || fail "$bad wrote to standard output"
    [ "$(wc -l <"$tmp/err")" -eq 1 ] || fail "$bad: not one line: $(cat "$tmp/err")"
    grep -q -- '--help' "$tmp/err" || fail "$bad: the line does not point at --help"
done
echo "--help, --version and unknown options answer without a display"

# Nowhere to draw: no display at all, or a platform without OpenGL. One line of the game's own says
# so, and it ends with status 1 (Qt would abort, or the game crash in its first paint).
ends_saying() {  # what; pattern; command...
    local what=$1 pattern=$2
    shift 2
    status=0
    (cd "$data" && XDG_CONFIG_HOME="$tmp/config" SKALDORA_MUTE=1 timeout 60 "$@") \
        >"$tmp/out" 2>"$tmp/err" || status=$?
    [ "$status" -eq 1 ] || fail "$what: exit status $status, not 1: $(cat "$tmp/err")"
    [ "$(grep -c '^skaldora: ' "$tmp/err")" -eq 1 ] || fail "$what: not one line: $(cat "$tmp/err")"
    grep -q "$pattern" "$tmp/err" || fail "$what: no clear line: $(cat "$tmp/err")"
}
ends_saying "no display" '^skaldora: no display to open the window on' \
    "${nodisplay[@]}" -u QT_QPA_PLATFORM "$game"
# (offscreen draws through the X display's GLX when there is one: without it, it has no OpenGL)
for platform in offscreen minimal; do
    ends_saying "$platform" "^skaldora: the $platform platform offers no OpenGL" \
        "${nodisplay[@]}" QT_QPA_PLATFORM=$platform "$game"
done
echo "without a display, or on a platform without OpenGL, the game ends with one line and status 1"

# The same options and environment variables in --help and in the manual page.
words() { grep -oE -- '--[a-z][a-z-]+|\b[A-Z][A-Z0-9]*_[A-Z0-9_]+\b' | sort -u; }
words <"$tmp/help" >"$tmp/help-words"
sed 's/\\-/-/g' "$manual" | words >"$tmp/manual-words"
diff "$tmp/help-words" "$tmp/manual-words" >"$tmp/diff" ||
    fail "--help and the manual page differ (< help, > manual): $(cat "$tmp/diff")"
echo "--help and the manual page name the same $(wc -l <"$tmp/help-words") options and variables"

# Started outside the data folder: one line on standard error says where it looked.
if [ -z "${DISPLAY:-}" ]; then
    echo "no DISPLAY: the start outside the data folder is not tried"
    exit 0
fi
export XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/share"
mkdir "$tmp/empty"
started() {  # folder; leaves the console in $tmp/console
    (cd "$1" && SKALDORA_TRACE=1 SKALDORA_MUTE=1 exec "$game") >"$tmp/console" 2>&1 &
    pid=$!
    for _ in $(seq 1 300); do
        grep -q '^skaldora-trace frame 2 ' "$tmp/console" && break
        kill -0 "$pid" 2>/dev/null || fail "the game ended: $(cat "$tmp/console")"
        sleep 0.2
    done
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=
}
started "$tmp/empty"
grep -q "none of the game's data files .* is in $tmp/empty; start the game with scripts/play" \
    "$tmp/console" || fail "no line about the missing data: $(cat "$tmp/console")"
started "$data"
! grep -q "none of the game's data files" "$tmp/console" || fail "the line in the data folder"
echo "outside the data folder the game says where it looked"

# An X display without GLX: the toolkit draws through EGL, and GLUT, which needs GLX and would end
# the game, is left alone (the trees' cones are GLU's).
if command -v Xvfb >/dev/null; then
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -extension GLX \
        3>"$tmp/displayfd" 2>/dev/null &
    xvfb=$!
    for _ in $(seq 1 100); do
        [ -s "$tmp/displayfd" ] && break
        sleep 0.1
    done
    [ -s "$tmp/displayfd" ] || fail "no X server without GLX could be started"
    DISPLAY=:$(head -n 1 "$tmp/displayfd") started "$data"
    kill "$xvfb"
    xvfb=
    echo "on a display without GLX the game draws"
fi
