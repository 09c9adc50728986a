// qnrtf [--format rtf|text|html] IN OUT: converts between RTF, HTML and plain
// text through the rich text engine. IN's format is recognised from its first
// bytes. OUT's format is the one given, else taken from its name (".rtf",
// ".htm"/".html", ".txt"), else the format IN was read in. "-" as OUT writes
// to standard output. An existing OUT is replaced only by a complete file.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "platform/ascii_text.h"
#include "platform/version.h"
#include "richtext/io/rtf_text_io.h"
#include "richtext/io/stream.h"
#include "richtext/io/text_writer.h"

namespace {

int fail(const std::string &message)
{
    std::fprintf(stderr, "qnrtf: %s\n", message.c_str());
    return 1;
}

constexpr const char *kUsage =
    "usage: qnrtf [--format rtf|text|html] IN OUT\n"
    "       qnrtf --help | --version\n"
    "IN's format (RTF, HTML or plain text) is recognised from its first bytes. OUT's\n"
    "format is the one --format gives, else follows OUT's ending (.rtf, .htm, .html,\n"
    ".txt), else is IN's. OUT \"-\" writes to standard output.\n";

int usage()
{
    std::fputs(kUsage, stderr);
    return 1;
}

int formatNamed(const std::string &name)
{
    const std::string n = qn::AsciiLowerCase(name);
    if (n == "rtf")
        return qn::kFormatRtf;
    if (n == "text" || n == "txt")
        return qn::kFormatText;
    if (n == "html" || n == "htm")
        return qn::kFormatHtml;
    return -1;
}

int formatOfFileName(const std::string &name)
{
    const std::string ext = qn::AsciiLowerCase(std::filesystem::path(name).extension().string());
    if (ext == ".rtf")
        return qn::kFormatRtf;
    if (ext == ".htm" || ext == ".html")
        return qn::kFormatHtml;
    if (ext == ".txt")
        return qn::kFormatText;
    return qn::kFormatAuto;
}

// Plain text as a text file: UTF-8, every character kept; the last line ends
// with a line end, not with the zero byte that ends text in a stream.
class FileTextWriter : public qn::TQnTextWriter {
public:
    explicit FileTextWriter(qn::TQnRTFText &document) : TQnTextWriter(document) { Utf8 = true; }
    int WriteFooter(qn::TQnStream &output) override
    {
        Flush();
        if (Result() != qn::kWriteOk)
            return Result();
        return output.Write("\r\n", 2) == 2 ? qn::kWriteOk : qn::kWriteShort;
    }
};

} // namespace

int main(int argc, char **argv)
{
    int format = qn::kFormatAuto;
    std::string names[2];
    int count = 0;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("qnrtf %s\n", qn::Version());
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--format" || arg.rfind("--format=", 0) == 0) {
            std::string value;
            if (arg == "--format") {
                if (++i >= argc)
                    return usage();
                value = argv[i];
            } else {
                value = arg.substr(9);
            }
            format = formatNamed(value);
            if (format < 0)
                return fail("unknown format \"" + value + "\" (rtf, text or html)");
        } else if (count < 2) {
            names[count++] = arg;
        } else {
            return usage();
        }
    }
    if (count != 2)
        return usage();
    const std::string &inName = names[0], &outName = names[1];
    try {
        qn::TQnRTFTextIo doc;
        doc.LoadFromFile(inName);
        const bool readFailed = doc.ErrorState != qn::kIoOk;
        const std::string readError = doc.LastIoError;
        // A failed load may leave nothing (a load that throws starts over).
        const bool readNothing = doc.IsEmpty();

        if (format == qn::kFormatAuto && outName != "-")
            format = formatOfFileName(outName);
        doc.SaveFormat = static_cast<uint8_t>(format);
        // An empty input still gives a file of the chosen format.
        doc.ForceRtf = true;
        const int chosen = doc.SaveFormatFor(true);
        doc.CustomWriter = [chosen, &doc](qn::TQnRTFText &d) -> std::unique_ptr<qn::TQnTextWriter> {
            if (chosen == qn::kFormatText)
                return std::make_unique<FileTextWriter>(d);
            return doc.MakeWriter(chosen);
        };

        if (outName == "-") {
            qn::TQnFileStream out;
            out.Attach(stdout);
            const int result = doc.SaveToStream(out);
            if (result != 0 || !out.Close())
                return fail("cannot write to standard output");
        } else {
            doc.SaveToFile(outName);
        }
        if (readFailed) {
            std::string why = readError.empty() ? "could not be read completely" : readError;
            std::replace(why.begin(), why.end(), '\t', ' ');
            return fail(
                inName + ": " + why +
                (readNothing ? "; nothing was converted" : "; what came before it was converted"));
        }
        return 0;
    } catch (const std::exception &e) {
        return fail(e.what());
    }
}
