#pragma once

#include "xbase/table_cipher.h"
#include "xbase/xbase_error.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace qn::xbase {

// An encrypted table with a missing or wrong password: nothing was read or
// written.
class PasswordError : public XbaseError {
public:
    explicit PasswordError(const std::string &what) : XbaseError(Kind::Password, what) {}
};

// What an encrypted table stores about its key: the salt and parameters of
// the key derivation and the key check value. The table file keeps it in
// the last bytes of its header (and marks itself encrypted in header byte
// 15); the memo file keeps a copy of the check in its header's unused bytes
// so that a memo file of another key is never read as this table's.
struct KeyBlock {
    static constexpr size_t Size = 48;         // in the table header
    static constexpr size_t MemoMarkSize = 20; // in the memo header, at byte 8
    static constexpr size_t MemoMarkOffset = 8;

    TableCipher::Salt salt{};
    KeyDerivation derivation;
    TableCipher::KeyCheck check{};

    void write(uint8_t *out) const; // Size bytes
    // nullopt: not a key block of this engine. The parameters are as stored:
    // derivation.problem() tells a damaged block.
    static std::optional<KeyBlock> read(const uint8_t *in);
    // MemoMarkSize bytes. `sealed`: the file's memos are encrypted whole,
    // block headers and padding included (see MemoFile), so that no length
    // shows; files of earlier versions encrypted only the texts. `tagged`
    // (sealed files only): every memo also carries its authentication tag.
    void writeMemoMark(uint8_t *out, bool sealed = false, bool tagged = false) const;
    // The check of a memo header's mark, nullopt when the memo file has none;
    // `sealed` and `tagged`, when given, receive the form.
    static std::optional<TableCipher::KeyCheck>
    readMemoMark(const uint8_t *in, bool *sealed = nullptr, bool *tagged = nullptr);
};

// The key of one encrypted table, made from the engine's password (read
// through the reference at each use) when first needed and again whenever
// that password changes. A password that does not give the stored check
// never yields a cipher, so nothing is read or written under a wrong key.
class TableKey {
public:
    // `known`: a cipher already made for this block (after a rewrite), so
    // that the key is not derived again; it was made from `knownPassword`,
    // or from the current password when that is null.
    TableKey(std::string tableName, const KeyBlock &block, const std::string &password,
             std::shared_ptr<const TableCipher> known = nullptr,
             const std::string *knownPassword = nullptr);
    ~TableKey();
    const KeyBlock &block() const { return block_; }
    // The cipher for the current password; a PasswordError when it is
    // missing or wrong.
    const TableCipher &cipher() const;
    std::shared_ptr<const TableCipher> sharedCipher() const; // as cipher()
    bool usable() const;

private:
    void derive() const;

    std::string tableName_;
    KeyBlock block_;
    const std::string &password_;
    mutable bool tried_ = false;
    mutable std::string triedPassword_;
    mutable std::shared_ptr<const TableCipher> cipher_; // set when the tried password matches
};

} // namespace qn::xbase
