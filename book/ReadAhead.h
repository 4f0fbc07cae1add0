// Objects read ahead: the bytes of many objects, decoded from the book on a
// thread of its own while the caller works on the objects before them, so
// that decoding the compressed section overlaps whatever is done with the
// bytes. Only that thread uses the book's container until the read-ahead
// ends; at most kAheadPieces pieces wait at a time, whatever the book's size.
#pragma once

#include "Book.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class ReadAhead {
public:
    static constexpr size_t kPieceBytes = TextReader::kPieceBytes;
    static constexpr size_t kAheadPieces = 32;

    // One object's bytes, read in order: as text (a ByteSource that ends at
    // the first zero byte, as an ObjectReader reads), or whole, a piece at a
    // time. The pieces are those that ObjectReader::ReadAt gives from the
    // start, kPieceBytes each.
    class Object : public ByteSource {
    public:
        size_t Next(BYTE* out, size_t room) override;
        bool Done() const override { return done; }
        bool CameShort() const override { return cameShort; }

        // Whether the book had a reader for the object.
        bool Readable() const { return piece.readable; }
        // Up to `count` of the object's first bytes, zero bytes and all, before
        // anything else is read of it.
        size_t Head(BYTE* out, size_t count) const;
        // The next piece whole, zero bytes and all, valid until the next call;
        // false once the last one was given (then CameShort tells whether the
        // object came whole).
        bool NextPiece(const BYTE** bytes, size_t* count);

    private:
        friend class ReadAhead;
        struct Piece {
            std::vector<BYTE> bytes;
            bool last;
            bool cameShort;
            bool readable;
        };
        explicit Object(ReadAhead& ahead) : ahead(ahead) {}
        void Advance();

        ReadAhead& ahead;
        Piece piece{{}, true, false, true};  // the piece being read
        size_t at = 0;                       // of its bytes, read already
        std::vector<BYTE> given;             // the piece NextPiece gave last
        bool done = true;
        bool cameShort = false;
    };

    // Starts reading `objects`, in that order.
    ReadAhead(Book& book, std::vector<const ObjectEntry*> objects);
    // Stops the reading, wherever it stands.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next object's bytes; what the caller left unread of the one before
    // is passed over. Valid until the next call; null past the last object.
    Object* NextObject();

private:
    void Read();
    // False once the read-ahead is stopping.
    bool Push(Object::Piece piece);
    Object::Piece Pop();

    Book& book;
    std::vector<const ObjectEntry*> objects;
    size_t next = 0;  // of the object NextObject gives next
    Object current;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Object::Piece> waiting;
    bool stopping = false;
    std::thread reader;  // last: started once the rest is ready
};
