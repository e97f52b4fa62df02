#!/usr/bin/env bash
# The Debian package, as a user gets it: built with CPack from the build tree, installed on this
# machine with dpkg, the installed station started on the offscreen platform as root and as an
# ordinary user, each with a home directory of its own, its AppStream file validated, its
# Wireshark dissector loaded by tshark from the global plugin folder, its service's user and
# directories made and the service left disabled, then purged again with the service's files.
#   tests/test_package.sh <build dir> <expected version>
# Exits 77 (skipped) where it cannot run: not root, or a tool missing.
set -euo pipefail

build=$(cd "$1" && pwd)
version=$2
package=varnetix-nms
station=/usr/bin/varnetix-nms
# Present while this test's package is installed: a run that died before removing its package
# is cleaned up by the next one, a package somebody installed by hand is left alone.
marker=/var/tmp/varnetix-nms-package-test.installed

skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*"
    exit 1
}

[ "$(id -u)" -eq 0 ] || skip "installing a package on this machine needs root"
for tool in cpack dpkg dpkg-deb dpkg-query dpkg-shlibdeps file strip getcap setpriv tshark \
    appstreamcli adduser systemctl; do
    command -v "$tool" >/dev/null || skip "$tool is missing (tools/ensure-deps.sh installs it)"
done
id nobody >/dev/null 2>&1 || skip "there is no user 'nobody' to start the station as"
[ -f "$build/CPackConfig.cmake" ] || fail "$build/CPackConfig.cmake is missing"

installedState() {
    dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || echo not-installed
}

# The service's user stays after a purge; the test removes it again where it made it.
serviceUser=varnetix-nms
serviceUserMade=0

case $(installedState) in
    not-installed) rm -f "$marker" ;;
    # Removed earlier: only dpkg's record of the package is left.
    config-files) dpkg --purge "$package" >/dev/null ;;
    *)
        [ -e "$marker" ] || skip "$package is installed on this machine, not by this test;" \
            "remove it (dpkg --purge $package) to run this test"
        echo "Purging the package a previous run left installed"
        dpkg --purge "$package" >/dev/null
        rm -f "$marker"
        ;;
esac

work=$(mktemp -d)
# The ordinary user must reach its home directory below this one.
chmod 755 "$work"
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ -e "$marker" ]; then
        dpkg --purge "$package" >/dev/null 2>&1 || echo "could not purge $package" >&2
        rm -f "$marker"
    fi
    if ((serviceUserMade)); then
        deluser --quiet --system "$serviceUser" >/dev/null 2>&1 ||
            echo "could not remove the user $serviceUser" >&2
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# tshark with a home of its own, so that no personal plugin or profile takes part.
sharkHome=$work/shark-home
mkdir "$sharkHome"
shark() { HOME=$sharkHome tshark "$@" 2>/dev/null; }
# Where this Wireshark looks for Lua plugins of all users.
luaPlugins=$(shark -G folders | awk -F '\t' '/^Global Lua Plugins:/ {print $NF}')
[ -n "$luaPlugins" ] || fail "tshark -G folders names no global Lua plugin folder"
dissector=$luaPlugins/varnetix.lua
metainfo=/usr/share/metainfo/example.halvoren.varnetix_nms.metainfo.xml

# --- The package -------------------------------------------------------------------------------
cpack --config "$build/CPackConfig.cmake" -B "$work/deb" -G DEB >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/deb/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "cpack made no single .deb: ${debs[*]}"
fi
deb=${debs[0]}
echo "Built $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = "$package" ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
[ "$(field Section)" = net ] || fail "Section: $(field Section)"
[ "$(field Maintainer)" = "Halvoren Broadcast <support@halvoren.example>" ] ||
    fail "Maintainer: $(field Maintainer)"
depends=$(field Depends)
# Computed from the binaries' shared libraries, plus setcap and adduser for postinst.
for dependency in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 \
    libqt6dbus6 libprometheus-cpp-core1.0 libcap2-bin adduser; do
    [[ ", $depends," == *", $dependency"[\ ,]* ]] || fail "Depends lacks $dependency: $depends"
