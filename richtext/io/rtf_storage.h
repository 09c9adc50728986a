#pragma once

// TQnRtfStorage: a component that holds one document, created and freed
// with it. Setting RtfText copies the given document into the held one.

#include <memory>

#include "richtext/io/rtf_text_io.h"

namespace qn {

class TQnRtfStorage {
public:
    TQnRtfStorage() : text_(std::make_unique<TQnRTFTextIo>()) {}
    TQnRtfStorage(const TQnRtfStorage &) = delete;
    TQnRtfStorage &operator=(const TQnRtfStorage &) = delete;

    TQnRTFTextIo &RtfText() { return *text_; }
    const TQnRTFTextIo &RtfText() const { return *text_; }
    void SetRtfText(const TQnRTFTextIo &source) { text_->Assign(source); }

private:
    std::unique_ptr<TQnRTFTextIo> text_;
};

} // namespace qn
