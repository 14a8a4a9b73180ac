#include "platform/MovieTextAtoms.h"

#include <QtEndian>
#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

#include "platform/OutputFile.h"

extern "C" {
#include <libavformat/avio.h>
}

namespace {

constexpr qint64 kHeaderBytes = 8;
constexpr qint64 kLargeHeaderBytes = 16;  // with a 64-bit size
constexpr qint64 kLargestTextBytes = 0xFFFF;
// The language of a user data text: "und" packed as ISO 639-2/T, which makes the text UTF-8.
constexpr quint16 kUndeterminedLanguage = 0x55C4;
constexpr quint32 kUtf8Data = 1;  // the well-known type of an iTunes "data" box

[[noreturn]] void Fail(const std::string& reason) {
    throw std::runtime_error("adding the movie's texts: " + reason);
}

QByteArray BigEndian16(quint16 value) {
    QByteArray bytes(2, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray BigEndian32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

void SetSize(QByteArray& data, qint64 offset, qint64 size) {
    if (size > std::numeric_limits<quint32>::max()) Fail("a box would outgrow 32-bit sizes");
    qToBigEndian(static_cast<quint32>(size), data.data() + offset);
}

QByteArray MakeBox(const QByteArray& type, const QByteArray& payload) {
    if (type.size() != 4) Fail("an atom type is not four bytes");
    QByteArray box = BigEndian32(0) + type + payload;
    SetSize(box, 0, box.size());
    return box;
}

// One box in a buffer or file: its type, where it starts, its length and its header's.
struct Span {
    QByteArray type;
    qint64 offset = 0;
    qint64 size = 0;
    qint64 header = kHeaderBytes;
    qint64 end() const { return offset + size; }
};

// The box whose header `bytes` (8 or 16 of them) start at `offset`; size 0 when malformed.
// A size of 0 in the header (a box up to the end) is taken as reaching `end`.
Span BoxAt(const QByteArray& bytes, qint64 offset, qint64 end) {
    if (bytes.size() < kHeaderBytes) return {{}, offset, 0};
    Span box{bytes.mid(4, 4), offset, qFromBigEndian<quint32>(bytes.constData())};
    if (box.size == 0) box.size = end - offset;
    if (box.size == 1 && bytes.size() >= kLargeHeaderBytes) {
        box.size = qFromBigEndian<qint64>(bytes.constData() + kHeaderBytes);
        box.header = kLargeHeaderBytes;
    }
    if (box.size < box.header || box.size > end - offset) box.size = 0;
    return box;
}

// The complete boxes from `begin` to `end` of `data`, in order. What follows the last of
// them (QuickTime's optional zero word closing a user data list) belongs to none.
std::vector<Span> ChildBoxes(const QByteArray& data, qint64 begin, qint64 end) {
    std::vector<Span> boxes;
    for (qint64 at = begin; at + kHeaderBytes <= end;) {
        const Span box = BoxAt(data.mid(at, std::min(kLargeHeaderBytes, end - at)), at, end);
        if (box.size == 0) break;
        boxes.push_back(box);
        at = box.end();
    }
    return boxes;
}

QByteArray UserDataText(const MovieTextAtoms::Item& item) {
    if (item.text.size() > kLargestTextBytes) Fail("a user data text is over 65535 bytes");
    return MakeBox(item.type, BigEndian16(static_cast<quint16>(item.text.size())) +
                                  BigEndian16(kUndeterminedLanguage) + item.text);
}

// An iTunes "meta" box: a full box (version and flags 0) with the handler "mdir" by "appl"
// and the list of items, each holding its text in a "data" box (type, then locale 0).
QByteArray ITunesMetadata(const std::vector<MovieTextAtoms::Item>& items) {
    QByteArray list;
    for (const MovieTextAtoms::Item& item : items)
        list += MakeBox(item.type,
                        MakeBox("data", BigEndian32(kUtf8Data) + BigEndian32(0) + item.text));
    const QByteArray handler =
        MakeBox("hdlr", BigEndian32(0) + BigEndian32(0) + "mdirappl" + QByteArray(9, '\0'));
    return MakeBox("meta", BigEndian32(0) + handler + MakeBox("ilst", list));
}

QByteArray AddedAtoms(const MovieTextAtoms& atoms) {
    QByteArray added;
    for (const MovieTextAtoms::Item& item : atoms.userData) added += UserDataText(item);
    if (!atoms.iTunes.empty()) added += ITunesMetadata(atoms.iTunes);
    return added;
}

// Where the children of a box from `begin` to `end` end: after its last complete child.
qint64 EndOfChildren(const QByteArray& data, qint64 begin, qint64 end) {
    const std::vector<Span> children = ChildBoxes(data, begin, end);
    return children.empty() ? begin : children.back().end();
}

// The last top-level box of the file behind `output`; its size is 0 when the file is empty.
Span LastTopLevelBox(MuxerOutput& output) {
    Span last;
    for (qint64 at = 0;;) {
        const QByteArray header = output.ReadBack(at, kLargeHeaderBytes);
        if (header.isEmpty()) return last;
        // The muxer gives every box of a finished file its size (none reaches "to the end").
        if (header.size() < kHeaderBytes || qFromBigEndian<quint32>(header.constData()) == 0)
            Fail("the file's boxes are malformed");
        const Span box = BoxAt(header, at, std::numeric_limits<qint64>::max());
        if (box.size == 0) Fail("the file's boxes are malformed");
        last = box;
        at = box.end();
    }
}

}  // namespace

QByteArray AtomType(const QString& key) {
    const bool latin1 =
        std::all_of(key.begin(), key.end(), [](QChar c) { return c.unicode() < 256; });
    return key.size() == 4 && latin1 ? key.toLatin1() : QByteArray();
}

QByteArray WithTextAtoms(const QByteArray& moov, const MovieTextAtoms& atoms) {
    const Span box = BoxAt(moov.left(kLargeHeaderBytes), 0, moov.size());
    if (box.type != "moov" || box.header != kHeaderBytes || box.size != moov.size())
        Fail("the file has no movie box with a 32-bit size");
    const QByteArray added = AddedAtoms(atoms);
    const std::vector<Span> children = ChildBoxes(moov, kHeaderBytes, moov.size());
    const auto userData = std::find_if(children.begin(), children.end(),
                                       [](const Span& child) { return child.type == "udta"; });
    QByteArray grown = moov;
    if (userData == children.end()) {
        grown.insert(EndOfChildren(moov, kHeaderBytes, moov.size()), MakeBox("udta", added));
    } else {
        if (userData->header != kHeaderBytes) Fail("the user data box has a 64-bit size");
        grown.insert(EndOfChildren(moov, userData->offset + kHeaderBytes, userData->end()), added);
        SetSize(grown, userData->offset, userData->size + added.size());
    }
    SetSize(grown, 0, grown.size());
    return grown;
}

void AddTextAtoms(MuxerOutput& output, const MovieTextAtoms& atoms) {
    const Span moov = LastTopLevelBox(output);
    if (moov.type != "moov") Fail("the movie box is not at the end of the file");
    const QByteArray grown = WithTextAtoms(output.ReadBack(moov.offset, moov.size), atoms);
    if (grown.size() > std::numeric_limits<int>::max()) Fail("the movie box is too large");
    AVIOContext* io = output.context();
    if (avio_seek(io, moov.offset, SEEK_SET) < 0) Fail("cannot return to the movie box");
    // A failed write is kept in the context, and committing the file reports it.
    avio_write(io, reinterpret_cast<const unsigned char*>(grown.constData()),
               static_cast<int>(grown.size()));
}
