#include "xbase/table_cipher.h"
#include "xbase/xbase_error.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

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

// Tags already stored in diaries must keep matching: the tag is HMAC-SHA256
// under a key two HMAC steps from the derived key material, over the domain,
// the unit (little-endian) and the bytes, cut to 16 bytes. Worked out here
// with OpenSSL's own HMAC for every length around the hash's block size.
TEST(TableCipher, TagsAreHmacSha256OverThePlaceAndTheBytes)
{
    const auto derivation = KeyDerivation::pbkdf2(1000);
    const auto salt = fixedSalt(9);
    TableCipher cipher("tag secret", salt, derivation);

    uint8_t material[128];
    ASSERT_EQ(PKCS5_PBKDF2_HMAC("tag secret", 10, salt.data(), int(salt.size()), 1000, EVP_sha256(),
                                sizeof material, material),
              1);
    uint8_t tagKey[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const std::string label = "authentication tags";
    ASSERT_TRUE(HMAC(EVP_sha256(), material + 96, 32,
                     reinterpret_cast<const uint8_t *>(label.data()), label.size(), tagKey,
                     &length));

    for (size_t n : {0u, 1u, 31u, 54u, 55u, 56u, 64u, 119u, 120u, 1000u}) {
        const auto data = bytes(n, uint8_t(n));
        const uint64_t unit = 0x0102030405060708ULL + n;
        std::vector<uint8_t> input{uint8_t(Domain::MemoHead)};
        for (int i = 0; i < 8; ++i)
            input.push_back(uint8_t(unit >> (8 * i)));
        input.insert(input.end(), data.begin(), data.end());
        uint8_t expected[EVP_MAX_MD_SIZE];
        ASSERT_TRUE(HMAC(EVP_sha256(), tagKey, 32, input.data(), input.size(), expected, &length));

        const auto tag = cipher.tag(Domain::MemoHead, unit, data.data(), data.size());
        EXPECT_EQ(std::vector<uint8_t>(tag.begin(), tag.end()),
                  std::vector<uint8_t>(expected, expected + 16))
            << n;
        EXPECT_TRUE(cipher.tagMatches(Domain::MemoHead, unit, data.data(), data.size(), expected));
        EXPECT_FALSE(
            cipher.tagMatches(Domain::MemoHead, unit + 1, data.data(), data.size(), expected));
    }
}
