#include "xbase/file_switch.h"

#include "platform/file_replacement.h"
#include "xbase/file_io.h"
#include "xbase/xbase_error.h"

#include <algorithm>
#include <sstream>

namespace qn::xbase::file_switch {

namespace {

namespace fs = std::filesystem;

constexpr const char *Header = "QNSWITCH 1";
constexpr const char *Trailer = "END";

fs::path folderOf(const fs::path &p)
{
    return p.parent_path().empty() ? fs::path(".") : p.parent_path();
}

fs::path withSuffix(const fs::path &p, const char *suffix)
{
    fs::path r = p;
    r += suffix;
    return r;
}

// The files a table may have that a switch replaces.
std::vector<fs::path> usualTargets(const fs::path &table)
{
    return {table, siblingWithExtension(table, ".FPT"), siblingWithExtension(table, ".CDX"),
            withSuffix(table, "-journal")};
}

// A marker line that names a file the switch removes.
constexpr char RemovalMark = '-';

struct Plan {
    std::vector<fs::path> targets, removals;
};

Plan readMarker(FileSystem &system, const fs::path &marker)
{
    BinaryFile file(marker, BinaryFile::Mode::ReadOnly, system);
    std::string text(file.size(), '\0');
    file.readAt(0, text.data(), text.size());
    std::istringstream in(text);
    std::string line;
    Plan plan;
    bool ended = false;
    if (!std::getline(in, line) || line != Header)
        throw XbaseError::damaged("The switch marker " + marker.string() +
                                  " is damaged; the table was left as it is");
    while (std::getline(in, line)) {
        if (line == Trailer) {
            ended = true;
            break;
        }
        const bool removal = !line.empty() && line[0] == RemovalMark;
        if (removal)
            line.erase(0, 1);
        // Only names in the table's own folder.
        if (line.empty() || line.find('/') != std::string::npos || line == "." || line == "..")
            throw XbaseError::damaged("The switch marker " + marker.string() +
                                      " is damaged; the table was left as it is");
        (removal ? plan.removals : plan.targets).push_back(folderOf(marker) / line);
    }
    if (!ended)
        throw XbaseError::damaged("The switch marker " + marker.string() +
                                  " is damaged; the table was left as it is");
    return plan;
}

void finish(FileSystem &system, const fs::path &marker, const Plan &plan)
{
    for (const fs::path &target : plan.targets) {
        fs::path fresh = newNameFor(target);
        if (fs::exists(fresh))
            replaceFile(fresh, target, system);
    }
    for (const fs::path &gone : plan.removals) {
        std::error_code ec;
        if (fs::exists(fs::symlink_status(gone, ec)))
            removeFile(gone, system);
    }
    removeFile(marker, system);
    syncDirectory(folderOf(marker), system);
}

// Marker files a replacement left behind when it died before its rename.
std::vector<fs::path> leftoverMarkers(const fs::path &marker)
{
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folderOf(marker), ec), end; !ec && it != end; it.increment(ec))
        if (IsReplacementOf(it->path(), marker))
            found.push_back(it->path());
    if (fs::exists(withSuffix(marker, ".tmp"), ec)) // the name earlier versions used
        found.push_back(withSuffix(marker, ".tmp"));
    return found;
}

} // namespace

fs::path newNameFor(const fs::path &target)
{
    return withSuffix(target, ".new");
}
fs::path markerFor(const fs::path &table)
{
    return withSuffix(table, ".switch");
}

void commit(FileSystem &system, const fs::path &table, const std::vector<fs::path> &targets,
            const std::vector<fs::path> &removals)
{
    fs::path marker = markerFor(table);
    std::string text = std::string(Header) + "\n";
    for (const fs::path &t : targets)
        text += t.filename().string() + "\n";
    for (const fs::path &r : removals)
        text += RemovalMark + r.filename().string() + "\n";
    text += std::string(Trailer) + "\n";
    try {
        ReplaceFile(marker, text, system); // the commit point
    } catch (const FileError &e) {
        throw XbaseError::io(e.what());
    }
    finish(system, marker, Plan{targets, removals});
}

bool pending(const fs::path &table)
{
    fs::path marker = markerFor(table);
    if (fs::exists(marker) || !leftoverMarkers(marker).empty())
        return true;
    for (const fs::path &t : usualTargets(table))
        if (fs::exists(newNameFor(t)))
            return true;
    return false;
}

void recover(FileSystem &system, const fs::path &table)
{
    fs::path marker = markerFor(table);
    if (fs::exists(marker)) {
        finish(system, marker, readMarker(system, marker));
    } else {
        for (const fs::path &t : usualTargets(table))
            if (fs::exists(newNameFor(t)))
                removeFile(newNameFor(t), system);
    }
    for (const fs::path &leftover : leftoverMarkers(marker))
        removeFile(leftover, system);
    syncDirectory(folderOf(table), system);
}

void copyFile(FileSystem &system, const fs::path &from, const fs::path &to)
{
    BinaryFile in(from, BinaryFile::Mode::ReadOnly, system);
    BinaryFile out(to, BinaryFile::Mode::Create, system);
    std::string buffer(size_t(1) << 20, '\0');
    uint64_t size = in.size();
    for (uint64_t at = 0; at < size;) {
        size_t n = size_t(std::min<uint64_t>(buffer.size(), size - at));
        in.readAt(at, buffer.data(), n);
        out.writeAt(at, buffer.data(), n);
        at += n;
    }
    out.sync();
}

void discard(FileSystem &system, const std::vector<fs::path> &targets) noexcept
{
    for (const fs::path &t : targets) {
        try {
            if (fs::exists(newNameFor(t)))
                removeFile(newNameFor(t), system);
        } catch (...) {
            // Left for the next open, which removes leftovers.
        }
    }
}

} // namespace qn::xbase::file_switch