done

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
expected=(
    /usr/bin/varnetix-nms
    /usr/bin/varnetix-element-sim
    /usr/share/applications/varnetix-nms.desktop
    /usr/share/icons/hicolor/scalable/apps/varnetix-nms.svg
    /usr/share/man/man1/varnetix-nms.1.gz
    /usr/share/man/man1/varnetix-element-sim.1.gz
    "$metainfo"
    "$dissector"
    /usr/lib/systemd/system/varnetix-nms.service
    /usr/share/varnetix-nms/prometheus/varnetix-alerts.yml
    /usr/share/varnetix-nms/grafana/varnetix-nms.json
)
for size in 16 24 32 48 64 128 256; do
    expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/varnetix-nms.png")
done
for path in "${expected[@]}"; do
    grep -qxF "$path" "$work/contents" || fail "the package lacks $path"
done

# The metainfo file with the desktop entry it launches, as a software centre reads them.
dpkg-deb -x "$deb" "$work/root"
appstreamcli validate-tree --no-net "$work/root" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log"; fail "the package's AppStream metadata does not validate"; }
release=$(grep -o '<release version="[^"]*"' "$work/root$metainfo" | head -n 1 | cut -d '"' -f 2)
[ "$release" = "$version" ] || fail "the metainfo's latest release is '$release', not $version"
echo "AppStream metadata valid, release $release"

# --- Installed on this machine -----------------------------------------------------------------
touch "$marker"
getent passwd "$serviceUser" >/dev/null || serviceUserMade=1
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i failed"; }
[ "$(installedState)" = installed ] || fail "dpkg says $(installedState) after dpkg -i"
capabilities=$(getcap "$station")
[[ "$capabilities" == *cap_net_raw=ep* ]] ||
    fail "postinst did not grant cap_net_raw: '$capabilities'"
echo "Installed; $capabilities"

# Every user's Wireshark loads the dissector from the global folder, without -X lua_script.
shark -G plugins >"$work/plugins"
grep -qP "^varnetix\.lua\t.*\tlua script\t\Q$dissector\E$" "$work/plugins" ||
    fail "tshark does not load $dissector: $(grep -i lua "$work/plugins")"
shark -G protocols >"$work/protocols"
grep -qxP 'Varnetix element link\tVARNETIX\tvarnetix' "$work/protocols" ||
    fail "tshark knows no protocol varnetix after installation"
echo "tshark loads $dissector"

# Starts the installed station as $1 with a fresh home directory and waits for its first window,
# the empty-database box, which the offscreen platform keeps open. The data directory is made
# before it. Leaves the station's PID in $started.
dataDir=.local/share/Halvoren/varnetix-nms
shownRemark="This plugin does not support propagateSizeHints()"
startStation() {
    local user=$1 group=$2 tries
    home="$work/home-$user"
    mkdir -p "$home/runtime"
    chmod 700 "$home/runtime"
    : >"$home/stdout"
    : >"$home/stderr"
    chown -R "$user:$group" "$home"
    setpriv --reuid="$user" --regid="$group" --clear-groups \
        env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home/runtime" \
        QT_QPA_PLATFORM=offscreen "$station" >"$home/stdout" 2>"$home/stderr" &
    started=$!
    pids+=("$started")
    for ((tries = 0; tries < 200; tries++)); do
        grep -qxF "$shownRemark" "$home/stderr" && break
        kill -0 "$started" 2>/dev/null ||
            { cat "$home/stderr"; fail "the station ($user) ended during start-up"; }
        sleep 0.1
    done
    ((tries < 200)) || { cat "$home/stderr"; fail "the station ($user) showed no window in 20 s"; }
    [ -d "$home/$dataDir" ] || fail "no $dataDir under the home of $user: $(ls -A "$home")"
}

stopStation() {
    kill -TERM "$started"
    wait "$started" 2>/dev/null || true
}

