# Cross build for 64-bit ARM (aarch64) Linux with Debian's cross compilers, the test programs run
# through qemu's user-mode emulator:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake -DSKALDORA_GAME=OFF
#   cmake --build build-arm64 && ctest --test-dir build-arm64
# Needs g++-aarch64-linux-gnu, qemu-user and the arm64 GoogleTest (libgtest-dev:arm64), which
# scripts/deps.sh test installs. Only the image library and its tests build this way: the game's
# toolkits are not installed for arm64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# The arm64 C library and loader live under /usr/aarch64-linux-gnu; qemu looks there for them.
find_program(SKALDORA_QEMU_AARCH64 qemu-aarch64)
if(SKALDORA_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SKALDORA_QEMU_AARCH64} -L /usr/aarch64-linux-gnu)
else()
  message(WARNING "qemu-aarch64 is not installed (Debian package qemu-user): the tests will "
    "build but cannot run here")
endif()

# Libraries and headers of the target come from the multiarch folders (/usr/lib/aarch64-linux-gnu,
# where libgtest-dev:arm64 puts its files); programs run on the build machine come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
