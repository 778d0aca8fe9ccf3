#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages.
# Idempotent: packages already present are left alone.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

packages=(
  cmake ninja-build make g++ python3
  googletest libgtest-dev libgmock-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine wine32 wine64 xvfb xauth xdotool x11-utils imagemagick
  osslsigncode openssl libssl-dev locales
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
elif [ "${need_update:-0}" = 1 ]; then
  $SUDO apt-get update -qq
fi

# Locales used by the end-to-end tests.
for loc in en_US.UTF-8 ru_RU.UTF-8; do
  if ! locale -a 2>/dev/null | grep -qi "^${loc%%.*}\.utf-\?8$"; then
    $SUDO sed -i "s/^# *\(${loc} UTF-8\)/\1/" /etc/locale.gen
    grep -q "^${loc} UTF-8" /etc/locale.gen || echo "${loc} UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    need_locale_gen=1
  fi
done
if [ "${need_locale_gen:-0}" = 1 ]; then $SUDO locale-gen >/dev/null; fi
echo "setup: all dependencies present"
