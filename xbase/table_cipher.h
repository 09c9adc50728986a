#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qn::xbase {

// How a table's key is made from its password, with the costs that make
// each guess slow. New keys use Argon2id, which needs much memory per guess
// so that many guesses in parallel cost as much as many machines; keys of
// older tables came from PBKDF2-HMAC-SHA256 and still open.
struct KeyDerivation {
    enum class Method : uint8_t { Pbkdf2Sha256, Argon2id };
    // Four times what this engine writes (standard(), and 200,000 PBKDF2
    // iterations for the keys of older tables): a stored block past them is
    // damaged, and is never allowed to set memory aside or make a wrong
    // password cost more than a few seconds. The work of an Argon2id key
    // (memory times passes) is held to four times the standard's as well.
    static constexpr uint32_t MaxIterations = 4 * 200000;
    static constexpr uint32_t MaxMemoryKiB = 4 * 128 * 1024; // 512 MiB
    static constexpr uint32_t MaxPasses = 4 * 4;
    static constexpr uint32_t MaxLanes = 4 * 1;
    static constexpr uint64_t MaxWorkKiB = 4ull * 128 * 1024 * 4; // memory x passes

    Method method = Method::Argon2id;
    uint32_t iterations = 0; // PBKDF2
    uint32_t memoryKiB = 0;  // Argon2id
    uint32_t passes = 0;
    uint32_t lanes = 0;

    static KeyDerivation pbkdf2(uint32_t iterations)
    {
        return {Method::Pbkdf2Sha256, iterations, 0, 0, 0};
    }
    static KeyDerivation argon2id(uint32_t memoryKiB, uint32_t passes, uint32_t lanes)
    {
        return {Method::Argon2id, 0, memoryKiB, passes, lanes};
    }
    // For new keys: about half a second per derivation on a current desktop
    // (0.5 s measured on the development machine).
    static KeyDerivation standard() { return argon2id(128 * 1024, 4, 1); }

    // Empty when the parameters can be used; otherwise what is wrong.
    std::string problem() const;
    std::string describe() const; // e.g. "Argon2id, 131072 KiB memory, 4 passes, 1 lane"
    bool operator==(const KeyDerivation &) const = default;
};

// Encryption of a table's records and memo texts under a password.
//
// The key comes from the password by the table's KeyDerivation over a random
// salt, so guessing passwords is slow. Data is encrypted with
// AES-256 in XTS mode, the standard mode for storage that is rewritten in
// place: the ciphertext has the plaintext's length, and each unit (a record,
// or a 4 KB stretch of a memo) is tied to its position by the tweak, so equal
// texts in different places do not look alike. A key check value, stored
// beside the salt, tells a wrong password apart before anything is read or
// written.
class TableCipher {
public:
    static constexpr size_t SaltSize = 16;
    static constexpr size_t CheckSize = 16;
    using Salt = std::array<uint8_t, SaltSize>;
    using KeyCheck = std::array<uint8_t, CheckSize>;
    static constexpr size_t TagSize = 16;
    using Tag = std::array<uint8_t, TagSize>;

    // What a unit of data is, so that a record, a memo and an index page at
    // the same number never share a tweak.
    // Memo: the text alone (memo files of earlier versions); MemoHead and
    // MemoBody: a whole memo's first unit and the rest (see MemoFile).
    // IndexPage: a page of an index of the earlier form, encrypted only;
    // SealedIndexPage: a page of an authenticated index, its encryption and
    // its tag; IndexFile: the tag of a whole authenticated index.
    enum class Domain : uint8_t {
        Record = 0,
        Memo = 1,
        IndexPage = 2,
        MemoHead = 3,
        MemoBody = 4,
        SealedIndexPage = 5,
        IndexFile = 6,
    };

    // An XbaseError "damaged" for impossible parameters, before any work.
    TableCipher(std::string_view password, const Salt &salt, const KeyDerivation &derivation);
    ~TableCipher();
    TableCipher(const TableCipher &) = delete;
    TableCipher &operator=(const TableCipher &) = delete;

    static Salt newSalt();

    const Salt &salt() const { return salt_; }
    const KeyDerivation &derivation() const { return derivation_; }
    const KeyCheck &keyCheck() const { return check_; }
    bool matches(const KeyCheck &stored) const; // constant time

    // In place, length preserving. `unit` is the record number, the memo's
    // first block number or the index page's number (its offset / 512).
    void encrypt(Domain domain, uint64_t unit, uint8_t *data, size_t size) const;
    void decrypt(Domain domain, uint64_t unit, uint8_t *data, size_t size) const;

    // The authentication tag of a unit's plain bytes at its place:
    // HMAC-SHA256 under a key of its own made from the table's key material,
    // over the domain, the unit number and the bytes, cut to 16 bytes.
    Tag tag(Domain domain, uint64_t unit, const uint8_t *data, size_t size) const;
    bool tagMatches(Domain domain, uint64_t unit, const uint8_t *data, size_t size,
                    const uint8_t *stored) const; // constant time

    // How many keys were derived in this process, so that tests can tell
    // that a table derives its key once, not per record.
    static uint64_t derivationCount();

private:
    void apply(bool encrypting, Domain domain, uint64_t unit, uint8_t *data, size_t size) const;

    struct Contexts;
    std::unique_ptr<Contexts> contexts_;
    Salt salt_{};
    KeyDerivation derivation_;
    KeyCheck check_{};
};

} // namespace qn::xbase
