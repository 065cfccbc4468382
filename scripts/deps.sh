#!/usr/bin/env bash
# Installs the Debian packages that Skaldora needs, when any are missing.
#   scripts/deps.sh game   what building and playing the game needs
#   scripts/deps.sh test   that, plus what the tests, the fuzzer and the benchmarks need
set -euo pipefail

game=(
  cmake make g++ pkg-config
  qt6-base-dev libqt6opengl6-dev qt6-qpa-plugins
  libsdl2-dev libsdl2-mixer-dev
  libcoin-dev freeglut3-dev libglu1-mesa-dev libgl-dev
  libgl1-mesa-dri libglx-mesa0 xvfb xauth
  libgtest-dev libgmock-dev
)
test=(
  "${game[@]}"
  clang libclang-rt-14-dev
  libopencv-dev
  dpkg-dev fakeroot file doxygen
  python3
  locales
  xdotool
)

case "${1:-game}" in
  game) wanted=("${game[@]}") ;;
  test) wanted=("${test[@]}") ;;
  *) echo "usage: $0 [game|test]" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Skaldora needs these Debian packages: ${missing[*]}" >&2
  echo "Install them as root: sudo apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
echo "Installing Debian packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
