#include "platform/ImageEncoders.h"

#include <libdeflate.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// 72 dpi in pixels per metre, as Qt's writers state it.
constexpr uint32_t kDotsPerMeter = 2835;
constexpr int kDeflateLevel = 1;
constexpr uint8_t kPngFilterNone = 0;

void Put16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void Put32BigEndian(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * (3 - i)));
}

// Files whose sizes do not fit the formats' 32-bit fields are left to the general writers.
bool Fits32Bits(long long bytes) {
    return bytes > 0 && bytes < std::numeric_limits<int32_t>::max();
}

// Buffers up to this size are kept by their thread for the next picture: a fresh
// multi-megabyte buffer per frame costs more in page faults than encoding the frame.
constexpr size_t kKeptBufferBytes = size_t{64} << 20;

// The bytes of one file being written. Each thread keeps one buffer for the next file, and
// reuses it once the caller has let go of the file it was handed (until then a new one is
// made).
class FileBytes {
  public:
    explicit FileBytes(long long bytes) {
        thread_local QByteArray kept;
        const auto size = static_cast<qsizetype>(bytes);
        if (static_cast<size_t>(bytes) <= kKeptBufferBytes &&
            (kept.isNull() || kept.isDetached())) {
            kept.resize(size);
            m_pBytes = &kept;
        } else {
            m_oOwn = QByteArray(size, Qt::Uninitialized);
            m_pBytes = &m_oOwn;
        }
        if (m_pBytes->size() != size)
            throw std::runtime_error("Not enough memory for the image file");
    }
    uint8_t* data() { return reinterpret_cast<uint8_t*>(m_pBytes->data()); }
    QByteArray Release() { return *m_pBytes; }

  private:
    QByteArray* m_pBytes = nullptr;
    QByteArray m_oOwn;
};

// Working memory of one thread, not initialised; valid until the next call with the same
// slot, or until ReleaseLargeScratch.
enum class Scratch { PngRows, Compressed, Count };

struct ScratchBlocks {
    std::unique_ptr<uint8_t[]> memory[size_t(Scratch::Count)];
    size_t sizes[size_t(Scratch::Count)] = {};
};

ScratchBlocks& ThreadScratch() {
    thread_local ScratchBlocks blocks;
    return blocks;
}

uint8_t* ScratchMemory(Scratch slot, size_t bytes) {
    ScratchBlocks& blocks = ThreadScratch();
    const auto index = static_cast<size_t>(slot);
    if (bytes > blocks.sizes[index]) {
        blocks.memory[index].reset();  // the old block goes first: peak memory stays one block
        blocks.sizes[index] = 0;
        blocks.memory[index].reset(new uint8_t[bytes]);
        blocks.sizes[index] = bytes;
    }
    return blocks.memory[index].get();
}

// Blocks too large to be worth keeping (a big wall, not a video frame) are given back when
// the picture is done, whichever way.
void ReleaseLargeScratch() {
    ScratchBlocks& blocks = ThreadScratch();
    for (size_t index = 0; index < size_t(Scratch::Count); ++index) {
        if (blocks.sizes[index] <= kKeptBufferBytes) continue;
        blocks.memory[index].reset();
        blocks.sizes[index] = 0;
    }
}

struct ScratchScope {
    ScratchScope() = default;
    ScratchScope(const ScratchScope&) = delete;
    ScratchScope& operator=(const ScratchScope&) = delete;
    ~ScratchScope() { ReleaseLargeScratch(); }
};

uint8_t* Bytes(QByteArray& buffer) {
    return reinterpret_cast<uint8_t*>(buffer.data());
}

// ---- TIFF -------------------------------------------------------------------------------

constexpr int kTiffEntries = 13;
constexpr int kTiffIfdOffset = 8;
constexpr int kTiffExtrasOffset = kTiffIfdOffset + 2 + kTiffEntries * 12 + 4;  // 170
constexpr int kTiffPixelsOffset = kTiffExtrasOffset + 8 + 8 + 8;               // 194 -> 200
constexpr int kTiffHeaderBytes = (kTiffPixelsOffset + 7) / 8 * 8;

enum TiffType : uint16_t { kShort = 3, kLong = 4, kRational = 5 };

void PutTiffEntry(uint8_t*& at, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    Put16(at, tag);
    Put16(at + 2, type);
    Put32(at + 4, count);
    Put32(at + 8, 0);
    if (type == kShort && count == 1)
        Put16(at + 8, static_cast<uint16_t>(value));
    else
        Put32(at + 8, value);
    at += 12;
}

