// The tags use SHA-256's block function directly: HMAC's two keyed states are
// made once per table and copied per tag, which is what makes a tag cheap
// enough to check on every record read. That interface is marked deprecated
// in OpenSSL 3 but is kept and exact.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "xbase/table_cipher.h"

#include "xbase/xbase_error.h"

#include <argon2.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace qn::xbase {

namespace {

// XTS limits a data unit to 2^20 cipher blocks; long memos are cut into
// pieces of this size, each with its own tweak.
constexpr size_t PieceSize = 4096;
constexpr size_t CipherBlock = 16;

std::atomic<uint64_t> derivations{0};

struct CtxDeleter {
    void operator()(EVP_CIPHER_CTX *ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CtxDeleter>;

[[noreturn]] void cryptoFailure(const char *what)
{
    throw XbaseError::io(std::string("Encryption failure: ") + what);
}

std::array<uint8_t, 16> tweakFor(TableCipher::Domain domain, uint64_t unit, uint64_t piece)
{
    std::array<uint8_t, 16> tweak{};
    for (int i = 0; i < 8; ++i)
        tweak[i] = static_cast<uint8_t>(unit >> (8 * i));
    tweak[8] = static_cast<uint8_t>(domain);
    for (int i = 0; i < 7; ++i)
        tweak[9 + i] = static_cast<uint8_t>(piece >> (8 * i));
    return tweak;
}

} // namespace

struct TableCipher::Contexts {
    CtxPtr xtsEncrypt{EVP_CIPHER_CTX_new()};
    CtxPtr xtsDecrypt{EVP_CIPHER_CTX_new()};
    CtxPtr ecb{EVP_CIPHER_CTX_new()}; // keystream for units shorter than one block
    // HMAC-SHA256 under the tag key: the states after the inner and the
    // outer padded key.
    SHA256_CTX tagInner{};
    SHA256_CTX tagOuter{};

