#!/usr/bin/env bash
# Counts the instructions that quarn-ar itself executes for `quarn-ar t lib.a` with the
# host's ar, beside a minimal program that only starts the same ar with the same two
# extra arguments and waits. Instruction counts (callgrind) do not depend on the load of
# the machine; only the wrapper's own process is traced, not the ar it starts.
#
#   startup_bench.sh QUARN_AR MINIMAL_SPAWN TEST_PLUGIN TARGET
set -euo pipefail
quarn_ar=$1 minimal=$2 plugin=$3 target=$4

command -v valgrind >/dev/null || { echo "valgrind is needed (Debian package valgrind)" >&2; exit 1; }
host_ar=$(command -v ar) || { echo "no ar on PATH (Debian package binutils)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# An installation tree as the wrapper expects it: wrappers in bin/, the tools in the
# target's bin/, the plugin beside them.
mkdir -p "$work/tree/bin" "$work/tree/$target/bin"
cp "$quarn_ar" "$work/tree/bin/quarn-ar"
ln -s "$host_ar" "$work/tree/$target/bin/ar"
cp "$plugin" "$work/tree/$target/bin/libvorta_plugin.so"
printf 'int f(void) { return 1; }\n' >"$work/f.c"
cc -c -o "$work/f.o" "$work/f.c"
"$host_ar" rcs "$work/lib.a" "$work/f.o"

count() {
  local out=$work/callgrind.out
  rm -f "$out"
  valgrind --tool=callgrind --trace-children=no --callgrind-out-file="$out" "$@" >/dev/null 2>"$work/valgrind.log" ||
    { cat "$work/valgrind.log" >&2; exit 1; }
  awk '/^summary:/ { print $2 }' "$out"
}

wrapper=$(cd "$work" && count "$work/tree/bin/quarn-ar" -B "$work/tree/$target/bin/" t lib.a)
floor=$(cd "$work" && count "$minimal" "$work/tree/$target/bin/ar" "$work/tree/$target/bin/libvorta_plugin.so" t lib.a)
echo "quarn-ar t lib.a:       $wrapper instructions"
echo "minimal spawn and wait: $floor instructions"
awk -v w="$wrapper" -v f="$floor" 'BEGIN { printf "ratio:                  %.3f (target: at most 1.15)\n", w / f }'
