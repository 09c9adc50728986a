#include "xbase/table_key.h"

#include <openssl/crypto.h>

#include <cstring>

namespace qn::xbase {

namespace {

// The fourth byte is the version: '1' PBKDF2, '2' Argon2id.
constexpr char Magic[3] = {'Q', 'N', 'K'};
constexpr char Pbkdf2Version = '1';
constexpr char Argon2idVersion = '2';
// The memo file's mark repeats the check; its fourth byte is the form of the
// memos: '1' texts encrypted, '2' whole memos encrypted (lengths hidden),
// '3' as '2' with an authentication tag in every memo.
constexpr char MemoMagic[4] = {'Q', 'N', 'K', '1'};
constexpr char SealedMemoForm = '2';
constexpr char TaggedMemoForm = '3';

uint32_t le32(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
void putLe32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace

// Layout, little-endian: magic (3), version (1), then
//   version '1': iterations (4), salt (16), check (16), zeros (8);
//   version '2': memory in KiB (4), salt (16), check (16), passes (4), lanes (4).
// Salt and check sit at the same places in both.
void KeyBlock::write(uint8_t *out) const
{
    std::memset(out, 0, Size);
    std::memcpy(out, Magic, 3);
    if (derivation.method == KeyDerivation::Method::Pbkdf2Sha256) {
        out[3] = Pbkdf2Version;
        putLe32(out + 4, derivation.iterations);
    } else {
        out[3] = Argon2idVersion;
        putLe32(out + 4, derivation.memoryKiB);
        putLe32(out + 40, derivation.passes);
        putLe32(out + 44, derivation.lanes);
    }
    std::memcpy(out + 8, salt.data(), salt.size());
    std::memcpy(out + 24, check.data(), check.size());
}

std::optional<KeyBlock> KeyBlock::read(const uint8_t *in)
{
    if (std::memcmp(in, Magic, 3) != 0)
        return std::nullopt;
    KeyBlock b;
    if (in[3] == Pbkdf2Version)
        b.derivation = KeyDerivation::pbkdf2(le32(in + 4));
    else if (in[3] == Argon2idVersion)
        b.derivation = KeyDerivation::argon2id(le32(in + 4), le32(in + 40), le32(in + 44));
    else
        return std::nullopt;
    std::memcpy(b.salt.data(), in + 8, b.salt.size());
    std::memcpy(b.check.data(), in + 24, b.check.size());
    return b;
}

void KeyBlock::writeMemoMark(uint8_t *out, bool sealed, bool tagged) const
{
    std::memcpy(out, MemoMagic, 4);
    if (sealed)
        out[3] = tagged ? TaggedMemoForm : SealedMemoForm;
    std::memcpy(out + 4, check.data(), check.size());
}

std::optional<TableCipher::KeyCheck> KeyBlock::readMemoMark(const uint8_t *in, bool *sealed,
                                                            bool *tagged)
{
    if (std::memcmp(in, MemoMagic, 3) != 0 ||
        (in[3] != MemoMagic[3] && in[3] != SealedMemoForm && in[3] != TaggedMemoForm))
        return std::nullopt;
    if (sealed)
        *sealed = in[3] == SealedMemoForm || in[3] == TaggedMemoForm;
    if (tagged)
        *tagged = in[3] == TaggedMemoForm;
    TableCipher::KeyCheck c{};
    std::memcpy(c.data(), in + 4, c.size());
    return c;
}

TableKey::TableKey(std::string tableName, const KeyBlock &block, const std::string &password,
                   std::shared_ptr<const TableCipher> known, const std::string *knownPassword)
    : tableName_(std::move(tableName)), block_(block), password_(password)
{
    const std::string &made = knownPassword ? *knownPassword : password_;
    if (known && !made.empty() && known->salt() == block_.salt &&
        known->derivation() == block_.derivation && known->matches(block_.check)) {
        cipher_ = std::move(known);
        triedPassword_ = made;
        tried_ = true;
    }
}

TableKey::~TableKey()
{
    OPENSSL_cleanse(triedPassword_.data(), triedPassword_.size());
}

void TableKey::derive() const
{
    if (tried_ && triedPassword_ == password_)
        return;
    cipher_.reset();
    OPENSSL_cleanse(triedPassword_.data(), triedPassword_.size());
    triedPassword_ = password_;
    tried_ = true;
    if (password_.empty())
        return;
    auto c = std::make_shared<const TableCipher>(password_, block_.salt, block_.derivation);
    if (c->matches(block_.check))
        cipher_ = std::move(c);
}

bool TableKey::usable() const
{
    derive();
    return cipher_ != nullptr;
}

const TableCipher &TableKey::cipher() const
{
    derive();
    if (!cipher_) {
        if (password_.empty())
            throw PasswordError("Table " + tableName_ +
                                " is encrypted: a password is needed to read or change it");
        throw PasswordError("Table " + tableName_ +
                            " is encrypted under another password: the password given is wrong");
    }
    return *cipher_;
}

std::shared_ptr<const TableCipher> TableKey::sharedCipher() const
{
    cipher();
    return cipher_;
}

} // namespace qn::xbase
