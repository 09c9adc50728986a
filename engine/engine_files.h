#pragma once

// The file door of the table engine: every table, memo and index file the
// engine opens goes through it. The diary keeps its preferences through the
// same door, so that the diary's files are written one way.

#include "platform/file_system.h"

namespace qn::engine {

// Null: the operating system's files.
void SetEngineFileSystem(FileSystem *files);
FileSystem &EngineFileSystem();

} // namespace qn::engine
