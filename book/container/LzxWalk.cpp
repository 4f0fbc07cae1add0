// The LZX walk.
//
// chmlib's LZX decoder trusts the bitstream as well. A repeated offset loaded
// raw from an uncompressed block, or a position slot that the window does not
// have (code lengths that run past the main tree's end give its symbols a
// code), sends a match copy far before the window; a long run reads on past
// the block's bytes. A damaged stream gets there with every table intact. So a block is
// first walked bit for bit as chmlib's decoder will take it: the same bit
// buffer and word fetches, the same trees built from the same code lengths,
// the same state carried from block to block since the last reset, and the
// same failures. The walk tracks positions, never bytes.
#include "LzxWalk.h"

#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr int kMainSymbols = 256 + 50 * 8;  // the decoder's tree sizes, whatever the window
constexpr int kLengthSymbols = 250;
constexpr int kPretreeSymbols = 20;
constexpr int kAlignedSymbols = 8;
constexpr int kLengthSafety = 64;  // run-length codes may write this far past a tree's end
constexpr int kLiterals = 256;
constexpr int kPrimaryLengths = 7;
constexpr int kMinMatch = 2;

constexpr BYTE kExtraBits[51] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,  7,
                             7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15,
                             16, 16, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17};

constexpr std::array<DWORD, 51> PositionBases()
{
    std::array<DWORD, 51> bases{};
    for (int slot = 1; slot < 51; ++slot)
        bases[slot] = bases[slot - 1] + (1u << kExtraBits[slot - 1]);
    return bases;
}
constexpr std::array<DWORD, 51> kPositionBase = PositionBases();
static_assert(kPositionBase[4] == 4 && kPositionBase[36] == 262144 && kPositionBase[50] == 2097152);

// A canonical prefix code with lengths of up to 16 bits, as LZX sends its
// trees. chmlib accepts a tree only when its lengths fill the code space
// exactly, or are all zero; an all-zero tree decodes every symbol as 0 from
// no bits at all. Lengths above 16 (which damaged deltas leave behind) take
// no part in the code but still make a tree non-empty.
class PrefixCode {
public:
    bool Build(const BYTE* lengths, int symbols, int fastBits)
    {
        this->fastBits = fastBits;
        DWORD counts[17] = {};
        empty = true;
        for (int s = 0; s < symbols; ++s) {
            empty = empty && lengths[s] == 0;
            if (lengths[s] >= 1 && lengths[s] <= 16)
                ++counts[lengths[s]];
        }
        if (empty)
            return true;
        DWORD space = 0;
        for (int length = 1; length <= 16; ++length)
            space += counts[length] << (16 - length);
        if (space != 1u << 16)
            return false;
        DWORD code = 0, index = 0;
        for (int length = 1; length <= 16; ++length) {
            first[length] = code;
            offset[length] = index;
            count[length] = counts[length];
            index += counts[length];
            code = (code + counts[length]) << 1;
        }
        DWORD next[17];
        memcpy(next, offset, sizeof next);
        for (int s = 0; s < symbols; ++s) {
            if (lengths[s] >= 1 && lengths[s] <= 16)
                sorted[next[lengths[s]]++] = (WORD)s;
        }
        fast.assign((size_t)1 << fastBits, 0);
        for (int length = 1; length <= fastBits; ++length) {
            for (DWORD k = 0; k < count[length]; ++k) {
                DWORD from = (first[length] + k) << (fastBits - length);
                DWORD to = (first[length] + k + 1) << (fastBits - length);
                WORD entry = (WORD)(sorted[offset[length] + k] << 5 | length);
                for (DWORD e = from; e < to; ++e)
                    fast[e] = entry;
            }
        }
        return true;
    }

    // The symbol that the next 16 bits start with, and its length.
    int Decode(DWORD next16, int* length) const
    {
        if (empty) {
            *length = 0;
            return 0;
        }
        if (WORD entry = fast[next16 >> (16 - fastBits)]) {
            *length = entry & 31;
            return entry >> 5;
        }
        for (int bits = fastBits + 1; bits <= 16; ++bits) {
            DWORD code = next16 >> (16 - bits);
            if (code - first[bits] < count[bits]) {
                *length = bits;
                return sorted[offset[bits] + code - first[bits]];
            }
        }
        *length = 16;  // not reached: a full code has a symbol for every 16 bits
        return 0;
    }

private:
    int fastBits = 0;
    bool empty = true;
    std::vector<WORD> fast;  // symbol << 5 | length, 0 for the longer codes
    DWORD first[17] = {}, offset[17] = {}, count[17] = {};
    WORD sorted[kMainSymbols] = {};
};

} // namespace

