#!/usr/bin/env bash
# A whole run of `quarn-ar rcs lib.a @big` over a response file of 1,000,000 object
# paths, with a tool that exits at once: the wrapper's own time and peak memory for
# reading, expanding and writing the arguments again.
#
#   response_file_bench.sh BUILD_DIR TEST_PLUGIN TARGET VERSION [COUNT]
set -euo pipefail
build=$1 plugin=$2 target=$3 version=$4 count=${5:-1000000}

# Peak memory needs GNU time (-f %M): Debian package time; where the system has a time
# of its own, GNU time is usually installed as gtime.
gnu_time=
for candidate in gtime /usr/bin/time; do
  if "$candidate" --version 2>&1 | grep -q GNU; then gnu_time=$candidate; break; fi
done
[ -n "$gnu_time" ] || { echo "GNU time is needed, as /usr/bin/time or gtime (Debian package time)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree
cmake --install "$build" --prefix "$tree" >/dev/null
cp "$plugin" "$tree/libexec/quarn/$target/$version/libvorta_plugin.so"
ln -s /bin/true "$tree/$target/bin/ar"

awk -v n="$count" 'BEGIN { for (i = 0; i < n; ++i) printf "build/objects/dir%03d/module_%07d.o\n", i % 1000, i }' \
  >"$work/big"
size=$(wc -c <"$work/big" | tr -d " ")

cd "$work"
TMPDIR=$work "$gnu_time" -f '%e %M' -o "$work/usage" "$tree/bin/quarn-ar" rcs lib.a @big
read -r seconds max_kib <"$work/usage"
echo "response file:  $count paths, $size bytes"
echo "whole run:      $seconds s (target: well under 1 s)"
awk -v k="$max_kib" -v s="$size" \
  'BEGIN { printf "peak resident:  %d KiB, %.2f times the file (target: at most 3)\n", k, k * 1024 / s }'
