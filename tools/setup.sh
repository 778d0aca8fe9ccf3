#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages.
# Idempotent: packages already present are left alone.
#
# Survives a mirror caught mid-sync: the package index is fetched again a few
# times, and when one architecture's index of an update suite still cannot be
# had, the 32-bit packages that Wine needs can no longer be matched to the
# 64-bit versions of that suite ("held broken packages"). The install is then
# taken from the base suite's versions, where both architectures agree.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive

packages=(
  cmake ninja-build make g++ python3
  googletest libgtest-dev libgmock-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine32 wine64 xvfb xauth xdotool x11-utils imagemagick
  osslsigncode openssl locales
  libxxhash-dev python3-xxhash
  nsis
  clang libclang-rt-14-dev
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

# apt-get update, again after a pause while any index fails to come.
update_index() {
  local attempt
  for attempt in 1 2 3; do
    if $SUDO apt-get update -qq 2>/tmp/orfa-setup-update.$$ &&
       ! grep -q '^[EW]: ' /tmp/orfa-setup-update.$$; then
      rm -f /tmp/orfa-setup-update.$$
      return 0
    fi
    echo "setup: the package index did not come whole (attempt $attempt of 3):" >&2
    grep -E '^[EW]: ' /tmp/orfa-setup-update.$$ | head -n 3 >&2 || true
    [ "$attempt" = 3 ] || sleep $((attempt * 10))
  done
  rm -f /tmp/orfa-setup-update.$$
  echo "setup: going on with the index as it is" >&2
  return 0
}

install_packages() {
  if $SUDO apt-get install -y -qq --no-install-recommends "$@"; then return 0; fi
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if [ -z "$codename" ]; then return 1; fi
  echo "setup: the install failed, most likely on 32-bit and 64-bit versions that differ" \
       "while a mirror syncs; installing from the base suite's versions" \
       "(apt-get install -t $codename)" >&2
  $SUDO apt-get install -y -qq --no-install-recommends -t "$codename" "$@"
}

if [ "${#missing[@]}" -gt 0 ]; then
  update_index
  install_packages "${missing[@]}"
elif [ "${need_update:-0}" = 1 ]; then
  update_index
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
