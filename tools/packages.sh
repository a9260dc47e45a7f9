# Debian packages the project needs, and a helper that installs the missing ones.
# Sourced by test.sh and run.sh.

TARVOLIN_PACKAGES=(
    cmake g++ make pkg-config
    libpcap-dev libssl-dev libnghttp2-dev libnghttp3-dev
    googletest libgtest-dev
    clang libclang-rt-14-dev
    python3 curl openssl nghttp2-server ngtcp2-client ngtcp2-server aria2
    qt6-base-dev libqt6svg6 fonts-dejavu-core
)

# Installs whatever of "$@" is missing: with apt-get when root, otherwise
# prints the one command to run and fails.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get install ${missing[*]}" >&2
        return 1
    fi
    echo "Installing ${missing[*]} ..."
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
