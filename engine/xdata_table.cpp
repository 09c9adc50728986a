#include "engine/xdata_table.h"

#include "platform/ascii_text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qn::engine {

namespace {

int32_t dayNumber(TDateTime date)
{
    return int32_t(std::floor(date)) + DateDelta;
}

// A "yyyymmdd" field as a date; false when blank or not a date.
bool parseStoredDate(const std::string &raw, TDateTime &date)
{
    if (raw.size() < 8)
        return false;
    for (int i = 0; i < 8; ++i)
        if (raw[size_t(i)] < '0' || raw[size_t(i)] > '9')
            return false;
    int y = std::atoi(raw.substr(0, 4).c_str());
    int m = std::atoi(raw.substr(4, 2).c_str());
    int d = std::atoi(raw.substr(6, 2).c_str());
    return TryEncodeDate(y, m, d, date);
}

bool parseNumber(const std::string &text, double &value)
{
    std::string t(Trim(text));
    std::replace(t.begin(), t.end(), ',', '.');
    if (t.empty())
        return false;
    char *end = nullptr;
    value = std::strtod(t.c_str(), &end);
    return end && *end == '\0' && std::isfinite(value);
}

std::string valueText(const TXFieldValue &v)
{
    using Kind = TXFieldValue::Kind;
    switch (v.kind) {
    case Kind::Blank:
        return {};
    case Kind::Text:
        return v.text;
    case Kind::Date:
        return DateToStr(TDateTime(v.day - DateDelta));
    case Kind::Logical:
        return v.logical ? "True" : "False";
    case Kind::Integer:
        return std::to_string(v.integer);
    case Kind::Float: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", v.number);
        return buf;
    }
    }
    return {};
}

} // namespace

// ------------------------------------------------------------------ fields

std::string TXField::raw() const
{
    const std::string &image = table_.image_;
    if (image.size() < size_t(desc_.offset + desc_.width))
        return std::string(size_t(desc_.width), ' ');
    return image.substr(size_t(desc_.offset), size_t(desc_.width));
}

std::string TXField::AsString() const
{
    if (desc_.type == 'M' || desc_.type == 'G' || desc_.type == 'B')
        return table_.memoOf(desc_);
    auto pending = table_.pending_.find(int16_t(desc_.number));
    if (pending != table_.pending_.end())
        return valueText(pending->second);
    std::string r = raw();
    switch (desc_.type) {
    case 'D': {
        TDateTime date;
        if (parseStoredDate(r, date))
            return DateToStr(date);
        return std::string(Trim(r));
    }
    case 'L': {
        char c = r.empty() ? ' ' : r[0];
        if (c == 'T' || c == 't' || c == 'Y' || c == 'y')
            return "True";
        if (c == 'F' || c == 'f' || c == 'N' || c == 'n')
            return "False";
        return {};
    }
    case 'N':
    case 'F':
        return std::string(Trim(r));
    default:
        return std::string(TrimRight(r));
    }
}

bool TXField::IsNull() const
{
    return AsString().empty();
}

void TXField::Clear()
{
    table_.setValue(desc_, TXFieldValue::Blank());
}

void TXField::SetAsString(const std::string &text)
{
    switch (desc_.type) {
    case 'D': {
        if (Trim(text).empty())
            return Clear();
        TDateTime date;
        if (!TryStrToDate(text, date))
            throw EXTableError(xrOk, "'" + text + "' is not a valid date for field " + desc_.name);
        return SetAsDateTime(date);
    }
    case 'L': {
        std::string t = AsciiUpperCase(Trim(text));
        if (t.empty())
            return Clear();
        if (t == "T" || t == "TRUE" || t == "Y" || t == "YES")
            return SetAsBoolean(true);
        if (t == "F" || t == "FALSE" || t == "N" || t == "NO")
            return SetAsBoolean(false);
        throw EXTableError(xrOk,
                           "'" + text + "' is not a valid logical value for field " + desc_.name);
    }
    case 'N':
    case 'F': {
        if (Trim(text).empty())
            return Clear();
        double v;
        if (!parseNumber(text, v))
            throw EXTableError(xrOk,
                               "'" + text + "' is not a valid number for field " + desc_.name);
        if (desc_.decimals == 0 && v == std::floor(v) && std::fabs(v) < 9.0e18)
            return SetAsInteger(int64_t(v));
        return SetAsFloat(v);
    }
    default:
        table_.setValue(desc_, TXFieldValue::Text(text));
    }
}

