#pragma once

// The table cursor: one open table of the engine, reached through its work
// area. Every call selects that area and selects the previous one again, so
// the cursor never leaves the engine's current area changed. Calls answer the
// result codes of xtable_error.h; the data-access layer turns them into
// exceptions.

#include "engine/xtable_error.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qn::engine {

// Day numbers of the data-access layer: day 693594 is 30 December 1899.
constexpr int32_t DateDelta = 693594;

// A value written into a field of the record being edited.
struct TXFieldValue {
    enum class Kind { Blank, Text, Date, Logical, Integer, Float };
    Kind kind = Kind::Blank;
    std::string text;
    int32_t day = 0; // Date: day number (DateDelta = 30 December 1899)
    bool logical = false;
    int64_t integer = 0;
    double number = 0;

    static TXFieldValue Blank() { return {}; }
    static TXFieldValue Text(std::string t)
    {
        TXFieldValue v;
        v.kind = Kind::Text;
        v.text = std::move(t);
        return v;
    }
    static TXFieldValue Date(int32_t dayNumber)
    {
        TXFieldValue v;
        v.kind = Kind::Date;
        v.day = dayNumber;
        return v;
    }
    static TXFieldValue Logical(bool b)
    {
        TXFieldValue v;
        v.kind = Kind::Logical;
        v.logical = b;
        return v;
    }
    static TXFieldValue Integer(int64_t i)
    {
        TXFieldValue v;
        v.kind = Kind::Integer;
        v.integer = i;
        return v;
    }
    static TXFieldValue Float(double d)
    {
        TXFieldValue v;
        v.kind = Kind::Float;
        v.number = d;
        return v;
    }
};

struct TXRecordInfo {
    int32_t recNo = 0;
    bool deleted = false;
};

struct TXFieldDesc {
    int16_t number = 0; // 1-based
    std::string name;
    char type = 'C';
    int width = 0;
    int decimals = 0;
    int offset = 0; // in the record image; byte 0 is the deletion flag
};

// Engine driver numbers by name ("XTFOX" 2 and so on); 2 for unknown names.
int16_t driverFromName(const std::string &name);
// The driver for a table file given without a driver name, from the first
// byte of the file and the index files beside it.
int16_t driverFromFile(const std::filesystem::path &dbf);
// The alias the cursor opens a table under, given the stem of its file name.
std::string aliasForStem(const std::string &stem);

class TXTableCursor {
public:
    struct OpenParams {
        std::filesystem::path directory;
        std::string tableName;  // with or without ".DBF"
        std::string driverName; // empty: from the file
        std::string indexName;  // tag (driver 1: index file) made current
        bool exclusive = false;
        bool readOnly = false;
    };

    TXTableCursor() = default;
    TXTableCursor(const TXTableCursor &) = delete;
    TXTableCursor &operator=(const TXTableCursor &) = delete;
    ~TXTableCursor();

    int Open(const OpenParams &params);
    int Close();
    bool IsOpen() const { return area_ != 0; }
    int16_t Area() const { return area_; }
    int16_t Driver() const { return driver_; }
    bool Shared() const { return mode_ == 0; }
    const std::string &Alias() const { return alias_; }
    const std::filesystem::path &Path() const { return path_; }
    int32_t RecSize() const { return recSize_; }
    const std::vector<TXFieldDesc> &Fields() const { return fields_; }
    const TXFieldDesc *Field(const std::string &name) const; // any case; null when missing
    // The engine's last message, for the texts of failures.
    const std::string &LastEngineText() const { return engineText_; }

    // Positions and reads. image points to RecSize bytes.
    int SetToBegin();
    int SetToEnd();
    int GetNextRecord(bool lock, char *image, TXRecordInfo *info);
    int GetPriorRecord(bool lock, char *image, TXRecordInfo *info);
    int GetRecord(bool lock, char *image, TXRecordInfo *info);
    int SetToRecNo(int32_t recNo);
    int RecordCount(int32_t &count);
    int Unlock();

    // Writes. Append: a new blank record, locked in shared mode, then the
    // engine writes (memos) of `before`, then the image. Modify: the same on
    // the current record.
    struct EngineWrite {
        int16_t field = 0;
        TXFieldValue value; // Text for memos
        bool memo = false;
    };
    // Commits whatever waits first unless `commitFirst` is false; a failed
    // append gives up everything since the last commit.
    int InsertRecord(char *image, const std::vector<EngineWrite> &before, TXRecordInfo *info,
                     bool commitFirst = true);
    int ModifyRecord(char *image, const std::vector<EngineWrite> &before, bool unlock);
    int DeleteRecord();
    int Commit();
    int Rollback(); // drops everything since the last commit

    // Field access on a record image.
    // True when the engine must write the field (memos, and whatever the
    // engine's property 65012 reports), false when it goes into the image.
    bool NeedsEngineWrite(int16_t field);
    // Writes into the image, or through the engine when it must; the engine
    // path needs the engine on the record the image belongs to.
    int PutField(int16_t field, char *image, const TXFieldValue &value);
    int ReadMemo(int16_t field, const char *image, std::string &text);
    // The text is cut at length (and at a zero byte).
    int WriteMemo(int16_t field, char *image, const char *text, size_t length);

    // Index definitions: the tags the cursor can switch to, in order.
    const std::vector<std::string> &IndexDefs() const { return indexDefs_; }
    void AddIndexDef(const std::string &tag);
    int UpdateIndexDefs(); // from the engine's open tags
    const std::string &ActiveIndex() const { return activeIndex_; }
    int SwitchToIndex(const std::string &tag); // empty: natural order

    // Entry points of the data-access interface that this engine does not
    // have: they raise EXNotSupported.
    [[noreturn]] void GetVchkDesc();
    [[noreturn]] void SetPrivateDir(const std::string &dir);
    [[noreturn]] void OpenIndex(const std::string &name);
    [[noreturn]] void CloseIndex(const std::string &name);
    [[noreturn]] void AddPassword(const std::string &password);
    [[noreturn]] void DropPassword(const std::string &password);
    [[noreturn]] void BeginDelayedUpdates();
    [[noreturn]] void EndDelayedUpdates();
    // Entry points with nothing to do for this engine.
    int ForceReread() { return xrOk; }
    int ForceRecordReread() { return xrOk; }

private:
    class AreaScope;
    int engineFailure(int code);
    int lockCurrent();
    int readCurrent(bool lock, char *image, TXRecordInfo *info);
    int moveToEnd();
    int engineCall(int16_t (*call)());
    int replaceThroughEngine(int16_t field, char *image, const TXFieldValue &value);
    int applyWrites(char *image, const std::vector<EngineWrite> &writes);
    void loadStructure();

    int16_t area_ = 0;
    int16_t driver_ = 0;
    int16_t mode_ = 0;
    std::string alias_;
    std::filesystem::path path_;
    int32_t recSize_ = 0;
    std::vector<TXFieldDesc> fields_;
    std::vector<std::string> indexDefs_;
    std::string activeIndex_;
    std::string engineText_;
};

} // namespace qn::engine
