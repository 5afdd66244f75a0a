#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the build, the tests and the demo need,
# and only those that are missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-private-dev qt6-multimedia-dev qt6-webengine-dev libgl-dev qt6-wayland
  libwayland-dev wayland-protocols libxcb1-dev
  zlib1g-dev libssl-dev openssl libgmime-3.0-dev libgtest-dev libgmock-dev libbenchmark-dev
  dovecot-core dovecot-pop3d dovecot-imapd dovecot-submissiond python3 python3-aiosmtpd xdg-utils
  xvfb xauth desktop-file-utils fonts-ipafont-gothic openbox trayer xdotool x11-utils sway
  dbus-daemon python3-dbus python3-gi python3-dbusmock
  dpkg-dev file lintian appstream
  qtkeychain-qt6-dev gnome-keyring
)
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-dev)
fi
# The benchmarks measure other clients beside ours.
if [ "${1:-}" = "--bench" ]; then
  packages+=(fetchmail)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# The mail server packages try to start system services; they are only used
# privately by the tests, so keep them from starting where policy allows.
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