TDateTime TXField::AsDateTime() const
{
    TDateTime date = 0;
    if (desc_.type == 'D') {
        auto pending = table_.pending_.find(int16_t(desc_.number));
        if (pending != table_.pending_.end())
            return pending->second.kind == TXFieldValue::Kind::Date
                       ? TDateTime(pending->second.day - DateDelta)
                       : 0;
        return parseStoredDate(raw(), date) ? date : 0;
    }
    std::string text = AsString();
    return text.empty() ? 0 : StrToDate(text);
}

void TXField::SetAsDateTime(TDateTime value)
{
    if (desc_.type != 'D' && desc_.type != 'C')
        throw EXTableError(xrOk, "Field " + desc_.name + " does not hold a date");
    table_.setValue(desc_, TXFieldValue::Date(dayNumber(value)));
}

bool TXField::AsBoolean() const
{
    return AsString() == "True";
}

void TXField::SetAsBoolean(bool value)
{
    if (desc_.type != 'L')
        throw EXTableError(xrOk, "Field " + desc_.name + " is not a logical field");
    table_.setValue(desc_, TXFieldValue::Logical(value));
}

int64_t TXField::AsInteger() const
{
    double v = 0;
    parseNumber(AsString(), v);
    return int64_t(std::llround(v));
}

void TXField::SetAsInteger(int64_t value)
{
    if (desc_.type != 'N' && desc_.type != 'F')
        return table_.setValue(desc_, TXFieldValue::Text(std::to_string(value)));
    table_.setValue(desc_, TXFieldValue::Integer(value));
}

double TXField::AsFloat() const
{
    double v = 0;
    parseNumber(AsString(), v);
    return v;
}

void TXField::SetAsFloat(double value)
{
    if (desc_.type != 'N' && desc_.type != 'F')
        throw EXTableError(xrOk, "Field " + desc_.name + " is not a numeric field");
    table_.setValue(desc_, TXFieldValue::Float(value));
}

// ------------------------------------------------------------- the table

TXDataTable::TXDataTable() = default;

TXDataTable::~TXDataTable()
{
    try {
        Close();
    } catch (...) {
        // Closing on destruction: nothing more can be done with the error.
    }
    notify(TXDataEvent::Destroyed);
}

void TXDataTable::fail(int code, const std::string &what)
{
    std::string detail = what;
    const std::string &engine = cursor_.LastEngineText();
    if (!engine.empty() && code != xrEndOfTable && code != xrBeginOfTable && code != xrNotVisible &&
        code != xrNumberTooBig)
        detail += detail.empty() ? engine : " (" + engine + ")";
    throw EXTableError(code, resultText(code, detail));
}

void TXDataTable::checkActive(const char *what) const
{
    if (state_ == TXDataSetState::Inactive)
        throw EXTableError(xrNotInUse, std::string("Cannot ") + what + ": the table " + TableName +
                                           " is not open");
}

void TXDataTable::Open()
{
    if (Active())
        return;
    if (TableName.empty())
        throw EXTableError(xrOpenFailed, "Cannot open a table without a table name");
    TXTableCursor::OpenParams params;
    params.directory = DatabaseName;
    params.tableName = TableName;
    params.driverName = TableType;
    params.indexName = IndexName;
    params.exclusive = Exclusive;
    params.readOnly = ReadOnly;
    if (int rc = cursor_.Open(params))
        fail(rc, (DatabaseName / TableName).string());
    fields_.clear();
    for (const auto &f : cursor_.Fields())
        fields_.push_back(std::make_unique<TXField>(*this, f));
    image_.assign(size_t(cursor_.RecSize()), ' ');
    state_ = TXDataSetState::Browse;
    modified_ = false;
    pending_.clear();
    memoCache_.clear();
    try {
        First();
    } catch (...) {
        cursor_.Close();
        state_ = TXDataSetState::Inactive;
        fields_.clear();
        throw;
    }
    notify(TXDataEvent::Opened);
    changed();
}

void TXDataTable::Close()
{
    if (!Active())
        return;
    if (state_ == TXDataSetState::Edit || state_ == TXDataSetState::Insert)
        Cancel();
    int rc = cursor_.Close();
    state_ = TXDataSetState::Inactive;
    fields_.clear();
    clearRecord();
    notify(TXDataEvent::Closed);
    if (rc != xrOk && rc != xrNotInUse)
        fail(rc, "closing " + TableName);
}

