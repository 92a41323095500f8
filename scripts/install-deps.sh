#!/usr/bin/env bash
# Installs the Debian and npm packages the build, the tests and the sandbox need.
# Idempotent: asks apt only for packages that are not installed yet, and npm
# only when the pinned editor bundle or its language pack is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

DEB_PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config clang
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
  qt6-webchannel-dev qt6-image-formats-plugins libqt6opengl6-dev qt6-translations-l10n
  xvfb xauth libgl1-mesa-dri fonts-wqy-zenhei
  libcurl4-openssl-dev libssl-dev libsqlcipher-dev sqlcipher
  libjpeg62-turbo-dev libcpp-httplib-dev libfreetype-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  unicode-data bzip2
  zlib1g-dev
  libpsl-dev publicsuffix libsecret-1-dev libxcb1-dev
  gnome-keyring libsecret-tools dbus-daemon
  librsvg2-bin dpkg-dev desktop-file-utils appstream x11-utils
  python3
)

# Training the captcha reader (scripts/train-captcha.sh) only, asked for with
# INKPOST_TRAINING=1: PyTorch and NumPy for tools/captcha-train/train.py, and
# OpenBLAS, the BLAS the committed model was trained with (another BLAS gives
# slightly different weights). Building and testing need none of them.
if [ "${INKPOST_TRAINING:-0}" = 1 ]; then
  DEB_PACKAGES+=(python3-torch python3-numpy libopenblas0-pthread)
fi

# Node.js and npm come from the machine's image or from Debian's nodejs
# package; a newer nodejs already carries npm, so ask for it only when absent.
if ! command -v npm >/dev/null 2>&1; then
  DEB_PACKAGES+=(nodejs npm)
fi

missing=()
for p in "${DEB_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing Debian packages: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ -f package.json ] && { [ ! -f node_modules/tinymce/tinymce.min.js ] ||
                           [ ! -f node_modules/tinymce-i18n/langs6/zh-Hans.js ]; }; then
  echo "installing npm packages"
  npm ci --no-audit --no-fund --loglevel=error
fi
