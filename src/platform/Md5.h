#pragma once
// MD5 digests (RFC 1321) as 32 lower-case hexadecimal digits. Any thread.

#include <QByteArray>
#include <QString>
#include <optional>

QString MD5OfData(const QByteArray& data);
// Reads the file in chunks; nullopt when it cannot be opened or read.
std::optional<QString> MD5OfFile(const QString& path);
