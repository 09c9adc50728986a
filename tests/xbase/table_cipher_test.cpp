#include "xbase/table_cipher.h"
#include "xbase/xbase_error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qn::xbase;
using Domain = TableCipher::Domain;

namespace {

const KeyDerivation cheap = KeyDerivation::argon2id(64, 1, 1);

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
    TableCipher cipher("secret", fixedSalt(1), cheap);
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
    TableCipher cipher("secret", fixedSalt(1), cheap);
    auto a = bytes(19, 3), b = a, c = a;
    cipher.encrypt(Domain::Record, 1, a.data(), a.size());
    cipher.encrypt(Domain::Record, 2, b.data(), b.size());
    cipher.encrypt(Domain::Memo, 1, c.data(), c.size());
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);

    TableCipher other("Secret", fixedSalt(1), cheap);
    auto d = bytes(19, 3);
    other.encrypt(Domain::Record, 1, d.data(), d.size());
    EXPECT_NE(a, d);
}

TEST(TableCipher, KeyCheckTellsTheRightPassword)
{
    TableCipher right("pass 1", fixedSalt(9), cheap);
    TableCipher same("pass 1", fixedSalt(9), cheap);
    TableCipher wrong("pass 2", fixedSalt(9), cheap);
    TableCipher otherSalt("pass 1", fixedSalt(10), cheap);
    EXPECT_TRUE(same.matches(right.keyCheck()));
    EXPECT_FALSE(wrong.matches(right.keyCheck()));
    EXPECT_FALSE(otherSalt.matches(right.keyCheck()));

    // Every parameter of the derivation is part of the key.
    for (const KeyDerivation &d :
         {KeyDerivation::argon2id(128, 1, 1), KeyDerivation::argon2id(64, 2, 1),
          KeyDerivation::argon2id(64, 1, 2), KeyDerivation::pbkdf2(10)}) {
        TableCipher changed("pass 1", fixedSalt(9), d);
        EXPECT_FALSE(changed.matches(right.keyCheck())) << d.describe();
        EXPECT_TRUE(TableCipher("pass 1", fixedSalt(9), d).matches(changed.keyCheck()))
            << d.describe();
    }
}

TEST(TableCipher, ImpossibleDerivationsAreDamagedBeforeAnyWork)
{
    for (const KeyDerivation &d :
         {KeyDerivation::argon2id((1u << 19) + 1, 1, 1), KeyDerivation::argon2id(0xFFFFFFFF, 3, 1),
          KeyDerivation::argon2id(1u << 20, 100, 1), KeyDerivation::argon2id(64, 17, 1),
          KeyDerivation::argon2id(64, 0, 1), KeyDerivation::argon2id(64, 1, 0),
          KeyDerivation::argon2id(64, 1, 9), KeyDerivation::argon2id(1024, 1, 5),
          KeyDerivation::argon2id(1u << 19, 5, 1), KeyDerivation::argon2id(1u << 18, 9, 1),
          KeyDerivation::pbkdf2(0), KeyDerivation::pbkdf2(800001),
          KeyDerivation::pbkdf2(0xFFFFFFFF)}) {
        EXPECT_FALSE(d.problem().empty()) << d.describe();
        uint64_t before = TableCipher::derivationCount();
        try {
            TableCipher("pw", fixedSalt(1), d);
            ADD_FAILURE() << d.describe();
        } catch (const XbaseError &e) {
            EXPECT_EQ(e.kind(), XbaseError::Kind::Damaged) << d.describe();
        }
        EXPECT_EQ(TableCipher::derivationCount(), before);
    }
    // Up to four times what new keys use is allowed (not derived here: half
    // a gigabyte): each parameter, and memory times passes.
    EXPECT_EQ(KeyDerivation::argon2id(1u << 19, 4, 4).problem(), "");
    EXPECT_EQ(KeyDerivation::argon2id(1u << 17, 16, 1).problem(), "");
    EXPECT_EQ(KeyDerivation::pbkdf2(800000).problem(), "");
    EXPECT_EQ(KeyDerivation::argon2id(8, 1, 1).problem(), "");
    const KeyDerivation standard = KeyDerivation::standard();
    EXPECT_EQ(KeyDerivation::argon2id(4 * standard.memoryKiB, standard.passes, 4 * standard.lanes)
                  .problem(),
              "");
}

TEST(TableCipher, NewKeysUseArgon2idAtTheStandardCost)
{
    EXPECT_EQ(KeyDerivation::standard(), KeyDerivation::argon2id(131072, 4, 1));
    EXPECT_EQ(KeyDerivation::standard().describe(),
              "Argon2id, 131072 KiB memory, 4 passes, 1 lane");
    EXPECT_EQ(KeyDerivation::pbkdf2(200000).describe(), "PBKDF2-HMAC-SHA256, 200000 iterations");
}

TEST(TableCipher, SaltsAreFresh)
{
    EXPECT_NE(TableCipher::newSalt(), TableCipher::newSalt());
}
