# Steps shared by the script test runners (run_golden.sh, tests/xserver/run_xserver.sh), sourced
# with $kvasm, $dir (the case's folder), $name and $work set.

# Copies the case's folder into $work, enters it and assembles NAME.kvs into NAME.kva.
assemble_case() {
  cp -R "$dir/." "$work/"
  cd "$work" || exit 1
  if ! "$kvasm" -o "$name.kva" "$name.kvs" >assemble.log 2>&1; then
    echo "kvasm failed on $name.kvs:"
    cat assemble.log
    exit 1
  fi
}

# Fails unless actual.out equals the case's NAME.out (shown for review when there is none).
compare_output() {
  if [ ! -f "$dir/$name.out" ]; then
    echo "no $name.out; the output was:"
    cat actual.out
    exit 1
  fi
  if ! diff -u "$dir/$name.out" actual.out; then
    echo "output differs from $name.out (stderr follows)"
    cat stderr.log
    exit 1
  fi
}

# 0 when this runner can give a script file systems of its own: root, with unshare and mount.
disks_available() {
  [ "$(id -u)" = 0 ] && command -v unshare >/dev/null 2>&1 &&
    unshare -m --propagation private true 2>/dev/null
}

# Sets up the file systems a NAME.disk file asks for, in the current directory, inside a private
# mount namespace (they vanish with it). One request a line:
#   tmpfs DIR KB        a file system of KB kilobytes at DIR; what the case's DIR folder holds
#                       is copied into it
#   fill DIR BYTES      fills DIR's file system until at most BYTES bytes are free (in whole
#                       pages: 0 leaves no byte)
#   readonly DIR        makes the file system at DIR read-only
#   bind SOURCE DEST    shows the folder SOURCE at DEST too (a second name for every file in it)
# Blank lines and lines beginning with # are passed over. Fails on the first request that fails.
prepare_disks() {
  local kind a b
  while read -r kind a b; do
    case "$kind" in
    '' | '#'*) ;;
    tmpfs)
      mkdir -p "$a" && mv "$a" "$a.kvcase" && mkdir "$a" &&
        mount -t tmpfs -o "size=${b}k,mode=0755" tmpfs "$a" &&
        cp -R "$a.kvcase/." "$a/" && rm -rf "$a.kvcase" || return 1
      ;;
    fill)
      local pages
      pages=$((b / 4096))
      dd if=/dev/zero of="$a/.filler" bs=4096 2>/dev/null
      if [ "$pages" -gt 0 ]; then
        local size
        size=$(stat -c %s "$a/.filler")
        truncate -s $((size > pages * 4096 ? size - pages * 4096 : 0)) "$a/.filler" || return 1
      fi
      ;;
    readonly)
      if ! mountpoint -q "$a"; then mount --bind "$a" "$a" || return 1; fi
      mount -o remount,ro,bind "$a" || return 1
      ;;
    bind) mkdir -p "$b" && mount --bind "$a" "$b" || return 1 ;;
    *)
      echo "unknown disk request: $kind" >&2
      return 1
      ;;
    esac
  done <"$1"
}
