#include "xbase/dbf_file.h"

#include "xbase/xbase_error.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace qn::xbase {

namespace {

uint32_t le32(const unsigned char *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const unsigned char *p)
{
    return uint16_t(p[0] | p[1] << 8);
}
void putLe32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
void putLe16(unsigned char *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void todayBytes(unsigned char *p)
{
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    p[0] = uint8_t((tm.tm_year + 1900) % 100);
    p[1] = uint8_t(tm.tm_mon + 1);
    p[2] = uint8_t(tm.tm_mday);
}

} // namespace

std::string asciiUpper(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

std::vector<FieldInfo> DbfFile::normalizeFields(std::vector<FieldInfo> fields)
{
    if (fields.empty())
        throw XbaseError::refused("A table needs at least one field");
    if (fields.size() > 255)
        throw XbaseError::refused("A table can have at most 255 fields");
    uint32_t offset = 1;
    for (size_t i = 0; i < fields.size(); ++i) {
        FieldInfo &f = fields[i];
        f.name = asciiUpper(f.name);
        f.type = char(std::toupper(static_cast<unsigned char>(f.type)));
        if (f.name.empty() || f.name.size() > 10)
            throw XbaseError::refused("Field name \"" + f.name + "\" must have 1 to 10 characters");
        if (!std::isalpha(static_cast<unsigned char>(f.name[0])))
            throw XbaseError::refused("Field name \"" + f.name + "\" must start with a letter");
        for (char c : f.name)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
                throw XbaseError::refused("Field name \"" + f.name +
                                          "\" may hold only letters, digits and _");
        for (size_t j = 0; j < i; ++j)
            if (fields[j].name == f.name)
                throw XbaseError::refused("Field name \"" + f.name + "\" is used twice");
        switch (f.type) {
        case 'C':
            if (f.length < 1 || f.length > 254)
                throw XbaseError::refused("Character field " + f.name +
                                          " must be 1 to 254 characters wide");
            f.decimals = 0;
            break;
        case 'N':
            if (f.length < 1 || f.length > 20)
                throw XbaseError::refused("Numeric field " + f.name +
                                          " must be 1 to 20 digits wide");
            if (f.decimals > 0 && f.decimals + 2 > f.length)
                throw XbaseError::refused("Numeric field " + f.name +
                                          " is too narrow for its decimals");
            break;
        case 'D':
            f.length = 8;
            f.decimals = 0;
            break;
        case 'L':
            f.length = 1;
            f.decimals = 0;
            break;
        case 'M':
            f.length = 10;
            f.decimals = 0;
            break;
        default:
            throw XbaseError::refused(std::string("Field type ") + f.type + " of " + f.name +
                                      " is not supported (use C, N, D, L or M)");
        }
        f.offset = offset;
        offset += f.length;
    }
    if (offset > 65535)
        throw XbaseError::refused("The record is longer than 65535 bytes");
    return fields;
}

void DbfFile::create(const std::filesystem::path &path, const std::vector<FieldInfo> &input,
                     FileSystem &fs)
{
    std::vector<FieldInfo> fields = normalizeFields(input);
    bool memo =
        std::any_of(fields.begin(), fields.end(), [](const FieldInfo &f) { return f.type == 'M'; });
    uint32_t recordLength = 1;
    for (const FieldInfo &f : fields)
        recordLength += f.length;
    uint16_t headerLength = uint16_t(32 + 32 * fields.size() + 1);
    std::string bytes(headerLength + 1, '\0');
    auto *h = reinterpret_cast<unsigned char *>(bytes.data());
    h[0] = memo ? 0xF5 : 0x03;
    todayBytes(h + 1);
    putLe32(h + 4, 0);
    putLe16(h + 8, headerLength);
    putLe16(h + 10, uint16_t(recordLength));
    h[29] = 0x03; // Windows 1252
    for (size_t i = 0; i < fields.size(); ++i) {
        unsigned char *d = h + 32 + 32 * i;
        std::memcpy(d, fields[i].name.data(), fields[i].name.size());
        d[11] = uint8_t(fields[i].type);
        putLe32(d + 12, fields[i].offset);
        d[16] = uint8_t(fields[i].length);
        d[17] = fields[i].decimals;
    }
    h[headerLength - 1] = 0x0D;
    h[headerLength] = 0x1A;
    BinaryFile file(path, BinaryFile::Mode::Create, fs);
    file.writeAt(0, bytes.data(), bytes.size());
    file.sync();
}

std::unique_ptr<DbfFile> DbfFile::open(const std::filesystem::path &path, Access access,
                                       FileSystem &fs)
{
    std::unique_ptr<DbfFile> t(new DbfFile);
    t->access_ = access;
    t->file_ = BinaryFile(
        path, access == Access::ReadOnly ? BinaryFile::Mode::ReadOnly : BinaryFile::Mode::ReadWrite,
        fs);
    if (!t->file_.tryLock(access == Access::Exclusive))
        throw XbaseError::lock("Table " + path.string() +
                               (access == Access::Exclusive
                                    ? " is in use by another program or work area"
                                    : " is open exclusively elsewhere"));
    t->readHeader();
    t->cache_ = std::make_unique<ReadCache>(t->file_);
    t->cache_->setEnabled(access != Access::Shared);
    return t;
}

void DbfFile::readHeader()
{
    const std::string name = file_.path().string();
    uint64_t size = file_.size();
    if (size < 32)
        throw XbaseError::damaged("Table " + name +
                                  " is damaged: the file is shorter than a table header");
    unsigned char h[32];
    file_.readAt(0, h, 32);
    version_ = h[0];
    count_ = le32(h + 4);
    headerLength_ = le16(h + 8);
    recordLength_ = le16(h + 10);
    flags_ = h[28];
    bool encrypted = h[15] != 0;
    static const unsigned char versions[] = {0x02, 0x03, 0x30, 0x31, 0x32, 0x83, 0x8B, 0xF5, 0xFB};
    if (std::find(std::begin(versions), std::end(versions), version_) == std::end(versions))
        throw XbaseError::damaged("Table " + name +
                                  " is damaged or not a table: unknown version byte");
    if (headerLength_ < 32 + 32 + 1 || headerLength_ > size)
        throw XbaseError::damaged("Table " + name + " is damaged: impossible header length");
    if (recordLength_ < 2)
        throw XbaseError::damaged("Table " + name + " is damaged: impossible record length");
    std::string header(headerLength_ - 32, '\0');
    file_.readAt(32, header.data(), header.size());
    keyBlock_.reset();
    if (encrypted) {
        if (header.size() >= KeyBlock::Size + 33)
            keyBlock_ = KeyBlock::read(reinterpret_cast<const uint8_t *>(header.data()) +
                                       header.size() - KeyBlock::Size);
        if (!keyBlock_)
            throw XbaseError::refused("Table " + name +
                                      " is encrypted in a way this engine cannot read");
        // Checked here, before any password is tried: a damaged block must
        // not make the derivation allocate gigabytes or run for hours.
        std::string problem = keyBlock_->derivation.problem();
        if (!problem.empty())
            throw XbaseError::damaged("Table " + name + " is damaged: its key block has an " +
                                      problem);
    }
    fields_.clear();
    tagged_ = false;
    uint32_t offset = 1;
    for (size_t pos = 0; pos + 32 <= header.size(); pos += 32) {
        const auto *d = reinterpret_cast<const unsigned char *>(header.data() + pos);
        if (d[0] == 0x0D || d[0] == 0x0A)
            break;
        FieldInfo f;
        size_t n = 0;
        while (n < 11 && d[n] != 0)
            ++n;
        f.name = asciiUpper(std::string(reinterpret_cast<const char *>(d), n));
        if (tagged_)
            throw XbaseError::damaged("Table " + name +
                                      " is damaged: a field follows its tag column");
        if (keyBlock_ && f.name == TagColumnName && d[11] == '0' && (d[18] & 0x01) &&
            d[16] == TableCipher::TagSize) {
            tagged_ = true;
            offset += TableCipher::TagSize;
            continue;
        }
        f.type = char(std::toupper(d[11]));
        f.length = d[16];
        f.decimals = d[17];
        if (f.type == 'C' && f.decimals != 0) { // wide character fields keep the high byte here
            f.length = uint16_t(d[16] + 256 * d[17]);
            f.decimals = 0;
        }
        if (f.name.empty() || f.length == 0 || !std::isalpha(static_cast<unsigned char>(f.type)))
            throw XbaseError::damaged("Table " + name + " is damaged: field descriptor " +
                                      std::to_string(fields_.size() + 1) + " is invalid");
        if (f.type == 'M' && f.length != 10 && f.length != 4)
            throw XbaseError::damaged("Table " + name + " is damaged: memo field " + f.name +
                                      " has width " + std::to_string(f.length));
        f.offset = offset;
        offset += f.length;
        fields_.push_back(std::move(f));
    }
    if (fields_.empty())
        throw XbaseError::damaged("Table " + name + " is damaged: no field descriptors");
    if (offset != recordLength_)
        throw XbaseError::damaged("Table " + name +
                                  " is damaged: the record length does not match its fields");
    opened_.setRecordSize(fieldsLength());
    uint64_t needed = uint64_t(headerLength_) + uint64_t(count_) * recordLength_;
    if (needed > size)
        throw XbaseError::damaged("Table " + name + " is damaged: it claims " +
                                  std::to_string(count_) + " records but the file holds only " +
                                  std::to_string((size - headerLength_) / recordLength_));
}

bool DbfFile::hasMemoFields() const
{
    return std::any_of(fields_.begin(), fields_.end(),
                       [](const FieldInfo &f) { return f.type == 'M' || f.type == 'G'; });
}

int DbfFile::fieldIndex(std::string_view name) const
{
    std::string upper = asciiUpper(std::string(name));
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].name == upper)
            return int(i);
    return -1;
}