void PutTiffHeader(uint8_t* file, uint32_t width, uint32_t height) {
    std::memset(file, 0, kTiffHeaderBytes);
    file[0] = file[1] = 'I';
    Put16(file + 2, 42);
    Put32(file + 4, kTiffIfdOffset);
    uint8_t* at = file + kTiffIfdOffset;
    Put16(at, kTiffEntries);
    at += 2;
    const uint32_t bits = kTiffExtrasOffset, xres = bits + 8, yres = xres + 8;
    PutTiffEntry(at, 256, kLong, 1, width);
    PutTiffEntry(at, 257, kLong, 1, height);
    PutTiffEntry(at, 258, kShort, 3, bits);
    PutTiffEntry(at, 259, kShort, 1, 1);  // no compression
    PutTiffEntry(at, 262, kShort, 1, 2);  // RGB
    PutTiffEntry(at, 273, kLong, 1, kTiffHeaderBytes);
    PutTiffEntry(at, 277, kShort, 1, 3);
    PutTiffEntry(at, 278, kLong, 1, height);
    PutTiffEntry(at, 279, kLong, 1, width * height * 3);
    PutTiffEntry(at, 282, kRational, 1, xres);
    PutTiffEntry(at, 283, kRational, 1, yres);
    PutTiffEntry(at, 284, kShort, 1, 1);  // chunky
    PutTiffEntry(at, 296, kShort, 1, 2);  // inches
    for (int i = 0; i < 3; ++i) Put16(file + bits + 2 * i, 8);
    for (const uint32_t resolution : {xres, yres}) {
        Put32(file + resolution, 72);
        Put32(file + resolution + 4, 1);
    }
}

// ---- BMP --------------------------------------------------------------------------------

constexpr int kBmpHeaderBytes = 14 + 40;

long long BmpStride(int width) {
    return (static_cast<long long>(width) * 3 + 3) / 4 * 4;
}

void PutBmpHeader(uint8_t* file, int width, int height, uint32_t pixelBytes) {
    std::memset(file, 0, kBmpHeaderBytes);
    file[0] = 'B';
    file[1] = 'M';
    Put32(file + 2, kBmpHeaderBytes + pixelBytes);
    Put32(file + 10, kBmpHeaderBytes);
    uint8_t* info = file + 14;
    Put32(info, 40);
    Put32(info + 4, static_cast<uint32_t>(width));
    Put32(info + 8, static_cast<uint32_t>(height));  // positive: the bottom row comes first
    Put16(info + 12, 1);
    Put16(info + 14, 24);
    Put32(info + 20, pixelBytes);
    Put32(info + 24, kDotsPerMeter);
    Put32(info + 28, kDotsPerMeter);
}

// ---- PNG --------------------------------------------------------------------------------

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const {
        libdeflate_free_compressor(compressor);
    }
};

libdeflate_compressor& ThreadCompressor() {
    thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
        libdeflate_alloc_compressor(kDeflateLevel));
    if (!compressor) throw std::runtime_error("Not enough memory for the PNG compressor");
    return *compressor;
}

// Rows as PNG stores them, each after its filter-type byte. The filter is "none": on video
// frames, deflating unfiltered rows at the fastest level takes less time than filtering
// alone, for files within a few percent of zlib's default effort.
class PngRows {
  public:
    PngRows(int height, long long rowBytes)
        : m_llStride(rowBytes + 1),
          m_uBytes(static_cast<size_t>(height * m_llStride)),
          m_pData(ScratchMemory(Scratch::PngRows, m_uBytes)) {
        for (int y = 0; y < height; ++y) m_pData[y * m_llStride] = kPngFilterNone;
    }

    uint8_t* row(int y) { return m_pData + y * m_llStride + 1; }
    long long stride() const { return m_llStride; }
    const uint8_t* data() const { return m_pData; }
    size_t size() const { return m_uBytes; }

  private:
    long long m_llStride;
    size_t m_uBytes;
    uint8_t* m_pData;
};

uint8_t* PutChunkStart(uint8_t* at, uint32_t length, const char* type) {
    Put32BigEndian(at, length);
    std::memcpy(at + 4, type, 4);
    return at + 8;
}

// Closes the chunk whose type starts at `type`: its CRC covers type and data.
uint8_t* PutChunkEnd(uint8_t* type, uint32_t length) {
    Put32BigEndian(type + 4 + length, libdeflate_crc32(0, type, 4 + length));
    return type + 4 + length + 4;
}

void PutPngHeaders(uint8_t*& at, int width, int height, int channels) {
    std::memcpy(at, "\x89PNG\r\n\x1a\n", 8);
    uint8_t* data = PutChunkStart(at + 8, 13, "IHDR");
    Put32BigEndian(data, static_cast<uint32_t>(width));
    Put32BigEndian(data + 4, static_cast<uint32_t>(height));
    const uint8_t header[5] = {8, static_cast<uint8_t>(channels == 4 ? 6 : 2), 0, 0, 0};
    std::memcpy(data + 8, header, 5);
    at = PutChunkEnd(data - 4, 13);
    data = PutChunkStart(at, 9, "pHYs");
    Put32BigEndian(data, kDotsPerMeter);
    Put32BigEndian(data + 4, kDotsPerMeter);
    data[8] = 1;  // per metre
    at = PutChunkEnd(data - 4, 9);
}

