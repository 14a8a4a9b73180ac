#!/usr/bin/env bash
# Writing a movie from images side by side: stillpress-cli movie-from-images against the
# ffmpeg command, on the same machine in the same run, alternating, median of RUNS runs.
# Prints the time ratio.
#   bench/movie_vs_ffmpeg.sh [RUNS]
# Workload: 300 PNG images of 1920 x 1080 (testsrc2), 10 frames per second, H.264 4:2:0.
# The frame delay is set to the smallest positive value, so the feed is not throttled.
source "$(dirname "$0")/common.sh"
CLI=${STILLPRESS_CLI:-$CLI}  # another build may be measured instead
runs=${1:-5}
images="$DATA/png-300-1080p"
if [[ ! -f "$images/300.png" ]]; then
    mkdir -p "$images"
    ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=1920x1080:rate=10" \
        -frames:v 300 "$images/%d.png"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"

for ((i = 0; i < runs; i++)); do
    measure "$work/stillpress" "$CLI" movie-from-images "$images" "$work/stillpress.mp4" \
        --frame-rate 10 --frame-delay 0.000001
    measure "$work/ffmpeg" ffmpeg -v error -y -framerate 10 -i "$images/%d.png" -c:v libx264 \
        -pix_fmt yuv420p "$work/ffmpeg.mp4"
done
ours=$(cut -d' ' -f1 "$work/stillpress" | median)
theirs=$(cut -d' ' -f1 "$work/ffmpeg" | median)
frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries \
    stream=nb_read_frames -of csv=p=0 "$1"; }
echo "frames written: stillpress $(frames "$work/stillpress.mp4"), ffmpeg $(frames "$work/ffmpeg.mp4")"
echo "file size (bytes): stillpress $(stat -c %s "$work/stillpress.mp4"), ffmpeg $(stat -c %s "$work/ffmpeg.mp4")"
echo "median seconds: stillpress $ours, ffmpeg $theirs"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio stillpress / ffmpeg: %.2f\n", a / b }'
echo "peak memory (KB): stillpress $(cut -d' ' -f2 "$work/stillpress" | median), ffmpeg $(cut -d' ' -f2 "$work/ffmpeg" | median)"
