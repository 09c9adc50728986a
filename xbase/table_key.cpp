#include "xbase/table_key.h"

#include <openssl/crypto.h>

#include <cstring>

namespace qn::xbase {

namespace {

constexpr char Magic[4] = {'Q', 'N', 'K', '1'};
constexpr uint32_t MaxIterations = 20000000;

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
void putLe32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace

// Layout: magic (4), iterations (4, little-endian), salt (16), check (16),
// zeros (8).
void KeyBlock::write(uint8_t *out) const
{
    std::memset(out, 0, Size);
    std::memcpy(out, Magic, 4);
    putLe32(out + 4, iterations);
    std::memcpy(out + 8, salt.data(), salt.size());
    std::memcpy(out + 24, check.data(), check.size());
}

std::optional<KeyBlock> KeyBlock::read(const uint8_t *in)
{
    if (std::memcmp(in, Magic, 4) != 0)
        return std::nullopt;
    KeyBlock b;
    b.iterations = le32(in + 4);
    // A count far beyond any real setting would stall every open for hours:
    // such a header is damaged, not a key.
    if (b.iterations == 0 || b.iterations > MaxIterations)
        return std::nullopt;
    std::memcpy(b.salt.data(), in + 8, b.salt.size());
    std::memcpy(b.check.data(), in + 24, b.check.size());
    return b;
}

void KeyBlock::writeMemoMark(uint8_t *out) const
{
    std::memcpy(out, Magic, 4);
    std::memcpy(out + 4, check.data(), check.size());
}

std::optional<TableCipher::KeyCheck> KeyBlock::readMemoMark(const uint8_t *in)
{
    if (std::memcmp(in, Magic, 4) != 0)
        return std::nullopt;
    TableCipher::KeyCheck c{};
    std::memcpy(c.data(), in + 4, c.size());
    return c;
}

TableKey::TableKey(std::string tableName, const KeyBlock &block, const std::string &password)
    : tableName_(std::move(tableName)), block_(block), password_(password)
{
}

TableKey::~TableKey() { OPENSSL_cleanse(triedPassword_.data(), triedPassword_.size()); }

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
    auto c = std::make_unique<TableCipher>(password_, block_.salt, block_.iterations);
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
            throw PasswordError("Table " + tableName_ + " is encrypted: a password is needed to read or change it");
        throw PasswordError("Table " + tableName_ + " is encrypted under another password: the password given is wrong");
    }
    return *cipher_;
}

} // namespace qn::xbase
