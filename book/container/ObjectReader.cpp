#include "ObjectReader.h"

#include "Charset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// A cut between two pieces must not split a character. Bytes below 0x30 stand
// for themselves in every code page the device uses (no lead or trail byte of
// a double-byte, UTF-8 or GB18030 character is that small).
size_t CharacterBoundary(const BYTE* bytes, size_t count)
{
    for (size_t i = count; i > 0; --i) {
        if (bytes[i - 1] < 0x30)
            return i;
    }
    return 0;
}

} // namespace

size_t ObjectReader::Next(BYTE* out, size_t room)
{
    if (done)
        return 0;
    size_t wanted = (size_t)std::min<ULONGLONG>(room, length - offset);
    LONGINT64 got = container->Retrieve(unit, out, offset, wanted);
    if (got < 0)
        got = 0;
    offset += got;
    // What was not read counts as zeros.
    cameShort = (size_t)got < wanted;
    done = cameShort || offset >= length;
    if (const void* zero = memchr(out, 0, (size_t)got)) {
        done = true;
        return static_cast<const BYTE*>(zero) - out;
    }
    return (size_t)got;
}

size_t ObjectReader::ReadAt(ULONGLONG offset, BYTE* out, size_t count) const
{
    if (offset >= length || count == 0)
        return 0;
    size_t wanted = (size_t)std::min<ULONGLONG>(count, length - offset);
    LONGINT64 got = container->Retrieve(unit, out, offset, wanted);
    return got > 0 ? (size_t)got : 0;
}

TextReader::TextReader(const ObjectReader& object, UINT bookCodePage)
    : own(object), source(*own), codePage(bookCodePage), bytes(static_cast<BYTE*>(malloc(2 * kPieceBytes)))
{
    done = !bytes;
}

TextReader::TextReader(ByteSource& source, UINT bookCodePage)
    : source(source), codePage(bookCodePage), bytes(static_cast<BYTE*>(malloc(2 * kPieceBytes)))
{
    done = !bytes;
}

TextReader::~TextReader() { free(bytes); }

size_t TextReader::Next(WCHAR* out, size_t room)
{
    if (done)
        return 0;
    size_t count = carried + source.Next(bytes + carried, kPieceBytes);
    done = source.Done();
    size_t from = 0;
    if (!started) {
        started = true;
        if (UINT declared = DeclaredCodePage(bytes, count, &from))
            codePage = declared;
    }
    size_t cut = done ? count : from + CharacterBoundary(bytes + from, count - from);
    if (cut == from && count >= kPieceBytes)
        cut = count;
    size_t units = 0;
    if (cut > from && room > 0) {
        int converted = MultiByteToWideChar(codePage, 0, (LPCSTR)bytes + from, (int)(cut - from), out,
                                            (int)std::min<size_t>(room, INT32_MAX));
        units = converted > 0 ? (size_t)converted : 0;
    }
    carried = count - cut;
    memmove(bytes, bytes + cut, carried);
    return units;
}
