// libFuzzer over the path a page takes after it leaves the book; built once
// per target, LEAFWISE_FUZZ_TARGET naming its fuzzinput::Target. Each input
// runs through the real page window, viewer and decoder, offscreen.
#include <FuzzInputs.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzinput::RunChecked(fuzzinput::Target::LEAFWISE_FUZZ_TARGET, data, size);
    return 0;
}
