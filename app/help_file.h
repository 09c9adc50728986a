#pragma once

// The help file: UTF-8 text made of topics, each found by its context number.
//
//   # a comment line (anywhere)
//   @topic 1009 Title of the topic
//   Text of a paragraph, which may run
//   over several lines.
//
//   == A subheading
//   - an item of a list
//   See [[1010|another topic]] for more.
//
// A blank line ends a paragraph. "[[number|text]]" links to the topic with
// that context number.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qn {

struct THelpTopic {
    int Context = 0;
    std::string Title;
    std::vector<std::string> Lines;
};

class THelpFile {
public:
    // Reads a help file. False with a message naming the line on a syntax
    // error, a repeated context number or an unreadable file.
    bool Load(const std::filesystem::path &file, std::string &error);
    bool Parse(std::string_view text, std::string &error);

    const std::vector<THelpTopic> &Topics() const { return topics_; }
    // The topic with this context number, or nullptr.
    const THelpTopic *Find(int context) const;

private:
    std::vector<THelpTopic> topics_;
    std::map<int, size_t> byContext_;
};

// The topic as HTML: its title as a heading, paragraphs, subheadings, lists,
// and links whose target is "topic:<number>". Text is escaped.
std::string TopicToHtml(const THelpTopic &topic);

} // namespace qn
