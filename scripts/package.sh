#!/usr/bin/env bash
# Makes the Debian package of Stillpress with CPack, stillpress_VERSION_ARCH.deb, in the build
# folder, and prints its path as the last line.
#   scripts/package.sh [BUILD_DIR]   (default: build; configured first if it is not yet)
# The programs are built first, and the manual pages and the bash completion written.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-build}
if [[ -f $folder/CMakeCache.txt ]]; then
    cmake --build "$folder" -j"$(nproc)" --target stillpress stillpress-cli stillpress_manuals
else
    scripts/build.sh "$folder"
fi
folder=$(cd "$folder" && pwd)
log=$folder/cpack.log
cpack -G DEB --config "$folder/CPackConfig.cmake" -B "$folder" >"$log" 2>&1 ||
    { cat "$log" >&2; exit 1; }
# "CPack: - package: /path/stillpress_1.0.0_amd64.deb generated."
package=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' "$log")
[[ -f $package ]] || { cat "$log" >&2; echo "package.sh: CPack named no package" >&2; exit 1; }
echo "$package"
