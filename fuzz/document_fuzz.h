#pragma once

// Reads the input as a document in one format and writes the result in
// every format: what a file from outside goes through when it is opened and
// saved again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/notifications.h"
#include "richtext/io/rtf_text_io.h"
#include "richtext/io/stream.h"

namespace qn::fuzz {

// Takes every notification and shows none.
class QuietReceiver final : public NotificationReceiver {
public:
    void Information(const std::string &) override {}
    void Beep(uint32_t) override {}
    void EngineMessage(const std::string &) override {}
};

inline void readAndWrite(const uint8_t *data, size_t size, uint8_t format)
{
    // Messages such as "Table not correct" would only flood the log.
    static QuietReceiver quiet;
    static const bool installed = (SetNotificationReceiver(&quiet), true);
    (void)installed;
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
