# Debian packages the project needs, and a helper that installs the ones
# that are missing. Sourced by the set-up scripts.

BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev libcups2-dev fonts-dejavu-core fonts-liberation2)
TEST_PACKAGES=(poppler-utils cups cups-daemon cups-client clang libclang-rt-14-dev clang-format clang-tidy cppcheck)
BENCH_PACKAGES=(mtree-netbsd time xvfb)

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
