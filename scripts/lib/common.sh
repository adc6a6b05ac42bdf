# Shared shell functions of the project's scripts: messages, packages, builds and waiting.
# Sourced by scripts/demo.sh and scripts/test.sh; expects KWOBL_ROOT to be the repository's folder.

# The Debian packages that building, the demo and the tests need.
KWOBL_PACKAGES=(cmake ninja-build g++ g++-mingw-w64-x86-64 wine wine64 xvfb xserver-xephyr xdotool imagemagick x11-utils
    fonts-ipafont-gothic libgtest-dev libgmock-dev python3 nasm clang libclang-rt-14-dev)
# scripts/check_reproducible.sh clones the repository.
KWOBL_PACKAGES+=(git)
# The installer package: wixl builds it, msitools reads it back in the tests, python3-olefile fixes its summary.
KWOBL_PACKAGES+=(wixl msitools python3-olefile)
# Colour management: real published profiles for the tests and benchmarks (colord-data, argyll-ref,
# libgs-common, icc-profiles-free), Little CMS's tificc for their reference, NumPy for bench/colour.sh.
KWOBL_PACKAGES+=(colord-data argyll-ref libgs-common icc-profiles-free liblcms2-utils python3-numpy)
# Signing with an organisation's certificate (osslsigncode) and its test: openssl makes a throwaway
# authority, SoftHSM is the token, and OpenSSL's PKCS#11 engine reaches it.
KWOBL_PACKAGES+=(osslsigncode openssl softhsm2 libengine-pkcs11-openssl)

kwobl_say() {
    printf '==> %s\n' "$*" >&2
}

kwobl_die() {
    printf 'error: %s\n' "$*" >&2
    exit 1
}

# Installs the packages that are missing; when everything is there, apt is not touched at all.
kwobl_install_packages() {
    local missing=() package
    for package in "${KWOBL_PACKAGES[@]}"; do
        if [[ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" != "install ok installed" ]]; then
            missing+=("$package")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    if ((EUID != 0)); then
        kwobl_die "missing packages (${missing[*]}); run as root or install them first"
    fi
    kwobl_say "installing ${missing[*]}"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
}

# Configures and builds one CMake preset (windows or linux) of the repository.
kwobl_build_preset() {
    local preset=$1
    kwobl_say "building the $preset preset"
    (cd "$KWOBL_ROOT" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j 2)
}

# Waits until a command succeeds: kwobl_wait_until SECONDS COMMAND... (polls ten times a second).
kwobl_wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        if ((SECONDS >= deadline)); then
            return 1
        fi
        sleep 0.1
    done
}

# Waits for a process to end: kwobl_wait_gone SECONDS PID.
kwobl_wait_gone() {
    kwobl_wait_until "$1" bash -c "! kill -0 $2 2>/dev/null"
}
