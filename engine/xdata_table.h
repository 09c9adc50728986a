#pragma once

// The data-access layer over the table cursor: a table with a current record,
// browse, edit and insert states, field objects, and notifications to the
// data sources bound to it. Every failure raises EXTableError with a text
// for the user.

#include "engine/xtable_cursor.h"
#include "platform/datetime.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qn::engine {

class TXDataTable;

enum class TXDataSetState { Inactive, Browse, Edit, Insert };

enum class TXDataEvent {
    Opened,        // the table became active
    Closed,        // the table became inactive
    RecordChanged, // another record, re-read or changed values (not while controls are disabled)
    StateChanged,  // browse, edit or insert
    Destroyed,     // the table object goes away; sources let go of it
};

// One field of the current record.
class TXField {
public:
    TXField(TXDataTable &table, const TXFieldDesc &desc) : table_(table), desc_(desc) {}

    const std::string &FieldName() const { return desc_.name; }
    char DataType() const { return desc_.type; }
    int Size() const { return desc_.width; }
    int FieldNo() const { return desc_.number; }

    // The text: character fields without trailing blanks, numbers without
    // blanks, dates in the program's short date format, logicals "True" or
    // "False", memos their whole text. Empty for a blank field.
    std::string AsString() const;
    void SetAsString(const std::string &text);
    bool IsNull() const;
    void Clear();

    TDateTime AsDateTime() const; // 0 for a blank date
    void SetAsDateTime(TDateTime value);
    bool AsBoolean() const;
    void SetAsBoolean(bool value);
    int64_t AsInteger() const;
    void SetAsInteger(int64_t value);
    double AsFloat() const;
    void SetAsFloat(double value);

private:
    std::string raw() const;
    TXDataTable &table_;
    TXFieldDesc desc_;
};

class TXDataTable {
public:
    TXDataTable();
    ~TXDataTable();
    TXDataTable(const TXDataTable &) = delete;
    TXDataTable &operator=(const TXDataTable &) = delete;

    // Set before Open.
    std::filesystem::path DatabaseName; // the directory
    std::string TableName;              // the file name
    std::string TableType;              // driver name; empty: from the file
    std::string IndexName;              // tag made current at open
    bool Exclusive = false;
    bool ReadOnly = false;

    void Open();
    void Close();
    bool Active() const { return state_ != TXDataSetState::Inactive; }
    TXDataSetState State() const { return state_; }
    bool Modified() const { return modified_; }

    void First();
    void Last();
    void Next();
    void Prior();
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty();
    // 0 when there is no current record (empty table, after a failed seek).
    int32_t RecNo() const { return recNo_; }
    bool HasRecord() const { return recNo_ != 0 || state_ == TXDataSetState::Insert; }

    void Edit();
    void Append();
    void Post(); // writes and commits the record (unless commits are held)
    // While held, Post writes without committing: the records posted since
    // the last commit become durable together, in one commit, at
    // CommitHeld (or at the next commit of anything else). A crash before
    // it loses them all and leaves the table as that last commit left it.
    void HoldCommits(bool hold) { holdCommits_ = hold; }
    bool CommitsHeld() const { return holdCommits_; }
    void CommitHeld();
    // Drops everything posted since the last commit (after a failure).
    void RollbackHeld();
    void Cancel();
    void Delete(); // deletes and commits; moves to the next record (or the prior one)
    // Writes the pending edit of the current record and deletes it, both
    // in one commit (a record emptied before it goes). Moves as Delete.
    void PostAndDelete();
    // Leaves edit or insert state without saving and re-reads the current record.
    void Refresh();

    int FieldCount() const { return int(fields_.size()); }
    TXField &Fields(int index);
    TXField *FindField(const std::string &name);
    TXField &FieldByName(const std::string &name); // EXTableError when missing
    // The memo of a field as text, and its replacement (edit or insert state).
    std::string MemoText(const std::string &field);
    void SetMemoText(const std::string &field, const std::string &text);

    // Record-change notifications to data sources stop while disabled
    // (nested); enabling again sends one.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    using Listener = std::function<void(TXDataEvent)>;
    int AddListener(Listener listener);
    void RemoveListener(int id);

    TXTableCursor &Cursor() { return cursor_; }

    // For the table component: posts or cancels a pending edit, puts the
    // engine on the current record, and re-reads after the engine moved.
    void CheckBrowseMode();
    void SyncCursor();
    void ResyncFromCursor(); // the record the engine stands on
    void SetPastEnd();       // last record and one step further: no current record
    void SwitchToIndex(const std::string &tag); // empty: natural order
    const std::string &IndexFieldNames() const { return cursor_.ActiveIndex(); }

private:
    friend class TXField;
    void checkActive(const char *what) const;
    void checkEditing(const TXFieldDesc &field) const;
    void fail(int code, const std::string &what);
    void load(const std::string &image, const TXRecordInfo &info);
    void clearRecord();
    void leaveEditState();
    void notify(TXDataEvent event);
    void changed();
    std::string memoOf(const TXFieldDesc &field);
    void setValue(const TXFieldDesc &field, const TXFieldValue &value);
    std::vector<TXTableCursor::EngineWrite> pendingWrites() const;
    void moveAfterDelete();

    TXTableCursor cursor_;
    TXDataSetState state_ = TXDataSetState::Inactive;
    std::vector<std::unique_ptr<TXField>> fields_;
    std::string image_, savedImage_;
    int32_t recNo_ = 0, savedRecNo_ = 0;
    bool bof_ = true, eof_ = true;
    bool modified_ = false;
    std::map<int16_t, TXFieldValue> pending_; // written by the engine at Post
    std::map<int16_t, std::string> memoCache_;
    int disableCount_ = 0;
    bool holdCommits_ = false;
    bool changedWhileDisabled_ = false;
    std::map<int, Listener> listeners_;
    int nextListener_ = 1;
};

// A link's view of a data source.
class TXDataLink {
public:
    virtual ~TXDataLink();
    // The data source's table became active or inactive (also when the link
    // is attached to a source whose table is already active).
    virtual void ActiveChanged(bool active) = 0;
    virtual void DataEvent(TXDataEvent) {}
    // Null when not attached, or once the source went away.
    class TXDataSource *Source() const { return source_; }

private:
    friend class TXDataSource;
    class TXDataSource *source_ = nullptr;
};

// Binds a data table to its links (controls, the table component).
class TXDataSource {
public:
    TXDataSource() = default;
    explicit TXDataSource(TXDataTable *dataSet) { SetDataSet(dataSet); }
    ~TXDataSource();
    TXDataSource(const TXDataSource &) = delete;
    TXDataSource &operator=(const TXDataSource &) = delete;

    TXDataTable *DataSet() const { return dataSet_; }
    void SetDataSet(TXDataTable *dataSet);
    void AddLink(TXDataLink *link);
    void RemoveLink(TXDataLink *link);

private:
    void dataEvent(TXDataEvent event);
    TXDataTable *dataSet_ = nullptr;
    int listener_ = 0;
    std::vector<TXDataLink *> links_;
};

} // namespace qn::engine
