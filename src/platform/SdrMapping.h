#pragma once
// Maps pictures that an 8-bit SDR BT.709 screen cannot show as coded to 8-bit SDR BT.709 RGB:
// - BT.2020 primaries (HDR, or SDR at any depth) become BT.709 first.
// - PQ (SMPTE ST 2084) and HLG (ARIB STD-B67, display light through BT.2100's OOTF on
//   luminance for a 1000-nit display) are tone mapped with the BT.2390 EETF from the
//   picture's peak to SDR white (100 nits). Light up to SDR white stays as it is when the peak
//   is no brighter; above, highlights roll off smoothly to white. The curve scales each
//   pixel's three BT.709 channels alike (by their largest), which keeps its hue and saturation.
// - Colours still outside BT.709 are desaturated towards their own luminance until they fit,
//   never clipped per channel.
// - SDR light is written with the BT.1886 display curve (a 2.4 gamma), the curve it was taken
//   from.
//
// Our own table-driven row loops rather than libavfilter's zscale and tonemap: Debian's
// tonemap filter has no BT.2390 curve and cannot measure a picture's peak (libplacebo, which
// has both, needs a Vulkan device), and the zscale chain works on 32-bit float planes at
// several times the cost (bench/run hdr: 60 pictures of 1080p PQ, decoding included, in
// about half the time of `ffmpeg` with fps, zscale and tonemap).
//
// Free functions; any thread may call them at once (their tables are built once, on first use).

#include <cstddef>
#include <cstdint>

#include "platform/YuvToRgb.h"

struct AVFrame;
struct AVStream;

namespace sdr {

enum class Transfer { Sdr, Pq, Hlg };

// How a picture's colours are coded, as far as the mapping is concerned.
struct PictureColours {
    Transfer transfer = Transfer::Sdr;
    bool wideGamut = false;       // BT.2020 primaries
    double metadataPeakNits = 0;  // the content light level or mastering peak; 0: none given
};

PictureColours ColoursOf(const AVFrame& frame);
// The transfer of an AVColorTransferCharacteristic.
Transfer TransferOf(int characteristic);
// The peak the stream's own light metadata gives (content light level, else mastering
// display), in nits; 0 when it gives none.
double MetadataPeakNits(const AVStream& stream);

// Whether `frame` must be mapped rather than converted with its own matrix alone.
bool NeedsMapping(const AVFrame& frame);

// The brightest light of the picture in nits: its metadata peak, else measured on it (SDR
// pictures: SDR white).
double PeakNitsOf(const AVFrame& frame);

// Writes `frame` as 8-bit SDR BT.709 RGB (full range) in `layout`: frame.height rows of
// `stride` bytes from `firstRow` (a negative stride writes the rows upwards). The brightest
// light the picture is taken to hold is the picture's own metadata peak, else `peakNits`
// (the stream's, say), else measured on the picture. Throws std::runtime_error when the
// picture's format cannot be read.
void MapToSdr(const AVFrame& frame, uint8_t* firstRow, ptrdiff_t stride, yuv::PackedLayout layout,
              double peakNits = 0);

}  // namespace sdr
