#pragma once

// The file door of the table engine: every table, memo and index file the
// engine opens goes through it. The diary keeps its preferences through the
// same door, so that the diary's files are written one way.

#include "platform/file_system.h"

namespace qn::xbase {
struct EngineSettings;
}

namespace qn::engine {

// Null: the operating system's files.
void SetEngineFileSystem(FileSystem *files);
FileSystem &EngineFileSystem();

// For tables the program opens outside the engine's work areas (the
// backups' tables): the engine's file door and the cost of new keys.
void CopyFileSettings(xbase::EngineSettings &settings);

} // namespace qn::engine
