#!/usr/bin/env bash
# Checks that a build writes the same files with the same pixels as another one (e.g. the
# build before a speed change): every format, with and without processing, over the bundled
# sample and a 1080p clip. Exits non-zero on the first difference.
#   bench/identical.sh OTHER_STILLPRESS_CLI [THIS_STILLPRESS_CLI]
source "$(dirname "$0")/common.sh"
other=${1:?usage: bench/identical.sh OTHER_STILLPRESS_CLI [THIS_STILLPRESS_CLI]}
this=${2:-$CLI}
clip=$(make_video h264-60s-1080p.mp4 60 1920x1080 30 250)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"

# pixels FILE: a digest of the decoded pixels, whatever the file's encoding.
pixels() { ffmpeg -nostdin -v error -i "$1" -frames:v 1 -f rawvideo -pix_fmt rgba - | md5sum | cut -c1-32; }

# run NAME CLI ARGS...: exports into $work/NAME and prints the folder's file names.
run() {
    local name=$1 cli=$2
    shift 2
    mkdir -p "$work/$name"
    "$cli" export-images "$@" --base-folder "$work/$name" >/dev/null 2>&1
    (cd "$work/$name"/*/*/ && ls | sort)
}

compare() {
    local label=$1
    shift
    rm -rf "$work/a" "$work/b"
    local names_a names_b
    names_a=$(run a "$other" "$@")
    names_b=$(run b "$this" "$@")
    [[ "$names_a" == "$names_b" ]] || { echo "DIFFERENT file names: $label"; exit 1; }
    local count=0
    while read -r file; do
        [[ -n "$file" ]] || continue
        [[ "$(pixels "$work"/a/*/*/"$file")" == "$(pixels "$work"/b/*/*/"$file")" ]] ||
            { echo "DIFFERENT pixels: $label: $file"; exit 1; }
        count=$((count + 1))
    done <<<"$names_a"
    echo "same: $label ($count files)"
}

sample="$ROOT/samples/sample.mp4"
for format in tiff bmp png jpg gif jpeg2000; do
    compare "$format, sample" "$sample" --to 3 --interval 0.5 --format "$format" --no-grey \
        --size 100 --no-time-stamp --auto-delete
done
for format in tiff bmp png; do
    compare "$format, 1080p, 1/30 s steps" "$clip" --from 9 --to 10 --interval 0.0333333333333333 \
        --format "$format" --no-grey --size 100 --no-time-stamp --no-auto-delete
    compare "$format, grey 50% stamped" "$sample" --to 4 --interval 1 --format "$format" --grey \
        --size 50 --time-stamp --no-auto-delete
done
compare "jpg, 1080p sparse" "$clip" --interval 7 --format jpg --no-grey --size 100 --no-time-stamp

# Walls: one image of tiles taken through the same frame generator.
for cli in "$other" "$this"; do
    "$cli" wall-from-video "$clip" "$work/wall-$(basename "$(dirname "$cli")").png" --interval 6 \
        --size 25 --rows 2 --format png --no-time-stamp >/dev/null 2>&1
done
walls=("$work"/wall-*.png)
[[ ${#walls[@]} -eq 2 && "$(pixels "${walls[0]}")" == "$(pixels "${walls[1]}")" ]] ||
    { echo "DIFFERENT wall"; exit 1; }
echo "same: wall of 10 tiles"