void TXDataTable::load(const std::string &image, const TXRecordInfo &info)
{
    image_ = image;
    recNo_ = info.recNo;
    memoCache_.clear();
}

void TXDataTable::clearRecord()
{
    image_.assign(image_.size(), ' ');
    recNo_ = 0;
    memoCache_.clear();
}

void TXDataTable::First()
{
    checkActive("go to the first record");
    CheckBrowseMode();
    if (int rc = cursor_.SetToBegin())
        fail(rc, TableName);
    std::string image(image_.size(), ' ');
    TXRecordInfo info;
    int rc = cursor_.GetNextRecord(false, image.data(), &info);
    if (rc == xrOk) {
        load(image, info);
        eof_ = false;
    } else if (rc == xrEndOfTable) {
        clearRecord();
        eof_ = true;
    } else {
        fail(rc, TableName);
    }
    bof_ = true;
    changed();
}

void TXDataTable::Last()
{
    checkActive("go to the last record");
    CheckBrowseMode();
    if (int rc = cursor_.SetToEnd())
        fail(rc, TableName);
    std::string image(image_.size(), ' ');
    TXRecordInfo info;
    int rc = cursor_.GetPriorRecord(false, image.data(), &info);
    if (rc == xrOk) {
        load(image, info);
        bof_ = false;
    } else if (rc == xrBeginOfTable || rc == xrEndOfTable) {
        clearRecord();
        bof_ = true;
    } else {
        fail(rc, TableName);
    }
    eof_ = true;
    changed();
}

void TXDataTable::Next()
{
    checkActive("go to the next record");
    CheckBrowseMode();
    if (eof_)
        return;
    SyncCursor();
    std::string image(image_.size(), ' ');
    TXRecordInfo info;
    int rc = cursor_.GetNextRecord(false, image.data(), &info);
    if (rc == xrOk) {
        load(image, info);
        bof_ = false;
    } else if (rc == xrEndOfTable) {
        eof_ = true;
        if (recNo_ == 0)
            bof_ = true;
    } else {
        fail(rc, TableName);
    }
    changed();
}

void TXDataTable::Prior()
{
    checkActive("go to the prior record");
    CheckBrowseMode();
    if (bof_)
        return;
    SyncCursor();
    std::string image(image_.size(), ' ');
    TXRecordInfo info;
    int rc = cursor_.GetPriorRecord(false, image.data(), &info);
    if (rc == xrOk) {
        load(image, info);
        eof_ = false;
    } else if (rc == xrBeginOfTable || rc == xrEndOfTable) {
        bof_ = true;
        if (recNo_ == 0) {
            // Past the end of an empty table, or the only records vanished.
            eof_ = true;
        } else {
            SyncCursor();
        }
    } else {
        fail(rc, TableName);
    }
    changed();
}

bool TXDataTable::IsEmpty()
{
    checkActive("test for records");
    return recNo_ == 0 && state_ != TXDataSetState::Insert && bof_ && eof_;
}

void TXDataTable::SyncCursor()
{
    if (!Active())
        return;
    int rc;
    if (recNo_ > 0)
        rc = cursor_.SetToRecNo(recNo_);
    else
        rc = eof_ ? cursor_.SetToEnd() : cursor_.SetToBegin();
    if (rc != xrOk)
        fail(rc, TableName);
}

void TXDataTable::ResyncFromCursor()
{
    checkActive("re-read the record");
    leaveEditState();
    std::string image(image_.size(), ' ');
    TXRecordInfo info;
    int rc = cursor_.GetRecord(false, image.data(), &info);
    if (rc == xrNotVisible) {
        // The record the engine stood on is filtered out: the next visible
        // one, else the prior one.
        rc = cursor_.GetNextRecord(false, image.data(), &info);
        if (rc == xrEndOfTable) {
            cursor_.SetToEnd();
            rc = cursor_.GetPriorRecord(false, image.data(), &info);
        }
    }
    if (rc == xrOk) {
        load(image, info);
        bof_ = eof_ = false;
    } else if (rc == xrEndOfTable || rc == xrBeginOfTable) {
        clearRecord();
        eof_ = rc == xrEndOfTable;
        bof_ = rc == xrBeginOfTable;
    } else {
        fail(rc, TableName);
    }
    changed();
}

