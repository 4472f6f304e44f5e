// libFuzzer target: a configuration download from fuzzed pieces (text, JSON
// with a header, binary image). Script format: downloaddriver.h.

#include "downloaddriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    runDownload(false, data, size);
    return 0;
}
