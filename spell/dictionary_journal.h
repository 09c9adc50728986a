#pragma once

// A user dictionary is changed in place. Before a change a copy of the whole
// file goes to "<dictionary>-journal" with its length and a checksum, and is
// synced; then the change is written and synced; removing the journal is the
// commit point. A complete journal found beside a dictionary (the program
// died during a change) is copied back before the dictionary is read, so the
// dictionary holds its words from before that change; an incomplete journal
// is dropped, since the dictionary was not touched before it was complete.

#include "platform/file_system.h"

#include <string>

namespace qn::spell {

std::string JournalPathFor(const std::string &dictionary);

// Writes and syncs the journal of the contents the dictionary has now. False
// when it could not: the change must not start.
bool BeginDictionaryChange(FileSystem &fs, const std::string &dictionary,
                           const std::string &contents);

// The change is on the disk: the journal goes.
bool EndDictionaryChange(FileSystem &fs, const std::string &dictionary);

enum class JournalRecovery {
    Nothing,    // no journal
    Discarded,  // an incomplete journal was removed
    RolledBack, // the dictionary has its contents from before the change again
    Failed,     // a complete journal could not be copied back; both are left alone
};

JournalRecovery RecoverDictionary(FileSystem &fs, const std::string &dictionary);

} // namespace qn::spell
