#pragma once

// The table component and the engine settings component.
//
// TXTable reaches the engine for what the data-access layer does not offer
// (creating tables, indexes, seeks, orders, filters, packing, the password).
// It shares one open table with a TXDataTable through a data source; every
// operation runs in a work-area bracket that selects that table's area and
// selects the previous area again afterwards, so the component and the
// table never act on each other's area.

#include "engine/xdata_table.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qn::engine {

class TXTable;

// The component's link to its data source: when the source's table becomes
// active, the component takes it as its table.
class TXTableDataLink : public TXDataLink {
public:
    explicit TXTableDataLink(TXTable &owner) : owner_(owner) {}
    void ActiveChanged(bool active) override;

private:
    TXTable &owner_;
};

class TXTable {
public:
    TXTable();
    ~TXTable();
    TXTable(const TXTable &) = delete;
    TXTable &operator=(const TXTable &) = delete;

    TXDataSource *DataSource() const { return link_.Source(); }
    void SetDataSource(TXDataSource *source);
    // Index files opened whenever the table opens.
    std::vector<std::string> ExtraIndexes;
    // The filter applied whenever the table opens (Query keeps it here).
    std::string Filter;
    bool TurboRead() const { return turboRead_; }
    void SetTurboRead(bool on);

    // Creating a table: CreateNew, one CreateField per field in order,
    // CreateExec. False answers leave the engine's message in LastError.
    bool CreateNew(const std::string &path, int16_t driver, int16_t fieldCount);
    bool CreateField(const std::string &name, const std::string &type, int16_t width,
                     int16_t decimals);
    bool CreateExec();
    int16_t CreatedArea() const { return createdArea_; }

    // Indexes. IndexOpen and IndexTag raise EXTableError when the engine
    // refuses (an order of 0 would otherwise look like success).
    int16_t IndexOpen(const std::string &path);
    int16_t IndexTag(const std::string &file, const std::string &tag, const std::string &expression,
                     int16_t option, bool descending, const std::string &condition);
    int16_t TagArea(const std::string &tag);
    std::string TagName(int16_t order);
    int16_t IndexOrd();
    // 0: natural order; 1..n: the table's n-th index definition; higher
    // orders change nothing. Answers the previous order.
    int16_t SetOrder(int16_t order);
    void CloseIndexes();
    // The first fault of the open tags against the records; empty when they agree.
    std::string CheckIndexes();
    // Opening undid a save that a crash had left unfinished.
    bool RecoveredUnfinishedSave();

    // A hit leaves the table on the found record; a miss leaves it past the
    // end, with no current record.
    bool Seek(const std::string &key);
    void Pack();
    // Sets the filter (kept in Filter); answers the visible records, 0 when
    // the table is not open.
    int32_t Query(const std::string &expression);
    std::string DBFilter();

    // The engine key of every table; encrypting and decrypting rewrite the
    // open table under it (the table's record is read again afterwards).
    void SetPassword(const std::string &password);
    void DbfEncrypt();
    void DbfDecrypt();
    // Rewrites the table under `newPassword` (empty: in clear) in one run,
    // never in clear between two keys; on success `newPassword` is the
    // engine's key, on failure the old one still is.
    void DbfChangeKey(const std::string &newPassword);
    enum class TKeyState { NoTable, Clear, Fits, Refused };
    // The open table's key against the engine's password.
    TKeyState KeyState();
    // Progress of pack, encryption and index builds; an empty hook stops it.
    using GaugeHook = std::function<void(int32_t value)>;
    void SetGaugeHook(GaugeHook hook);

    int32_t RecSize();
    intptr_t SysProp(int32_t code, intptr_t value);

    // The engine's message of the last refused operation.
    const std::string &LastError() const { return lastError_; }
    // The record buffer, RecSize bytes from the first opening of the table.
    std::vector<char> &RecordBuffer() { return recordBuffer_; }

private:
    friend class TXTableDataLink;
    class Bracket;
    void tableActive();
    void tableInactive();
    bool tableOpen() const;
    [[noreturn]] void fail(const std::string &what);
    void prepare(); // browse mode, engine on the table's record
    void rewriteCipher(int16_t (*call)(), const char *what);

    TXTableDataLink link_;
    TXDataTable *table_ = nullptr;
    int16_t createdArea_ = 0;
    bool turboRead_ = false;
    std::vector<char> recordBuffer_;
    GaugeHook gaugeHook_;
    std::string lastError_;
};

// The engine's start and end for the program: zero-terminated strings, error
// level 1, and a version text, else EXTableError with the message
// "xBase Table Engine Requires XTE32.DLL Version 2.40.00 or later.". The
// version reader is replaceable for tests.
using TXVersionReader = int32_t (*)(char *buffer, int32_t size);
void StartTableEngine(TXVersionReader version = nullptr);
void StopTableEngine(); // closes every table

enum TXTableDateFrmt { dfAmerican, dfAnsi, dfBritish, dfFrench, dfGerman, dfItalian, dfSpanish };

// Engine-wide settings. Each setter keeps the value and hands it to the
// engine; DateFormat and Century also set the program's short date format
// and date separator.
class TXTableEnv {
public:
    TXTableEnv() = default;

    bool Exact() const { return exact_; }
    void SetExact(bool on);
    bool Century() const { return century_; }
    void SetCentury(bool on);
    TXTableDateFrmt DateFormat() const { return dateFormat_; }
    void SetDateFormat(TXTableDateFrmt format);
    int16_t LockTimeout() const { return lockTimeout_; }
    void SetLockTimeout(int16_t seconds);
    int16_t MemoBlockSize() const { return memoBlockSize_; }
    void SetMemoBlockSize(int16_t size);
    bool SoftSeek() const { return softSeek_; }
    void SetSoftSeek(bool on);
    bool Deleted() const { return deleted_; }
    void SetDeleted(bool on);

private:
    bool exact_ = false;
    bool century_ = false;
    TXTableDateFrmt dateFormat_ = dfAmerican;
    int16_t lockTimeout_ = 1;
    int16_t memoBlockSize_ = 64;
    bool softSeek_ = false;
    bool deleted_ = false;
};

} // namespace qn::engine
