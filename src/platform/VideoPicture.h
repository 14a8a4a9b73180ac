#pragma once
// One decoded picture of a video and its conversion to 8-bit SDR RGB.

#include <QImage>
#include <QSize>

#include "platform/DisplayTransform.h"

struct AVFrame;

// The byte order of packed 24-bit pixels.
enum class PackedRgbOrder { Rgb, Bgr };

// How the pictures of one stream are shown.
struct PicturePresentation {
    DisplayTransform transform;  // identity unless pictures are taken as players show them
    double streamPeakNits = 0;   // the HDR peak the stream's metadata gives; 0: none
};

// One decoded picture, held by reference (the decoder may already be working on later ones).
// Immutable; it may be converted on any thread, by several threads at once.
class VideoPicture {
  public:
    // Takes a new reference to the frame's buffers.
    explicit VideoPicture(const AVFrame& frame, const PicturePresentation& presentation = {});
    ~VideoPicture();
    VideoPicture(const VideoPicture&) = delete;
    VideoPicture& operator=(const VideoPicture&) = delete;

    // The size the picture is shown at (the coded size unless it is transformed).
    int width() const { return m_oSize.width(); }
    int height() const { return m_oSize.height(); }
    // Distinguishes the pictures of one generator: a repeated picture keeps its serial.
    long long serial() const { return m_llSerial; }

    // Opaque 8-bit SDR RGB (QImage::Format_RGB32): SDR pictures converted with the stream's
    // own colour matrix and range, HDR and BT.2020 pictures mapped to BT.709 (SdrMapping.h);
    // then transformed as the presentation says.
    QImage ToImage() const;
    // The same pixels as ToImage(), written as packed 8-bit triplets into height() rows of
    // `stride` bytes from `firstRow` (a negative stride writes the rows upwards).
    void ToPackedRgb(unsigned char* firstRow, long long stride, PackedRgbOrder order) const;

  private:
    void ToCodedRgb(unsigned char* firstRow, long long stride, PackedRgbOrder order) const;
    QImage CodedImage() const;

    AVFrame* m_pFrame;  // owned: one reference to the decoder's buffers
    PicturePresentation m_oPresentation;
    QSize m_oSize;
    long long m_llSerial = 0;
};