void TXDataTable::SetPastEnd()
{
    checkActive("move past the end");
    leaveEditState();
    if (int rc = cursor_.SetToEnd())
        fail(rc, TableName);
    clearRecord();
    eof_ = true;
    bof_ = false;
    changed();
}

void TXDataTable::Refresh()
{
    checkActive("refresh");
    leaveEditState();
    SyncCursor();
    if (recNo_ == 0) {
        changed();
        return;
    }
    ResyncFromCursor();
}

void TXDataTable::SwitchToIndex(const std::string &tag)
{
    checkActive("change the index");
    CheckBrowseMode();
    SyncCursor();
    if (int rc = cursor_.SwitchToIndex(tag))
        fail(rc, tag);
    if (recNo_ > 0)
        ResyncFromCursor();
}

void TXDataTable::CheckBrowseMode()
{
    if (state_ == TXDataSetState::Edit || state_ == TXDataSetState::Insert) {
        if (modified_)
            Post();
        else
            Cancel();
    }
}

void TXDataTable::leaveEditState()
{
    if (state_ == TXDataSetState::Edit || state_ == TXDataSetState::Insert)
        Cancel();
}

void TXDataTable::Edit()
{
    checkActive("edit");
    if (state_ == TXDataSetState::Edit || state_ == TXDataSetState::Insert)
        return;
    if (recNo_ == 0)
        throw EXTableError(xrEndOfTable, "Cannot edit: there is no current record in " + TableName);
    if (ReadOnly)
        throw EXTableError(xrOk, "Cannot edit: the table " + TableName + " is open read-only");
    SyncCursor();
    std::string image(image_.size(), ' ');
    TXRecordInfo info;
    if (int rc = cursor_.GetRecord(cursor_.Shared(), image.data(), &info))
        fail(rc, "editing record " + std::to_string(recNo_) + " of " + TableName);
    load(image, info);
    savedImage_ = image_;
    savedRecNo_ = recNo_;
    modified_ = false;
    pending_.clear();
    state_ = TXDataSetState::Edit;
    notify(TXDataEvent::StateChanged);
    changed();
}

void TXDataTable::Append()
{
    checkActive("append");
    if (ReadOnly)
        throw EXTableError(xrOk, "Cannot append: the table " + TableName + " is open read-only");
    CheckBrowseMode();
    savedImage_ = image_;
    savedRecNo_ = recNo_;
    image_.assign(image_.size(), ' ');
    recNo_ = 0;
    memoCache_.clear();
    pending_.clear();
    modified_ = false;
    state_ = TXDataSetState::Insert;
    notify(TXDataEvent::StateChanged);
    changed();
}

std::vector<TXTableCursor::EngineWrite> TXDataTable::pendingWrites() const
{
    std::vector<TXTableCursor::EngineWrite> writes;
    for (const auto &[field, value] : pending_) {
        TXTableCursor::EngineWrite w;
        w.field = field;
        w.value = value;
        char type = cursor_.Fields()[size_t(field - 1)].type;
        w.memo = type == 'M' || type == 'G' || type == 'B';
        writes.push_back(w);
    }
    return writes;
}

void TXDataTable::Post()
{
    checkActive("post");
    if (state_ == TXDataSetState::Browse)
        return;
    std::vector<TXTableCursor::EngineWrite> writes = pendingWrites();
    std::string image = image_;
    if (state_ == TXDataSetState::Edit) {
        SyncCursor();
        if (int rc = cursor_.ModifyRecord(image.data(), writes, true))
            fail(rc, "saving record " + std::to_string(recNo_) + " of " + TableName);
    } else {
        TXRecordInfo info;
        if (int rc = cursor_.InsertRecord(image.data(), writes, &info, !holdCommits_))
            fail(rc, "adding a record to " + TableName);
        recNo_ = info.recNo;
    }
    image_ = image;
    if (!holdCommits_)
        CommitHeld();
    pending_.clear();
    memoCache_.clear();
    modified_ = false;
    bof_ = eof_ = false;
    state_ = TXDataSetState::Browse;
    notify(TXDataEvent::StateChanged);
    changed();
}

void TXDataTable::CommitHeld()
{
    checkActive("commit");
    if (int rc = cursor_.Commit())
        fail(rc, "committing " + TableName);
}

