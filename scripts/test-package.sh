#!/usr/bin/env bash
# Installs the package with apt into a clean Debian 12 root, starts the installed Quorvel there
# under Xvfb and runs a batch over the samples with it through the installed cad-host, which the
# session bus starts; then purges the package and checks that nothing of it is left.
# Needs root (debootstrap, chroot, mounts). The bootstrapped root is kept as a tarball in the
# package build tree, and the downloaded packages beside it, so that reruns are quick.
# A failing run leaves the root in place (<package build tree>/test-package/root) to look into.
#   scripts/test-package.sh [package build tree]
set -euo pipefail
if [ "${1:-}" = --in-namespace ]; then
    # Second stage, in private mount and process namespaces: nothing mounted here reaches the
    # host, every mount goes away with the namespace, and so does every process started here.
    root="$2"
    archives="$3"
    shift 3
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
    mount --bind "$archives" "$root/var/cache/apt/archives"
    exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        /bin/bash /srv/package-test/in-root.sh "$@"
fi

here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:-build-deb}")"
work="$build/test-package"
root="$work/root"
tarball="$work/bookworm-root.tar"
archives="$work/apt-archives"

if [ "$(id -u)" -ne 0 ]; then
    echo "make test-package needs root (debootstrap, chroot, mounts)." >&2
    exit 1
fi
package="$(ls "$build"/quorvel_*.deb)"
mirror_of() {
    apt-get indextargets --format '$(REPO_URI) $(RELEASE)' | awk -v s="$1" '$2 == s { print $1; exit }'
}
mirror="$(mirror_of bookworm)"
security="$(mirror_of bookworm-security)"
mirror="${mirror:-http://deb.debian.org/debian/}"

mkdir -p "$work" "$archives"
if [ ! -f "$tarball" ]; then
    echo "Bootstrapping a Debian 12 root from $mirror (once; kept in $tarball)"
    rm -rf --one-file-system "$work/bootstrap"
    # In a mount namespace of its own: the mounts debootstrap makes in the new root (it can
    # leave /proc behind) go away with it.
    unshare --mount --propagation private \
        debootstrap --variant=minbase --include=xvfb,xauth,xdotool,x11-utils \
        bookworm "$work/bootstrap" "$mirror" >"$work/debootstrap.log"
    rm -f "$work/bootstrap"/var/cache/apt/archives/*.deb
    tar -C "$work/bootstrap" --one-file-system -cf "$tarball.part" .
    mv "$tarball.part" "$tarball"
    rm -rf --one-file-system "$work/bootstrap"
fi

rm -rf --one-file-system "$root"
mkdir -p "$root"
tar -C "$root" -xf "$tarball"
{
    echo "deb $mirror bookworm main"
    echo "deb $mirror bookworm-updates main"
    if [ -n "$security" ]; then echo "deb $security bookworm-security main"; fi
} >"$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/srv/package-test"
cp "$package" "$here/tests/package/in-root.sh" "$here/tests/package/drive-quorvel.sh" \
    "$root/srv/package-test/"
cp -r "$here/samples" "$root/srv/package-test/samples"

in_root() {
    unshare --mount --propagation private --pid --fork bash "$0" --in-namespace "$root" "$archives" "$@"
}
in_root install-and-run "$(basename "$package")"

# The drawings as saved by the installed host, read back by ezdxf.
/usr/bin/python3 "$here/tests/support/ezdxf_tool.py" check-run "$root/home/tester/work" \
    "示例设计院" "新建设计院"

in_root purge
echo "The package installed, ran a batch through D-Bus activation and purged without leftovers."
