#!/usr/bin/env bash
# Installs the wrappers into a fresh tree under the build directory, drops in the host's
# ar, nm and ranlib and the project's test plugin as a packager would, and uses the
# wrappers on a real archive, with no -B option: they find the tree from where they lie.
#
#   demo.sh BUILD_DIR TEST_PLUGIN TARGET VERSION
set -euo pipefail
build=$1 plugin=$2 target=$3 version=$4
tree=$build/demo/tree
work=$build/demo/work

rm -rf "$build/demo"
mkdir -p "$work"
cmake --install "$build" --prefix "$tree" >/dev/null
cp "$plugin" "$tree/libexec/quarn/$target/$version/libvorta_plugin.so"
for tool in ar nm ranlib; do
  host=$(command -v "$tool") || { echo "no $tool on PATH: install binutils" >&2; exit 1; }
  ln -s "$host" "$tree/$target/bin/$tool"
done

cd "$work"
printf 'int hello(void) { return 1; }\n' >hello.c
printf 'int world(void) { return 2; }\nint shared_counter;\n' >world.c
cc -c hello.c world.c
printf 'hello.o\nworld.o\n' >objects.rsp

export QUARN_TEST_PLUGIN_MARK=$work/plugin-calls.txt
show() {
  echo "\$ $*" | sed "s|$tree|\$TREE|g"
  "$@"
}
echo "installed tree: TREE=$tree"
show "$tree/bin/quarn-ar" rcs libdemo.a @objects.rsp
show "$tree/bin/quarn-ranlib" libdemo.a
show "$tree/bin/quarn-ar" tv libdemo.a
show "$tree/bin/quarn-nm" libdemo.a
show "$tree/bin/$target-quarn-nm" --print-armap libdemo.a
echo "the tool loaded the plugin handed on by the wrapper $(wc -l <"$QUARN_TEST_PLUGIN_MARK") times:"
sed "s|$tree|\$TREE|g" "$QUARN_TEST_PLUGIN_MARK" | sort | uniq -c
