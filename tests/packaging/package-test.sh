#!/usr/bin/env bash
# The Debian package, checked the way an administrator meets it:
#   package-test.sh build   BUILD   cpack makes BUILD/package/kandrilox_*.deb
#   package-test.sh contents BUILD  its files, control fields and scripts
#   package-test.sh lintian BUILD   lintian finds no errors
#   package-test.sh units   BUILD   the unit files pass systemd-analyze verify
#   package-test.sh install BUILD   unpacked into a scratch root (dpkg -x), the
#                                   installed lockserver and kandrilox --headless
#                                   serve one check-in against each other
set -euo pipefail

step=$1
build=$(cd "$2" && pwd)
out=$build/package

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

deb() {
    local debs=("$out"/kandrilox_*.deb)
    [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one kandrilox_*.deb in $out"
    echo "${debs[0]}"
}

# A scratch root with the package unpacked, removed when the script ends.
unpack() {
    root=$(mktemp -d "${TMPDIR:-/tmp}/kandrilox-root.XXXXXX")
    trap 'stop_all; rm -rf "$root"' EXIT
    dpkg -x "$(deb)" "$root"
}

pids=()
stop_all() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}

build_package() {
    rm -rf "$out"
    cpack --config "$build/CPackConfig.cmake" >"$build/cpack.log" 2>&1 || {
        cat "$build/cpack.log" >&2
        fail "cpack failed"
    }
    echo "built $(deb)"
}

check_contents() {
    local package listing
    package=$(deb)
    listing=$(dpkg-deb -c "$package" | awk '{print $6 $7 $8}')
    for path in ./usr/bin/lockserver ./usr/bin/hotellock-card ./usr/bin/frontdesk \
        ./usr/bin/kandrilox-\>../lib/kandrilox/kandrilox ./usr/bin/fiaslink-\>../lib/kandrilox/fiaslink \
        ./usr/lib/kandrilox/fiaslink ./usr/lib/kandrilox/Db-\>../../share/kandrilox/program/Db \
        ./lib/systemd/system/fiaslink.service \
        ./usr/lib/kandrilox/kandrilox ./usr/lib/kandrilox/libhotellock.so ./usr/lib/kandrilox/kandrilox-station \
        ./usr/share/kandrilox/program/Kandrilox.ini ./usr/share/kandrilox/program/Db/EncodeMsg.ini \
        ./usr/share/kandrilox/program/pic/HLS.ICO ./usr/share/kandrilox/program/pic/NetWorkWelCome.bmp \
        ./lib/systemd/system/lockserver.service ./lib/systemd/system/kandrilox@.service \
        ./etc/default/lockserver ./usr/share/doc/kandrilox/copyright ./usr/share/doc/kandrilox/changelog.gz \
        ./usr/share/doc/kandrilox/examples/station.conf ./usr/share/man/man1/kandrilox.1.gz; do
        grep -qxF -- "$path" <<<"$listing" || fail "the package has no $path"
    done
    if grep -q "/usr/local\|/tests/\|Language.mdb\|lock.db" <<<"$listing"; then
        fail "the package carries build or run-time files: $(grep "/usr/local\|/tests/\|Language.mdb\|lock.db" <<<"$listing")"
    fi

    local depends
    depends=$(dpkg-deb -f "$package" Depends)
    for dependency in libqt6core6 libqt6network6 libqt6sql6 libqt6httpserver6 libqt6sql6-sqlite adduser; do
        grep -qE "(^|, )$dependency( |,|$)" <<<"$depends" || fail "Depends lacks $dependency: $depends"
    done
    [ "$(dpkg-deb -f "$package" Package)" = kandrilox ] || fail "the package is not named kandrilox"

    local control
    control=$(mktemp -d)
    dpkg-deb -e "$package" "$control"
    for script in postinst prerm postrm; do
        [ -x "$control/$script" ] || fail "no executable $script"
    done
    grep -qx /etc/default/lockserver "$control/conffiles" || fail "/etc/default/lockserver is no conffile"
    grep -q "adduser --system" "$control/postinst" || fail "postinst makes no system users"
    rm -rf "$control"
    echo "contents ok"
}

check_lintian() {
    local report status=0
    # As root lintian says it would rather not, and carries on.
    report=$(lintian --fail-on error --tag-display-limit 0 "$(deb)" 2>&1) || status=$?
    echo "$report"
    if [ $status -ne 0 ] || grep -qE "^E: " <<<"$report"; then
        fail "lintian reports errors"
    fi
    echo "lintian: no errors"
}

