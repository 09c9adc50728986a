#include "platform/password_scramble.h"

#include <gtest/gtest.h>

using namespace qn;

namespace {

const std::string kAllowed = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ";

} // namespace

TEST(PasswordScramble, KnownValues)
{
    // n = 2: odd positions - 2 + 100, even positions + 2 + 100.
    std::string expected = {static_cast<char>(65 + 98), static_cast<char>(66 + 102)};
    EXPECT_EQ(EncryptString("AB"), expected);
    EXPECT_EQ(EncryptString(""), "");
    EXPECT_EQ(Decryptstring(""), "");
    // Results wrap around modulo 256.
    EXPECT_EQ(EncryptString("\xF0"), "\x53");
    EXPECT_EQ(Decryptstring("\x53"), "\xF0");
}

TEST(PasswordScramble, EveryAllowedCharacterAtEveryPositionAndLength)
{
    for (size_t length = 1; length <= 8; ++length) {
        for (size_t position = 0; position < length; ++position) {
            for (char c : kAllowed) {
                // The character under test at one position, others varying.
                std::string password;
                for (size_t i = 0; i < length; ++i)
                    password += i == position ? c : kAllowed[(i * 7 + length) % kAllowed.size()];
                std::string scrambled = EncryptString(password);
                ASSERT_EQ(scrambled.size(), length);
                for (char s : scrambled)
                    ASSERT_GT(static_cast<unsigned char>(s), 123) << "'" << password << "'";
                ASSERT_EQ(Decryptstring(scrambled), password);
            }
        }
    }
}

TEST(PasswordScramble, AnyBytesRoundTrip)
{
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    EXPECT_EQ(Decryptstring(EncryptString(all)), all);
    EXPECT_EQ(EncryptString(Decryptstring(all)), all);
}