const TableCipher *DbfFile::cipher() const
{
    if (!keyBlock_)
        return nullptr;
    if (!key_)
        throw PasswordError("Table " + file_.path().string() +
                            " is encrypted: a password is needed to read or change it");
    return &key_->cipher();
}

void DbfFile::readStoredRecord(uint32_t recno, char *buffer) const
{
    if (recno < 1 || recno > count_)
        throw XbaseError::refused("Record " + std::to_string(recno) + " does not exist in " +
                                  file_.path().string());
    if (!pending_.empty()) {
        auto found = pending_.find(recno);
        if (found != pending_.end()) {
            std::memcpy(buffer, found->second.data(), recordLength_);
            return;
        }
    }
    cache_->readAt(headerLength_ + uint64_t(recno - 1) * recordLength_, buffer, recordLength_);
}

void DbfFile::readRecord(uint32_t recno, char *buffer) const
{
    const TableCipher *c = cipher(); // before reading: a wrong key fails the same way everywhere
    if (!c) {
        readStoredRecord(recno, buffer);
        return;
    }
    // A record written since the last commit is read from what waits to be
    // written; only committed records are kept decrypted, and only where no
    // one else writes the file.
    const bool keep = access_ != Access::Shared && !pending_.contains(recno);
    if (keep && recno <= count_ && opened_.find(recno, buffer))
        return;
    readEncryptedRecord(*c, recno, buffer);
    if (keep)
        opened_.put(recno, buffer, count_);
}

