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
  # Nevra cross-built for aarch64 and its tests run under qemu (scripts/cross-test); GoogleTest
  # from Debian's arm64 architecture, which is added when missing.
  g++-aarch64-linux-gnu qemu-user
  libgtest-dev:arm64 libgmock-dev:arm64
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

# Packages of another architecture (name:arch) need that architecture known to dpkg first.
foreign=()
for p in "${missing[@]}"; do
  case "$p" in
    *:*) arch=${p##*:}
         if [ "$arch" != "$(dpkg --print-architecture)" ] &&
            ! dpkg --print-foreign-architectures | grep -qx "$arch" &&
            [[ " ${foreign[*]} " != *" $arch "* ]]; then
           foreign+=("$arch")
         fi ;;
  esac
done

if [ "$(id -u)" -ne 0 ]; then
  echo "Skaldora needs these Debian packages: ${missing[*]}" >&2
  for arch in "${foreign[@]}"; do
    echo "First add their architecture as root: sudo dpkg --add-architecture $arch" >&2
  done
  echo "Install them as root: sudo apt-get update && sudo apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
for arch in "${foreign[@]}"; do
  echo "Adding the Debian architecture $arch"
  dpkg --add-architecture "$arch"
done
echo "Installing Debian packages: ${missing[*]}"
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
