#!/usr/bin/env bash
# Installs whatever the build and the tests need and the machine lacks.
set -euo pipefail
needed=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libvterm-dev valgrind
        python3 binutils file groff man-db desktop-file-utils dpkg-dev lintian)
missing=()
for pkg in "${needed[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
