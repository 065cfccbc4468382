#!/usr/bin/env bash
# Nevra as another program sees it. Installs the library into a temporary prefix and, separately,
# unpacks the packages libnevra0 and libnevra-dev with dpkg -x; in each tree it checks the layout,
# the SONAME and the exported symbols, builds examples/ with find_package (shared and static) and
# with pkg-config, and runs the program on a BMP written here: a grey ramp whose derivatives after
# the quarter turn are known exactly. Every build must give the same bytes.
#   nevra_consumer_test.sh <build-dir> <source-dir> [--sanitize]
# With --sanitize (the sanitizer build, whose library carries AddressSanitizer and UBSan) the
# example is built with the same sanitizers, and the packages are left out: they would only pack
# an instrumented library that never ships, and the normal build tests them.
set -euo pipefail
# A grep at the end of a pipe reads all its input (no -q): quitting at the first match could end
# the writer with SIGPIPE, which pipefail takes for a failure.
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
flags=
packages=yes
if [ "${3:-}" = --sanitize ]; then
    flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
    packages=no
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$version" ] || fail "no version in CPackConfig.cmake"

# A 24-bit bottom-up BMP of 37 x 23 pixels (rows padded to 112 bytes), grey value 5x in column x.
# Turned a quarter turn about z it is 23 x 37 with value 5 (36 - y) in row y: every inner pixel's
# row above minus row below, weighted 1 2 1, is 4 x 10 = 40, its column difference 0.
python3 - "$tmp/ramp.bmp" <<'PY'
import struct, sys
W, H = 37, 23
row = ((24 * W + 31) // 32) * 4
line = bytes(v for x in range(W) for v in (5 * x,) * 3).ljust(row, b"\0")
pixels = line * H
header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
header += struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
open(sys.argv[1], "wb").write(header + pixels)
PY
printf 'not a picture' >"$tmp/bad.bmp"

check_output() {  # <raw file>: the derivatives of the ramp
    python3 - "$1" <<'PY' || fail "wrong derivatives in $1"
import struct, sys
W, H = 23, 37
data = open(sys.argv[1], "rb").read()
assert len(data) == W * H * 2 * 4, len(data)
v = struct.unpack("<%df" % (W * H * 2), data)
for y in range(H):
    for x in range(W):
        inner = 0 < x < W - 1 and 0 < y < H - 1
        want = (40.0, 0.0) if inner else (0.0, 0.0)
        got = v[2 * (y * W + x)], v[2 * (y * W + x) + 1]
        assert got == want, (x, y, got, want)
PY
}

run_example() {  # <program> <label>
    local out="$tmp/$2.raw"
    "$1" "$tmp/ramp.bmp" "$out" >"$tmp/$2.txt" ||
        { cat "$tmp/$2.txt"; fail "$2: the example failed"; }
    grep -q '^rotated 23 x 37$' "$tmp/$2.txt" || { cat "$tmp/$2.txt"; fail "$2: geometry"; }
    grep -q '^wrote   23 x 37, 2 float channels' "$tmp/$2.txt" || fail "$2: result line"
    check_output "$out"
    if [ -e "$tmp/reference.raw" ]; then
        cmp -s "$out" "$tmp/reference.raw" || fail "$2: output differs from the first build's"
    else
        cp "$out" "$tmp/reference.raw"
    fi
    # A file that is no picture: a message and a failure, no crash.
    if "$1" "$tmp/bad.bmp" "$tmp/bad.raw" >/dev/null 2>"$tmp/bad.txt"; then
        fail "$2: accepted a bad file"
    fi
    grep -q 'not a BMP picture' "$tmp/bad.txt" || fail "$2: no message for a bad file"
    echo "$2: ok"
}

# <prefix>: the layout, the library's name and exports, then the three builds against it.
check_tree() {
    local prefix=$1 label=$2 pcdir libdir
    [ -f "$prefix/include/nevra/imagebase.h" ] && [ -f "$prefix/include/nevra/bitmap.h" ] ||
        fail "$label: headers"
    pcdir=$(dirname "$(find "$prefix" -name nevra.pc)")
    libdir=$(dirname "$pcdir")
    [ -f "$libdir/libnevra.so.$version" ] || fail "$label: libnevra.so.$version"
    [ "$(readlink "$libdir/libnevra.so.0")" = "libnevra.so.$version" ] || fail "$label: .so.0 link"
    [ "$(readlink "$libdir/libnevra.so")" = "libnevra.so.0" ] || fail "$label: .so link"
    [ -f "$libdir/libnevra.a" ] || fail "$label: static library"
    for f in NevraConfig.cmake NevraConfigVersion.cmake NevraTargets.cmake; do
        [ -f "$libdir/cmake/Nevra/$f" ] || fail "$label: $f"
    done
    readelf -d "$libdir/libnevra.so.0" | grep 'Library soname: \[libnevra.so.0\]' >/dev/null ||
        fail "$label: SONAME"

    # Exports: Nevra's own names only (no internal namespace, no C++ library instances), all of
    # the public API's classes among them.
    nm -D --defined-only -C "$libdir/libnevra.so.0" | sed 's/^[0-9a-f]* [A-Za-z] //' >"$tmp/exports"
    local public='^NEVRA_0$|^((typeinfo( name)?|vtable) for )?Nevra::[A-Z]|^Nevra::[a-z][A-Za-z]*\('
    if grep -v -E "$public" "$tmp/exports" | grep . >"$tmp/extra"; then
        head "$tmp/extra"; fail "$label: symbols beyond the public API are exported"
    fi
    for sym in 'Nevra::Bitmap::readBitmap(char const\*, int)' 'Nevra::createImage(int)' \
        'vtable for Nevra::ImageBase<double>' 'typeinfo for Nevra::Image@' \
        'Nevra::ImageBase<float>::computeGradient('; do
        grep -q "^$sym" "$tmp/exports" || fail "$label: $sym is not exported"
    done
    echo "$label: $(wc -l <"$tmp/exports") exported symbols"

    # find_package, the shared library and the static one.
    for kind in shared static; do
        local static=OFF
        [ "$kind" = static ] && static=ON
        cmake -S "$src/examples" -B "$tmp/$label-$kind" -DCMAKE_PREFIX_PATH="$prefix" \
            -DNEVRA_EXAMPLE_STATIC=$static -DCMAKE_CXX_FLAGS="$flags" >"$tmp/cmake.log" 2>&1 ||
            { cat "$tmp/cmake.log"; fail "$label: configuring the example ($kind)"; }
        cmake --build "$tmp/$label-$kind" >"$tmp/cmake.log" 2>&1 ||
            { cat "$tmp/cmake.log"; fail "$label: building the example ($kind)"; }
        local program="$tmp/$label-$kind/rotate_gradient"
        if [ "$kind" = shared ]; then
            ldd "$program" | grep "libnevra.so.0 => $libdir/libnevra.so.0" >/dev/null ||
                { ldd "$program"; fail "$label: the example does not load $libdir/libnevra.so.0"; }
        else
            if readelf -d "$program" | grep 'libnevra' >/dev/null; then
                fail "$label: the static build needs libnevra.so"
            fi
        fi
        run_example "$program" "$label-cmake-$kind"
    done

    # pkg-config, with the prefix the tree really has (a package's file says /usr).
    local pc=(env PKG_CONFIG_PATH="$pcdir" pkg-config --define-variable=prefix="$prefix")
    [ "$("${pc[@]}" --modversion nevra)" = "$version" ] || fail "$label: pkg-config version"
    # shellcheck disable=SC2046,SC2086
    g++ -std=c++17 -Wall -Wextra $flags "$src/examples/rotate_gradient.cpp" \
        $("${pc[@]}" --cflags --libs nevra) -Wl,-rpath,"$libdir" -o "$tmp/$label-pc" ||
        fail "$label: building the example with pkg-config"
    run_example "$tmp/$label-pc" "$label-pkg-config"
}

cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log"; fail "cmake --install"; }
check_tree "$tmp/prefix" install
if [ "$packages" = no ]; then
    echo "nevra consumer test passed (packages left to the normal build)"
    exit 0
fi

# The two library packages only; gzip keeps the packing quick.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" \
    -D CPACK_COMPONENTS_ALL="nevra_runtime;nevra_dev" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip \
    >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; fail "cpack"; }
runtime="$tmp/pkg/libnevra0_${version}_$(dpkg --print-architecture).deb"
dev="$tmp/pkg/libnevra-dev_${version}_$(dpkg --print-architecture).deb"
[ -f "$runtime" ] && [ -f "$dev" ] || { ls "$tmp/pkg"; fail "package files"; }
dpkg-deb -f "$dev" Depends | grep -x "libnevra0 (= $version)" >/dev/null || fail "libnevra-dev Depends"
dpkg-deb -f "$runtime" Depends | grep 'libstdc++6' >/dev/null || fail "libnevra0 Depends"
dpkg-deb --ctrl-tarfile "$runtime" | tar -xO ./shlibs | grep "^libnevra 0 libnevra0 " >/dev/null ||
    fail "libnevra0 shlibs"
# The runtime package holds the shared library alone (and its documents).
if dpkg-deb -c "$runtime" | grep -E '\.(h|a|pc|cmake)$|libnevra\.so$'; then
    fail "development files in libnevra0"
fi
dpkg -x "$runtime" "$tmp/root"
dpkg -x "$dev" "$tmp/root"
check_tree "$tmp/root/usr" package
echo "nevra consumer test passed"
