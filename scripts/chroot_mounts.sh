# The mounts that the guest image's build makes in its chroot, and their removal; sourced by
# guest.sh.
#
# On most machines every mount is shared (systemd makes it so), and a bind of a shared mount is a peer
# of it. A recursive bind of /dev into the chroot would then hold peers of the machine's /dev, and
# unmounting the chroot's copy of /dev/pts or /dev/shm would unmount the machine's own as well. So each
# mount made here is turned into a slave at once: it still receives what happens on the machine's
# side, but nothing done to it reaches back. And only what this process mounted is ever unmounted.

# The chroot's mount points that this process mounted and made slaves, in the order it mounted them.
chroot_mounts=()

# Mounts one file system at POINT (the mount arguments follow) and makes it and everything under it a
# slave. A mount that cannot be made a slave is left mounted and not recorded, since unmounting it
# could reach the machine's own mounts; the caller fails and the build's directory is left alone.
chroot_mount_one() {
  local point=$1
  shift
  mount "$@" "$point" || return 1
  if ! mount --make-rslave "$point"; then
    echo "chroot_mounts: $point could not be made a slave; it stays mounted" >&2
    return 1
  fi
  chroot_mounts+=("$point")
}

# Mounts what the chroot at ROOT needs to install packages: proc, a recursive bind of DEV (/dev unless
# given) and sysfs. Returns non-zero when one of them fails; chroot_unmount removes whatever was made.
chroot_mount() {
  local root=$1 dev=${2:-/dev}
  chroot_mount_one "$root/proc" -t proc proc \
    && chroot_mount_one "$root/dev" --rbind "$dev" \
    && chroot_mount_one "$root/sys" -t sysfs sys
}

# Unmounts what chroot_mount mounted, the last first, each with everything under it. A mount that is
# still busy is detached lazily. Returns non-zero when one could not be unmounted at all.
chroot_unmount() {
  local i status=0
  for ((i = ${#chroot_mounts[@]} - 1; i >= 0; i--)); do
    umount -R "${chroot_mounts[i]}" 2>/dev/null || umount -l "${chroot_mounts[i]}" || status=1
  done
  chroot_mounts=()
  return $status
}

# True when PATH is a directory whose canonical form is PATH itself, so that no symbolic link along it
# leads somewhere else (such as to the machine's own /dev).
chroot_is_real_dir() {
  [ -d "$1" ] && [ ! -L "$1" ] && [ "$(cd "$1" && pwd -P)" = "$1" ]
}

# Clears the mounts that an interrupted build left in the chroot at ROOT, whose process is gone: only
# at the chroot's own proc, dev and sys, where the build (and debootstrap) mount, and only where that
# path is a real directory inside ROOT. ROOT must be a canonical path. Each is made a slave before it
# is unmounted, since one left by an older build may still be a peer of the machine's own mount.
# Returns non-zero when one cannot be cleared.
chroot_clear_leftovers() {
  local root=$1 name point layer
  for name in sys dev proc; do
    point=$root/$name
    chroot_is_real_dir "$point" || continue
    # Mounts can be stacked at one point; each pass removes the top one.
    for layer in 1 2 3 4; do
      mountpoint -q "$point" || continue 2
      mount --make-rslave "$point" || return 1
      umount -R "$point" 2>/dev/null || umount -l "$point" || return 1
    done
    return 1
  done
}
