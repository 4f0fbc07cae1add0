#include "ReadAhead.h"

#include <algorithm>
#include <cstring>

ReadAhead::ReadAhead(Book& book, std::vector<const ObjectEntry*> objects)
    : book(book), objects(std::move(objects)), current(*this), reader([this] { Read(); })
{
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard<std::mutex> hold(lock);
        stopping = true;
    }
    changed.notify_all();
    reader.join();
}

ReadAhead::Object* ReadAhead::NextObject()
{
    if (next >= objects.size())
        return nullptr;
    while (!current.piece.last)
        current.piece = Pop();
    ++next;
    current.piece = Pop();
    current.at = 0;
    current.done = false;
    current.cameShort = false;
    return &current;
}

size_t ReadAhead::Object::Next(BYTE* out, size_t room)
{
    if (done)
        return 0;
    size_t count = std::min(room, piece.bytes.size() - at);
    const BYTE* from = piece.bytes.data() + at;
    if (const void* zero = count > 0 ? memchr(from, 0, count) : nullptr) {
        count = static_cast<const BYTE*>(zero) - from;
        done = true;
        cameShort = piece.cameShort;
    }
    if (count > 0)
        memcpy(out, from, count);
    at += count;
    if (!done && at == piece.bytes.size())
        Advance();
    return count;
}

size_t ReadAhead::Object::Head(BYTE* out, size_t count) const
{
    count = std::min(count, piece.bytes.size());
    if (count > 0)
        memcpy(out, piece.bytes.data(), count);
    return count;
}

bool ReadAhead::Object::NextPiece(const BYTE** bytes, size_t* count)
{
    if (done)
        return false;
    // The piece given stays put while the next one comes.
    given.swap(piece.bytes);
    *bytes = given.data() + at;
    *count = given.size() - at;
    Advance();
    return true;
}

// Past the piece read: on to the next one, or the object's end.
void ReadAhead::Object::Advance()
{
    if (piece.last) {
        done = true;
        cameShort = piece.cameShort;
        return;
    }
    piece = ahead.Pop();
    at = 0;
}

void ReadAhead::Read()
{
    for (const ObjectEntry* entry : objects) {
        std::optional<ObjectReader> object = book.ReaderFor(*entry);
        if (!object) {
            if (!Push({{}, true, true, false}))
                return;
            continue;
        }
        for (ULONGLONG at = 0;;) {
            size_t wanted = (size_t)std::min<ULONGLONG>(kPieceBytes, object->Length() - at);
            Object::Piece piece{std::vector<BYTE>(wanted), false, false, true};
            size_t got = object->ReadAt(at, piece.bytes.data(), wanted);
            piece.bytes.resize(got);
            at += got;
            piece.cameShort = got < wanted;
            piece.last = piece.cameShort || at >= object->Length();
            bool last = piece.last;
            if (!Push(std::move(piece)))
                return;
            if (last)
                break;
        }
    }
}

// Each side waits only for the other to bring a piece or to make room, and
// the reading thread, once the queue is full, is woken only when half of it
// is free: a book of many small objects hands over thousands of pieces.
bool ReadAhead::Push(Object::Piece piece)
{
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [this] { return stopping || waiting.size() < kAheadPieces; });
    if (stopping)
        return false;
    waiting.push_back(std::move(piece));
    if (waiting.size() == 1)
        changed.notify_all();
    return true;
}

ReadAhead::Object::Piece ReadAhead::Pop()
{
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [this] { return !waiting.empty(); });
    Object::Piece piece = std::move(waiting.front());
    waiting.pop_front();
    if (waiting.size() == kAheadPieces / 2)
        changed.notify_all();
    return piece;
}
