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
# Wine starts 32-bit Windows programs through its 32-bit Linux loader. A
# kernel without 32-bit emulation cannot run it ("Exec format error"): there
# the loader runs under qemu-user's i386 emulator, registered with
# binfmt_misc for 32-bit x86 ELF programs. Debian 12's own qemu (7.2) is far
# too slow for Wine; the backports suite's (10.x) is a static program
# without dependencies. Only that suite's index is fetched, from the mirror
# the machine's own sources name, so a mid-sync elsewhere cannot stop it.
wine32_fails() {
  local out
  out=$(timeout 120 /usr/lib/wine/wine --version 2>&1) && return 1
  echo "$out"
  return 0
}

debian_mirror() {
  # The URI of the source that carries the release's own suite, deb822 or
  # one-line format.
  local codename=$1 file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk -v suite="$codename" '
      /^[ \t]*$/ { if (uri != "" && has) { print uri; exit } uri = ""; has = 0; next }
      tolower($1) == "uris:" { uri = $2 }
      tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == suite) has = 1 }
      END { if (uri != "" && has) print uri }' "$file" | head -n 1
  done
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk -v suite="$codename" '$1 == "deb" {
      i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
      if ($(i + 1) == suite) print $i }'
}

install_qemu_user() {
  local codename mirror parts opts
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  mirror=$(debian_mirror "$codename" | grep -m1 .) || true
  if [ -z "$codename" ] || [ -z "$mirror" ]; then
    echo "setup: no Debian mirror for \"$codename\" in the apt sources: cannot fetch qemu-user from $codename-backports" >&2
    return 1
  fi
  parts=/etc/apt/orfa-backports
  $SUDO mkdir -p "$parts"
  printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$mirror" "$codename" | $SUDO tee "$parts/backports.sources" >/dev/null
  opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$parts" -o APT::Get::List-Cleanup=0)
  local attempt
  for attempt in 1 2 3; do
    if $SUDO apt-get "${opts[@]}" update -qq &&
       $SUDO apt-get "${opts[@]}" install -y -qq --no-install-recommends qemu-user; then
      return 0
    fi
    echo "setup: qemu-user from $codename-backports did not install (attempt $attempt of 3)" >&2
    [ "$attempt" = 3 ] || sleep $((attempt * 10))
  done
  return 1
}

register_qemu_i386() {
  local misc=/proc/sys/fs/binfmt_misc qemu
  qemu=$(command -v qemu-i386 || command -v qemu-i386-static) || {
    echo "setup: qemu-i386 is not installed" >&2; return 1; }
  if [ ! -e "$misc/register" ]; then
    $SUDO mount -t binfmt_misc binfmt_misc "$misc" || {
      echo "setup: cannot mount binfmt_misc on $misc" >&2; return 1; }
  fi
  # An entry made elsewhere (without the F flag, or for another emulator)
  # goes first; F opens the emulator now, so it serves every namespace.
  if [ -e "$misc/qemu-i386" ]; then echo -1 | $SUDO tee "$misc/qemu-i386" >/dev/null; fi
  printf '%s' ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F" |
    $SUDO tee "$misc/register" >/dev/null
}

if why=$(wine32_fails); then
  echo "setup: this machine runs no 32-bit programs (/usr/lib/wine/wine --version: ${why##*$'\n'});" \
       "running them through qemu-user" >&2
  if ! command -v qemu-i386 >/dev/null || ! qemu-i386 --version | grep -qE 'version ([1-9][0-9])\.'; then
    install_qemu_user || { echo "setup: FAILED: qemu-user could not be installed" >&2; exit 1; }
  fi
  register_qemu_i386 || { echo "setup: FAILED: qemu-i386 could not be registered with binfmt_misc" >&2; exit 1; }
  if why=$(wine32_fails); then
    echo "setup: FAILED: Wine's 32-bit loader still does not start through qemu-i386: ${why##*$'\n'}" >&2
    exit 1
  fi
  echo "setup: 32-bit programs run through $(qemu-i386 --version | head -n 1)" >&2
fi
echo "setup: all dependencies present"
