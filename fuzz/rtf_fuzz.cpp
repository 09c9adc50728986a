// libFuzzer target: RTF from outside, read and written again.

#include "fuzz/document_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qn::fuzz::readAndWrite(data, size, qn::kFormatRtf);
    return 0;
}
