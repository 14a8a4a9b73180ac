#pragma once
// Text items in the two forms the mov muxer does not write beside its QuickTime metadata
// keys: QuickTime user data text atoms (such as "©cmt" in the movie's "udta") and iTunes
// metadata (the same four-character types in the "ilst" of an iTunes "meta" box in that
// "udta"). They are added to the movie box of the finished file. Values and free functions;
// a file is worked on by the thread that writes it.

#include <QByteArray>
#include <QString>
#include <vector>

class MuxerOutput;

struct MovieTextAtoms {
    struct Item {
        QByteArray type;  // four bytes, as AtomType() makes them
        QByteArray text;  // UTF-8
    };
    std::vector<Item> userData;
    std::vector<Item> iTunes;

    bool empty() const { return userData.empty() && iTunes.empty(); }
};

// The atom type that a key such as "©cmt" names: its four characters in Latin-1. Empty when
// the key is no such type.
QByteArray AtomType(const QString& key);

// The whole movie box `moov` with the atoms added at the end of its user data box (a new one
// at its end when it has none), every other byte as it was. Throws std::runtime_error when
// `moov` is no movie box or a box would outgrow 32-bit sizes.
QByteArray WithTextAtoms(const QByteArray& moov, const MovieTextAtoms& atoms);

// Adds the atoms to the finished file behind `output`, whose last top-level box must be the
// movie box (as the muxer writes it without "faststart"). The box grows in place, so the
// media data and the chunk offsets into it stay as they are. Throws std::runtime_error.
void AddTextAtoms(MuxerOutput& output, const MovieTextAtoms& atoms);
