#!/usr/bin/env bash
# Runs the README's test command on a new machine of a Debian release: makes a
# minimal root file system of it with debootstrap (in /var/tmp/zolm-chroot-RELEASE,
# made afresh each run), clones the committed sources into it, and runs
# scripts/test.sh there as root, the way a fresh install would.
# Usage: test-in-chroot.sh bookworm|trixie [command...]
#   The command (default scripts/test.sh) runs in the clone; the root is left in
#   place afterwards, unmounted, for a look inside.
#   ZOLM_CHROOT_REUSE=1 keeps an existing root and clone (for working on a failure);
#   ZOLM_CHROOT_MIRROR names another Debian mirror.
set -euo pipefail
release=${1:-}
case "$release" in
  bookworm | trixie) ;;
  *) echo "usage: test-in-chroot.sh bookworm|trixie [command...]" >&2; exit 2 ;;
esac
shift
command=("$@")
[ ${#command[@]} -eq 0 ] && command=(scripts/test.sh)

if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=ZOLM_CHROOT_REUSE,ZOLM_CHROOT_MIRROR "$0" "$release" "$@"
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
root=/var/tmp/zolm-chroot-$release
# Downloads and the compiler cache outlive the root, so a second run fetches and
# compiles only what changed; what they hold cannot change a result.
cache=/var/tmp/zolm-chroot-cache-$release
src=/root/zolm-player

# The mirror this machine's apt uses (deb822 or one-line sources), else Debian's own.
mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p; s/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) [a-z]*  *main.*/\2/p' \
  /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
  grep -v -e security -e '^$' | grep -m1 '/debian/\{0,1\}$' || true)
mirror=${ZOLM_CHROOT_MIRROR:-${mirror:-http://deb.debian.org/debian}}

exec 9>"$root.lock"
flock -n 9 || { echo "test-in-chroot: another run uses $root" >&2; exit 1; }

# Everything mounted below the root, deepest first; and the processes a run left
# there (a bus or a server of a test that failed), which would keep them busy.
unmount_all() {
  local proc m
  for proc in /proc/[0-9]*; do
    if [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ]; then kill -9 "${proc#/proc/}" 2>/dev/null || true; fi
  done
  for m in $(findmnt -rn -o TARGET | grep -E "^$root(/|$)" | sort -r); do
    umount "$m" 2>/dev/null || umount -l "$m" || true
  done
}
trap unmount_all EXIT
trap 'exit 143' TERM INT HUP

tools=()
command -v debootstrap >/dev/null || tools+=(debootstrap)
command -v git >/dev/null || tools+=(git)
if [ ${#tools[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${tools[@]}"
fi

start=$(date +%s)
unmount_all
mkdir -p "$cache/debs" "$cache/ccache"
if [ -z "${ZOLM_CHROOT_REUSE:-}" ] || [ ! -x "$root/usr/bin/apt-get" ]; then
  rm -rf --one-file-system "$root"
  echo "test-in-chroot: debootstrap $release from $mirror into $root"
  debootstrap --variant=minbase --cache-dir="$cache/debs" "$release" "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    { tail -n 30 "$root.debootstrap.log" >&2; echo "test-in-chroot: debootstrap failed" >&2; exit 1; }
fi

# A fresh clone of what is committed, at the commit checked out here. Reusing the
# root, the clone only moves to that commit, its build folders kept.
if [ -n "${ZOLM_CHROOT_REUSE:-}" ] && [ -d "$root$src/.git" ]; then
  git -C "$root$src" fetch -q "$repo" HEAD
  git -C "$root$src" checkout -q --detach FETCH_HEAD
else
  rm -rf "$root$src"
  git clone -q --no-hardlinks "$repo" "$root$src"
  git -C "$root$src" checkout -q --detach "$(git -C "$repo" rev-parse HEAD)"
fi
echo "test-in-chroot: $release, commit $(git -C "$root$src" log -1 --format='%h %s')"

cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount --make-private "$root/dev" # what is mounted inside stays out of this machine's /dev
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
mount -t tmpfs -o mode=0755 tmpfs "$root/run"
mkdir -p "$root/var/cache/apt/archives" "$root/root/.cache/ccache"
mount --bind "$cache/debs" "$root/var/cache/apt/archives"
mount --bind "$cache/ccache" "$root/root/.cache/ccache"

in_root() {
  chroot "$root" /usr/bin/env -i -C "$src" HOME=/root USER=root LOGNAME=root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}
status=0
in_root "${command[@]}" || status=$?

# After the test command: the package it built installs with apt on this release,
# every dependency found there, and the installed program starts with its window
# shown and nothing on its error output.
if [ "$status" -eq 0 ] && [ ${#command[@]} -eq 1 ] && [ "${command[0]}" = scripts/test.sh ]; then
  cat >"$root/tmp/installed.sh" <<'EOF'
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq ./build-package/build/zolm-player_*.deb >/tmp/apt.log 2>&1 ||
  { cat /tmp/apt.log; echo "the package does not install with apt"; exit 1; }
mkdir -p -m 700 /tmp/run
mkdir -p /tmp/home
cat >/tmp/start.sh <<'START'
zolm-player 2>/tmp/player.err & pid=$!
for _ in $(seq 150); do xwininfo -root -tree | grep -q '"ZOLM Player"' && break; sleep 0.1; done
shown=$(xwininfo -root -tree | grep -c '"ZOLM Player"' || true)
kill "$pid"
wait "$pid" || true
[ "$shown" -gt 0 ] || { echo "the installed program showed no window"; exit 1; }
START
HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/run SDL_AUDIODRIVER=dummy timeout 60 scripts/with-xvfb.sh bash /tmp/start.sh
[ ! -s /tmp/player.err ] || { cat /tmp/player.err; echo "the installed program wrote to its error output"; exit 1; }
echo "test-in-chroot: the package installs with apt; the installed program starts with nothing on its error output"
EOF
  in_root bash /tmp/installed.sh || status=$?
fi
elapsed=$(($(date +%s) - start))
if [ "$status" -eq 0 ]; then
  echo "test-in-chroot: $release: PASSED (${command[*]}) in $((elapsed / 60)) min $((elapsed % 60)) s"
else
  echo "test-in-chroot: $release: FAILED with exit status $status (${command[*]}) after $((elapsed / 60)) min $((elapsed % 60)) s"
fi
exit "$status"
