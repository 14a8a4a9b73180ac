#!/usr/bin/env bash
# Makes the fuzz targets' seed corpus with ffmpeg: a few tiny images, GIFs and videos.
#   scripts/fuzz-seeds.sh FOLDER   (writes FOLDER/image, FOLDER/gif, FOLDER/video)
set -euo pipefail
folder=$1
mkdir -p "$folder"/{image,gif,video}
make() { ffmpeg -loglevel error -y "$@" </dev/null; }
picture=(-f lavfi -i "testsrc2=size=24x16:rate=1" -frames:v 1)
for kind in png bmp tiff jpg jp2; do make "${picture[@]}" "$folder/image/seed.$kind"; done
make "${picture[@]}" -pix_fmt rgba "$folder/image/alpha.png"
make "${picture[@]}" "$folder/image/still.gif"
make -f lavfi -i "testsrc2=size=24x16:rate=5:duration=0.8" "$folder/gif/moving.gif"
make -f lavfi -i "testsrc2=size=24x16:rate=5:duration=0.8" -vf "split[a][b];[a]palettegen=reserve_transparent=1[p];[b][p]paletteuse" "$folder/gif/palette.gif"
cp "$folder/image/still.gif" "$folder/gif/"
clip=(-f lavfi -i "testsrc2=size=32x24:rate=10:duration=0.6" -pix_fmt yuv420p)
make "${clip[@]}" -c:v libx264 -g 3 "$folder/video/h264.mp4"
make "${clip[@]}" -c:v mpeg4 "$folder/video/mpeg4.avi"
make "${clip[@]}" -c:v mjpeg "$folder/video/mjpeg.mov"
make "${clip[@]}" -c:v libx264 -f matroska "$folder/video/h264.mkv"