    // The key is 32 bytes.
    void setTagKey(const uint8_t *key)
    {
        constexpr size_t keySize = 32;
        uint8_t pad[SHA256_CBLOCK];
        std::memset(pad, 0x36, sizeof pad);
        for (size_t i = 0; i < keySize; ++i)
            pad[i] ^= key[i];
        SHA256_Init(&tagInner);
        SHA256_Update(&tagInner, pad, sizeof pad);
        std::memset(pad, 0x5c, sizeof pad);
        for (size_t i = 0; i < keySize; ++i)
            pad[i] ^= key[i];
        SHA256_Init(&tagOuter);
        SHA256_Update(&tagOuter, pad, sizeof pad);
        OPENSSL_cleanse(pad, sizeof pad);
    }
    ~Contexts()
    {
        OPENSSL_cleanse(&tagInner, sizeof tagInner);
        OPENSSL_cleanse(&tagOuter, sizeof tagOuter);
    }
};

std::string KeyDerivation::problem() const
{
    switch (method) {
    case Method::Pbkdf2Sha256:
        if (iterations == 0 || iterations > MaxIterations)
            return "impossible iteration count " + std::to_string(iterations);
        return {};
    case Method::Argon2id:
        if (lanes == 0 || lanes > MaxLanes)
            return "impossible lane count " + std::to_string(lanes);
        if (passes == 0 || passes > MaxPasses)
            return "impossible pass count " + std::to_string(passes);
        // Argon2 needs at least 8 KiB per lane.
        if (memoryKiB < 8 * lanes || memoryKiB > MaxMemoryKiB)
            return "impossible memory size " + std::to_string(memoryKiB) + " KiB";
        if (uint64_t(memoryKiB) * passes > MaxWorkKiB)
            return "impossible cost of " + std::to_string(passes) + " passes over " +
                   std::to_string(memoryKiB) + " KiB";
        return {};
    }
    return "unknown key derivation";
}

std::string KeyDerivation::describe() const
{
    if (method == Method::Pbkdf2Sha256)
        return "PBKDF2-HMAC-SHA256, " + std::to_string(iterations) + " iterations";
    return "Argon2id, " + std::to_string(memoryKiB) + " KiB memory, " + std::to_string(passes) +
           (passes == 1 ? " pass, " : " passes, ") + std::to_string(lanes) +
           (lanes == 1 ? " lane" : " lanes");
}

TableCipher::TableCipher(std::string_view password, const Salt &salt,
                         const KeyDerivation &derivation)
    : contexts_(std::make_unique<Contexts>()), salt_(salt), derivation_(derivation)
{
    std::string problem = derivation.problem();
    if (!problem.empty())
        throw XbaseError::damaged("Encryption failure: " + problem);
    // 64 bytes of XTS key (two AES-256 keys), 32 bytes for short units, 32 for the check.
    uint8_t material[128];
    ++derivations;
    if (derivation.method == KeyDerivation::Method::Pbkdf2Sha256) {
        if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                              static_cast<int>(salt.size()),
                              static_cast<int>(derivation.iterations), EVP_sha256(),
                              sizeof material, material) != 1)
            cryptoFailure("key derivation");
    } else {
        // One thread whatever the lanes: the result is the same, and an open
        // never starts threads behind the caller's back.
        argon2_context ctx{};
        ctx.out = material;
        ctx.outlen = sizeof material;
        ctx.pwd = reinterpret_cast<uint8_t *>(const_cast<char *>(password.data()));
        ctx.pwdlen = static_cast<uint32_t>(password.size());
        ctx.salt = const_cast<uint8_t *>(salt.data());
        ctx.saltlen = static_cast<uint32_t>(salt.size());
        ctx.t_cost = derivation.passes;
        ctx.m_cost = derivation.memoryKiB;
        ctx.lanes = derivation.lanes;
        ctx.threads = 1;
        ctx.version = ARGON2_VERSION_13;
        ctx.flags = ARGON2_DEFAULT_FLAGS;
        int status = argon2_ctx(&ctx, Argon2_id);
        if (status == ARGON2_MEMORY_ALLOCATION_ERROR)
            cryptoFailure("out of memory for the key derivation");
        if (status != ARGON2_OK)
            cryptoFailure(argon2_error_message(status));
    }
    const uint8_t *xtsKey = material;
    const uint8_t *shortKey = material + 64;
    const uint8_t *checkKey = material + 96;

    if (!contexts_->xtsEncrypt || !contexts_->xtsDecrypt || !contexts_->ecb)
        cryptoFailure("out of memory");
    if (EVP_EncryptInit_ex(contexts_->xtsEncrypt.get(), EVP_aes_256_xts(), nullptr, xtsKey,
                           nullptr) != 1 ||
        EVP_DecryptInit_ex(contexts_->xtsDecrypt.get(), EVP_aes_256_xts(), nullptr, xtsKey,
                           nullptr) != 1 ||
        EVP_EncryptInit_ex(contexts_->ecb.get(), EVP_aes_256_ecb(), nullptr, shortKey, nullptr) !=
            1)
        cryptoFailure("cipher set-up");
    EVP_CIPHER_CTX_set_padding(contexts_->ecb.get(), 0);

    static const char label[] = "key check";
    unsigned int checkLength = 0;
    uint8_t mac[EVP_MAX_MD_SIZE];
    if (!HMAC(EVP_sha256(), checkKey, 32, reinterpret_cast<const uint8_t *>(label),
              sizeof label - 1, mac, &checkLength))
        cryptoFailure("key check");
    std::memcpy(check_.data(), mac, check_.size());
    // The tag key is one more step from the check key, so that the stored
    // check tells nothing about it.
    static const char tagLabel[] = "authentication tags";
    unsigned int tagKeyLength = 0;
    if (!HMAC(EVP_sha256(), checkKey, 32, reinterpret_cast<const uint8_t *>(tagLabel),
              sizeof tagLabel - 1, mac, &tagKeyLength))
        cryptoFailure("tag key");
    contexts_->setTagKey(mac);
    OPENSSL_cleanse(mac, sizeof mac);
    OPENSSL_cleanse(material, sizeof material);
}

