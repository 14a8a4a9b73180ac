#include "platform/DurationText.h"

#include <QStringList>
#include <cmath>

QString DurationText(double seconds) {
    if (!std::isfinite(seconds)) return QStringLiteral("0s");
    const long long whole = static_cast<long long>(std::trunc(std::fabs(seconds)));
    const long long parts[] = {whole / 86400, whole / 3600 % 24, whole / 60 % 60, whole % 60};
    const char* units[] = {"d", "h", "m", "s"};
    QStringList texts;
    for (int index = 0; index < 4; ++index)
        if (parts[index] != 0) texts << QString::number(parts[index]) + units[index];
    return texts.isEmpty() ? QStringLiteral("0s") : texts.join(' ');
}