void DbfFile::readEncryptedRecord(const TableCipher &cipher, uint32_t recno, char *buffer) const
{
    if (!tagged_) {
        readStoredRecord(recno, buffer);
        cipher.decrypt(TableCipher::Domain::Record, recno, reinterpret_cast<uint8_t *>(buffer) + 1,
                       recordLength_ - 1u);
        return;
    }
    // The tag does not fit the caller's buffer: read into one kept for that.
    sealed_.resize(recordLength_);
    readStoredRecord(recno, sealed_.data());
    const bool authentic = unseal(cipher, recno, sealed_.data());
    if (authentic)
        std::memcpy(buffer, sealed_.data(), fieldsLength());
    OPENSSL_cleanse(sealed_.data(), sealed_.size()); // the plain record stays only where asked
    if (authentic)
        return;
    throw XbaseError::tampered("Record " + std::to_string(recno) + " of " + file_.path().string() +
                               " was changed by someone without the password");
}

bool DbfFile::unseal(const TableCipher &cipher, uint32_t recno, char *buffer) const
{
    auto *bytes = reinterpret_cast<uint8_t *>(buffer);
    cipher.decrypt(TableCipher::Domain::Record, recno, bytes + 1, recordLength_ - 1u);
    if (!tagged_)
        return true;
    const size_t body = recordLength_ - TableCipher::TagSize;
    return cipher.tagMatches(TableCipher::Domain::Record, recno, bytes, body, bytes + body);
}

bool DbfFile::authentic(uint32_t recno) const
{
    const TableCipher *c = cipher();
    if (!c)
        return true;
    std::string buffer(recordLength_, '\0');
    readStoredRecord(recno, buffer.data());
    return unseal(*c, recno, buffer.data());
}

void DbfFile::seal(const TableCipher &cipher, uint32_t recno, char *record, size_t length)
{
    auto *bytes = reinterpret_cast<uint8_t *>(record);
    const size_t body = length - TableCipher::TagSize;
    const TableCipher::Tag tag = cipher.tag(TableCipher::Domain::Record, recno, bytes, body);
    std::memcpy(bytes + body, tag.data(), tag.size());
}

