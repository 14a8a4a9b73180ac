#pragma once
// The resolution an image file states in its header, read from its bytes. Plain functions;
// any thread.

#include <QByteArray>
#include <optional>

struct Resolution {
    double x = 0;  // dots per inch
    double y = 0;
};

// The resolution of a PNG's pHYs chunk or a JPEG's JFIF header; nullopt when the file states
// none, or none that is real (below 1 or beyond 100000 dpi).
std::optional<Resolution> StatedResolution(const QByteArray& data);