void TXDataTable::RollbackHeld()
{
    checkActive("roll back");
    if (state_ == TXDataSetState::Edit || state_ == TXDataSetState::Insert)
        Cancel();
    if (int rc = cursor_.Rollback())
        fail(rc, "rolling back " + TableName);
    // The record stood on may have gone with the rest.
    First();
}

void TXDataTable::Cancel()
{
    if (state_ == TXDataSetState::Edit) {
        cursor_.Unlock();
    } else if (state_ != TXDataSetState::Insert) {
        return;
    }
    image_ = savedImage_;
    recNo_ = savedRecNo_;
    pending_.clear();
    memoCache_.clear();
    modified_ = false;
    state_ = TXDataSetState::Browse;
    notify(TXDataEvent::StateChanged);
    changed();
}

void TXDataTable::Delete()
{
    checkActive("delete");
    if (state_ == TXDataSetState::Insert) {
        Cancel();
        return;
    }
    if (state_ == TXDataSetState::Edit)
        Cancel();
    if (recNo_ == 0)
        throw EXTableError(xrEndOfTable,
                           "Cannot delete: there is no current record in " + TableName);
    SyncCursor();
    if (cursor_.Shared()) {
        if (int rc = cursor_.GetRecord(true, nullptr, nullptr))
            fail(rc, "deleting record " + std::to_string(recNo_) + " of " + TableName);
    }
    int rc = cursor_.DeleteRecord();
    if (rc == xrOk)
        rc = cursor_.Commit();
    if (cursor_.Shared())
        cursor_.Unlock();
    if (rc != xrOk)
        fail(rc, "deleting record " + std::to_string(recNo_) + " of " + TableName);
    moveAfterDelete();
}

void TXDataTable::PostAndDelete()
{
    checkActive("delete");
    if (state_ != TXDataSetState::Edit) {
        Delete();
        return;
    }
    std::vector<TXTableCursor::EngineWrite> writes = pendingWrites();
    std::string image = image_;
    SyncCursor();
    int rc = cursor_.ModifyRecord(image.data(), writes, false);
    if (rc == xrOk)
        rc = cursor_.DeleteRecord();
    if (rc == xrOk)
        rc = cursor_.Commit();
    if (rc != xrOk) {
        Cancel();
        fail(rc, "deleting record " + std::to_string(recNo_) + " of " + TableName);
    }
    if (cursor_.Shared())
        cursor_.Unlock();
    image_ = image;
    pending_.clear();
    memoCache_.clear();
    modified_ = false;
    state_ = TXDataSetState::Browse;
    notify(TXDataEvent::StateChanged);
    moveAfterDelete();
}

void TXDataTable::moveAfterDelete()
{
    std::string image(image_.size(), ' ');
    TXRecordInfo info;
    int rc = cursor_.GetNextRecord(false, image.data(), &info);
    if (rc == xrOk) {
        load(image, info);
        bof_ = eof_ = false;
    } else if (rc == xrEndOfTable) {
        cursor_.SetToEnd();
        rc = cursor_.GetPriorRecord(false, image.data(), &info);
        if (rc == xrOk) {
            load(image, info);
            bof_ = false;
            eof_ = true;
        } else {
            clearRecord();
            bof_ = eof_ = true;
        }
    } else {
        fail(rc, TableName);
    }
    changed();
}

TXField &TXDataTable::Fields(int index)
{
    if (index < 0 || index >= int(fields_.size()))
        throw EXTableError(xrOk, "Field index " + std::to_string(index) + " out of range in " +
                                     TableName);
    return *fields_[size_t(index)];
}

TXField *TXDataTable::FindField(const std::string &name)
{
    std::string n = AsciiUpperCase(name);
    for (auto &f : fields_)
        if (AsciiUpperCase(f->FieldName()) == n)
            return f.get();
    return nullptr;
}

TXField &TXDataTable::FieldByName(const std::string &name)
{
    if (TXField *f = FindField(name))
        return *f;
    throw EXTableError(xrOk, "Field '" + name + "' not found in " + TableName);
}

std::string TXDataTable::MemoText(const std::string &field)
{
    return FieldByName(field).AsString();
}

void TXDataTable::SetMemoText(const std::string &field, const std::string &text)
{
    FieldByName(field).SetAsString(text);
}

