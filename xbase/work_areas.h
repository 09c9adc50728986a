#pragma once

#include "xbase/table.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qn::xbase {

// The engine's work areas: numbered slots (1..32767) that each hold one open
// table under an alias, plus the current area and the engine-wide settings.
class WorkAreas {
public:
    struct Area {
        std::string alias;
        std::unique_ptr<Table> table;
        // Between xt_CreateNew and xt_CreateExec: the table being defined.
        bool creating = false;
        std::filesystem::path createPath;
        std::vector<FieldInfo> createFields;
        size_t expectedFields = 0;
    };

    EngineSettings settings;

    ~WorkAreas();
    // Driver 2 (DBF + FPT + CDX) is the only one this engine has; the
    // other known driver numbers are refused by name.
    static void checkDriver(int driver);
    // Opens in the lowest free area and makes it current; returns the area.
    uint16_t use(const std::filesystem::path &path, const std::string &alias, Table::Access access);
    uint16_t createNew(const std::filesystem::path &path, const std::string &alias,
                       size_t fieldCount);
    void createField(const FieldInfo &field); // in the current area
    void createExec();                        // writes and opens in the current area
    void close();                             // the current area
    void closeAll();
    uint16_t select(uint16_t area); // returns the previous one
    uint16_t current() const { return current_; }
    uint16_t areaOf(const std::string &alias) const; // 0 when not in use
    Area *currentArea();
    Table &table(); // of the current area; an XbaseError when not in use
    bool inUse() const;

private:
    uint16_t freeArea() const;
    std::string defaultAlias(const std::filesystem::path &path) const;

    std::map<uint16_t, Area> areas_;
    uint16_t current_ = 0;
};

} // namespace qn::xbase
