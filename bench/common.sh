# Shared pieces of the benchmarks: test videos made with ffmpeg's sources, timing and peak
# memory of one command, and the median of a list.
set -euo pipefail
BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(dirname "$BENCH_DIR")
DATA="$BENCH_DIR/data"
CLI="$ROOT/build/stillpress-cli"
mkdir -p "$DATA"
command -v /usr/bin/time >/dev/null || { [[ $(id -u) -eq 0 ]] && apt-get install -y -qq time >/dev/null; }

# make_video NAME SECONDS SIZE RATE KEYINT: H.264 from testsrc2, made once. The frame types
# are those of x264's defaults (3 B-frames, pyramid), as in most H.264 files; "veryfast"
# only spares motion search, so making 10 minutes of 1080p takes minutes, not an hour.
make_video() {
    local path="$DATA/$1"
    [[ -f "$path" ]] || { ffmpeg -hide_banner -loglevel error -y -f lavfi \
        -i "testsrc2=size=$3:rate=$4:duration=$2" -c:v libx264 -preset veryfast -g "$5" \
        -pix_fmt yuv420p "$path.part.mp4" && mv "$path.part.mp4" "$path"; }
    echo "$path"
}

# make_hdr_video NAME SECONDS SIZE RATE: 10-bit HEVC in PQ with BT.2020 primaries, made once,
# whose SDR white sits at 1000 nits (highlights to tone map), with x265's default GOPs.
make_hdr_video() {
    local path="$DATA/$1"
    [[ -f "$path" ]] || { ffmpeg -hide_banner -loglevel error -y -f lavfi \
        -i "testsrc2=size=$3:rate=$4:duration=$2" \
        -vf "zscale=tin=bt709:pin=bt709:min=bt709:t=smpte2084:p=bt2020:m=bt2020nc:npl=1000" \
        -c:v libx265 -preset ultrafast -x265-params log-level=error -pix_fmt yuv420p10le \
        -color_trc smpte2084 -color_primaries bt2020 -colorspace bt2020nc \
        "$path.part.mp4" && mv "$path.part.mp4" "$path"; }
    echo "$path"
}

# measure OUTFILE COMMAND...: runs the command, appends "seconds kilobytes" to OUTFILE.
measure() {
    local outfile=$1
    shift
    /usr/bin/time -f "%e %M" -o "$outfile.last" "$@" >/dev/null 2>&1 ||
        echo "warning: exit status $? from: $*" >&2
    tail -n 1 "$outfile.last" >>"$outfile"
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
