#!/usr/bin/env bash
# One extraction workload side by side: stillpress-cli against the ffmpeg command, on the
# same machine in the same run, alternating, median of RUNS runs. Prints the time ratio.
#   bench/extract_vs_ffmpeg.sh [RUNS]
# Workload: 1 s steps over 60 s of 1080p30 H.264 (keyframes every 250 frames) to TIFF,
# time stamp off. References: ffmpeg's fps filter, and decoding alone.
source "$(dirname "$0")/common.sh"
runs=${1:-5}
video=$(make_video dense-60s-1080p.mp4 60 1920x1080 30 250)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"

for ((i = 0; i < runs; i++)); do
    rm -rf "$work/out" "$work/base" && mkdir -p "$work/out" "$work/base"
    measure "$work/stillpress" "$CLI" export-images "$video" --interval 1 --format tiff \
        --no-time-stamp --no-grey --size 100 --no-auto-delete --base-folder "$work/base"
    measure "$work/fps" ffmpeg -v error -i "$video" -vf fps=1:round=down "$work/out/%d.tiff"
    measure "$work/decode" ffmpeg -v error -i "$video" -f null -
done
ours=$(cut -d' ' -f1 "$work/stillpress" | median)
fps=$(cut -d' ' -f1 "$work/fps" | median)
decode=$(cut -d' ' -f1 "$work/decode" | median)
frames=$(find "$work/base" -type f | wc -l)
echo "frames written: $frames (ffmpeg: $(find "$work/out" -type f | wc -l))"
echo "median seconds: stillpress $ours, ffmpeg fps filter $fps, ffmpeg decode only $decode"
awk -v a="$ours" -v b="$fps" -v c="$decode" 'BEGIN {
    printf "ratio stillpress / ffmpeg fps filter: %.2f\n", a / b
    printf "ratio stillpress / decoding alone:    %.2f\n", a / c }'
echo "peak memory (KB): stillpress $(cut -d' ' -f2 "$work/stillpress" | median), ffmpeg $(cut -d' ' -f2 "$work/fps" | median)"
