#!/usr/bin/env bash
# Installs what Marvex needs to build, test and run on Debian 12, only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libcairo2-dev libplist-dev libsndfile1-dev
  libcli11-dev nlohmann-json3-dev libfftw3-dev
  jackd2 libjack-jackd2-dev
  libx11-dev lv2-dev fonts-dejavu-core xvfb
  # The LV2 plug-in: lilv for the tests, lilv's and sord's tools for CI, and what the Debian
  # package and the man page are made with.
  liblilv-dev lilv-utils sordi help2man dpkg-dev
)
# Extra tool sets, asked for by name: fuzz (clang + libFuzzer runtime), m32 (32-bit build),
# peers (other tuners the benchmarks compare with).
for extra in "$@"; do
  case "$extra" in
    fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
    m32) packages+=(g++-multilib googletest libplist-dev:i386 qemu-user) ;;
    valgrind) packages+=(valgrind) ;;
    peers) packages+=(x42-plugins) ;;
    *) echo "setup.sh: unknown extra '$extra'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == *"ok installed"* ]] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # The 32-bit build links the i386 libplist (multiarch; the next update fetches its index).
  if [[ " ${missing[*]} " == *":i386 "* ]] && [[ $'\n'$(dpkg --print-foreign-architectures)$'\n' != *$'\n'i386$'\n'* ]]; then
    $sudo_cmd dpkg --add-architecture i386
  fi
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
