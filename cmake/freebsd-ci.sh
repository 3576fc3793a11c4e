#!/usr/bin/env bash
# CI's FreeBSD cross-builds: for each architecture, a sysroot made from the FreeBSD headers
# and libc symbol lists kept beside the project in ../shared/freebsd (a copy of
# sysroot-<arch>, with stub libraries made by its make-stubs.sh), and the workflow
# freebsd-<arch> against it. A clone without them skips this, saying so in one line.
set -euo pipefail
cd "$(dirname "$0")/.."
shared=../shared/freebsd
if [ ! -d "$shared" ]; then
  echo "FreeBSD cross-builds skipped: no FreeBSD sysroots in $shared"
  exit 0
fi

needed="clang-14 lld-14 llvm-14 libc++-14-dev python3"
missing=
command -v dpkg-query >/dev/null || needed=
for package in $needed; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing="$missing $package"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for arch in amd64 aarch64 armv7 riscv64; do
  triple=$(python3 -c 'import json, sys
print(next(p["cacheVariables"]["QUARN_FREEBSD_TRIPLE"] for p in json.load(open("CMakePresets.json"))["configurePresets"]
           if p["name"] == sys.argv[1]))' "freebsd-$arch")
  sysroot=$work/$arch
  cp -R "$shared/sysroot-$arch" "$sysroot"
  chmod -R u+w "$sysroot"
  # The header links that installworld makes (errno.h -> sys/errno.h) may be stored as
  # plain files holding the link's target; the manifest names them.
  if [ -f "$shared/MANIFEST.txt" ]; then
    sed -n "s/^$arch | \([^ ]*\) | symlink -> \([^ ]*\).*/\1 \2/p" "$shared/MANIFEST.txt" |
      while read -r path target; do
        [ -L "$sysroot/$path" ] || ln -sf "$target" "$sysroot/$path"
      done
  fi
  "$shared/make-stubs.sh" "$triple" "$sysroot" "$shared/symbols/libc-$arch.txt"
  QUARN_FREEBSD_SYSROOT=$sysroot cmake --workflow --preset freebsd-$arch
done