// Compresses into working memory first: the file is then only as large as it needs to be.
QByteArray WritePng(int width, int height, int channels, const PngRows& rows) {
    libdeflate_compressor& compressor = ThreadCompressor();
    const size_t bound = libdeflate_zlib_compress_bound(&compressor, rows.size());
    uint8_t* packed = ScratchMemory(Scratch::Compressed, bound);
    const size_t packedBytes =
        libdeflate_zlib_compress(&compressor, rows.data(), rows.size(), packed, bound);
    if (packedBytes == 0 || !Fits32Bits(static_cast<long long>(packedBytes)))
        throw std::runtime_error("The PNG data could not be compressed");
    QByteArray file(static_cast<qsizetype>(8 + 25 + 21 + 12 + packedBytes + 12), Qt::Uninitialized);
    uint8_t* at = Bytes(file);
    PutPngHeaders(at, width, height, channels);
    uint8_t* data = PutChunkStart(at, static_cast<uint32_t>(packedBytes), "IDAT");
    std::memcpy(data, packed, packedBytes);
    at = PutChunkEnd(data - 4, static_cast<uint32_t>(packedBytes));
    PutChunkEnd(PutChunkStart(at, 0, "IEND") - 4, 0);
    return file;
}

bool PngSizeFits(int width, int height, int channels) {
    return width > 0 && height > 0 &&
           Fits32Bits(static_cast<long long>(height) *
                      (static_cast<long long>(width) * channels + 1));
}

// A QImage row as RGB triplets (opaque) or RGBA quadruplets.
void UnpackRow(const QImage& image, int y, bool alpha, uint8_t* out) {
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
        *out++ = static_cast<uint8_t>(qRed(pixels[x]));
        *out++ = static_cast<uint8_t>(qGreen(pixels[x]));
        *out++ = static_cast<uint8_t>(qBlue(pixels[x]));
        if (alpha) *out++ = static_cast<uint8_t>(qAlpha(pixels[x]));
    }
}

void UnpackBgrRow(const QImage& image, int y, uint8_t* out) {
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
        *out++ = static_cast<uint8_t>(qBlue(pixels[x]));
        *out++ = static_cast<uint8_t>(qGreen(pixels[x]));
        *out++ = static_cast<uint8_t>(qRed(pixels[x]));
    }
}

bool IsOpaqueRgb32(const QImage& image) {
    return !image.isNull() && image.format() == QImage::Format_RGB32;
}

}  // namespace

QByteArray EncodeTiffRgb(int width, int height, const PackedRowFiller& fill) {
    const long long pixelBytes = static_cast<long long>(width) * height * 3;
    if (width <= 0 || height <= 0 || !Fits32Bits(pixelBytes + kTiffHeaderBytes)) return {};
    FileBytes file(kTiffHeaderBytes + pixelBytes);
    PutTiffHeader(file.data(), static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    fill(file.data() + kTiffHeaderBytes, static_cast<long long>(width) * 3);
    return file.Release();
}

QByteArray EncodeBmpBgr(int width, int height, const PackedRowFiller& fill) {
    const long long stride = BmpStride(width);
    const long long pixelBytes = stride * height;
    if (width <= 0 || height <= 0 || !Fits32Bits(pixelBytes + kBmpHeaderBytes)) return {};
    FileBytes file(kBmpHeaderBytes + pixelBytes);
    uint8_t* pixels = file.data() + kBmpHeaderBytes;
    PutBmpHeader(file.data(), width, height, static_cast<uint32_t>(pixelBytes));
    fill(pixels + (height - 1) * stride, -stride);
    const long long padding = stride - static_cast<long long>(width) * 3;
    for (int row = 0; row < height && padding > 0; ++row)
        std::memset(pixels + row * stride + width * 3, 0, static_cast<size_t>(padding));
    return file.Release();
}

QByteArray EncodePngRgb(int width, int height, const PackedRowFiller& fill) {
    if (!PngSizeFits(width, height, 3)) return {};
    const ScratchScope scope;
    PngRows rows(height, static_cast<long long>(width) * 3);
    fill(rows.row(0), rows.stride());
    return WritePng(width, height, 3, rows);
}

QByteArray EncodeTiffImage(const QImage& image) {
    if (!IsOpaqueRgb32(image)) return {};
    return EncodeTiffRgb(image.width(), image.height(), [&](unsigned char* row, long long stride) {
        for (int y = 0; y < image.height(); ++y) UnpackRow(image, y, false, row + y * stride);
    });
}

QByteArray EncodeBmpImage(const QImage& image) {
    if (!IsOpaqueRgb32(image)) return {};
    return EncodeBmpBgr(image.width(), image.height(), [&](unsigned char* row, long long stride) {
        for (int y = 0; y < image.height(); ++y) UnpackBgrRow(image, y, row + y * stride);
    });
}

QByteArray EncodePngImage(const QImage& image) {
    const bool alpha = image.format() == QImage::Format_ARGB32;
    if (!alpha && !IsOpaqueRgb32(image)) return {};
    const int channels = alpha ? 4 : 3;
    if (!PngSizeFits(image.width(), image.height(), channels)) return {};
    const ScratchScope scope;
    PngRows rows(image.height(), static_cast<long long>(image.width()) * channels);
    for (int y = 0; y < image.height(); ++y) UnpackRow(image, y, alpha, rows.row(y));
    return WritePng(image.width(), image.height(), channels, rows);
}
