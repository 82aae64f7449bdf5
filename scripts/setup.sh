#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need; skips what is there.
set -euo pipefail
pkgs=(build-essential cmake pkg-config git openssl ca-certificates
      libgtest-dev libgmock-dev googletest
      libpoco-dev librapidxml-dev libssl-dev zlib1g-dev libminizip-dev liblzma-dev
      libgtk-3-dev libicu-dev libxfixes-dev xvfb xauth xdotool x11-utils imagemagick
      fonts-noto-cjk fonts-liberation fonts-dejavu-core
      nginx-light aria2 curl
      clang libclang-rt-14-dev)
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
