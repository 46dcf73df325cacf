#!/usr/bin/env bash
# Installs the Debian packages the build, tests and benchmarks need, when any is missing.
# Usage: tools/ensure-deps.sh [extra-package ...]
set -euo pipefail
packages=(meson ninja-build g++ pkg-config python3 python3-dev libgtest-dev libbenchmark-dev
          python3-pytest python3-hypothesis python3-mesonpy python3-pip "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
