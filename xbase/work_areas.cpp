#include "xbase/work_areas.h"

#include "xbase/xbase_error.h"

namespace qn::xbase {

WorkAreas::~WorkAreas()
{
    try {
        closeAll();
    } catch (...) {
    }
}

void WorkAreas::checkDriver(int driver)
{
    switch (driver) {
    case 2:
        return;
    case 1:
        throw XbaseError::refused(
            "Driver 1 (NTX indexes) is not available in this engine; use driver 2");
    case 3:
        throw XbaseError::refused(
            "Driver 3 (XSX indexes) is not available in this engine; use driver 2");
    case 11:
        throw XbaseError::refused(
            "Driver 11 (remote NTX) is not available in this engine; use driver 2");
    case 12:
        throw XbaseError::refused(
            "Driver 12 (remote FoxPro) is not available in this engine; use driver 2");
    default:
        throw XbaseError::refused("Unknown table driver " + std::to_string(driver));
    }
}

uint16_t WorkAreas::freeArea() const
{
    uint16_t a = 1;
    for (const auto &[n, area] : areas_) {
        if (n != a)
            break;
        ++a;
    }
    if (a > 32767)
        throw XbaseError::refused("Every work area is in use");
    return a;
}

std::string WorkAreas::defaultAlias(const std::filesystem::path &path) const
{
    return asciiUpper(path.stem().string());
}

uint16_t WorkAreas::areaOf(const std::string &alias) const
{
    if (alias.empty())
        return current_;
    std::string a = asciiUpper(alias);
    for (const auto &[n, area] : areas_)
        if (area.alias == a)
            return n;
    return 0;
}

uint16_t WorkAreas::use(const std::filesystem::path &pathIn, const std::string &alias,
                        Table::Access access)
{
    std::filesystem::path path = pathIn;
    if (path.extension().empty())
        path += ".DBF";
    std::string name = asciiUpper(alias.empty() ? defaultAlias(path) : alias);
    if (areaOf(name) != 0 && !name.empty())
        throw XbaseError::refused("Alias " + name + " is already in use");
    uint16_t n = freeArea();
    Area area;
    area.alias = name;
    area.table = Table::open(path, access, settings);
    areas_[n] = std::move(area);
    current_ = n;
    return n;
}

uint16_t WorkAreas::createNew(const std::filesystem::path &pathIn, const std::string &alias,
                              size_t fieldCount)
{
    std::filesystem::path path = pathIn;
    if (path.extension().empty())
        path += ".DBF";
    if (fieldCount == 0 || fieldCount > 255)
        throw XbaseError::refused("A new table needs 1 to 255 fields");
    std::string name = asciiUpper(alias.empty() ? defaultAlias(path) : alias);
    if (areaOf(name) != 0)
        throw XbaseError::refused("Alias " + name + " is already in use");
    uint16_t n = freeArea();
    Area area;
    area.alias = name;
    area.creating = true;
    area.createPath = path;
    area.expectedFields = fieldCount;
    areas_[n] = std::move(area);
    current_ = n;
    return n;
}

void WorkAreas::createField(const FieldInfo &field)
{
    Area *a = currentArea();
    if (!a || !a->creating)
        throw XbaseError::refused("No table is being created in work area " +
                                  std::to_string(current_));
    if (a->createFields.size() >= a->expectedFields)
        throw XbaseError::refused("More fields than announced for the new table");
    a->createFields.push_back(field);
}

void WorkAreas::createExec()
{
    Area *a = currentArea();
    if (!a || !a->creating)
        throw XbaseError::refused("No table is being created in work area " +
                                  std::to_string(current_));
    if (a->createFields.size() != a->expectedFields)
        throw XbaseError::refused("The new table was announced with " +
                                  std::to_string(a->expectedFields) + " fields but " +
                                  std::to_string(a->createFields.size()) + " were defined");
    Table::create(a->createPath, a->createFields, settings.memoBlockSize,
                  settings.fileSystem ? *settings.fileSystem : DefaultFileSystem());
    a->table = Table::open(a->createPath, Table::Access::Exclusive, settings);
    a->creating = false;
    a->createFields.clear();
}

void WorkAreas::close()
{
    auto it = areas_.find(current_);
    if (it == areas_.end())
        return;
    std::unique_ptr<Table> t = std::move(it->second.table);
    areas_.erase(it);
    if (t)
        t->close();
}

void WorkAreas::closeAll()
{
    std::exception_ptr first;
    while (!areas_.empty()) {
        std::unique_ptr<Table> t = std::move(areas_.begin()->second.table);
        areas_.erase(areas_.begin());
        try {
            if (t)
                t->close();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

uint16_t WorkAreas::select(uint16_t area)
{
    uint16_t previous = current_;
    current_ = area;
    return previous;
}

WorkAreas::Area *WorkAreas::currentArea()
{
    auto it = areas_.find(current_);
    return it == areas_.end() ? nullptr : &it->second;
}

bool WorkAreas::inUse() const
{
    auto it = areas_.find(current_);
    return it != areas_.end() && it->second.table;
}

Table &WorkAreas::table()
{
    Area *a = currentArea();
    if (!a || !a->table)
        throw XbaseError::refused("Work area " + std::to_string(current_) + " is not in use");
    return *a->table;
}

} // namespace qn::xbase
