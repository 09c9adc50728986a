#pragma once

// Scratch holder for the text arguments of one engine call: up to four
// zero-terminated strings of at most 255 characters. The engine is handed
// pointers into it, so the texts stay in place until the holder goes away.

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qn::engine {

class TCStringList {
public:
    static constexpr int Capacity = 4;
    static constexpr size_t MaxLength = 255;

    TCStringList() = default;
    TCStringList(std::initializer_list<std::string_view> texts)
    {
        for (std::string_view t : texts)
            Add(t);
    }
    TCStringList(const TCStringList &) = delete;
    TCStringList &operator=(const TCStringList &) = delete;

    // A longer text is refused rather than cut: a cut path or expression
    // would name another file or mean something else. A fifth text is a
    // programming error.
    const char *Add(std::string_view text)
    {
        if (count_ >= Capacity)
            throw std::logic_error("TCStringList holds at most 4 strings");
        if (text.size() > MaxLength)
            throw std::length_error("The text \"" + std::string(text.substr(0, 40)) +
                                    "...\" is longer than the table engine's 255 characters");
        auto &slot = strings_[size_t(count_++)];
        text.copy(slot.data(), text.size());
        slot[text.size()] = '\0';
        return slot.data();
    }
    const char *operator[](int index) const
    {
        if (index < 0 || index >= count_)
            throw std::out_of_range("TCStringList index out of range");
        return strings_[size_t(index)].data();
    }
    int Count() const { return count_; }

private:
    std::array<std::array<char, MaxLength + 1>, Capacity> strings_{};
    int count_ = 0;
};

} // namespace qn::engine
