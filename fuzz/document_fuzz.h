#pragma once

// Reads the input as a document in one format and writes the result in
// every format: what a file from outside goes through when it is opened and
// saved again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "richtext/io/rtf_text_io.h"
#include "richtext/io/stream.h"

namespace qn::fuzz {

inline void readAndWrite(const uint8_t *data, size_t size, uint8_t format)
{
    // Messages such as "Table not correct" would only flood the log.
    static const bool quiet = (SetMessageHook([](const std::string &) {}), true);
    (void)quiet;
    TQnRTFTextIo doc;
    doc.LoadFormat = format;
    TQnMemoryStream in(std::string(reinterpret_cast<const char *>(data), size));
    doc.LoadFromStream(in);
    for (uint8_t out : {kFormatRtf, kFormatHtml, kFormatText}) {
        doc.SaveFormat = out;
        TQnMemoryStream written;
        doc.SaveToStream(written);
    }
    // What was read also reads into a document that holds text (a paste).
    TQnMemoryStream again(std::string(reinterpret_cast<const char *>(data), size));
    doc.LoadFromStream(again);
}

} // namespace qn::fuzz