std::string TXDataTable::memoOf(const TXFieldDesc &field)
{
    int16_t n = int16_t(field.number);
    auto pending = pending_.find(n);
    if (pending != pending_.end())
        return pending->second.text;
    auto cached = memoCache_.find(n);
    if (cached != memoCache_.end())
        return cached->second;
    if (!Active())
        return {};
    std::string text;
    if (int rc = cursor_.ReadMemo(n, image_.data(), text))
        fail(rc, "reading memo " + field.name + " of " + TableName);
    memoCache_[n] = text;
    return text;
}

void TXDataTable::checkEditing(const TXFieldDesc &field) const
{
    if (state_ != TXDataSetState::Edit && state_ != TXDataSetState::Insert)
        throw EXTableError(xrOk, "Cannot change field " + field.name + ": the table " + TableName +
                                     " is not in edit or insert mode");
}

void TXDataTable::setValue(const TXFieldDesc &field, const TXFieldValue &value)
{
    checkEditing(field);
    int16_t n = int16_t(field.number);
    if (cursor_.NeedsEngineWrite(n)) {
        // Memos (and whatever the engine must write itself) wait for Post,
        // when the record exists and is locked.
        pending_[n] = value;
        if (value.kind != TXFieldValue::Kind::Text && (field.type == 'M' || field.type == 'G'))
            pending_[n] = TXFieldValue::Text(valueText(value));
    } else if (int rc = cursor_.PutField(n, image_.data(), value)) {
        fail(rc, "field " + field.name);
    }
    modified_ = true;
    changed();
}

void TXDataTable::DisableControls()
{
    ++disableCount_;
}

void TXDataTable::EnableControls()
{
    if (disableCount_ > 0 && --disableCount_ == 0 && changedWhileDisabled_) {
        changedWhileDisabled_ = false;
        notify(TXDataEvent::RecordChanged);
    }
}

int TXDataTable::AddListener(Listener listener)
{
    int id = nextListener_++;
    listeners_[id] = std::move(listener);
    return id;
}

void TXDataTable::RemoveListener(int id)
{
    listeners_.erase(id);
}

void TXDataTable::notify(TXDataEvent event)
{
    // A listener may remove itself (or others) while being told.
    std::vector<int> ids;
    for (const auto &[id, l] : listeners_)
        ids.push_back(id);
    for (int id : ids) {
        auto it = listeners_.find(id);
        if (it != listeners_.end())
            it->second(event);
    }
}

void TXDataTable::changed()
{
    if (disableCount_ > 0) {
        changedWhileDisabled_ = true;
        return;
    }
    notify(TXDataEvent::RecordChanged);
}

// ------------------------------------------------------------ data source

TXDataLink::~TXDataLink()
{
    if (source_)
        source_->RemoveLink(this);
}

TXDataSource::~TXDataSource()
{
    SetDataSet(nullptr);
    for (TXDataLink *link : links_)
        link->source_ = nullptr;
}

void TXDataSource::SetDataSet(TXDataTable *dataSet)
{
    if (dataSet == dataSet_)
        return;
    if (dataSet_)
        dataSet_->RemoveListener(listener_);
    dataSet_ = dataSet;
    listener_ = dataSet_ ? dataSet_->AddListener([this](TXDataEvent e) { dataEvent(e); }) : 0;
    bool active = dataSet_ && dataSet_->Active();
    // Links hear of every change of table, so that none keeps the old one.
    for (TXDataLink *link : std::vector<TXDataLink *>(links_))
        link->ActiveChanged(active);
}

void TXDataSource::AddLink(TXDataLink *link)
{
    if (std::find(links_.begin(), links_.end(), link) != links_.end())
        return;
    if (link->source_)
        link->source_->RemoveLink(link);
    links_.push_back(link);
    link->source_ = this;
    if (dataSet_ && dataSet_->Active())
        link->ActiveChanged(true);
}

void TXDataSource::RemoveLink(TXDataLink *link)
{
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
    if (link->source_ == this)
        link->source_ = nullptr;
}

void TXDataSource::dataEvent(TXDataEvent event)
{
    if (event == TXDataEvent::Destroyed) {
        dataSet_ = nullptr;
        listener_ = 0;
        for (TXDataLink *link : std::vector<TXDataLink *>(links_))
            link->ActiveChanged(false);
        return;
    }
    for (TXDataLink *link : std::vector<TXDataLink *>(links_)) {
        if (event == TXDataEvent::Opened)
            link->ActiveChanged(true);
        else if (event == TXDataEvent::Closed)
            link->ActiveChanged(false);
        else
            link->DataEvent(event);
    }
}

} // namespace qn::engine
