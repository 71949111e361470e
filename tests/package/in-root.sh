#!/bin/bash
# Runs inside the clean Debian 12 root of scripts/test-package.sh.
#   in-root.sh install-and-run <package file>   apt installs the package, a user runs a batch
#   in-root.sh purge                            apt purges it; nothing of it may be left
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd /srv/package-test

case "$1" in
install-and-run)
    apt-get update -qq
    # A test tool beside those of the bootstrapped root: the clipboard, for entering Chinese text.
    apt-get install -y -q --no-install-recommends xclip >apt-install.log
    apt-get install -y -q --no-install-recommends "/srv/package-test/$2" >>apt-install.log
    dpkg -L quorvel >installed-files
    echo "Installed: $(dpkg-query -W -f='${Package} ${Version}' quorvel)," \
        "$(wc -l <installed-files) paths," \
        "$(dpkg-query -W -f='${db:Status-Abbrev}\n' | grep -c '^ii') packages in the root"

    # A user of its own: the program folder is read-only to users, as on any installed system.
    id tester >/dev/null 2>&1 || useradd --create-home tester
    rm -rf /home/tester/work
    mkdir -p /home/tester/work
    cp samples/*.dwg /home/tester/work/
    # The list file: code page 936, CR LF line ends.
    for drawing in /home/tester/work/*.dwg; do printf '%s\r\n' "$drawing"; done |
        iconv -f UTF-8 -t GBK >/home/tester/work/list.txt
    chown -R tester: /home/tester/work

    # The X server is part of the test bed, not of what is tested: it runs as root.
    mkdir -p -m 1777 /tmp/.X11-unix
    Xvfb :95 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp >xvfb.log 2>&1 &
    xvfb=$!
    trap 'kill $xvfb 2>/dev/null || true' EXIT
    for _ in $(seq 100); do [ -S /tmp/.X11-unix/X95 ] && break; sleep 0.1; done
    # The session bus uses the system's session configuration, which knows the services
    # installed in /usr/share/dbus-1/services; its log shows who asked it to start what.
    if ! runuser -u tester -- env -i PATH=/usr/bin:/bin HOME=/home/tester USER=tester \
        LANG=C.UTF-8 DISPLAY=:95 dbus-run-session -- bash /srv/package-test/drive-quorvel.sh \
        2>session.log; then
        cat session.log >&2
        exit 1
    fi
    grep -o "Activating service name='AutoCAD.Application' requested by .* comm=\"quorvel\"" \
        session.log || { cat session.log >&2; exit 1; }
    grep -o "Successfully activated service 'AutoCAD.Application'" session.log
    ;;
purge)
    apt-get purge -y -q quorvel >apt-purge.log
    if dpkg-query -W -f='${db:Status-Abbrev}' quorvel 2>/dev/null | grep -q '^[a-z]i'; then
        echo "quorvel is still installed" >&2
        exit 1
    fi
    left=0
    while read -r path; do
        [ -e "$path" ] || [ -L "$path" ] || continue
        # A folder that another package also owns stays.
        if [ -d "$path" ] && [ ! -L "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then
            continue
        fi
        echo "left behind: $path" >&2
        left=1
    done <installed-files
    if [ -e /usr/lib/quorvel ]; then
        echo "left behind: /usr/lib/quorvel" >&2
        left=1
    fi
    [ "$left" -eq 0 ]
    echo "Purged: none of the $(wc -l <installed-files) paths is left"
    ;;
esac