TableCipher::~TableCipher() = default;

TableCipher::Tag TableCipher::tag(Domain domain, uint64_t unit, const uint8_t *data,
                                  size_t size) const
{
    // Domain and unit first, in fixed widths, so that no two places share
    // the bytes the tag is made over.
    uint8_t place[9];
    place[0] = uint8_t(domain);
    for (int i = 0; i < 8; ++i)
        place[1 + i] = uint8_t(unit >> (8 * i));
    SHA256_CTX ctx = contexts_->tagInner;
    uint8_t inner[SHA256_DIGEST_LENGTH];
    SHA256_Update(&ctx, place, sizeof place);
    if (size)
        SHA256_Update(&ctx, data, size);
    SHA256_Final(inner, &ctx);
    ctx = contexts_->tagOuter;
    uint8_t mac[SHA256_DIGEST_LENGTH];
    SHA256_Update(&ctx, inner, sizeof inner);
    SHA256_Final(mac, &ctx);
    Tag out{};
    std::memcpy(out.data(), mac, out.size());
    OPENSSL_cleanse(&ctx, sizeof ctx);
    return out;
}

bool TableCipher::tagMatches(Domain domain, uint64_t unit, const uint8_t *data, size_t size,
                             const uint8_t *stored) const
{
    const Tag expected = tag(domain, unit, data, size);
    return CRYPTO_memcmp(expected.data(), stored, expected.size()) == 0;
}

TableCipher::Salt TableCipher::newSalt()
{
    Salt salt{};
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1)
        cryptoFailure("no random numbers");
    return salt;
}

bool TableCipher::matches(const KeyCheck &stored) const
{
    return CRYPTO_memcmp(stored.data(), check_.data(), check_.size()) == 0;
}

uint64_t TableCipher::derivationCount()
{
    return derivations.load();
}

void TableCipher::encrypt(Domain domain, uint64_t unit, uint8_t *data, size_t size) const
{
    apply(true, domain, unit, data, size);
}

void TableCipher::decrypt(Domain domain, uint64_t unit, uint8_t *data, size_t size) const
{
    apply(false, domain, unit, data, size);
}

void TableCipher::apply(bool encrypting, Domain domain, uint64_t unit, uint8_t *data,
                        size_t size) const
{
    if (size == 0)
        return;
    if (size < CipherBlock) {
        // Too short for XTS: XOR with a keystream block made from the tweak.
        // Such units are only ever tiny fields; the position still varies it.
        auto tweak = tweakFor(domain, unit, ~uint64_t{0});
        uint8_t stream[CipherBlock];
        int outLength = 0;
        if (EVP_EncryptUpdate(contexts_->ecb.get(), stream, &outLength, tweak.data(),
                              CipherBlock) != 1)
            cryptoFailure("keystream");
        for (size_t i = 0; i < size; ++i)
            data[i] ^= stream[i];
        return;
    }
    EVP_CIPHER_CTX *ctx = encrypting ? contexts_->xtsEncrypt.get() : contexts_->xtsDecrypt.get();
    size_t offset = 0;
    for (uint64_t piece = 0; offset < size; ++piece) {
        size_t length = std::min(PieceSize, size - offset);
        // A remainder shorter than one cipher block joins the piece before it.
        if (size - offset - length < CipherBlock)
            length = size - offset;
        auto tweak = tweakFor(domain, unit, piece);
        int outLength = 0;
        if (EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, tweak.data(), encrypting ? 1 : 0) !=
                1 ||
            EVP_CipherUpdate(ctx, data + offset, &outLength, data + offset,
                             static_cast<int>(length)) != 1)
            cryptoFailure(encrypting ? "encrypting" : "decrypting");
        offset += length;
    }
}

} // namespace qn::xbase
