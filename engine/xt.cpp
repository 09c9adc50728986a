#include "engine/xt.h"
#include "engine/engine_files.h"

#include "xbase/work_areas.h"
#include "xbase/xbase_error.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

using namespace qn::xbase;

namespace {

// The engine's one global state: its work areas (with the current area and
// the settings) and the last failure.
struct EngineState {
    WorkAreas areas;
    int32_t errorCode = 0;
    std::string errorText;
    int16_t errorLevel = 1;
    int16_t stringType = 1;
    intptr_t property1006 = 0;
    intptr_t property1009 = 0;
    xt_GaugeHook gaugeHook = nullptr;
    void *gaugeContext = nullptr;
};

EngineState &engine()
{
    static EngineState state;
    return state;
}

void fail(int32_t code, const std::string &text)
{
    engine().errorCode = code;
    engine().errorText = text;
}

struct NotInUse {};

Table &table()
{
    if (!engine().areas.inUse())
        throw NotInUse{};
    return engine().areas.table();
}

// The result code of a failure of this kind in a call whose own failure
// code is callCode. Opening and creating answer XT_ERR_OPEN whatever the
// reason, except a missing or wrong password, which the caller must ask for.
int32_t codeOf(XbaseError::Kind kind, int32_t callCode)
{
    using Kind = XbaseError::Kind;
    if (kind == Kind::Password)
        return XT_ERR_PASSWORD;
    if (callCode == XT_ERR_OPEN)
        return XT_ERR_OPEN;
    switch (kind) {
    case Kind::Expression:
        return XT_ERR_EXPRESSION;
    case Kind::Lock:
        return XT_ERR_LOCK;
    case Kind::Damaged:
        return XT_ERR_DAMAGED;
    case Kind::Io:
        return XT_ERR_IO;
    case Kind::Tampered:
        return XT_ERR_CHANGED;
    default:
        return callCode;
    }
}

// Runs body; on failure records the error and answers onError.
template <typename R, typename F> R guarded(R onError, F &&body, int32_t code = XT_ERR_ENGINE)
{
    engine().errorCode = 0;
    engine().errorText.clear();
    try {
        return body();
    } catch (const NotInUse &) {
        fail(XT_ERR_NOT_IN_USE,
             "Work area " + std::to_string(engine().areas.current()) + " is not in use");
    } catch (const XbaseError &e) {
        fail(codeOf(e.kind(), code), e.what());
    } catch (const std::system_error &e) {
        fail(codeOf(XbaseError::Kind::Io, code), e.what()); // file system calls
    } catch (const std::exception &e) {
        fail(code, e.what());
    }
    return onError;
}

// Calls that act answer 0, or the failure's code as xt_Error gives it.
template <typename F> int16_t acting(F &&body)
{
    guarded<int16_t>(XT_ERR_ENGINE, [&]() -> int16_t {
        body();
        return 0;
    });
    return int16_t(engine().errorCode);
}

std::string str(const char *s)
{
    return s ? std::string(s) : std::string();
}

int32_t copyOut(const std::string &text, char *buffer, int32_t size)
{
    if (buffer && size > 0) {
        size_t n = std::min(text.size(), size_t(size - 1));
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return int32_t(text.size());
}

int fieldByName(Table &t, const char *name)
{
    int i = t.fieldIndex(str(name));
    if (i < 0)
        throw XbaseError::refused("Field " + str(name) + " does not exist");
    return i;
}

int fieldByNumber(Table &t, int16_t n)
{
    if (n < 1 || size_t(n) > t.fields().size())
        throw XbaseError::refused("Field number " + std::to_string(n) + " does not exist");
    return n - 1;
}

int16_t setFlag(bool &flag, int16_t on)
{
    int16_t previous = flag ? 1 : 0;
    flag = on != 0;
    return previous;
}

} // namespace

extern "C" {

int16_t xt_SetStringType(int16_t type)
{
    return guarded<int16_t>(0, [&]() -> int16_t {
        if (type != 1)
            throw XbaseError::refused("String type " + std::to_string(type) +
                                      " is not supported (only 1, zero-terminated)");
        int16_t previous = engine().stringType;
        engine().stringType = type;
        return previous;
    });
}

int16_t xt_ErrorLevel(int16_t level)
{
    int16_t previous = engine().errorLevel;
    engine().errorLevel = level;
    return previous;
}

int32_t xt_Version(char *buffer, int32_t size)
{
    return copyOut("2.40.00", buffer, size);
}

int16_t xt_CloseAll(void)
{
    return acting([&] { engine().areas.closeAll(); });
}

int32_t xt_Error(void)
{
    return engine().errorCode;
}
int32_t xt_ErrorText(char *buffer, int32_t size)
{
    return copyOut(engine().errorText, buffer, size);
}

int16_t xt_Use(const char *path, const char *alias, int16_t mode, int16_t driver)
{
    return guarded<int16_t>(
        0,
        [&]() -> int16_t {
            WorkAreas::checkDriver(driver);
            Table::Access access =
                mode == 2 ? Table::Access::Exclusive
                          : (mode == 1 ? Table::Access::ReadOnly : Table::Access::Shared);
            if (mode < 0 || mode > 2)
                throw XbaseError::refused("Open mode " + std::to_string(mode) +
                                          " is unknown (2 exclusive, 0 shared, 1 read-only)");
            return int16_t(engine().areas.use(str(path), str(alias), access));
        },
        XT_ERR_OPEN);
}

int16_t xt_WorkArea(const char *alias)
{
    return int16_t(engine().areas.areaOf(str(alias)));
}

int16_t xt_Select(int16_t area)
{
    return guarded<int16_t>(0, [&]() -> int16_t {
        if (area < 0)
            throw XbaseError::refused("Work area " + std::to_string(area) + " does not exist");
        return int16_t(engine().areas.select(uint16_t(area)));
    });
}

int16_t xt_Close(void)
{
    return acting([&] { engine().areas.close(); });
}

int16_t xt_CreateNew(const char *path, const char *alias, int16_t driver, int16_t fieldCount)
{
    return guarded<int16_t>(
        0,
        [&]() -> int16_t {
            WorkAreas::checkDriver(driver);
            if (fieldCount < 1)
                throw XbaseError::refused("A new table needs at least one field");
            return int16_t(engine().areas.createNew(str(path), str(alias), size_t(fieldCount)));
        },
        XT_ERR_OPEN);
}

int16_t xt_CreateField(const char *name, const char *type, int16_t width, int16_t decimals)
{
    return acting([&] {
        std::string t = str(type);
        if (t.size() != 1)
            throw XbaseError::refused("Field type \"" + t + "\" must be one letter");
        if (width < 0 || decimals < 0 || decimals > 255)
            throw XbaseError::refused("Field " + str(name) + " has an impossible width");
        FieldInfo f;
        f.name = str(name);
        f.type = t[0];
        f.length = uint16_t(width);
        f.decimals = uint8_t(decimals);
        engine().areas.createField(f);
    });
}

int16_t xt_CreateExec(void)
{
    return guarded<int16_t>(
        0,
        [&]() -> int16_t {
            engine().areas.createExec();
            return 1;
        },
        XT_ERR_OPEN);
}

int16_t xt_FieldCount(void)
{
    return guarded<int16_t>(0, [&]() -> int16_t { return int16_t(table().fields().size()); });
}

int32_t xt_FieldName(int16_t field, char *buffer, int32_t size)
{
    return guarded<int32_t>(-1, [&]() -> int32_t {
        Table &t = table();
        if (field < 1 || size_t(field) > t.fields().size())
            return copyOut("", buffer, size);
        return copyOut(t.fields()[size_t(field - 1)].name, buffer, size);
    });
}

int16_t xt_FieldNum(const char *name)
{
    return guarded<int16_t>(
        0, [&]() -> int16_t { return int16_t(table().fieldIndex(str(name)) + 1); });
}

int16_t xt_FieldType(int16_t field)
{
    return guarded<int16_t>(0, [&]() -> int16_t {
        Table &t = table();
        return int16_t(t.fields()[size_t(fieldByNumber(t, field))].type);
    });
}

int16_t xt_FieldWidth(int16_t field)
{
    return guarded<int16_t>(0, [&]() -> int16_t {
        Table &t = table();
        return int16_t(t.fields()[size_t(fieldByNumber(t, field))].length);
    });
}

int16_t xt_FieldDecimals(int16_t field)
{
    return guarded<int16_t>(0, [&]() -> int16_t {
        Table &t = table();
        return int16_t(t.fields()[size_t(fieldByNumber(t, field))].decimals);
    });
}

int32_t xt_FieldOffset(int16_t field)
{
    return guarded<int32_t>(-1, [&]() -> int32_t {
        Table &t = table();
        return int32_t(t.fields()[size_t(fieldByNumber(t, field))].offset);
    });
}

int32_t xt_RecSize(void)
{
    return guarded<int32_t>(0, [&]() -> int32_t { return table().recordLength(); });
}

int16_t xt_IndexOpen(const char *path)
{
    return guarded<int16_t>(0, [&]() -> int16_t { return int16_t(table().openIndex(str(path))); });
}

int16_t xt_IndexTag(const char *file, const char *tag, const char *expression, int16_t option,
                    int16_t descending, const char *condition)
{
    return guarded<int16_t>(0, [&]() -> int16_t {
        return int16_t(table().indexTag(str(file), str(tag), str(expression), (option & 1) != 0,
                                        descending != 0, str(condition)));
    });
}

int16_t xt_TagArea(const char *tag)
{
    return guarded<int16_t>(0, [&]() -> int16_t { return int16_t(table().tagOrder(str(tag))); });
}

int32_t xt_TagName(int16_t order, char *buffer, int32_t size)
{
    return guarded<int32_t>(
        -1, [&]() -> int32_t { return copyOut(table().tagName(order), buffer, size); });
}

int16_t xt_SetOrder(int16_t order)
{
    return guarded<int16_t>(0, [&]() -> int16_t {
        Table &t = table();
        int16_t previous = int16_t(t.order());
        t.setOrder(order);
        return previous;
    });
}

int16_t xt_IndexOrd(void)
{
    return guarded<int16_t>(0, [&]() -> int16_t { return int16_t(table().order()); });
}

int32_t xt_IndexName(char *buffer, int32_t size)
{
    return guarded<int32_t>(
        -1, [&]() -> int32_t { return copyOut(table().indexFileName(), buffer, size); });
}

int32_t xt_IndexKey(char *buffer, int32_t size)
{
    return guarded<int32_t>(
        -1, [&]() -> int32_t { return copyOut(table().indexExpression(), buffer, size); });
}

int32_t xt_IndexKeyField(char *buffer, int32_t size)
{
    return guarded<int32_t>(-1, [&]() -> int32_t {
        Table &t = table();
        std::string expr = t.indexExpression();
        if (expr.empty())
            return copyOut("", buffer, size);
        int f = t.compile(expr).singleField();
        return copyOut(f >= 0 ? t.fields()[size_t(f)].name : std::string(), buffer, size);
    });
}

int32_t xt_KeyData(char *buffer, int32_t size)
{
    return guarded<int32_t>(-1,
                            [&]() -> int32_t { return copyOut(table().keyData(), buffer, size); });
}

int16_t xt_CloseIndexes(void)
{
    return acting([&] { table().closeIndexes(); });
}

int32_t xt_CheckIndexes(char *buffer, int32_t size)
{
    return guarded<int32_t>(-1, [&]() -> int32_t {
        std::vector<std::string> faults = table().checkIndexes();
        copyOut(faults.empty() ? std::string() : faults.front(), buffer, size);
        return int32_t(faults.size());
    });
}

int16_t xt_Recovered(void)
{
    return guarded<int16_t>(0,
                            [&]() -> int16_t { return table().recoveredUnfinishedSave() ? 1 : 0; });
}

int16_t xt_GoTop(void)
{
    return acting([&] { table().goTop(); });
}

int16_t xt_GoBottom(void)
{
    return acting([&] { table().goBottom(); });
}

int16_t xt_Skip(int32_t count)
{
    return acting([&] { table().skip(count); });
}

int16_t xt_Go(int32_t recno)
{
    return acting([&] { table().go(recno < 0 ? 0u : uint32_t(recno)); });
}

int32_t xt_RecNo(void)
{
    return guarded<int32_t>(0, [&]() -> int32_t { return int32_t(table().recno()); });
}

int32_t xt_RecCount(void)
{
    return guarded<int32_t>(0, [&]() -> int32_t { return int32_t(table().recordCount()); });
}

int16_t xt_Bof(void)
{
    return guarded<int16_t>(1, [&]() -> int16_t { return table().bof() ? 1 : 0; });
}

int16_t xt_Eof(void)
{
    return guarded<int16_t>(1, [&]() -> int16_t { return table().eof() ? 1 : 0; });
}

int16_t xt_Deleted(void)
{
    return guarded<int16_t>(0, [&]() -> int16_t { return table().deleted() ? 1 : 0; });
}

int16_t xt_Seek(const char *key)
{
    return guarded<int16_t>(0, [&]() -> int16_t { return table().seek(str(key)) ? 1 : 0; });
}

int32_t xt_Query(const char *expression)
{
    return guarded<int32_t>(-1, [&]() -> int32_t {
        Table &t = table();
        t.setFilter(str(expression));
        int32_t count = int32_t(t.countVisible());
        t.goTop();
        return count;
    });
}

int32_t xt_DBFilter(char *buffer, int32_t size)
{
    return guarded<int32_t>(-1,
                            [&]() -> int32_t { return copyOut(table().filter(), buffer, size); });
}

int16_t xt_SetScope(const char *top, const char *bottom)
{
    return acting([&] {
        Table &t = table();
        t.setScope(str(top), str(bottom));
        t.goTop();
    });
}

int16_t xt_EvalLogical(const char *expression)
{
    return guarded<int16_t>(0, [&]() -> int16_t {
        Value v = table().evaluate(str(expression));
        if (v.type != Value::Type::Logical)
            throw XbaseError::expression("Expression \"" + str(expression) +
                                         "\" is not a condition");
        return v.logical ? 1 : 0;
    });
}

int32_t xt_EvalString(const char *expression, char *buffer, int32_t size)
{
    return guarded<int32_t>(-1, [&]() -> int32_t {
        return copyOut(table().evaluate(str(expression)).toText(), buffer, size);
    });
}

int16_t xt_EvalTest(const char *expression)
{
    return guarded<int16_t>(
        0, [&]() -> int16_t { return int16_t(char(table().compile(str(expression)).type())); });
}

int16_t xt_GetRecord(char *buffer)
{
    return acting([&] {
        Table &t = table();
        if (!buffer)
            throw XbaseError::refused("xt_GetRecord needs a buffer");
        std::memcpy(buffer, t.buffer(), t.recordLength());
    });
}

int16_t xt_PutRecord(const char *buffer)
{
    return acting([&] {
        if (!buffer)
            throw XbaseError::refused("xt_PutRecord needs a record image");
        table().putRecord(buffer);
    });
}

int16_t xt_AppendBlank(void)
{
    return acting([&] { table().appendBlank(); });
}

int16_t xt_Delete(void)
{
    return acting([&] { table().deleteRecord(); });
}

int16_t xt_Recall(void)
{
    return acting([&] { table().recallRecord(); });
}

int16_t xt_Commit(void)
{
    return acting([&] { table().commit(); });
}

int16_t xt_Rollback(void)
{
    return acting([&] { table().rollback(); });
}

int16_t xt_Rlock(int32_t recno)
{
    return guarded<int16_t>(0, [&]() -> int16_t {
        Table &t = table();
        uint32_t r = recno == 0 ? t.recno() : uint32_t(recno);
        if (t.lockRecord(r))
            return 1;
        fail(XT_ERR_LOCK, "Record " + std::to_string(r) + " could not be locked");
        return 0;
    });
}

int16_t xt_Unlock(int32_t)
{
    // Locks are released together: the engine holds at most the locks of
    // the record being edited.
    return acting([&] { table().unlockAll(); });
}

int16_t xt_Replace(const char *field, int16_t kind, const void *value)
{
    return acting([&] {
        Table &t = table();
        int f = fieldByName(t, field);
        if (!value)
            throw XbaseError::refused("xt_Replace needs a value for field " + str(field));
        switch (kind) {
        case XT_REPLACE_DOUBLE:
            t.replaceNumber(f, *static_cast<const double *>(value));
            break;
        case XT_REPLACE_LOGICAL:
            t.replaceLogical(f, *static_cast<const int32_t *>(value) != 0);
            break;
        case XT_REPLACE_TEXT:
            t.replaceText(f, static_cast<const char *>(value));
            break;
        case XT_REPLACE_DATE: {
            std::string text = static_cast<const char *>(value);
            if (text.find_first_not_of(" /") == std::string::npos) {
                t.replaceDate(f, std::nullopt);
                break;
            }
            auto d = parseDateText(text, 0);
            if (!d)
                throw XbaseError::refused("\"" + text + "\" is not a date (mm/dd/yy) for field " +
                                          str(field));
            t.replaceDate(f, d);
            break;
        }
        case XT_REPLACE_MEMO:
            t.replaceMemo(f, static_cast<const char *>(value));
            break;
        default:
            throw XbaseError::refused("Replace kind " + std::to_string(kind) + " is unknown");
        }
    });
}

char *xt_GetMemo(const char *field, int16_t)
{
    return guarded<char *>(nullptr, [&]() -> char * {
        Table &t = table();
        std::string text = t.memo(fieldByName(t, field));
        char *out = static_cast<char *>(std::malloc(text.size() + 1));
        if (!out)
            throw XbaseError::refused("Out of memory reading a memo");
        std::memcpy(out, text.data(), text.size());
        out[text.size()] = '\0';
        return out;
    });
}

void xt_MemDealloc(char *memo)
{
    std::free(memo);
}

int32_t xt_GetString(const char *field, char *buffer, int32_t size)
{
    return guarded<int32_t>(-1, [&]() -> int32_t {
        Table &t = table();
        return copyOut(t.text(fieldByName(t, field)), buffer, size);
    });
}

int32_t xt_GetTrimString(const char *field, char *buffer, int32_t size)
{
    return guarded<int32_t>(-1, [&]() -> int32_t {
        Table &t = table();
        std::string s = t.text(fieldByName(t, field));
        size_t end = s.find_last_not_of(' ');
        s = end == std::string::npos ? std::string() : s.substr(0, end + 1);
        size_t begin = s.find_first_not_of(' ');
        if (begin != std::string::npos && begin > 0 &&
            t.fields()[size_t(fieldByName(t, field))].type == 'N')
            s = s.substr(begin);
        return copyOut(s, buffer, size);
    });
}

int16_t xt_GetLogical(const char *field)
{
    return guarded<int16_t>(0, [&]() -> int16_t {
        Table &t = table();
        int f = fieldByName(t, field);
        if (t.fields()[size_t(f)].type != 'L')
            throw XbaseError::refused("Field " + str(field) + " is not logical");
        return t.value(f).logical ? 1 : 0;
    });
}

int32_t xt_GetDateString(const char *field, char *buffer, int32_t size)
{
    return guarded<int32_t>(-1, [&]() -> int32_t {
        Table &t = table();
        int f = fieldByName(t, field);
        Value v = t.value(f);
        if (v.type != Value::Type::Date)
            throw XbaseError::refused("Field " + str(field) + " is not a date field");
        if (v.number <= 0)
            return copyOut("", buffer, size);
        const EngineSettings &s = engine().areas.settings;
        return copyOut(formatDate(fromJulianDay(long(v.number)), s.dateFormat, s.century), buffer,
                       size);
    });
}

int16_t xt_SetDeleted(int16_t on)
{
    return setFlag(engine().areas.settings.deleted, on);
}
int16_t xt_SetExact(int16_t on)
{
    return setFlag(engine().areas.settings.exact, on);
}
int16_t xt_SetSoftSeek(int16_t on)
{
    return setFlag(engine().areas.settings.softSeek, on);
}
int16_t xt_SetCentury(int16_t on)
{
    return setFlag(engine().areas.settings.century, on);
}
int16_t xt_SetTurboRead(int16_t on)
{
    return setFlag(engine().areas.settings.turboRead, on);
}

int16_t xt_SetDateFormat(int16_t format)
{
    int16_t previous = int16_t(engine().areas.settings.dateFormat);
    if (format >= 0 && format <= 6)
        engine().areas.settings.dateFormat = format;
    return previous;
}

int16_t xt_SetLockTimeout(int16_t seconds)
{
    int16_t previous = int16_t(engine().areas.settings.lockTimeoutSeconds);
    engine().areas.settings.lockTimeoutSeconds = seconds < 0 ? 0 : seconds;
    return previous;
}

int16_t xt_SetMemoBlockSize(int16_t size)
{
    return guarded<int16_t>(0, [&]() -> int16_t {
        if (size < 0 || MemoFile::blockBytes(uint32_t(size)) > 32768)
            throw XbaseError::refused("Memo block size " + std::to_string(size) +
                                      " is not possible");
        int16_t previous = int16_t(engine().areas.settings.memoBlockSize);
        engine().areas.settings.memoBlockSize = uint32_t(size);
        return previous;
    });
}

intptr_t xt_SysProp(int32_t code, intptr_t value)
{
    EngineState &e = engine();
    switch (code) {
    case 65000:
        return e.areas.inUse() ? reinterpret_cast<intptr_t>(e.areas.table().buffer()) : 0;
    case 65002:
        return e.areas.inUse() ? 1 : 0;
    case 65010:
        return e.areas.inUse() ? intptr_t(e.areas.table().recordLength()) : 0;
    case 65012: {
        if (!e.areas.inUse() || value < 1 || size_t(value) > e.areas.table().fields().size())
            return 1;
        char type = e.areas.table().fields()[size_t(value - 1)].type;
        return (type == 'C' || type == 'N' || type == 'D' || type == 'L') ? 0 : 1;
    }
    case 1006:
        if (value >= 0)
            e.property1006 = value;
        return e.property1006;
    case 1009:
        if (value >= 0)
            e.property1009 = value;
        return e.property1009;
    default:
        return value;
    }
}

int16_t xt_SetPassword(const char *password)
{
    engine().areas.settings.password = str(password);
    return 0;
}

int16_t xt_SetKeyCost(uint32_t memoryKiB, uint32_t passes, uint32_t lanes)
{
    return acting([&] {
        KeyDerivation d = memoryKiB == 0 && passes == 0 && lanes == 0
                              ? KeyDerivation::standard()
                              : KeyDerivation::argon2id(memoryKiB, passes, lanes);
        std::string problem = d.problem();
        if (!problem.empty())
            throw XbaseError::refused("Cannot use this key cost: " + problem);
        engine().areas.settings.newKeyDerivation = d;
    });
}

int16_t xt_SetGaugeHook(xt_GaugeHook hook, void *context)
{
    EngineState &e = engine();
    e.gaugeHook = hook;
    e.gaugeContext = hook ? context : nullptr;
    if (hook)
        e.areas.settings.progress = [hook, context](int value) { hook(context, int32_t(value)); };
    else
        e.areas.settings.progress = nullptr;
    return 0;
}

int16_t xt_Pack(void)
{
    return acting([] { table().pack(); });
}

int16_t xt_DbfEncrypt(void)
{
    return acting([] { table().encrypt(); });
}

int16_t xt_DbfDecrypt(void)
{
    return acting([] { table().decrypt(); });
}

int16_t xt_DbfChangeKey(const char *newPassword)
{
    const std::string password = str(newPassword);
    return acting(
        [&] { table().changeKey(password, [&] { engine().areas.settings.password = password; }); });
}

int16_t xt_KeyState(void)
{
    return guarded<int16_t>(-1, []() -> int16_t {
        Table &t = table();
        if (!t.encrypted())
            return 0;
        return t.keyFits() ? 1 : 2;
    });
}

} // extern "C"

namespace qn::engine {

void SetEngineFileSystem(FileSystem *files)
{
    ::engine().areas.settings.fileSystem = files;
}

FileSystem &EngineFileSystem()
{
    FileSystem *files = ::engine().areas.settings.fileSystem;
    return files ? *files : DefaultFileSystem();
}

void CopyFileSettings(xbase::EngineSettings &settings)
{
    settings.fileSystem = ::engine().areas.settings.fileSystem;
    settings.newKeyDerivation = ::engine().areas.settings.newKeyDerivation;
}

} // namespace qn::engine
