#pragma once

// The xt_ interface of the table engine: C-style calls with zero-terminated
// strings that act on the engine's current work area.
//
// Conventions:
// - Work areas and orders are 16-bit; 0 means none. Record numbers are
//   32-bit (a wider type than the areas, so that large tables do not wrap).
// - Fields are named by zero-terminated names (any case) or, where a call
//   takes a number, by their 1-based position.
// - Calls that act return 0 on success and an error code on failure; calls
//   that answer a question say so below. After any failure, xt_Error gives
//   the code and xt_ErrorText the message of the last failure.
// - Calls that give text take a buffer and its size, write at most size-1
//   bytes and a zero, and return the full length of the text (-1 on failure).

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Error codes
enum {
    XT_OK = 0,
    XT_ERR_NOT_IN_USE = 9990,  // the current work area holds no table
    XT_ERR_LOCK = 10245,       // a record or the table could not be locked
    XT_ERR_OPEN = 11011,       // the table could not be opened or created
    XT_ERR_ENGINE = 20000,     // a request the engine refuses, or any other failure
    XT_ERR_EXPRESSION = 20001, // an expression could not be parsed or evaluated
    XT_ERR_PASSWORD = 20002,   // the table is encrypted and the password is missing or wrong
    XT_ERR_DAMAGED = 20003,    // a table, memo or index file is damaged
    XT_ERR_IO = 20004,         // the system refused a read, write or open
    XT_ERR_CHANGED = 20005,    // an encrypted record or memo was changed without the password
};
// Opening and creating (xt_Use, xt_CreateNew, xt_CreateExec) fail with
// XT_ERR_OPEN whatever the reason, except XT_ERR_PASSWORD; xt_ErrorText says
// more. Other calls give the code of the failure's kind.

// Replace kinds
enum {
    XT_REPLACE_DOUBLE = 8,    // value: const double *
    XT_REPLACE_LOGICAL = 128, // value: const int32_t *, non-zero is true
    XT_REPLACE_TEXT = 1024,   // value: const char *, converted to the field's type
    XT_REPLACE_DATE = 1056,   // value: const char * "mm/dd/yy" or "mm/dd/yyyy"
    XT_REPLACE_MEMO = 3072,   // value: const char *, the whole memo text
};

// Start and end
int16_t xt_SetStringType(int16_t type); // only 1 (zero-terminated) exists
int16_t xt_ErrorLevel(int16_t level);   // stored; answers the previous level
int32_t xt_Version(char *buffer, int32_t size);
int16_t xt_CloseAll(void);
int32_t xt_Error(void);
int32_t xt_ErrorText(char *buffer, int32_t size);

// Areas. Mode 2 exclusive, 0 shared, 1 read-only. Driver 2 only.
int16_t xt_Use(const char *path, const char *alias, int16_t mode, int16_t driver); // area or 0
int16_t xt_WorkArea(const char *alias); // area of the alias, or the current one for none
int16_t xt_Select(int16_t area);        // answers the previous area
int16_t xt_Close(void);

// Create
int16_t xt_CreateNew(const char *path, const char *alias, int16_t driver,
                     int16_t fieldCount); // area or 0
int16_t xt_CreateField(const char *name, const char *type, int16_t width, int16_t decimals);
int16_t xt_CreateExec(void); // non-zero when the table was written (it is then open)

// Structure (fields by 1-based number)
int16_t xt_FieldCount(void);
int32_t xt_FieldName(int16_t field, char *buffer, int32_t size);
int16_t xt_FieldNum(const char *name); // 0 when missing
int16_t xt_FieldType(int16_t field);   // the type letter, 0 when missing
int16_t xt_FieldWidth(int16_t field);
int16_t xt_FieldDecimals(int16_t field);
int32_t xt_FieldOffset(int16_t field); // byte of the record image (the flag is byte 0)
int32_t xt_RecSize(void);

// Indexes. Option 1 makes a unique tag. Orders count open tags from 1.
int16_t xt_IndexOpen(const char *path); // order of its first tag, 0 on failure
int16_t xt_IndexTag(const char *file, const char *tag, const char *expression, int16_t option,
                    int16_t descending, const char *condition); // order, 0 on failure
int16_t xt_TagArea(const char *tag);                            // order, 0 when missing
int32_t xt_TagName(int16_t order, char *buffer, int32_t size);  // empty past the last
int16_t xt_SetOrder(int16_t order);                             // answers the previous order
int16_t xt_IndexOrd(void);
int32_t xt_IndexName(char *buffer, int32_t size);     // index file of the current order
int32_t xt_IndexKey(char *buffer, int32_t size);      // key expression of the current order
int32_t xt_IndexKeyField(char *buffer, int32_t size); // the field when the key is one field
int32_t xt_KeyData(char *buffer, int32_t size);       // key of the current record
int16_t xt_CloseIndexes(void);
// Faults of the open tags against their records (or of a production index
// that could not be read): how many, the first one's text in buffer.
int32_t xt_CheckIndexes(char *buffer, int32_t size);
// Non-zero when opening the current table undid a save that a crash had left unfinished.
int16_t xt_Recovered(void);

