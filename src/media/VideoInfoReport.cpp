#include "media/VideoInfoReport.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <QFileInfo>
#include <array>
#include <cmath>
#include <optional>

#include "media/VideoFileProcessor.h"
#include "platform/MediaAsset.h"

namespace {

constexpr long long kSecondsPerDay = 86400;

struct ByteUnit {
    const char* name;
    int decimals;
};
constexpr std::array<ByteUnit, 6> kByteUnits{
    {{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}, {"PB", 2}, {"EB", 2}}};

QString WithoutTrailingZeros(QString number) {
    if (!number.contains('.')) return number;
    while (number.endsWith('0')) number.chop(1);
    if (number.endsWith('.')) number.chop(1);
    return number;
}

// The magnitude in the first unit whose rounded figure stays below 1000.
QString ScaledByteCount(double magnitude) {
    double scaled = magnitude / 1000;
    for (size_t unit = 0;; ++unit) {
        const double factor = std::pow(10.0, kByteUnits[unit].decimals);
        const double rounded = std::round(scaled * factor) / factor;
        if (rounded < 1000 || unit + 1 == kByteUnits.size())
            return WithoutTrailingZeros(QString::number(rounded, 'f', kByteUnits[unit].decimals)) +
                   ' ' + kByteUnits[unit].name;
        scaled /= 1000;
    }
}

bool IsLyricsKey(const QString& key) {
    return key.compare("lyrics", Qt::CaseInsensitive) == 0 ||
           key.startsWith("lyrics-", Qt::CaseInsensitive);
}

// Tags with a line of their own, or that describe the file type rather than the video.
bool IsReportedElsewhere(const QString& key) {
    static const QStringList kKeys{"creation_time", "major_brand", "minor_version",
                                   "compatible_brands"};
    return IsLyricsKey(key) || kKeys.contains(key, Qt::CaseInsensitive);
}

QString TagValue(const AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
    return entry != nullptr ? QString::fromUtf8(entry->value) : QString();
}

bool IsCoverArt(const AVStream* stream) {
    return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

bool IsPlayableStream(const AVStream* stream) {
    const AVMediaType type = stream->codecpar->codec_type;
    return (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO) && !IsCoverArt(stream) &&
           avcodec_find_decoder(stream->codecpar->codec_id) != nullptr;
}

bool IsEncrypted(const AVStream* stream) {
    return av::StreamSideData(*stream, AV_PKT_DATA_ENCRYPTION_INIT_INFO) != nullptr ||
           av::StreamSideData(*stream, AV_PKT_DATA_ENCRYPTION_INFO) != nullptr;
}

void ReadStreamFacts(const AVFormatContext* format, ContainerFacts& facts) {
    for (unsigned index = 0; index < format->nb_streams; ++index) {
        const AVStream* stream = format->streams[index];
        facts.playable = facts.playable || IsPlayableStream(stream);
        facts.hasProtectedContent = facts.hasProtectedContent || IsEncrypted(stream);
        if (facts.creationDate.isEmpty() && stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            facts.creationDate = TagValue(stream->metadata, "creation_time");
    }
}

void ReadContainerTags(const AVDictionary* metadata, ContainerFacts& facts) {
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(metadata, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        const QString key = QString::fromUtf8(entry->key);
        const QString value = QString::fromUtf8(entry->value);
        if (facts.lyrics.isEmpty() && IsLyricsKey(key)) facts.lyrics = value;
        if (!IsReportedElsewhere(key) && !value.isEmpty()) facts.metadataValues << value;
    }
}

QString YesOrNo(bool value) {
    return value ? "Yes" : "No";
}

// The MD5 and the two file size lines.
QString FileLines(const VideoFileProcessor& processor, const QString& path) {
    QString lines;
    if (const std::optional<QString> digest = processor.GetFileFingerPrint(path))
        lines += "\r\nMD5\t" + *digest;
    const QFileInfo file(path);
    const bool hasAttributes = file.exists();
    if (hasAttributes) lines += "\r\nFile Size :\t" + ByteCountText(file.size());
    lines += QString("\r\nFile Size (in Bytes) :\t%1").arg(hasAttributes ? file.size() : 0);
    return lines;
}

// The estimated data rate in bytes, figured in single precision as the platform does.
long long BytesPerSecond(double bitsPerSecond) {
    const float bytes = static_cast<float>(bitsPerSecond) * 0.125f;
    return std::isfinite(bytes) && bytes >= 0 && bytes < 9.2e18f ? static_cast<long long>(bytes)
                                                                 : 0;
}

QString TrackLines(const MediaAsset* asset) {
    const size_t trackCount = asset != nullptr ? asset->tracks().size() : 0;
    QString lines = QString("\r\nTrack Count:\t%1").arg(trackCount);
    if (trackCount == 0) return lines;
    lines += QString::asprintf("\r\nFrame Rate:\t%f", asset->nominalFrameRate());
    lines += "\r\nEstimated Data Rate :\t" +
             ByteCountText(BytesPerSecond(asset->estimatedDataRate())) + " per second.";
    return lines;
}

QString ContainerLines(const ContainerFacts& facts, const MediaAsset* asset) {
    QString lines;
    if (!facts.creationDate.isEmpty()) lines += "\r\nCreated :\t" + facts.creationDate;
    lines += "\r\nPlayable :\t" + YesOrNo(facts.playable);
    lines += "\r\nHas Protected Content :\t" + YesOrNo(facts.hasProtectedContent);
    lines += TrackLines(asset);
    if (!facts.lyrics.isEmpty()) lines += "\r\nLyrics:\t" + facts.lyrics;
    for (const QString& value : facts.metadataValues) lines += "\r\n" + value;
    return lines;
}

}  // namespace

QString ByteCountText(long long bytes) {
    if (bytes == 0) return "Zero KB";
    const QString sign = bytes < 0 ? "-" : "";
    const double magnitude = std::fabs(static_cast<double>(bytes));
    if (magnitude == 1) return sign + "1 byte";
    if (magnitude < 1000) return sign + QString::number(magnitude, 'f', 0) + " bytes";
    return sign + ScaledByteCount(magnitude);
}

QString ClockTextOfSeconds(double seconds) {
    if (!std::isfinite(seconds)) return "00:00:00";
    // floor, so a moment before 1970 reads as the previous day's clock.
    const double ofDay = std::fmod(std::floor(seconds), static_cast<double>(kSecondsPerDay));
    const long long second = static_cast<long long>(ofDay < 0 ? ofDay + kSecondsPerDay : ofDay);
    return QString::asprintf("%02lld:%02lld:%02lld", second / 3600, second / 60 % 60, second % 60);
}

ContainerFacts ReadContainerFacts(const QString& path) {
    ContainerFacts facts;
    try {
        const av::InputFormatPtr format = MediaAsset::OpenDemuxer(path);
        facts.creationDate = TagValue(format->metadata, "creation_time");
        ReadStreamFacts(format.get(), facts);
        ReadContainerTags(format->metadata, facts);
    } catch (const av::Error&) {
        return {};
    }
    return facts;
}

QString VideoFileProcessor::GetVideoInfo() {
    const MediaAsset* asset = m_pAsset.get();
    const QString path = QFileInfo(asset != nullptr ? asset->path() : mFilePath).absoluteFilePath();
    const QSizeF size = GetVideoDimensions();
    QString report = "Video Information\r\nPath\t" + path;
    report += QString::asprintf("\r\nDuration\t%0.2lf Seconds, ", GetVideoDurationInSeconds()) +
              ClockTextOfSeconds(CMTimeGetSeconds(GetVideoDuration()));
    report += QString::asprintf("\r\nDimensions\t%lld X %lld", static_cast<long long>(size.width()),
                                static_cast<long long>(size.height()));
    m_oVideoTimeScale = asset != nullptr ? asset->duration().timescale : 0;
    report += QString("\r\nTimescale\t%1").arg(m_oVideoTimeScale);
    report += FileLines(*this, path);
    report += ContainerLines(ReadContainerFacts(path), asset);
    return report;
}
