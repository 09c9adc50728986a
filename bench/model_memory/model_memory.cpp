// Measures the heap a document of 100,000 paragraphs of 60 characters takes,
// in rich-text mode and in plain-text mode.
//
//   build/bench/model_memory_bench [paragraphs] [characters]
//
// Every allocation goes through the counting operator new below, so the
// figures are the bytes the model asked for; mallinfo2 adds what the C
// library spends on top (chunk headers, rounding).

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "richtext/model/rtf_text.h"

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
long long liveBytes = 0;
long long liveBlocks = 0;
} // namespace

void *operator new(std::size_t size)
{
    void *p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    liveBytes += static_cast<long long>(malloc_usable_size(p));
    ++liveBlocks;
    return p;
}

void operator delete(void *p) noexcept
{
    if (!p)
        return;
    liveBytes -= static_cast<long long>(malloc_usable_size(p));
    --liveBlocks;
    std::free(p);
}

void *operator new[](std::size_t size)
{
    return operator new(size);
}
void operator delete(void *p, std::size_t) noexcept
{
    operator delete(p);
}
void operator delete[](void *p) noexcept
{
    operator delete(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    operator delete(p);
}

namespace {

struct Figures {
    long long bytes;
    long long blocks;
    long long arena;
};

Figures measure(bool plain, int paragraphs, int chars)
{
    const long long bytesBefore = liveBytes;
    const long long blocksBefore = liveBlocks;
    const size_t arenaBefore = mallinfo2().uordblks;
    Figures f{};
    {
        qn::TQnRTFText doc;
        if (plain)
            doc.SetMemoryFormat(qn::fmPlainText);
        std::u32string text(chars, U'x');
        for (int i = 0; i < chars; ++i)
            text[i] = static_cast<char32_t>('a' + (i * 7 + i / 26) % 26);
        // Paragraphs as a reader leaves them: one line, shrunk to length + 2.
        qn::TParagraph *p = doc.FirstParagraph;
        for (int i = 0; i < paragraphs; ++i) {
            if (i > 0)
                doc.NewParagraph(p, chars + 2);
            else
                doc.GrowLine(p->Lines, chars + 2);
            doc.ReplaceRange(p, p->Lines, nullptr, chars, text.data(), 0, 0);
        }
        if (doc.ParagraphCount() != paragraphs || doc.ParagraphLength(paragraphs - 1) != chars) {
            std::fprintf(stderr, "document not built as expected\n");
            std::exit(1);
        }
        f.bytes = liveBytes - bytesBefore;
        f.blocks = liveBlocks - blocksBefore;
        f.arena = static_cast<long long>(mallinfo2().uordblks - arenaBefore);
    }
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    const int paragraphs = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int chars = argc > 2 ? std::atoi(argv[2]) : 60;
    if (paragraphs < 1 || chars < 1 || chars > 9000) {
        std::fprintf(stderr, "usage: %s [paragraphs >= 1] [characters 1..9000]\n", argv[0]);
        return 2;
    }
    const long long textBytes = 1LL * paragraphs * chars;
    const long long attrBytes = textBytes * static_cast<long long>(sizeof(qn::TCharAttr));
    std::printf("%d paragraphs x %d characters; sizeof TCharAttr %zu, TLine %zu, TParagraph "
                "%zu\n",
                paragraphs, chars, sizeof(qn::TCharAttr), sizeof(qn::TLine),
                sizeof(qn::TParagraph));
    std::printf("text bytes %lld, attribute bytes %lld\n\n", textBytes, attrBytes);

    const Figures rich = measure(false, paragraphs, chars);
    std::printf("rich : heap %lld bytes in %lld blocks (%.2f x (text + attributes); target < 4)\n",
                rich.bytes, rich.blocks, double(rich.bytes) / double(textBytes + attrBytes));
    std::printf("       with allocator overhead %lld bytes (%.2f x)\n", rich.arena,
                double(rich.arena) / double(textBytes + attrBytes));

    const Figures plain = measure(true, paragraphs, chars);
    const long long records =
        1LL * paragraphs * static_cast<long long>(sizeof(qn::TLine) + sizeof(qn::TParagraph));
    std::printf("plain: heap %lld bytes in %lld blocks (%.2f bytes per character; "
                "%.2f per character beside the paragraph and line records)\n",
                plain.bytes, plain.blocks, double(plain.bytes) / double(textBytes),
                double(plain.bytes - records) / double(textBytes));
    std::printf("       with allocator overhead %lld bytes\n", plain.arena);
    const bool ok = rich.bytes < 4 * (textBytes + attrBytes);
    std::printf("\nrich mode target %s\n", ok ? "met" : "MISSED");
    return ok ? 0 : 1;
}
