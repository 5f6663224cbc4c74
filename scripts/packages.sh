# shellcheck shell=bash
# The lists are read by the scripts that source this file.
# shellcheck disable=SC2034
# Debian packages the project needs, and a helper that installs the ones
# that are missing. Sourced by the set-up scripts.

BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev libcups2-dev libelf-dev libssl-dev libsodium-dev pkgconf fonts-dejavu-core fonts-liberation2)
# The tests need WINDOWS_PACKAGES too (Wine's DLLs and MinGW-w64's objdump
# for the name list's Windows half, the PE fuzzer's seeds): scripts/test.sh
# installs both lists before any test runs.
# locales-all: date's timestamps in every language glibc writes them.
# minisign: signatures made and checked by the tool administrators use.
# The lint test of the shell scripts (scripts/check-shell.sh) runs shellcheck.
TEST_PACKAGES=(poppler-utils tzdata locales-all cups cups-daemon cups-client clang libclang-rt-14-dev clang-format clang-tidy cppcheck
    man-db ansible-core minisign shellcheck)
# libfuse3-dev and fuse3: the slow pass-through file system bench_lookups mounts.
BENCH_PACKAGES=(mtree-netbsd time xvfb libfuse3-dev fuse3)

install_missing() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        apt-get update
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}

# The portable archive: what makes it, and what it leaves to the machine it
# is carried to because every desktop has it (the C library and the C++
# runtime, X11 and xcb, fontconfig and freetype, OpenGL/EGL, D-Bus, GLib,
# OpenSSL's libcrypto (for content digests),
# and what those need in turn).
BUNDLE_PACKAGES=(patchelf qt6-wayland debootstrap xvfb xdotool dpkg-dev file lintian)
DESKTOP_PACKAGES=(libc6 libstdc++6 libgcc-s1 zlib1g libx11-6 libx11-xcb1 libxcb1 libxau6 libxdmcp6 libxext6
    libxrender1 libfontconfig1 libfreetype6 libexpat1 libpng16-16 libbrotli1 libbz2-1.0 libgl1 libegl1 libopengl0
    libglx0 libglvnd0 libdbus-1-3 libsystemd0 libglib2.0-0 libpcre2-8-0 libffi8 libmount1 libblkid1 libselinux1
    libuuid1 liblzma5 libzstd1 liblz4-1 libcap2 libgcrypt20 libgpg-error0 libssl3 fonts-dejavu-core)

# The Windows host: cross-built with MinGW-w64, tested under Wine with
# GoogleTest built from Debian's sources.
WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 googletest)

# Qt for Windows, cross-built from Debian's qt6-base source with the Qt host
# tools installed here.
QT_WINDOWS_PACKAGES=(dpkg-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix ninja-build perl)
# libsodium for Windows, cross-built from Debian's own source of the
# libsodium-dev installed here.
SODIUM_WINDOWS_PACKAGES=(dpkg-dev libsodium-dev gcc-mingw-w64-x86-64-posix make autoconf automake libtool)
# What proving the Windows zip under Wine needs: a private X server, keys,
# a screenshot, a private CUPS queue, and the printed page as an image;
# Wine's own fonts stand in for Windows' interface fonts.
WINDOWS_ZIP_TEST_PACKAGES=(fonts-wine xvfb xdotool imagemagick cups cups-daemon cups-client ghostscript poppler-utils
    minisign)
# What the Windows programs may import: DLLs every 64-bit Windows has (an
# extended regular expression over the lower-case names).
WINDOWS_OWN_DLLS='(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|comctl32|winspool\.drv|ws2_32|uxtheme|dwmapi|imm32|winmm|version|shlwapi|setupapi|netapi32|userenv|d2d1|d3d9|d3d11|dxgi|dwrite|msvcrt|ucrtbase|bcrypt|wtsapi32|authz|mpr|rpcrt4|crypt32|secur32|shcore|api-ms-win-[a-z0-9-]+)(\.dll)?'
