#include "platform/Md5.h"

#include <QCryptographicHash>
#include <QFile>

QString MD5OfData(const QByteArray& data) {
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
}

std::optional<QString> MD5OfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Md5);
    constexpr qint64 kChunk = 1 << 20;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(kChunk);
        if (chunk.isEmpty() && file.error() != QFileDevice::NoError) return std::nullopt;
        hash.addData(chunk);
    }
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return QString::fromLatin1(hash.result().toHex());
}
