#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace qn::xbase {

// Encryption of a table's records and memo texts under a password.
//
// The key comes from the password by PBKDF2-HMAC-SHA256 over a random salt
// with many iterations, so guessing passwords is slow. Data is encrypted with
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
    static constexpr uint32_t DefaultIterations = 200000;
    using Salt = std::array<uint8_t, SaltSize>;
    using KeyCheck = std::array<uint8_t, CheckSize>;

    // What a unit of data is, so that a record and a memo at the same number
    // never share a tweak.
    enum class Domain : uint8_t { Record = 0, Memo = 1 };

    TableCipher(std::string_view password, const Salt &salt, uint32_t iterations);
    ~TableCipher();
    TableCipher(const TableCipher &) = delete;
    TableCipher &operator=(const TableCipher &) = delete;

    static Salt newSalt();

    const Salt &salt() const { return salt_; }
    uint32_t iterations() const { return iterations_; }
    const KeyCheck &keyCheck() const { return check_; }
    bool matches(const KeyCheck &stored) const; // constant time

    // In place, length preserving. `unit` is the record number or the memo's
    // first block number.
    void encrypt(Domain domain, uint64_t unit, uint8_t *data, size_t size) const;
    void decrypt(Domain domain, uint64_t unit, uint8_t *data, size_t size) const;

    // Iterations used for new keys; tests lower it so that they run fast.
    static uint32_t iterationsForNewKeys();
    static void setIterationsForNewKeys(uint32_t iterations);

private:
    void apply(bool encrypting, Domain domain, uint64_t unit, uint8_t *data, size_t size) const;

    struct Contexts;
    std::unique_ptr<Contexts> contexts_;
    Salt salt_{};
    uint32_t iterations_ = 0;
    KeyCheck check_{};
};

} // namespace qn::xbase
