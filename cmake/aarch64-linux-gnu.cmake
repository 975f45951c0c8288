# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Cross-compiles for 64-bit ARM Linux with Debian's cross compiler against the
# arm64 libraries of dpkg's multiarch (dpkg --add-architecture arm64). Qt's
# host tools come from the build machine: pass -DQT_HOST_PATH=/usr.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "pkg-config for the target")

