# Cross build for 64-bit ARM with Debian's g++-aarch64-linux-gnu, against the arm64
# libraries of Debian's multiarch archive (scripts/deps.sh arm64 installs both).
# Programs built here, tests and build-time tools alike, run through qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# No -L /usr/aarch64-linux-gnu: the programs load the arm64 libraries of multiarch,
# libc.so.6 among them, and must use the loader of that same libc (the cross
# compiler's own copy may be of another version, which hangs them).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-aarch64-static)

# Debian's multiarch puts the arm64 libraries and their CMake packages under
# /usr/lib/aarch64-linux-gnu, which the library architecture above makes CMake
# search instead of the host's; headers are shared in /usr/include.
