// chmlib trusts what it reads from a file. Before a book is handed to it, its
// headers, directory and compression tables are checked here with plain reads,
// and every object is checked against its section before it is retrieved.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// The chmlib release whose buffers and LZX decoder state the guard and the
// LZX walk mirror; another release may read past what they check.
constexpr char kMirroredChmlib[] = "0.40";

// The compressed section's LZX blocks, walked before chmlib decodes them.
class CompressedStream;

struct ContainerLimits {
    ULONGLONG fileSize;
    ULONGLONG section0Size;  // bytes of the uncompressed section that the file holds
    ULONGLONG section1Size;  // uncompressed length of the compressed section; 0 if none
    DWORD directoryEntries;  // the objects that chmlib's enumeration will report
    DWORD language;          // the LCID that the container's header gives
    // Objects that chmlib's enumeration misses (a writer's wrong first listing
    // chunk), in directory order; chmlib's lookup still finds them.
    std::vector<std::string> unlistedPaths;
    std::shared_ptr<CompressedStream> stream;  // null when section1Size is 0
};

// FALSE when chmlib must not be given the file: it is missing, not a container,
// or its headers or tables disagree with each other or with the file. The file
// is read through the device path; it must not change before chm_open reads it.
BOOL CheckContainer(LPCWSTR bookPath, ContainerLimits* limits);

// No page, picture or contents file comes near this. A longer object is
// damage, refused before anything is allocated, read or walked for it.
constexpr ULONGLONG kMaxObjectLength = 256u * 1024 * 1024;

// Whether an object of `length` bytes at `start` is of a sane length
// (kMaxObjectLength at most), lies inside section `space` (chmlib reads every section other than
// 0 as the compressed one) and, in the
// compressed section, whether chmlib can decode the blocks that hold it: the
// first time a block is asked for, its bitstream and that of the blocks
// before it since the decoder's last reset are walked as chmlib will decode
// them, and a block whose walk leaves the decoder's window or input is
// refused, with every later block up to the next reset.
BOOL ObjectFits(const ContainerLimits& limits, int space, ULONGLONG start, ULONGLONG length);
// The first half of ObjectFits: the length is sane and the extent lies
// inside its section; no block is walked (a reader that reads part of a long
// object asks ObjectFits for each part it reads).
BOOL ExtentFits(const ContainerLimits& limits, int space, ULONGLONG start, ULONGLONG length);
