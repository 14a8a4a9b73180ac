// Name order with numbers by value: "Frame 2" before "Frame 10".
#include "wall/SortedImageFiles.h"

#include <algorithm>

namespace {

bool IsDigit(QChar character) {
    return character >= u'0' && character <= u'9';
}

qsizetype DigitRunEnd(const QString& text, qsizetype from) {
    while (from < text.size() && IsDigit(text[from])) ++from;
    return from;
}

// Compares two runs of digits by value without converting them, so runs of any length work.
int CompareDigitRuns(QStringView left, QStringView right) {
    while (left.size() > 1 && left.front() == u'0') left = left.mid(1);
    while (right.size() > 1 && right.front() == u'0') right = right.mid(1);
    if (left.size() != right.size()) return left.size() < right.size() ? -1 : 1;
    return left.compare(right, Qt::CaseSensitive);
}

// Negative, zero or positive; numeric runs by value, everything else by UTF-16 code unit.
int CompareNumerically(const QString& left, const QString& right) {
    qsizetype l = 0;
    qsizetype r = 0;
    while (l < left.size() && r < right.size()) {
        if (IsDigit(left[l]) && IsDigit(right[r])) {
            const qsizetype leftEnd = DigitRunEnd(left, l);
            const qsizetype rightEnd = DigitRunEnd(right, r);
            const int order = CompareDigitRuns(QStringView(left).mid(l, leftEnd - l),
                                               QStringView(right).mid(r, rightEnd - r));
            if (order != 0) return order;
            l = leftEnd;
            r = rightEnd;
        } else {
            if (left[l] != right[r]) return left[l].unicode() < right[r].unicode() ? -1 : 1;
            ++l;
            ++r;
        }
    }
    return (left.size() - l > 0 ? 1 : 0) - (right.size() - r > 0 ? 1 : 0);
}

}  // namespace

QStringList GetSortedImageFiles(const QStringList& names) {
    QStringList sorted = names;
    // Names equal by value ("01" and "1") still get one fixed order, by their code units.
    std::sort(sorted.begin(), sorted.end(), [](const QString& left, const QString& right) {
        const int order = CompareNumerically(left, right);
        return order != 0 ? order < 0 : left < right;
    });
    return sorted;
}
