#!/usr/bin/env bash
# Installs whatever the build, the tests and the demo need and this machine lacks.
set -euo pipefail

# libclang-rt-dev follows the distribution's default clang (14 on Debian 12,
# 19 on Debian 13), so the fuzzers' runtime always matches the clang installed.
packages=(
  cmake ninja-build g++ clang libclang-rt-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  mingw-w64 g++-mingw-w64-x86-64-posix
  wine wine64 xvfb xauth x11-utils xdotool imagemagick fonts-liberation
  osslsigncode openssl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
