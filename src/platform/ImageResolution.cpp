#include "platform/ImageResolution.h"

#include <cmath>

namespace {

quint32 BigEndian32(const QByteArray& data, qsizetype at) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData() + at);
    return (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8) |
           quint32(bytes[3]);
}

quint16 BigEndian16(const QByteArray& data, qsizetype at) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData() + at);
    return static_cast<quint16>((bytes[0] << 8) | bytes[1]);
}

// Resolutions are stored in whole dots per metre or centimetre; a whole number of dots per
// inch comes back a hundredth off, and is put back to that whole number.
double CleanDpi(double dpi) {
    const double whole = std::round(dpi);
    return std::abs(dpi - whole) < 0.02 ? whole : dpi;
}

std::optional<Resolution> MakeResolution(double dpiX, double dpiY) {
    // Below 1 dpi or beyond 100000 dpi is no real resolution; treat it as unstated.
    const auto sane = [](double dpi) { return std::isfinite(dpi) && dpi >= 1 && dpi <= 1e5; };
    if (!sane(dpiX) || !sane(dpiY)) return std::nullopt;
    return Resolution{CleanDpi(dpiX), CleanDpi(dpiY)};
}

// The pHYs chunk of a PNG, when it gives pixels per metre; it must precede the image data.
std::optional<Resolution> PngResolution(const QByteArray& data) {
    qsizetype at = 8;  // past the signature
    while (at + 8 <= data.size()) {
        const quint32 length = BigEndian32(data, at);
        const QByteArray type = data.mid(at + 4, 4);
        if (type == "IDAT" || type == "IEND" || length > quint32(data.size() - at - 8)) break;
        if (type == "pHYs" && length == 9 && data.at(at + 16) == 1) {
            constexpr double kInchesPerMetre = 0.0254;
            return MakeResolution(BigEndian32(data, at + 8) * kInchesPerMetre,
                                  BigEndian32(data, at + 12) * kInchesPerMetre);
        }
        at += 12 + qsizetype(length);
    }
    return std::nullopt;
}

// The density of a JPEG's JFIF header (the APP0 segment right after the start marker).
std::optional<Resolution> JfifResolution(const QByteArray& data) {
    if (data.size() < 20 || !data.startsWith("\xFF\xD8\xFF\xE0")) return std::nullopt;
    if (data.mid(6, 5) != QByteArray("JFIF\0", 5)) return std::nullopt;
    const int unit = static_cast<unsigned char>(data.at(13));
    const double perUnitX = BigEndian16(data, 14);
    const double perUnitY = BigEndian16(data, 16);
    if (unit == 1) return MakeResolution(perUnitX, perUnitY);
    if (unit == 2) return MakeResolution(perUnitX * 2.54, perUnitY * 2.54);
    return std::nullopt;  // unit 0: an aspect ratio only
}

}  // namespace

std::optional<Resolution> StatedResolution(const QByteArray& data) {
    if (data.startsWith("\x89PNG\r\n\x1A\n")) return PngResolution(data);
    return JfifResolution(data);
}
