// A walk over LZX blocks as chmlib's decoder will take them, tracking
// positions, never bytes: it tells, before chmlib decodes a block, whether the
// decoder would fail, or read or copy outside its window or its input.
#pragma once

#include <windows.h>

#include <memory>

class LzxWalk {
public:
    explicit LzxWalk(DWORD windowSize);
    ~LzxWalk();
    LzxWalk(const LzxWalk&) = delete;
    LzxWalk& operator=(const LzxWalk&) = delete;

    // chmlib resets the decoder before the first block of every interval.
    void Reset();
    // One block: `size` bytes of input in a buffer of `bufferSize` (chmlib's),
    // decoded to `outputSize` bytes, after the blocks walked since the last
    // Reset. False where chmlib's decoder would fail, or would read or copy
    // outside its window or its input buffer.
    bool Block(const BYTE* bytes, size_t size, size_t bufferSize, int outputSize);

private:
    class State;
    std::unique_ptr<State> state;
};
