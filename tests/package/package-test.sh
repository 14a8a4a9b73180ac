#!/usr/bin/env bash
# The Debian package made from this build by scripts/package.sh: its files, its control fields,
# and its stillpress-cli run from a temporary root where the package was unpacked, against the
# build's own.
#   tests/package/package-test.sh BUILD_DIR VERSION
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

package=$(bash "$source_dir/scripts/package.sh" "$build" | tail -n 1)
expected=$build/stillpress_${version}_$(dpkg --print-architecture).deb
[[ $package == "$expected" ]] || fail "the package is $package, not $expected"
[[ -f $package ]] || { echo "FAIL: no package at $package" >&2; exit 1; }

# ---- Contents: "-rwxr-xr-x root/root 123 2026-12-07 22:00 ./usr/bin/stillpress"
listing=$(dpkg-deb -c "$package")
mode_of() { awk -v path="./$1" '$6 == path { print $1 }' <<<"$listing"; }
paths=(usr/share/applications/stillpress.desktop
    usr/share/icons/hicolor/scalable/apps/stillpress.svg
    usr/share/man/man1/stillpress.1.gz usr/share/man/man1/stillpress-cli.1.gz
    usr/share/bash-completion/completions/stillpress-cli)
for side in 16 32 48 64 128 256; do
    paths+=("usr/share/icons/hicolor/${side}x$side/apps/stillpress.png")
done
for path in "${paths[@]}"; do
    [[ $(mode_of "$path") == -rw-r--r-- ]] || fail "$path: missing, or not a plain file"
done
for path in usr/bin/stillpress usr/bin/stillpress-cli; do
    [[ $(mode_of "$path") == -rwxr-xr-x ]] || fail "$path: not an executable"
done
outside=$(awk '$6 !~ /^\.\/(usr\/)?$/ && $6 !~ /^\.\/usr\/(bin|share)\// { print $6 }' <<<"$listing")
[[ -z $outside ]] || fail "files outside /usr/bin and /usr/share: $outside"
owners=$(awk '$2 != "root/root" { print $6 }' <<<"$listing")
[[ -z $owners ]] || fail "not owned by root: $owners"

# ---- Control fields: NAME and an extended regular expression its value must match.
fields=(
    "Package ^stillpress$"
    "Version ^${version//./\\.}$"
    "Architecture ^$(dpkg --print-architecture)$"
    "Depends (^|, )libavcodec[0-9]+ "
    "Depends (^|, )libavformat[0-9]+ "
    "Depends (^|, )libqt6core6 "
    "Depends (^|, )libqt6widgets6 "
    "Depends (^|, )libqt6svg6"
    "Depends (^|, )libc6 "
)
for field in "${fields[@]}"; do
    name=${field%% *} pattern=${field#* }
    value=$(dpkg-deb -f "$package" "$name")
    [[ $value =~ $pattern ]] || fail "$name '$value' does not match $pattern"
done

# ---- Unpacked.
root=$work/root
dpkg-deb -x "$package" "$root"
for program in stillpress stillpress-cli; do
    missing=$(ldd "$root/usr/bin/$program" | grep 'not found' || true)
    [[ -z $missing ]] || fail "$program: $missing"
    if readelf -d "$root/usr/bin/$program" | grep -E 'RPATH|RUNPATH' >/dev/null; then fail "$program: a run path"; fi
    if readelf -S "$root/usr/bin/$program" | grep '\.debug_info' >/dev/null; then fail "$program: not stripped"; fi
done
entry=$root/usr/share/applications/stillpress.desktop
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
icon=$(sed -n 's/^Icon=//p' "$entry")
[[ -x $root/usr/bin/$exec_program ]] || fail "the desktop entry starts '$exec_program'"
[[ -f $root/usr/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "the desktop entry's icon '$icon'"
for page in stillpress stillpress-cli; do
    text=$(gzip -dc "$root/usr/share/man/man1/$page.1.gz")
    title=$(grep -m 1 '^\.TH' <<<"$text" | tr -d '"' || true)
    [[ ${title,,} == ".th $page 1" || ${title,,} == ".th $page 1 "* ]] || fail "$page.1: its title is '$title'"
    warnings=$(groff -man -Tutf8 -ww -z <<<"$text" 2>&1)
    [[ -z $warnings ]] || fail "$page.1: $warnings"
done
completion=$root/usr/share/bash-completion/completions/stillpress-cli
registered=$(bash -c 'source "$1" && complete -p stillpress-cli' _ "$completion" 2>&1) ||
    fail "the completion does not register for stillpress-cli: $registered"

# The packaged command and the build's, each with a home of its own, export the same frames.
run() {  # run NAME PROGRAM ARGUMENTS...: stdout to $work/NAME.out, stderr to $work/NAME.err
    local name=$1
    shift
    mkdir -p "$work/$name-home"
    HOME=$work/$name-home XDG_CONFIG_HOME=$work/$name-home/.config "$@" \
        >"$work/$name.out" 2>"$work/$name.err"
}
cli=$root/usr/bin/stillpress-cli
run version "$cli" --version || fail "--version: exit status $?: $(cat "$work/version.err")"
[[ $(cat "$work/version.out") == "stillpress-cli $version" ]] ||
    fail "--version printed '$(cat "$work/version.out")'"
export_arguments=(export-images "$source_dir/samples/sample.mp4" --from 1 --to 3 --interval 0.5
    --format png --size 50)
for name in packaged built; do
    program=$cli
    [[ $name == built ]] && program=$build/stillpress-cli
    mkdir -p "$work/$name-images"  # a base folder that does not exist is passed over
    run "$name" "$program" "${export_arguments[@]}" --base-folder "$work/$name-images" ||
        fail "$name export: exit status $?: $(cat "$work/$name.err")"
done
folder=$(tail -n 1 "$work/packaged.out")
reference=$(tail -n 1 "$work/built.out")
[[ $folder == "$work/packaged-images/"* && -d $folder ]] || fail "the export names '$folder'"
mapfile -t images < <(cd "$folder" && ls)
[[ ${#images[@]} -ge 4 ]] || fail "the export wrote ${#images[@]} images"
[[ $(cd "$folder" && ls) == "$(cd "$reference" && ls)" ]] ||
    fail "the build wrote other files than the package"
for image in "${images[@]}"; do
    cmp -s "$folder/$image" "$reference/$image" || fail "$image differs from the build's"
done

if ((failures > 0)); then
    echo "$failures failures in $package" >&2
    exit 1
fi
echo "$package: contents, fields and programs as expected"