# Beyond the empty-database box (which writes nothing) the station has nothing to say: stderr
# holds only the offscreen platform's remark about the box, and no database file exists yet.
checkQuietStart() {
    local user=$1
    if grep -vxF "$shownRemark" "$home/stderr" >"$home/unexpected"; then
        cat "$home/unexpected"
        fail "the station ($user) wrote the lines above to stderr on its first start"
    fi
    [ ! -s "$home/stdout" ] || fail "the station ($user) wrote to stdout: $(cat "$home/stdout")"
    [ ! -e "$home/$dataDir/nms.ini" ] || fail "the first start ($user) created nms.ini"
    [ -d "$home/$dataDir" ] || fail "the data directory vanished"
}

# Root may write to /usr/bin, yet the installed station keeps its database per user.
startStation root root
checkQuietStart root
[ ! -e /usr/bin/nms.ini ] || fail "the station (root) wrote nms.ini beside the binary"
stopStation
echo "root: data directory $dataDir created under the temporary home, nothing beside the binary"

# An ordinary user runs the station with the raw-socket capability in effect (ping).
startStation nobody nogroup
checkQuietStart nobody
effective=$(awk '/^CapEff:/ {print $2}' "/proc/$started/status")
# CAP_NET_RAW is capability 13.
((0x$effective & (1 << 13))) || fail "cap_net_raw is not in effect for nobody: CapEff $effective"
stopStation
echo "nobody: data directory created, cap_net_raw in effect (CapEff $effective)"

# The service's system user, its state directory (its home) and its preferences' directory are
# there before its first start, for --discover; the service is not enabled.
IFS=: read -r _ _ uid _ _ serviceHome serviceShell < <(getent passwd "$serviceUser") ||
    fail "postinst made no user $serviceUser"
((uid < 1000)) || fail "$serviceUser is no system user (uid $uid)"
[ "$serviceHome" = /var/lib/varnetix-nms ] || fail "$serviceUser's home is $serviceHome"
[ "$serviceShell" = /usr/sbin/nologin ] || fail "$serviceUser can log in ($serviceShell)"
[ "$(stat -c '%U:%G %a' /var/lib/varnetix-nms)" = "$serviceUser:$serviceUser 750" ] ||
    fail "/var/lib/varnetix-nms is $(stat -c '%U:%G %a' /var/lib/varnetix-nms)"
[ -d /etc/varnetix-nms/Halvoren ] || fail "postinst made no /etc/varnetix-nms/Halvoren"
enabled=$(systemctl --root=/ is-enabled varnetix-nms.service 2>&1 || true)
[ "$enabled" = disabled ] || fail "the service is '$enabled' after installation, not disabled"
echo "$serviceUser (uid $uid) and its directories made; the service is $enabled"

# --- Removed again -----------------------------------------------------------------------------
# What the service and its administrator leave: a database, preferences, the service enabled.
echo "[001A2B3C4D5E]" >/var/lib/varnetix-nms/nms.ini
echo "[watch]" >/etc/varnetix-nms/Halvoren/varnetix-nms.ini
systemctl --root=/ enable varnetix-nms.service >/dev/null 2>&1 || fail "cannot enable the service"
dpkg --purge "$package" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "purge failed"; }
rm -f "$marker"
[ "$(installedState)" = not-installed ] || fail "dpkg says $(installedState) after the purge"
for path in "${expected[@]}" /var/lib/varnetix-nms /etc/varnetix-nms \
    /etc/systemd/system/multi-user.target.wants/varnetix-nms.service; do
    [ ! -e "$path" ] && [ ! -L "$path" ] || fail "$path is still there after the purge"
done
shark -G protocols >"$work/protocols"
! grep -q 'varnetix$' "$work/protocols" || fail "tshark still knows varnetix after the purge"
echo "PASS: built, installed, metadata valid, dissector loaded, started as root and as nobody," \
    "service user made, service disabled, purged with the service's files"
