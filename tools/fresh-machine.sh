#!/usr/bin/env bash
# Runs the README's two set-up commands on a fresh Debian 12 machine: a minimal chroot made by
# debootstrap, into which a clean `git archive` of HEAD is unpacked. Nothing of this machine's
# packages or of the work tree's build folders reaches it, so a missing install step or a
# dependence on the checkout fails here as it would for a new user.
#
# The chroot is made once under build/fresh-machine/base and never entered: each run works in a
# copy of it (build/fresh-machine/run), deleted afterwards unless --keep is given. Needs root and
# Debian's package mirror, as the set-up commands do.
#
# Usage: tools/fresh-machine.sh [--rebuild] [--keep] [--only demo|test]
#   --rebuild     make the base chroot again (it is otherwise reused)
#   --keep        leave the run's chroot in place for a look afterwards
#   --only WHICH  run one of the two commands
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

usage() { echo "usage: $0 [--rebuild] [--keep] [--only demo|test]" >&2; exit 2; }
rebuild=0 keep=0 only=""
while [ $# -gt 0 ]; do
    case "$1" in
        --rebuild) rebuild=1; shift ;;
        --keep) keep=1; shift ;;
        --only) [ $# -ge 2 ] && [[ "$2" =~ ^(demo|test)$ ]] || usage; only="$2"; shift 2 ;;
        *) usage ;;
    esac
done
[ "$(id -u)" -eq 0 ] || { echo "fresh-machine: run as root (debootstrap and chroot need it)" >&2; exit 2; }
ensure_tools debootstrap mount git

MIRROR="${FRESH_MIRROR:-http://deb.debian.org/debian}"
HERE="$ROOT/build/fresh-machine"
BASE="$HERE/base"
RUN="$HERE/run"
mkdir -p "$HERE"

# The README's two commands, as written in its set-up block.
mapfile -t COMMANDS < <(sed -n '/^## Set-up: two commands/,/^## /p' "$ROOT/README.md" | grep -oE '^bash tools/[a-z-]+\.sh')
[ "${#COMMANDS[@]}" -eq 2 ] || { echo "fresh-machine: README.md's set-up block no longer shows two commands" >&2; exit 1; }

if [ "$rebuild" -eq 1 ] || [ ! -f "$BASE/.fresh-machine-complete" ]; then
    echo "== debootstrap: a minimal Debian 12 in ${BASE#"$ROOT"/}"
    rm -rf --one-file-system "$BASE"
    debootstrap --variant=minbase bookworm "$BASE" "$MIRROR" >"$HERE/debootstrap.log" 2>&1 ||
        { tail -20 "$HERE/debootstrap.log"; exit 1; }
    # What a new installation lists: the release, its updates and its security updates.
    cat >"$BASE/etc/apt/sources.list" <<SOURCES
deb $MIRROR bookworm main
deb $MIRROR bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES
    rm -rf "$BASE"/var/lib/apt/lists/* "$BASE"/var/cache/apt/archives/*.deb
    date -u +%FT%TZ >"$BASE/.fresh-machine-complete"
fi
echo "== base chroot made $(cat "$BASE/.fresh-machine-complete")"

processes_inside() {  # the processes whose root is the run's chroot
    local link
    for link in /proc/[0-9]*/root; do
        [ "$(readlink "$link" 2>/dev/null)" = "$RUN" ] && { link="${link#/proc/}"; echo "${link%/root}"; }
    done
    return 0
}
leave() {
    local pids
    pids="$(processes_inside)"
    [ -z "$pids" ] || { kill $pids 2>/dev/null; sleep 2; pids="$(processes_inside)"; [ -z "$pids" ] || kill -9 $pids 2>/dev/null; }
    sleep 1
    findmnt -rn -o TARGET | grep -F "$RUN/" | sort -r | while read -r target; do umount -l "$target"; done
    if findmnt -rn -o TARGET | grep -qF "$RUN/"; then
        echo "fresh-machine: something is still mounted under $RUN; left in place" >&2
    elif [ "$keep" -eq 0 ]; then
        rm -rf --one-file-system "$RUN"
    fi
}

if findmnt -rn -o TARGET | grep -qF "$RUN/"; then
    echo "fresh-machine: an earlier run's mounts are still under $RUN; unmount them first" >&2
    exit 1
fi
rm -rf --one-file-system "$RUN"
cp -a --reflink=auto "$BASE" "$RUN"
trap leave EXIT
# Stopped from outside, the run still ends its processes inside, unmounts and deletes its copy.
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
mkdir -p "$RUN/root/kelvarin"
git -C "$ROOT" archive --format=tar HEAD | tar -x -C "$RUN/root/kelvarin"
echo "== HEAD $(git -C "$ROOT" rev-parse --short HEAD), unpacked without .git into the chroot's /root/kelvarin"
cp /etc/resolv.conf "$RUN/etc/resolv.conf"
mount -t proc proc "$RUN/proc"
mount -t sysfs sysfs "$RUN/sys"
mount --bind /dev "$RUN/dev"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$RUN/dev/pts"
mount -t tmpfs tmpfs "$RUN/dev/shm"
mount -t tmpfs tmpfs "$RUN/tmp"

status=0
summary=()
for command in "${COMMANDS[@]}"; do
    name="$(basename "${command#bash }" .sh)"
    [ -z "$only" ] || [ "$only" = "$name" ] || continue
    log="$HERE/$name.log"
    echo "== in the chroot, as root: cd /root/kelvarin && $command   (log: ${log#"$ROOT"/})"
    start=$(date +%s)
    command_status=0
    # In the background and waited for, so that a signal reaches the traps at once.
    chroot "$RUN" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c "cd /root/kelvarin && $command" </dev/null >"$log" 2>&1 &
    wait $! || command_status=$?
    seconds=$(( $(date +%s) - start ))
    if [ "$command_status" -eq 0 ]; then
        summary+=("  ok    $command  ($((seconds / 60)) min $((seconds % 60)) s)")
    else
        summary+=("  FAIL  $command  (exit $command_status after $((seconds / 60)) min $((seconds % 60)) s)")
        echo "-- the last lines of ${log#"$ROOT"/}:"
        tail -40 "$log"
        status=1
    fi
done
echo "== fresh Debian 12 machine:"
printf '%s\n' "${summary[@]}"
exit $status
