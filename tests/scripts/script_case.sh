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
