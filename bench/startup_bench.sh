#!/usr/bin/env bash
# Counts the instructions that quarn-ar itself executes for `quarn-ar t lib.a` with the
# host's ar, started from an installed tree, beside a minimal program that only starts
# the same ar with the same two extra arguments and waits. Instruction counts
# (callgrind) do not depend on the load of the machine; only the first process is
# traced, not the ar it starts. The same again with the program linked statically.
#
#   startup_bench.sh BUILD_DIR MINIMAL_SPAWN TEST_PLUGIN TARGET VERSION STATIC_QUARN_AR
set -euo pipefail
build=$1 minimal=$2 plugin=$3 target=$4 version=$5 static_ar=$6

# The wrapper copies every PATH entry into its fallback list, so the figure depends on
# PATH: both programs run with Debian's default one.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
command -v valgrind >/dev/null || { echo "valgrind is needed (Debian package valgrind)" >&2; exit 1; }
host_ar=$(command -v ar) || { echo "no ar on PATH (Debian package binutils)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree
cmake --install "$build" --prefix "$tree" >/dev/null
ln -s "$host_ar" "$tree/$target/bin/ar"
tool_plugin=$tree/libexec/quarn/$target/$version/libvorta_plugin.so
cp "$plugin" "$tool_plugin"
printf 'int f(void) { return 1; }\n' >"$work/f.c"
cc -c -o "$work/f.o" "$work/f.c"
"$host_ar" rcs "$work/lib.a" "$work/f.o"

count() {
  local out=$work/callgrind.out
  rm -f "$out"
  (cd "$work" && valgrind --tool=callgrind --trace-children=no --callgrind-out-file="$out" "$@") \
    >/dev/null 2>"$work/valgrind.log" || { cat "$work/valgrind.log" >&2; exit 1; }
  awk '/^summary:/ { print $2 }' "$out"
}

wrapper=$(count "$tree/bin/quarn-ar" t lib.a)
floor=$(count "$minimal" "$tree/$target/bin/ar" "$tool_plugin" t lib.a)
# bin/quarn-ar is a link to the target-prefixed program: put the static one there.
cp "$static_ar" "$tree/bin/$target-quarn-ar"
static=$(count "$tree/bin/quarn-ar" t lib.a)
echo "quarn-ar t lib.a (installed tree): $wrapper instructions"
echo "minimal spawn and wait:            $floor instructions"
awk -v w="$wrapper" -v f="$floor" 'BEGIN { printf "ratio:                             %.3f (target: at most 1.15)\n", w / f }'
echo "the same, linked statically:       $static instructions (target: at most 55000)"
