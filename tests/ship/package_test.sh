#!/usr/bin/env bash
# Builds the game's Debian package with CPack, checks its metadata and contents, unpacks it into a
# temporary root with dpkg -x and starts the launcher from an unrelated directory: the game must
# start, read its six data files (the two pictures' size lines appear, no "not found",
# "couldn't be loaded" or "Problem reading" line), read its sounds (on SDL's dummy audio driver)
# and still be running a few seconds later.
#   package_test.sh <build-dir>
# Needs a display (DISPLAY); without one it is skipped (exit 77).
set -euo pipefail
build=$(cd "$1" && pwd)
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: skipped"; exit 77; }

tmp=$(mktemp -d)
game_pid=
cleanup() {
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then
        kill "$game_pid" 2>/dev/null || true
        wait "$game_pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The game's package only (Nevra's are tested by nevra_consumer_test.sh). gzip keeps the packing
# quick; the shipped package uses CPack's default compression.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" -D CPACK_COMPONENTS_ALL=game \
    -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log"; fail "cpack"; }
deb=$(ls "$tmp"/pkg/skaldora_*.deb)
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes)"

# Metadata: name, section and the runtime dependencies.
info=$(dpkg-deb -I "$deb")
grep -q '^ Package: skaldora$' <<<"$info" || fail "package name"
grep -q '^ Section: games$' <<<"$info" || fail "section"
depends=$(grep '^ Depends:' <<<"$info")
for dep in libqt6widgets6 libqt6openglwidgets6 libqt6opengl6 qt6-qpa-plugins libcoin80c libglut3.12 \
    libglu1-mesa libsdl2-2.0-0 libsdl2-mixer-2.0-0; do
    grep -qw "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
# The game links Nevra statically: none of Nevra's packages is needed.
if grep -q 'nevra' <<<"$depends"; then fail "Depends names a Nevra package: $depends"; fi
# Every declared dependency must be a package Debian knows (a typo would make it uninstallable).
for dep in $(sed -e 's/^ Depends://' -e 's/([^)]*)//g' -e 's/[,|]/ /g' <<<"$depends"); do
    apt-cache show "$dep" >/dev/null 2>&1 || dpkg -s "$dep" >/dev/null 2>&1 ||
        fail "unknown dependency $dep"
done

dpkg -x "$deb" "$tmp/root"
usr="$tmp/root/usr"
[ -x "$usr/bin/skaldora" ] || fail "launcher missing"
[ -x "$usr/lib/skaldora/skaldora" ] || fail "game missing"
for f in boarder.iv start.iv finish.iv tree.iv snow16.bmp panorama20480256.bmp; do
    [ -s "$usr/share/skaldora/$f" ] || fail "data file $f missing"
done
for f in wind carve start gate_right gate_wrong finish gameover; do
    [ -s "$usr/share/skaldora/sounds/$f.wav" ] || fail "sound file $f.wav missing"
done
desktop="$usr/share/applications/skaldora.desktop"
[ -f "$desktop" ] || fail "desktop entry missing"
grep -q '^Exec=skaldora$' "$desktop" || fail "desktop entry Exec"
grep -q '^Icon=skaldora$' "$desktop" || fail "desktop entry Icon"
[ -f "$usr/share/icons/hicolor/scalable/apps/skaldora.svg" ] || fail "scalable icon missing"
[ -f "$usr/share/icons/hicolor/64x64/apps/skaldora.png" ] || fail "64x64 icon missing"
[ -f "$usr/share/man/man6/skaldora.6.gz" ] || fail "manual page missing"
[ -f "$usr/share/doc/skaldora/copyright" ] || fail "copyright missing"
[ -f "$usr/share/doc/skaldora/changelog.gz" ] || fail "changelog missing"
if find "$tmp/root" -name '*nevra*' | grep .; then fail "Nevra's files in the game's package"; fi

# Start the launcher through a symlink, from another directory, as a desktop would.
mkdir "$tmp/elsewhere"
ln -s "$usr/bin/skaldora" "$tmp/elsewhere/skaldora-link"
cd "$tmp/elsewhere"
# SDL's dummy audio driver stands in for a sound card, so that the sounds are read here too.
SDL_AUDIODRIVER=dummy ./skaldora-link >"$tmp/console.txt" 2>&1 &
game_pid=$!

# The pictures are read when the window is first shown; both give a line either way.
for _ in $(seq 1 150); do
    kill -0 "$game_pid" 2>/dev/null || { cat "$tmp/console.txt"; fail "the game ended early"; }
    if grep -q 'panorama.getHeight\|The Panorama couldn' "$tmp/console.txt"; then break; fi
    sleep 0.2
done
sleep 2
kill -0 "$game_pid" 2>/dev/null || { cat "$tmp/console.txt"; fail "the game ended after start-up"; }
echo "--- console"
cat "$tmp/console.txt"
echo "---"
grep -q 'Success: snow.getWidth' "$tmp/console.txt" || fail "the snow picture was not read"
grep -q 'Success: panorama.getWidth' "$tmp/console.txt" || fail "the panorama was not read"
if grep -q "not found\|couldn't be loaded\|Problem reading" "$tmp/console.txt"; then
    fail "a data file was not read"
fi
if grep -q "^Skaldora: .*sound" "$tmp/console.txt"; then
    fail "the sounds were not read"
fi
echo "package test passed"
