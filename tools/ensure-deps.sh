# Sourced by ./run and ./test: installs the Debian packages the build and the tests need,
# touching apt only when something is missing.

# What only the tests need: tshark reads the dissector's sample capture, appstreamcli checks the
# metainfo of the package, promtool (in prometheus) checks and tests the alert rules and checks
# the metrics, Debian's python3 with its YAML module reads the rules and the dashboard for their
# metric names, systemd-analyze (in systemd) rates and verifies the service unit, dbus-daemon runs a private
# session bus for the desktop notifications, Xvfb and the tray host trayer make a desktop with a
# system tray for the tray light, and the Prometheus server scrapes the metrics in the lab.
varnetix_test_packages=(tshark appstream prometheus python3 python3-yaml systemd dbus-daemon xvfb
                        trayer)

# What the libFuzzer runs of ./test --sanitize need besides: clang, and the runtime of libFuzzer
# and clang's sanitizers, which Debian 12's clang only recommends.
varnetix_fuzz_packages=(clang libclang-rt-dev)

varnetix_ensure_deps() {
    local wanted=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev
                  iproute2 libcap2-bin dpkg-dev file desktop-file-utils prometheus-cpp-dev "$@")
    local missing=() pkg
    for pkg in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]}" >&2
        echo "Install them as root (apt-get install ${missing[*]}) or run this script as root." >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

varnetix_configure_and_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$(nproc)"
}

# Only the targets named, for ./run: the tests and fuzz replays wait for ./test.
varnetix_configure_and_build_targets() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja
    cmake --build "$dir" -j "$(nproc)" --target "$@"
}
