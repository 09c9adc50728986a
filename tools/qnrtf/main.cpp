// qnrtf IN OUT: converts between RTF, HTML and plain text through the rich
// text engine. IN is read as RTF when it starts with "{\rtf" after blanks, as
// HTML when its name contains ".htm" (any case) or it starts with a tag, else
// as plain text; OUT is written as RTF when its name ends in ".rtf" (any
// case), as HTML when it contains ".htm", else as plain text; "-" as OUT
// writes to standard output.

#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "richtext/io/html_reader.h"
#include "richtext/io/html_writer.h"
#include "richtext/io/rtf_reader.h"
#include "richtext/io/rtf_writer.h"
#include "richtext/io/stream.h"
#include "richtext/io/text_reader.h"
#include "richtext/io/text_writer.h"

namespace {

int fail(const std::string &message)
{
    std::fprintf(stderr, "qnrtf: %s\n", message.c_str());
    return 1;
}

bool startsAsRtf(qn::TQnStream &in)
{
    char buffer[512];
    const int64_t n = in.Read(buffer, sizeof buffer);
    int64_t i = 0;
    while (i < n && (buffer[i] == ' ' || buffer[i] == '\t' || buffer[i] == '\r' ||
                     buffer[i] == '\n'))
        ++i;
    const bool rtf = n - i >= 5 && std::memcmp(buffer + i, "{\\rtf", 5) == 0;
    // RTF is read from its opening brace; the blanks before it are no text.
    in.Seek(rtf ? i : 0);
    return rtf;
}

std::string lowerCase(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool isHtmlName(const std::string &name)
{
    return lowerCase(std::filesystem::path(name).filename().string()).find(".htm") !=
           std::string::npos;
}

// A tag first: "<" and a letter or "!" after blanks.
bool startsAsHtml(qn::TQnStream &in)
{
    char buffer[512];
    const int64_t n = in.Read(buffer, sizeof buffer);
    in.Seek(0);
    int64_t i = 0;
    while (i < n && (buffer[i] == ' ' || buffer[i] == '\t' || buffer[i] == '\r' ||
                     buffer[i] == '\n'))
        ++i;
    return n - i >= 2 && buffer[i] == '<' &&
           (std::isalpha(static_cast<unsigned char>(buffer[i + 1])) || buffer[i + 1] == '!');
}

bool endsWithRtf(const std::string &name)
{
    if (name.size() < 4)
        return false;
    std::string ext = name.substr(name.size() - 4);
    for (char &c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".rtf";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return fail("usage: qnrtf IN OUT  (OUT \"-\" = standard output; OUT ending in .rtf "
                    "gets RTF, anything else plain text)");
    const std::string inName = argv[1], outName = argv[2];
    try {
        qn::TQnFileStream in;
        if (!in.Open(inName, qn::TQnFileStream::ReadOnly))
            return fail("cannot open " + inName + ": " + in.Error());
        if (std::filesystem::is_directory(inName))
            return fail(inName + " is a directory");

        qn::TQnRTFText doc;
        const bool rtf = startsAsRtf(in);
        const bool html = !rtf && (isHtmlName(inName) || startsAsHtml(in));
        qn::TQnRtfReader rtfReader;
        qn::TQnHTMLReader htmlReader;
        qn::TQnTextReader textReader;
        qn::TQnTextReader &reader = rtf ? rtfReader : html ? htmlReader : textReader;
        if (html) // the HTML reader takes the page's title and colours
            doc.Clear();
        reader.Header = doc.Header.get();
        reader.Document = &doc;
        qn::TParagraph *first = nullptr;
        const int readResult = reader.Read(in, first);
        qn::TParagraph *par = doc.FirstParagraph;
        qn::TLine *line = par->Lines;
        int position = 0;
        doc.InsertParagraphs(par, line, first, position);
        doc.Header->LoadedFormat = rtf ? 2 : html ? 4 : 3;
        in.Close();

        qn::TQnFileStream out;
        if (outName == "-")
            out.Attach(stdout);
        else if (!out.Open(outName, qn::TQnFileStream::Create))
            return fail("cannot create " + outName + ": " + out.Error());
        int writeResult;
        if (endsWithRtf(outName)) {
            qn::TQnRTFWriter writer(doc);
            writeResult = writer.Write(out);
        } else if (isHtmlName(outName)) {
            qn::TQnHTMLWriter writer(doc);
            writeResult = writer.Write(out);
        } else {
            // Plain text without the writer's closing NUL, ending with a line end.
            qn::TQnTextWriter writer(doc);
            writeResult = writer.WriteHeader(out);
            if (writeResult == 0)
                writeResult = writer.WriteBody(out);
            if (writeResult == 0 && out.Write("\r\n", 2) != 2)
                writeResult = qn::kWriteShort;
        }
        const bool closed = out.Close();
        if (writeResult != 0 || !closed)
            return fail("cannot write " + outName + (out.Error().empty() ? "" : ": " + out.Error()));
        if (readResult != 0)
            return fail(inName + (html ? " could not be read to its end"
                                       : " ends inside a control word") +
                        "; what came before it was converted");
        return 0;
    } catch (const std::exception &e) {
        return fail(inName + ": " + e.what());
    }
}
