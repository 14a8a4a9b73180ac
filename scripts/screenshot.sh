#!/usr/bin/env bash
# Takes a picture of the main window on a virtual X display and writes docs/screenshot.png.
#   scripts/screenshot.sh [BUILD_DIR] [VIDEO]
# BUILD_DIR holds the built `stillpress` (default: build); VIDEO is shown as the selected
# video (default: samples/sample.mp4). Runs with a temporary HOME, so no settings of yours
# are read or written.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${1:-$ROOT/build}"
VIDEO="${2:-$ROOT/samples/sample.mp4}"
OUTPUT="$ROOT/docs/screenshot.png"
APP="$BUILD_DIR/stillpress"

need_tools() {
    local missing=()
    command -v Xvfb >/dev/null || missing+=(xvfb)
    command -v import >/dev/null || missing+=(imagemagick)
    command -v xwininfo >/dev/null || missing+=(x11-utils)
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "screenshot.sh: please install: ${missing[*]}" >&2
        exit 1
    fi
    apt-get install -y "${missing[@]}" >/dev/null
}

[ -x "$APP" ] || { echo "screenshot.sh: build $APP first" >&2; exit 1; }
need_tools

WORK="$(mktemp -d)"
XVFB_PID=""
APP_PID=""
cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

# A display number that is free.
DISPLAY_NUMBER=91
while [ -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ] || [ -e "/tmp/.X$DISPLAY_NUMBER-lock" ]; do
    DISPLAY_NUMBER=$((DISPLAY_NUMBER + 1))
done
Xvfb ":$DISPLAY_NUMBER" -screen 0 1280x1000x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
export DISPLAY=":$DISPLAY_NUMBER"
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

# A settings store of its own: the sample as the last video, the export options shown.
export HOME="$WORK" XDG_CONFIG_HOME="$WORK/.config" XDG_RUNTIME_DIR="$WORK"
mkdir -p "$XDG_CONFIG_HOME/Quonex"
cat >"$XDG_CONFIG_HOME/Quonex/Stillpress.conf" <<CONF
[General]
LastVideo=$VIDEO
DisclosureButtonState=1
dblFrameInterval=0.5
ImageSizePercentage=50
FileFormat=4
CONF

QT_QPA_PLATFORM=xcb "$APP" >/dev/null 2>&1 &
APP_PID=$!
for _ in $(seq 100); do
    xwininfo -name Stillpress >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 1  # let the window paint
WINDOW_ID="$(xwininfo -name Stillpress | awk '/Window id:/ {print $4}')"
import -window "$WINDOW_ID" "$OUTPUT"
echo "$OUTPUT"