class LzxWalk::State {
public:
    explicit State(DWORD windowSize) : windowSize(windowSize)
    {
        int bits = 0;
        while ((1u << bits) < windowSize)
            ++bits;
        int slots = bits == 20 ? 42 : bits == 21 ? 50 : bits * 2;
        mainElements = kLiterals + slots * 8;
        Reset();
    }

    // chmlib resets the decoder before the first block of every interval.
    void Reset()
    {
        r0 = r1 = r2 = 1;
        headerRead = false;
        blockType = 0;
        blockLength = blockRemaining = 0;
        position = 0;
        memset(mainLengths, 0, sizeof mainLengths);
        memset(lengthLengths, 0, sizeof lengthLengths);
    }

    // One block: `size` bytes of input in a buffer of `bufferSize` (chmlib's),
    // decoded to `outputSize` bytes. False where chmlib's decoder would fail,
    // or would read or copy outside its window or its input buffer.
    bool Block(const BYTE* bytes, size_t size, size_t bufferSize, int outputSize)
    {
        input = bytes;
        inputSize = size;
        at = 0;
        bitBuffer = 0;
        bitsLeft = 0;
        fetched = used = 0;
        if (!Frame(outputSize))
            return false;
        Note();
        // Every bit the decoder used was the block's own (past them chmlib's
        // buffer holds whatever it held), and every byte it fetched lies
        // inside the buffer.
        return used <= inputSize && fetched <= bufferSize;
    }

private:
    bool Frame(int outputSize)
    {
        int toGo = outputSize;
        if (!headerRead) {
            if (Bits(1)) {
                Bits(16);
                Bits(16);
            }
            headerRead = true;
        }
        while (toGo > 0) {
            if (blockRemaining == 0 && !BlockHeader())
                return false;
            // The decoder lets its input run at most a word past the end
            // while it reads a block header.
            if (at > inputSize && (at > inputSize + 2 || bitsLeft < 16))
                return false;
            int run;
            while ((run = (int)blockRemaining) > 0 && toGo > 0) {
                if (run > toGo)
                    run = toGo;
                toGo -= run;
                blockRemaining -= run;
                position &= windowSize - 1;
                if (position + run > windowSize)
                    return false;
                if (blockType == kUncompressed) {
                    if (at + run > inputSize)
                        return false;
                    at += run;
                    used = used > at ? used : at;
                    position += run;
                } else if (!Matches(run)) {
                    return false;
                }
                Note();
            }
        }
        // The decoded block is copied out of the window, ending at the
        // current position.
        return (position ? position : windowSize) >= (DWORD)outputSize;
    }

    bool BlockHeader()
    {
        if (blockType == kUncompressed) {
            Note();
            if (blockLength & 1)
                ++at;
            bitBuffer = 0;
            bitsLeft = 0;
        }
        blockType = (int)Bits(3);
        DWORD high = Bits(16);
        DWORD low = Bits(8);
        blockRemaining = blockLength = high << 8 | low;
        switch (blockType) {
        case kAligned:
            for (int i = 0; i < kAlignedSymbols; ++i)
                alignedLengths[i] = (BYTE)Bits(3);
            if (!aligned.Build(alignedLengths, kAlignedSymbols, 7))
                return false;
            [[fallthrough]];
        case kVerbatim:
            return Lengths(mainLengths, 0, kLiterals) && Lengths(mainLengths, kLiterals, mainElements) &&
                   main.Build(mainLengths, kMainSymbols, 12) && Lengths(lengthLengths, 0, kLengthSymbols - 1) &&
                   length.Build(lengthLengths, kLengthSymbols, 12);
        case kUncompressed:
            // Three repeated offsets follow raw, from the next whole word.
            Ensure(16);
            Note();
            if (bitsLeft > 16)
                at -= 2;
            r0 = Raw32(at);
            r1 = Raw32(at + 4);
            r2 = Raw32(at + 8);
            at += 12;
            used = used > at ? used : at;
            fetched = fetched > at ? fetched : at;
            return true;
        default:
            return false;
        }
    }

    // Code lengths, sent as deltas from the previous tree's through a small
    // tree of their own; runs may write past `last`, as in chmlib.
    bool Lengths(BYTE* lengths, int first, int last)
    {
        for (int i = 0; i < kPretreeSymbols; ++i)
            pretreeLengths[i] = (BYTE)Bits(4);
        if (!pretree.Build(pretreeLengths, kPretreeSymbols, 6))
            return false;
        for (int x = first; x < last;) {
            int code = Symbol(pretree);
            if (code == 17 || code == 18) {
                int run = code == 17 ? (int)Bits(4) + 4 : (int)Bits(5) + 20;
                while (run--)
                    lengths[x++] = 0;
            } else if (code == 19) {
                int run = (int)Bits(1) + 4;
                int value = lengths[x] - Symbol(pretree);
                if (value < 0)
                    value += 17;
                while (run--)
                    lengths[x++] = (BYTE)value;
            } else {
                int value = lengths[x] - code;
                if (value < 0)
                    value += 17;
                lengths[x++] = (BYTE)value;
            }
        }
        return true;
    }

