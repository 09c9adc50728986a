#pragma once

#include "platform/file_system.h"

#include <filesystem>
#include <vector>

namespace qn::xbase {

// Replaces a table's files (table, memo, indexes) by new ones as one step.
//
// Three renames are not atomic together, so the switch has a commit point:
// the new files are written completely beside the old ones (name + ".new")
// and synced; then a small marker naming the targets replaces any old one
// (FileReplacement: written under a temporary name, synced, renamed). Once the marker exists the
// switch is decided: the renames follow and the marker is removed last. A
// crash before the marker leaves the old files (the ".new" leftovers are
// removed at the next open); a crash after it is rolled forward at the next
// open, which finishes the renames that had not happened.
namespace file_switch {

std::filesystem::path newNameFor(const std::filesystem::path &target); // target + ".new"
std::filesystem::path markerFor(const std::filesystem::path &table);   // table + ".switch"

// Every new file (newNameFor(target)) is written and synced. Renames them
// over their targets behind the marker; the files of `removals` (in the
// table's folder too) go once every new file is in place, so that a switch
// may also leave out a file the old set had.
void commit(FileSystem &fs, const std::filesystem::path &table,
            const std::vector<std::filesystem::path> &targets,
            const std::vector<std::filesystem::path> &removals = {});

// Whether a switch or its leftovers wait to be finished or removed.
bool pending(const std::filesystem::path &table);
// Finishes a decided switch, removes the leftovers of one that was never
// decided. Only while nobody has the table open.
void recover(FileSystem &fs, const std::filesystem::path &table);

// A synced copy of a file.
void copyFile(FileSystem &fs, const std::filesystem::path &from, const std::filesystem::path &to);

// Removes the new files of a switch that is given up before its commit.
void discard(FileSystem &fs, const std::vector<std::filesystem::path> &targets) noexcept;

} // namespace file_switch

} // namespace qn::xbase
