// libFuzzer target: a journal download driven answer by answer (both families,
// continuation with a fuzzed existing file). Script format: downloaddriver.h.

#include "downloaddriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    runDownload(true, data, size);
    return 0;
}
