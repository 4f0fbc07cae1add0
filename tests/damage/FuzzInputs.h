// One input of each page fuzzer, run as its target runs it: the fuzz targets
// (tests/fuzz), the replay of their findings in the suite, and replay-input
// share these, so a finding replays exactly as it was found.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzzinput {

// Which fuzzer an input belongs to.
enum class Target { Page, Image, BookPage };

// Bytes of a page as a book holds it (see pagedrive::DecodePage) -> the page
// window: shown, laid out whole, the last and first screens painted, the
// first links walked by Tab; every picture answered with DTM_IMAGEFAIL (none
// is in the scratch folder).
// The Run functions answer whether every page window shown answered after
// its page (see pagedrive::Outcome).
bool RunPage(const uint8_t* data, size_t size);
// Bytes of a picture -> DecompressImageIndirect through the read callback at
// several buffer sizes, bit depths and largest sizes, then a DecodedImage of
// the file as the page window makes it: Render at its own size and into a
// fixed canvas, and a blit of each.
bool RunImage(const uint8_t* data, size_t size);
// Bytes of a book -> its first contents pages extracted as "Browse" extracts
// them, each shown in the page window with its pictures.
bool RunBookPage(const uint8_t* data, size_t size);

bool Run(Target target, const uint8_t* data, size_t size);

// Run, and with AddressSanitizer aborts (a crash the fuzzer keeps) once the
// inputs after the first ones have left more than kLeakBound on the heap, so
// that a leak is found.
constexpr size_t kLeakBound = 64u << 20;
void RunChecked(Target target, const uint8_t* data, size_t size);

} // namespace fuzzinput
