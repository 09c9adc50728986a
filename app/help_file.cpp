#include "app/help_file.h"

#include "platform/ascii_text.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace qn {

namespace {

std::string escape(std::string_view s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Escapes text and turns [[number|text]] into links.
std::string inlineHtml(std::string_view s)
{
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        size_t open = s.find("[[", i);
        if (open == std::string_view::npos) {
            out += escape(s.substr(i));
            break;
        }
        size_t bar = s.find('|', open);
        size_t close = s.find("]]", open);
        int context = 0;
        bool link = bar != std::string_view::npos && close != std::string_view::npos && bar < close;
        if (link) {
            auto [end, ec] = std::from_chars(s.data() + open + 2, s.data() + bar, context);
            link = ec == std::errc() && end == s.data() + bar;
        }
        if (!link) {
            out += escape(s.substr(i, open + 2 - i));
            i = open + 2;
            continue;
        }
        out += escape(s.substr(i, open - i));
        out += "<a href=\"topic:" + std::to_string(context) + "\">" +
               escape(s.substr(bar + 1, close - bar - 1)) + "</a>";
        i = close + 2;
    }
    return out;
}

} // namespace

bool THelpFile::Load(const std::filesystem::path &file, std::string &error)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "The help file " + file.string() + " cannot be read.";
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return Parse(buffer.str(), error);
}

bool THelpFile::Parse(std::string_view text, std::string &error)
{
    topics_.clear();
    byContext_.clear();
    int lineNumber = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = TrimRight(text.substr(start, end - start), " \t\r");
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.front() == '#')
            continue;
        if (line.starts_with("@topic")) {
            std::string_view rest = line.substr(6);
            while (!rest.empty() && rest.front() == ' ')
                rest.remove_prefix(1);
            int context = 0;
            auto [after, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), context);
            std::string_view title(after, rest.data() + rest.size() - after);
            while (!title.empty() && title.front() == ' ')
                title.remove_prefix(1);
            if (ec != std::errc() || context <= 0 || title.empty()) {
                error = "Line " + std::to_string(lineNumber) +
                        " of the help file: a topic needs a context number and a title.";
                return false;
            }
            if (byContext_.count(context)) {
                error = "Line " + std::to_string(lineNumber) + " of the help file: context " +
                        std::to_string(context) + " is used twice.";
                return false;
            }
            byContext_[context] = topics_.size();
            topics_.push_back({context, std::string(title), {}});
            continue;
        }
        if (topics_.empty()) {
            if (!line.empty()) {
                error = "Line " + std::to_string(lineNumber) +
                        " of the help file: text before the first topic.";
                return false;
            }
            continue;
        }
        topics_.back().Lines.emplace_back(line);
    }
    if (topics_.empty()) {
        error = "The help file holds no topics.";
        return false;
    }
    return true;
}

const THelpTopic *THelpFile::Find(int context) const
{
    auto it = byContext_.find(context);
    return it == byContext_.end() ? nullptr : &topics_[it->second];
}

std::string TopicToHtml(const THelpTopic &topic)
{
    std::string html = "<h2>" + escape(topic.Title) + "</h2>\n";
    std::string paragraph;
    bool inList = false;
    auto flushParagraph = [&] {
        if (!paragraph.empty())
            html += "<p>" + inlineHtml(paragraph) + "</p>\n";
        paragraph.clear();
    };
    auto closeList = [&] {
        if (inList)
            html += "</ul>\n";
        inList = false;
    };
    for (const std::string &line : topic.Lines) {
        if (line.empty()) {
            flushParagraph();
            closeList();
        } else if (line.starts_with("== ")) {
            flushParagraph();
            closeList();
            html += "<h3>" + inlineHtml(line.substr(3)) + "</h3>\n";
        } else if (line.starts_with("- ")) {
            flushParagraph();
            if (!inList)
                html += "<ul>\n";
            inList = true;
            html += "<li>" + inlineHtml(line.substr(2)) + "</li>\n";
        } else if (inList && (line.front() == ' ' || line.front() == '\t')) {
            // An indented line continues the list item above.
            html.insert(html.size() - 6,
                        " " + inlineHtml(line.substr(line.find_first_not_of(" \t"))));
        } else {
            closeList();
            if (!paragraph.empty())
                paragraph += ' ';
            paragraph += line;
        }
    }
    flushParagraph();
    closeList();
    return html;
}

} // namespace qn
