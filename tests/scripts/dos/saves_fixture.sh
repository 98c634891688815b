#!/bin/sh
# Fixtures of saves.kvs that a script cannot make itself: a second name (a hard link) for a file,
# and names that are no UTF-8 on disk or hold characters beyond Latin-1.
head -c 10000 /dev/zero | tr '\000' w > work.txt
mkdir -p backup photos
ln work.txt backup/work.txt
printf 'latin' > "photos/caf$(printf '\351').txt"
printf 'beyond' > "photos/$(printf '\346\227\245').txt"
printf 'utf8' > "photos/na$(printf '\303\257')ve.txt"
printf 'plain' > photos/plain.txt
mkdir -p pipes
printf 'kept' > pipes/a.txt
mkfifo pipes/b.pipe
