#include "xbase/table_cipher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qn::xbase;
using Domain = TableCipher::Domain;

namespace {

TableCipher::Salt fixedSalt(uint8_t seed)
{
    TableCipher::Salt salt{};
    for (size_t i = 0; i < salt.size(); ++i)
        salt[i] = static_cast<uint8_t>(seed + i);
    return salt;
}

std::vector<uint8_t> bytes(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

} // namespace

TEST(TableCipher, RoundTripsEveryLengthAndPreservesIt)
{
    TableCipher cipher("secret", fixedSalt(1), 10);
    for (size_t n : {1u, 8u, 15u, 16u, 17u, 19u, 64u, 4095u, 4096u, 4097u, 4111u, 4112u, 100000u}) {
        auto plain = bytes(n, static_cast<uint8_t>(n));
        auto data = plain;
        cipher.encrypt(Domain::Memo, 42, data.data(), data.size());
        EXPECT_EQ(data.size(), n);
        if (n >= 4) {
            EXPECT_NE(data, plain) << n;
        }
        cipher.decrypt(Domain::Memo, 42, data.data(), data.size());
        EXPECT_EQ(data, plain) << n;
    }
}

TEST(TableCipher, PositionDomainAndKeyChangeTheCiphertext)
{
    TableCipher cipher("secret", fixedSalt(1), 10);
    auto a = bytes(19, 3), b = a, c = a;
    cipher.encrypt(Domain::Record, 1, a.data(), a.size());
    cipher.encrypt(Domain::Record, 2, b.data(), b.size());
    cipher.encrypt(Domain::Memo, 1, c.data(), c.size());
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);

    TableCipher other("Secret", fixedSalt(1), 10);
    auto d = bytes(19, 3);
    other.encrypt(Domain::Record, 1, d.data(), d.size());
    EXPECT_NE(a, d);
}

TEST(TableCipher, KeyCheckTellsTheRightPassword)
{
    TableCipher right("pass 1", fixedSalt(9), 10);
    TableCipher same("pass 1", fixedSalt(9), 10);
    TableCipher wrong("pass 2", fixedSalt(9), 10);
    TableCipher otherSalt("pass 1", fixedSalt(10), 10);
    EXPECT_TRUE(same.matches(right.keyCheck()));
    EXPECT_FALSE(wrong.matches(right.keyCheck()));
    EXPECT_FALSE(otherSalt.matches(right.keyCheck()));
}

TEST(TableCipher, SaltsAreFresh)
{
    EXPECT_NE(TableCipher::newSalt(), TableCipher::newSalt());
}