// Moving
int16_t xt_GoTop(void);
int16_t xt_GoBottom(void);
int16_t xt_Skip(int32_t count);
int16_t xt_Go(int32_t recno);
int32_t xt_RecNo(void);
int32_t xt_RecCount(void);
int16_t xt_Bof(void);
int16_t xt_Eof(void);
int16_t xt_Deleted(void);
int16_t xt_Seek(const char *key); // non-zero when an equal key was found

// Filters
int32_t xt_Query(const char *expression); // visible records after setting the filter, -1 on failure
int32_t xt_DBFilter(char *buffer, int32_t size);
int16_t xt_SetScope(const char *top, const char *bottom);
int16_t xt_EvalLogical(const char *expression);
int32_t xt_EvalString(const char *expression, char *buffer, int32_t size);
int16_t xt_EvalTest(const char *expression); // the result's type letter, 0 when invalid

// Records
int16_t xt_GetRecord(char *buffer); // xt_RecSize bytes
int16_t xt_PutRecord(const char *buffer);
int16_t xt_AppendBlank(void);
int16_t xt_Delete(void);
int16_t xt_Recall(void);
int16_t xt_Commit(void);
// Drops every change since the last commit of the current table: what a
// change that failed half way had written goes, and the table is as that
// commit left it.
int16_t xt_Rollback(void);
int16_t xt_Rlock(int32_t recno);  // non-zero when locked; 0 means the current record
int16_t xt_Unlock(int32_t recno); // 0 releases every lock
// Changes the record buffer; the change reaches the file on xt_Commit, on the
// next move and on close. Past the end it changes only the buffer, so that a
// new record's image (with its memo pointers) can be prepared there and then
// written with xt_AppendBlank + xt_PutRecord. A caller that copies another
// image into the buffer (through 65000) must copy the original back before
// the next move, or that image is written to the current record.
int16_t xt_Replace(const char *field, int16_t kind, const void *value);
char *xt_GetMemo(const char *field,
                 int16_t option); // null when not readable; free with xt_MemDealloc
void xt_MemDealloc(char *memo);
int32_t xt_GetString(const char *field, char *buffer, int32_t size);
int32_t xt_GetTrimString(const char *field, char *buffer, int32_t size);
int16_t xt_GetLogical(const char *field);
int32_t xt_GetDateString(const char *field, char *buffer, int32_t size);

// Protection and maintenance. Each acts on the table of the current area,
// which must be open exclusively (with no record changes pending elsewhere).
//
// The password keys every table of the engine: an encrypted table is read
// and written under it, and xt_DbfEncrypt encrypts under it. An empty or
// null password means none. Setting a password never writes anything.
int16_t xt_SetPassword(const char *password);
// Rewrite the table's records and memo texts encrypted under the password /
// in clear. Index files stay as they are (their keys are never encrypted).
// Encrypting an encrypted table, or decrypting a clear one, does nothing.
int16_t xt_DbfEncrypt(void);
int16_t xt_DbfDecrypt(void);
// Rewrites the table under a new password (empty or null: in clear) in one
// run: read under the engine's password, written under the new one, one
// switch to the new files, so that an interruption leaves the table under
// the old key or the new one and never in clear between the two. On success
// the new password becomes the engine's; on failure the old one stays.
int16_t xt_DbfChangeKey(const char *newPassword);
// The key of the table of the current area against the engine's password:
// 0 the table is in clear, 1 it is encrypted and the password fits, 2 it is
// encrypted and the password is missing or wrong; -1 no table.
int16_t xt_KeyState(void);
// Cost of the Argon2id key derivation of tables encrypted from now on:
// memory in KiB, passes, lanes; all zero restores the standard cost. Tests
// lower it so that they run fast. Answers 0 or the failure's code (refused
// for impossible values).
int16_t xt_SetKeyCost(uint32_t memoryKiB, uint32_t passes, uint32_t lanes);
// Removes deleted records, compacts the memo file and rebuilds every open tag
// (and the production index when it is on disk but closed).
// These three answer 0 or the failure's code, as xt_Error would.
int16_t xt_Pack(void);
// Progress of pack, encryption, decryption and tag building goes to the hook
// (null stops it), as rising values. Pack, encryption and decryption report
// percentages from 0 to 100. A tag build reports one rising run from 0 to 400
// (reading keys, sorting, writing the tag, finishing: 100 each), so a receiver
// that adds up the rises and shows a quarter of the sum reaches 100.
typedef void (*xt_GaugeHook)(void *context, int32_t value);
int16_t xt_SetGaugeHook(xt_GaugeHook hook, void *context);

// Settings; each answers the previous value
int16_t xt_SetDeleted(int16_t on);
int16_t xt_SetExact(int16_t on);
int16_t xt_SetSoftSeek(int16_t on);
int16_t xt_SetCentury(int16_t on);
int16_t xt_SetDateFormat(int16_t format);
int16_t xt_SetLockTimeout(int16_t seconds);
int16_t xt_SetMemoBlockSize(int16_t size);
int16_t xt_SetTurboRead(int16_t on);

// System properties. 65000: address of the current record buffer; 65002:
// non-zero when the current area holds a table; 65010: size of that buffer;
// 65012 (value = field number): 0 when the field may be written straight into
// the record image, 1 when it must go through xt_Replace. 1006 and 1009 keep
// the value given (a negative value only reads). Other codes answer the value.
intptr_t xt_SysProp(int32_t code, intptr_t value);

#ifdef __cplusplus
}
#endif