    // Literals and matches of a verbatim or aligned block. A match copies
    // from `offset` bytes back and wraps once through the window's end: an
    // offset beyond the window plus the position reads before the window.
    bool Matches(int run)
    {
        while (run > 0) {
            int element = Symbol(main);
            if (element < kLiterals) {
                ++position;
                --run;
                continue;
            }
            element -= kLiterals;
            int matchLength = element & kPrimaryLengths;
            if (matchLength == kPrimaryLengths)
                matchLength += Symbol(length);
            matchLength += kMinMatch;
            DWORD offset = (DWORD)(element >> 3);
            if (offset > 2) {
                int extra = kExtraBits[offset];
                DWORD base = kPositionBase[offset] - 2;
                if (blockType == kVerbatim) {
                    offset = offset == 3 ? 1 : base + Bits(extra);
                } else if (extra > 3) {
                    offset = base + (Bits(extra - 3) << 3);
                    offset += (DWORD)Symbol(aligned);
                } else if (extra == 3) {
                    offset = base + (DWORD)Symbol(aligned);
                } else if (extra > 0) {
                    offset = base + Bits(extra);
                } else {
                    offset = 1;
                }
                r2 = r1;
                r1 = r0;
                r0 = offset;
            } else if (offset == 0) {
                offset = r0;
            } else if (offset == 1) {
                offset = r1;
                r1 = r0;
                r0 = offset;
            } else {
                offset = r2;
                r2 = r0;
                r0 = offset;
            }
            if ((ULONGLONG)offset > (ULONGLONG)position + windowSize)
                return false;
            position += matchLength;
            if (position > windowSize)
                return false;
            run -= matchLength;
        }
        return true;
    }

    // The decoder's bit buffer: 16-bit little-endian words, first bit highest.
    void Ensure(int count)
    {
        while (bitsLeft < count) {
            DWORD word = at + 1 < inputSize ? (DWORD)input[at + 1] << 8 | input[at] : Byte(at + 1) << 8 | Byte(at);
            bitBuffer |= word << (16 - bitsLeft);
            bitsLeft += 16;
            at += 2;
            fetched = fetched > at ? fetched : at;
        }
    }
    DWORD Bits(int count)
    {
        Ensure(count);
        DWORD value = bitBuffer >> (32 - count);
        bitBuffer <<= count;
        bitsLeft -= count;
        return value;
    }
    int Symbol(const PrefixCode& code)
    {
        Ensure(16);
        int bits = 0;
        int symbol = code.Decode(bitBuffer >> 16, &bits);
        bitBuffer <<= bits;
        bitsLeft -= bits;
        return symbol;
    }
    DWORD Byte(size_t i) const { return i < inputSize ? input[i] : 0; }
    DWORD Raw32(size_t i) const { return Byte(i) | Byte(i + 1) << 8 | Byte(i + 2) << 16 | Byte(i + 3) << 24; }
    // How far into the input the decoder's decisions reach.
    void Note()
    {
        size_t bits = at * 8 - (bitsLeft > 0 ? (size_t)bitsLeft : 0);
        size_t bytes = (bits + 7) / 8;
        used = used > bytes ? used : bytes;
    }

    enum { kVerbatim = 1, kAligned = 2, kUncompressed = 3 };

    DWORD windowSize;
    int mainElements;
    DWORD r0, r1, r2;
    bool headerRead;
    int blockType;
    DWORD blockLength, blockRemaining;
    DWORD position;
    BYTE pretreeLengths[kPretreeSymbols + kLengthSafety] = {};
    BYTE mainLengths[kMainSymbols + kLengthSafety];
    BYTE lengthLengths[kLengthSymbols + kLengthSafety];
    BYTE alignedLengths[kAlignedSymbols + kLengthSafety] = {};
    PrefixCode pretree, main, length, aligned;

    const BYTE* input = nullptr;
    size_t inputSize = 0;
    size_t at = 0;  // next byte the decoder fetches
    DWORD bitBuffer = 0;
    int bitsLeft = 0;
    size_t fetched = 0, used = 0;
};

LzxWalk::LzxWalk(DWORD windowSize) : state(std::make_unique<State>(windowSize)) {}

LzxWalk::~LzxWalk() = default;

void LzxWalk::Reset() { state->Reset(); }

bool LzxWalk::Block(const BYTE* bytes, size_t size, size_t bufferSize, int outputSize)
{
    return state->Block(bytes, size, bufferSize, outputSize);
}
