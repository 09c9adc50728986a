#pragma once

// An authenticated encrypted index turned into the form earlier versions
// wrote: its pages under that form's tweaks, the earlier key mark, no tag.
// For the tests and benchmarks of opening and upgrading that form.

#include <algorithm>
#include <string>

#include "xbase/cdx_index.h"
#include "xbase/cdx_store.h"
#include "xbase/table_cipher.h"
#include "xbase/table_key.h"

namespace qn::test {

inline void ToEarlierIndexForm(std::string &index, const xbase::TableCipher &cipher,
                               const xbase::KeyBlock &block)
{
    using xbase::TableCipher;
    using xbase::cdx::kPageSize;
    using xbase::cdx::PageStore;
    for (size_t at = PageStore::kClearBytes; at + kPageSize <= index.size(); at += kPageSize) {
        auto *page = reinterpret_cast<uint8_t *>(index.data() + at);
        cipher.decrypt(TableCipher::Domain::SealedIndexPage, at / kPageSize, page, kPageSize);
        cipher.encrypt(TableCipher::Domain::IndexPage, at / kPageSize, page, kPageSize);
    }
    block.writeMemoMark(reinterpret_cast<uint8_t *>(index.data()) +
                        xbase::CdxIndex::kKeyMarkOffset);
    std::fill_n(index.begin() + PageStore::kTagOffset, TableCipher::TagSize, '\0');
}

} // namespace qn::test
