#!/usr/bin/env bash
# Start-up cost of `quarn-ar t lib.a` with the host's ar, started from an installed tree:
# the program as this build links it (dynamic, as a rule), linked statically with glibc
# and with musl, beside a minimal program that only starts the same ar with the same two
# extra arguments and waits (linked as the programs are, and statically with musl: each
# program's floor), and beside the one-line dash script a user would otherwise write. Two
# figures for each:
#
# - instructions executed by the first process (callgrind), not by the ar it starts:
#   they do not depend on the load of the machine;
# - wall time per call: ROUNDS rounds, each running every candidate CALLS times in turn
#   (so that a change in the machine's load hits them all alike), and the median round.
#
#   startup_bench.sh BUILD_DIR MINIMAL_SPAWN TEST_PLUGIN TARGET VERSION STATIC_QUARN_AR SPAWN_LOOP
#                    [MUSL_QUARN_AR MUSL_MINIMAL_SPAWN]
set -euo pipefail
build=$1 minimal=$2 plugin=$3 target=$4 version=$5 static_ar=$6 spawn_loop=$7 musl_ar=${8:-} musl_minimal=${9:-}
rounds=${QUARN_BENCH_ROUNDS:-10} calls=${QUARN_BENCH_CALLS:-300}

# The wrapper reads the environment and may search PATH, so the figures depend on both:
# every candidate runs with Debian's default PATH and nothing else (env -i).
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
bare_env=(env -i "PATH=$PATH")
command -v valgrind >/dev/null || { echo "valgrind is needed (Debian package valgrind)" >&2; exit 1; }
host_ar=$(command -v ar) || { echo "no ar on PATH (Debian package binutils)" >&2; exit 1; }
dash=$(command -v dash) || { echo "no dash on PATH (Debian package dash)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'int f(void) { return 1; }\n' >"$work/f.c"
cc -c -o "$work/f.o" "$work/f.c"
"$host_ar" rcs "$work/lib.a" "$work/f.o"

# One installed tree per program: bin/quarn-ar is a link to the target-prefixed
# program, which is replaced by the variant measured.
install_tree() {
  local tree=$work/$1
  cmake --install "$build" --prefix "$tree" >/dev/null
  ln -s "$host_ar" "$tree/$target/bin/ar"
  cp "$plugin" "$tree/libexec/quarn/$target/$version/libvorta_plugin.so"
  if [ -n "${2:-}" ]; then cp "$2" "$tree/bin/$target-quarn-ar"; fi
}
install_tree dynamic
install_tree static "$static_ar"
[ -z "$musl_ar" ] || install_tree musl "$musl_ar"
tool=$work/dynamic/$target/bin/ar
tool_plugin=$work/dynamic/libexec/quarn/$target/$version/libvorta_plugin.so
printf '#!%s\nexec %s --plugin %s "$@"\n' "$dash" "$tool" "$tool_plugin" >"$work/ar.sh"
chmod +x "$work/ar.sh"

names=(dynamic static)
labels=("quarn-ar, dynamic (glibc)" "quarn-ar, static (glibc)")
commands=("$work/dynamic/bin/quarn-ar t lib.a" "$work/static/bin/quarn-ar t lib.a")
if [ -n "$musl_ar" ]; then
  names+=(musl) labels+=("quarn-ar, static (musl)") commands+=("$work/musl/bin/quarn-ar t lib.a")
fi
names+=(minimal)
labels+=("minimal spawn and wait")
commands+=("$minimal $tool $tool_plugin t lib.a")
if [ -n "$musl_minimal" ]; then
  names+=(musl_minimal) labels+=("minimal spawn and wait (musl)") commands+=("$musl_minimal $tool $tool_plugin t lib.a")
fi
names+=(dash)
labels+=("dash script: exec ar --plugin")
commands+=("$work/ar.sh t lib.a")

# The script's process becomes ar at its exec, and callgrind leaves it there: its count
# is the one dumped just before the exec.
count() {
  local out=$work/callgrind.out dump=
  rm -f "$out" "$out".*
  if [ "$1" = dash ]; then dump=--dump-before=execve; fi
  # shellcheck disable=SC2086 # the command lines hold no spaces but between words
  (cd "$work" && "${bare_env[@]}" valgrind --tool=callgrind --trace-children=no $dump --callgrind-out-file="$out" $2) \
    >/dev/null 2>"$work/valgrind.log" || { cat "$work/valgrind.log" >&2; exit 1; }
  if [ -n "$dump" ]; then out=$out.1; fi
  awk '/^(summary|totals):/ { print $2; exit }' "$out"
}
declare -A instructions wall
for i in "${!names[@]}"; do instructions[${names[$i]}]=$(count "${names[$i]}" "${commands[$i]}"); done

for ((round = 0; round < rounds; ++round)); do
  for i in "${!names[@]}"; do
    # shellcheck disable=SC2086
    ns=$(cd "$work" && "${bare_env[@]}" "$spawn_loop" "$calls" ${commands[$i]})
    wall[${names[$i]}]+="$ns "
  done
done
median() { tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
for name in "${names[@]}"; do wall[$name]=$(median <<<"${wall[$name]}"); done

echo "quarn-ar t lib.a from an installed tree: instructions of the first process (callgrind),"
echo "wall time per call (median of $rounds rounds of $calls calls)"
printf '%-32s %12s %12s %12s %12s\n' "" instructions "/ minimal" "wall (us)" "/ dash"
for i in "${!names[@]}"; do
  name=${names[$i]}
  awk -v label="${labels[$i]}" -v n="${instructions[$name]}" -v floor="${instructions[minimal]}" \
      -v w="${wall[$name]}" -v script="${wall[dash]}" \
      'BEGIN { printf "%-32s %12d %12.3f %12.1f %12.3f\n", label, n, n / floor, w / 1000, w / script }'
done
echo
awk -v w="${instructions[dynamic]}" -v f="${instructions[minimal]}" \
  'BEGIN { printf "dynamic program / minimal spawn, instructions: %.3f (target: at most 1.15)\n", w / f }'
echo "static (glibc) program, instructions:           ${instructions[static]} (target: at most 55000)"
if [ -n "$musl_ar" ]; then
  awk -v w="${wall[musl]}" -v s="${wall[dash]}" \
    'BEGIN { printf "musl program / dash script, wall per call:     %.3f (target: at most 0.95)\n", w / s }'
  echo "musl program, instructions:                     ${instructions[musl]} (target: under 12000, aim 8000)"
fi
if [ -n "$musl_minimal" ]; then
  awk -v n="${instructions[musl]}" -v f="${instructions[musl_minimal]}" -v w="${wall[musl]}" -v fw="${wall[musl_minimal]}" \
    'BEGIN { printf "musl program / musl minimal spawn, instructions: %.3f, wall per call: %.3f\n", n / f, w / fw }'
fi