check_units() {
    unpack
    local units=$root/lib/systemd/system
    # The targets the units are ordered against come from the system's own units.
    cp -rn /lib/systemd/system/. "$units/"
    # A template is verified through one of its instances.
    cp "$units/kandrilox@.service" "$units/kandrilox@front1.service"
    local report
    if ! report=$(systemd-analyze verify --man=no --root="$root" \
        "$units/lockserver.service" "$units/kandrilox@front1.service" "$units/fiaslink.service" 2>&1); then
        echo "$report" >&2
        fail "systemd-analyze verify failed"
    fi
    # Warnings about the unit files (an unknown key, say) are faults too.
    if grep -E "lockserver\.service|kandrilox@|fiaslink\.service" <<<"$report"; then
        fail "systemd-analyze verify warns about the units"
    fi
    echo "units ok"
}

# Waits for "listening on ADDR:PORT" (or "metrics on ...") in a log and gives the port.
port_of() {
    local what=$1 log=$2
    for _ in $(seq 200); do
        local port
        port=$(sed -n "s/^$what on .*:\([0-9]*\)$/\1/p" "$log" | head -1)
        [ -n "$port" ] && { echo "$port"; return 0; }
        sleep 0.1
    done
    cat "$log" >&2
    fail "no '$what on' line in $log"
}

http_status() {
    local port=$1 path=$2
    exec 3<>"/dev/tcp/127.0.0.1/$port"
    printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' "$path" >&3
    head -1 <&3 | awk '{print $2}'
    exec 3<&-
}

check_install() {
    unpack
    local bin=$root/usr/bin data=$root/var/lib
    mkdir -p "$data/lockserver" "$data/kandrilox"

    "$bin/lockserver" --database "sqlite:$data/lockserver/lock.db" rooms add 101-103 >/dev/null
    "$bin/lockserver" --listen 127.0.0.1:0 --database "sqlite:$data/lockserver/lock.db" \
        2>"$root/lockserver.log" &
    pids+=($!)
    local lockport
    lockport=$(port_of listening "$root/lockserver.log")

    # The station's folder, made as the unit's start does, then pointed at
    # this lockserver as an administrator would.
    local station=$data/kandrilox/front1
    "$root/usr/lib/kandrilox/kandrilox-station" "$station"
    for file in Kandrilox.ini Db/EncodeMsg.ini pic/HLS.ICO pic/NetWorkWelCome.bmp; do
        [ -f "$station/$file" ] || fail "kandrilox-station made no $file"
    done
    sed -i "s/^RmtPort=.*/RmtPort=$lockport/" "$station/Kandrilox.ini"
    # A second start keeps what the station changed and restores what is missing.
    rm "$station/Db/EncodeMsg.ini"
    "$root/usr/lib/kandrilox/kandrilox-station" "$station"
    grep -qx "RmtPort=$lockport" "$station/Kandrilox.ini" || fail "kandrilox-station overwrote the settings"
    [ -f "$station/Db/EncodeMsg.ini" ] || fail "kandrilox-station did not restore Db/EncodeMsg.ini"

    "$bin/hotellock-card" --ini "$station/Kandrilox.ini" place --serial 12345678 >/dev/null
    "$bin/kandrilox" --headless --home "$station" --port 0 --metrics 0 \
        >"$root/kandrilox.out" 2>"$root/kandrilox.log" &
    pids+=($!)
    local port metrics
    port=$(port_of listening "$root/kandrilox.log")
    metrics=$(port_of metrics "$root/kandrilox.log")

    local reply
    reply=$("$bin/frontdesk" --port "$port" checkin 101 Li "2026-12-11 14:00:00" "2026-12-13 12:00:00")
    [[ $reply == "result 0 "* ]] || fail "check-in answered: $reply ($(cat "$root/kandrilox.log"))"
    "$bin/lockserver" --database "sqlite:$data/lockserver/lock.db" records | grep -q "101" ||
        fail "the check-in is not in the lock database"
    grep -q $'\tGuest check in ok\t' "$root/kandrilox.out" || fail "no log row for the check-in"
    [ "$(http_status "$metrics" /healthz)" = 200 ] || fail "the installed station is not healthy"
    # "Db" and "DB" are one folder: the language database lies beside the result texts.
    [ -f "$station/Db/Language.mdb" ] || fail "the station made no language database"
    # fiaslink finds the result texts beside itself, through the installed link.
    [ -f "$root/usr/lib/kandrilox/Db/EncodeMsg.ini" ] || fail "fiaslink has no result texts beside it"
    "$bin/fiaslink" --version >/dev/null || fail "the installed fiaslink does not run"
    echo "install ok: $reply"
}

case "$step" in
build) build_package ;;
contents) check_contents ;;
lintian) check_lintian ;;
units) check_units ;;
install) check_install ;;
*) fail "unknown step $step" ;;
esac
