#!/usr/bin/env bash
# Peak memory of an extraction over 10 minutes of 1080p video against one over 10 seconds:
# memory must not grow with the length of the range.
#   bench/memory_flat.sh
source "$(dirname "$0")/common.sh"
video=$(make_video h264-10min-1080p.mp4 600 1920x1080 30 250)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
for to in 10 600; do
    mkdir -p "$work/base$to"
    measure "$work/run$to" "$CLI" export-images "$video" --to "$to" --interval 1 --format png \
        --no-time-stamp --base-folder "$work/base$to"
    read -r seconds kilobytes <"$work/run$to"
    echo "range 0-$to s: $(find "$work/base$to" -type f | wc -l) frames, $seconds s, peak $((kilobytes / 1024)) MB"
done
short=$(cut -d' ' -f2 "$work/run10")
long=$(cut -d' ' -f2 "$work/run600")
echo "growth: $(((long - short) / 1024)) MB (goal: under 50 MB)"
