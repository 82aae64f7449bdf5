#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need; skips what is there.
#
#   scripts/setup.sh             everything: library, tests, tools, installer, demo, API reference
#   scripts/setup.sh --library   only what a library-only build needs (ZID_BUILD_TESTS, _TOOLS,
#                                _INSTALLER and _EXAMPLES off): compiler, CMake, Poco, rapidxml,
#                                OpenSSL; pkg-config for consumers of zid.pc
set -euo pipefail
library_pkgs=(build-essential cmake pkg-config libpoco-dev librapidxml-dev libssl-dev)
case "${1:-}" in
  --library) pkgs=("${library_pkgs[@]}") ;;
  "")
    pkgs=("${library_pkgs[@]}" git openssl ca-certificates
          libgtest-dev libgmock-dev googletest
          zlib1g-dev libminizip-dev liblzma-dev
          libgtk-3-dev libicu-dev libxfixes-dev xvfb xauth xdotool x11-utils imagemagick
          fonts-noto-cjk fonts-liberation fonts-dejavu-core
          nginx-light aria2 curl
          clang libclang-rt-14-dev
          doxygen) ;;
  *) echo "usage: $0 [--library]" >&2; exit 2 ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
