#include "platform/password_scramble.h"

namespace qn {

namespace {

std::string shift(std::string_view s, int oddDelta, int evenDelta)
{
    std::string out(s);
    for (size_t i = 0; i < out.size(); ++i) {
        int delta = i % 2 == 0 ? oddDelta : evenDelta; // index 0 is position 1
        out[i] = static_cast<char>((static_cast<unsigned char>(out[i]) + delta) & 0xFF);
    }
    return out;
}

} // namespace

std::string EncryptString(std::string_view s)
{
    int n = static_cast<int>(s.size());
    return shift(s, 100 - n, 100 + n);
}

std::string Decryptstring(std::string_view s)
{
    int n = static_cast<int>(s.size());
    return shift(s, n - 100, -n - 100);
}

} // namespace qn
