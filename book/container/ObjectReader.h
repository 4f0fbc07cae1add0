// An object read a piece at a time, so that a large contents file or page is
// never held whole in two forms.
#pragma once

#include <windows.h>

#include "GuardedChm.h"

#include <optional>

// Where a text's bytes come from, in order: an object read from the book, or
// an object's bytes read ahead on another thread.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `room` bytes into `out`; returns how many belong to the text.
    virtual size_t Next(BYTE* out, size_t room) = 0;
    // The text has ended: nothing more will be read.
    virtual bool Done() const = 0;
    // A read came up short of the object's end (damage), not at a zero byte.
    virtual bool CameShort() const = 0;
};

// The bytes of a resolved object: read in order up to its first zero byte
// (the text's end) or up to where a read comes up short, or read anywhere.
// Each read is checked by the container for the blocks it needs, rather than
// once for the whole object. The container must outlive the reader.
class ObjectReader : public ByteSource {
public:
    ObjectReader(const GuardedChm& container, const chmUnitInfo& unit, DWORD length)
        : container(&container), unit(unit), length(length)
    {
    }

    size_t Next(BYTE* out, size_t room) override;
    bool Done() const override { return done; }
    bool CameShort() const override { return cameShort; }

    // Up to `count` bytes from `offset`, zero bytes included; returns how
    // many were read (fewer past the object's end, or where a read failed).
    size_t ReadAt(ULONGLONG offset, BYTE* out, size_t count) const;
    ULONGLONG Length() const { return length; }

private:
    const GuardedChm* container;
    chmUnitInfo unit;
    ULONGLONG length;
    ULONGLONG offset = 0;  // of the next read in the object
    bool done = false;
    bool cameShort = false;
};

// The same text converted to UTF-16: in the code page the text declares for
// itself (a byte-order mark or a meta tag, see Charset.h), else in the book's.
class TextReader {
public:
    // Raw bytes read per piece.
    static constexpr size_t kPieceBytes = 64 * 1024;
    // The most units one piece converts to: every code page gives at most one
    // unit per byte, and a piece may carry a cut character of the one before.
    static constexpr size_t kMaxPieceUnits = 2 * kPieceBytes;

    TextReader(const ObjectReader& object, UINT bookCodePage);
    // Reads `source`, which must outlive the reader.
    TextReader(ByteSource& source, UINT bookCodePage);
    ~TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // Converts the next piece into `out`, which has room for `room` units;
    // returns the units written. Done() once the text has ended (at once when
    // no buffer could be had for the reading).
    size_t Next(WCHAR* out, size_t room);
    bool Done() const { return done; }
    // The code page the text is read in, once the first piece is read.
    UINT CodePage() const { return codePage; }
    bool CameShort() const { return source.CameShort(); }

private:
    std::optional<ObjectReader> own;  // the object read, when one was given
    ByteSource& source;
    UINT codePage;
    BYTE* bytes;           // kPieceBytes read after what was carried over
    size_t carried = 0;    // bytes of a cut character kept for the next piece
    bool started = false;  // the declaration has been looked for
    bool done = false;
};
