#!/bin/sh
# The guest's boot script, run as its first process once the output share is mounted on /mnt/out
# (guest.sh puts it there). It shows the host's tree at the host's own path, read-only over 9p with a
# writable layer on the guest's disk above it, runs the command that guest.sh wrote to
# /mnt/out/command from the root of that tree, hands its output, error and exit code back through
# /mnt/out, and powers the guest off.
out=/mnt/out
say() { echo "guest: $*" >>"$out/stderr"; }

mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
mkdir -p /dev/pts /dev/shm
mount -t devpts -o ptmxmode=666 devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
hostname mxv-guest
echo up >"$out/booted"

tree=$(cat "$out/tree")
# The writable layer is thrown away at every boot, so nothing of a run stays in the image.
rm -rf /var/tmp/mxv-tree
mkdir -p /mnt/tree /var/tmp/mxv-tree/upper /var/tmp/mxv-tree/work "$tree"
mount -t 9p -o ro,trans=virtio,version=9p2000.L,msize=262144,cache=loose mxvtree /mnt/tree
if ! mount -t overlay overlay \
  -o "lowerdir=/mnt/tree,upperdir=/var/tmp/mxv-tree/upper,workdir=/var/tmp/mxv-tree/work" "$tree"; then
  say "no writable layer over the tree; it is read-only"
  mount --bind /mnt/tree "$tree"
fi

# The win32 build tree's Wine tests find the prefixes made when the image was built as their
# templates, so they need not make their own.
for kind in win32 win64; do
  template=$tree/build/win32/wine/template
  [ $kind = win32 ] || template=${template}64
  if [ -d "$tree/build/win32" ] && [ -f /var/lib/mxv-wine/$kind/.complete ] \
    && [ ! -f "$template/.complete" ]; then
    rm -rf "$template" "$template.unavailable"
    mkdir -p "$template"
    mount --bind /var/lib/mxv-wine/$kind "$template"
  fi
done

export HOME=/root USER=root LOGNAME=root LANG=C.UTF-8 TERM=dumb
# Programs run several times slower here than on the machine itself; tests stretch their waits.
export MXV_WAIT_SCALE=3
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
cd "$tree" || say "the tree $tree is not there"
# A command that is missing or blank is refused: run, it would do nothing and report success.
command=$(cat "$out/command")
if [ -n "$(printf '%s' "$command" | tr -d '[:space:]')" ]; then
  /bin/bash -c "$command" </dev/null >>"$out/stdout" 2>>"$out/stderr"
  status=$?
else
  say "the command to run is empty; nothing was run"
  status=2
fi
echo $status >"$out/rc.new"
mv "$out/rc.new" "$out/rc"
cd /
umount -R "$tree" 2>/dev/null
rm -rf /var/tmp/mxv-tree
sync
echo o >/proc/sysrq-trigger
