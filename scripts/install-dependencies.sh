#!/usr/bin/env bash
# Installs, with apt-get, whatever Stillpress needs to build, test and run that is missing.
set -euo pipefail

packages=(
    cmake make g++ pkg-config git
    libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev libavutil-dev libswresample-dev
    libdeflate-dev
    qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins qt6-qpa-plugins libgl-dev
    libqt6svg6 qt6-svg-dev  # Qt's SVG icon engine and image plugin (the icon's drawing)
    libicu-dev              # ICU's date formats (the conversion's comments)
    ffmpeg fonts-urw-base35 fontconfig
    libgtest-dev libgmock-dev googletest
    clang-format
    dpkg-dev file groff-base  # the Debian package: its Depends (dpkg-shlibdeps), its man pages
    clang-14 libclang-rt-14-dev llvm-14  # the fuzz targets (libFuzzer) and sanitizer stacks
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run as root, or: sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