void DbfFile::writeTagDescriptor(uint8_t *out, uint32_t offset)
{
    std::memset(out, 0, 32);
    std::memcpy(out, TagColumnName, std::strlen(TagColumnName));
    out[11] = '0';
    for (int i = 0; i < 4; ++i)
        out[12 + i] = uint8_t(offset >> (8 * i));
    out[16] = TableCipher::TagSize;
    out[18] = 0x01 | 0x04; // a system column, binary
}

void DbfFile::writeRecord(uint32_t recno, const char *buffer)
{
    if (!writable())
        throw XbaseError::refused("Table " + file_.path().string() + " is open read-only");
    if (recno < 1 || recno > count_)
        throw XbaseError::refused("Record " + std::to_string(recno) + " does not exist in " +
                                  file_.path().string());
    std::string bytes(buffer, fieldsLength());
    if (const TableCipher *c = cipher()) {
        if (tagged_) {
            bytes.resize(recordLength_);
            seal(*c, recno, bytes.data(), bytes.size());
        }
        c->encrypt(TableCipher::Domain::Record, recno,
                   reinterpret_cast<uint8_t *>(bytes.data()) + 1, recordLength_ - 1u);
    }
    pending_[recno] = std::move(bytes);
    headerChanged_ = true; // the date of the last change
}

uint32_t DbfFile::appendRecord(const char *buffer)
{
    if (!writable())
        throw XbaseError::refused("Table " + file_.path().string() + " is open read-only");
    if (count_ == 0xFFFFFFFEu)
        throw XbaseError::refused("Table " + file_.path().string() + " is full");
    std::string bytes(buffer, fieldsLength());
    if (const TableCipher *c = cipher()) {
        if (tagged_) {
            bytes.resize(recordLength_);
            seal(*c, count_ + 1u, bytes.data(), bytes.size());
        }
        c->encrypt(TableCipher::Domain::Record, count_ + 1u,
                   reinterpret_cast<uint8_t *>(bytes.data()) + 1, recordLength_ - 1u);
    }
    pending_[++count_] = std::move(bytes);
    headerChanged_ = true;
    return count_;
}

void DbfFile::rereadCount()
{
    unsigned char h[4];
    file_.readAt(4, h, 4);
    uint32_t count = le32(h);
    if (uint64_t(headerLength_) + uint64_t(count) * recordLength_ > file_.size())
        throw XbaseError::damaged("Table " + file_.path().string() +
                                  " is damaged: record count exceeds the file");
    count_ = count;
}

void DbfFile::setIndexFlag(bool hasProductionIndex)
{
    uint8_t flags = hasProductionIndex ? (flags_ | 0x01) : (flags_ & ~0x01);
    if (flags == flags_ || !writable())
        return;
    flags_ = flags;
    headerChanged_ = true;
}

FileChange DbfFile::changes()
{
    FileChange c;
    c.file = &file_;
    if (!writable() || !changed())
        return c;
    c.originalSize = file_.size();
    // Runs of adjacent records go out in one write each.
    const uint64_t end = headerLength_ + uint64_t(count_) * recordLength_;
    std::string run;
    uint64_t runStart = 0;
    for (const auto &[recno, bytes] : pending_) {
        uint64_t at = headerLength_ + uint64_t(recno - 1) * recordLength_;
        if (!run.empty() && runStart + run.size() != at) {
            c.writes.emplace_back(runStart, std::move(run));
            run.clear();
        }
        if (run.empty())
            runStart = at;
        run += bytes;
    }
    if (!run.empty())
        c.writes.emplace_back(runStart, std::move(run));
    c.writes.emplace_back(end, std::string(1, '\x1A')); // the end mark after the last record
    unsigned char h[8];
    h[0] = version_;
    todayBytes(h + 1);
    putLe32(h + 4, count_);
    c.writes.emplace_back(0, std::string(reinterpret_cast<char *>(h), 8));
    c.writes.emplace_back(28, std::string(1, char(flags_)));
    // Bytes beyond the last record (an append that never counted) go.
    if (c.originalSize > end + 1)
        c.size = end + 1;
    return c;
}

void DbfFile::committed()
{
    if (!pending_.empty()) {
        auto first = pending_.begin()->first, last = pending_.rbegin()->first;
        cache_->invalidate(headerLength_ + uint64_t(first - 1) * recordLength_,
                           size_t(uint64_t(last - first + 1) * recordLength_ + 1));
        for (const auto &written : pending_)
            opened_.drop(written.first);
    }
    cache_->invalidate(0, 32);
    pending_.clear();
    headerChanged_ = false;
}

void DbfFile::discardUncommitted()
{
    pending_.clear();
    headerChanged_ = false;
    cache_->clear();
    opened_.clear();
    readHeader();
}

} // namespace qn::xbase
