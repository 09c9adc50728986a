#include "xbase/file_switch.h"

#include "xbase/file_io.h"
#include "xbase/xbase_error.h"

#include <algorithm>
#include <sstream>

namespace qn::xbase::file_switch {

namespace {

namespace fs = std::filesystem;

constexpr const char *Header = "QNSWITCH 1";
constexpr const char *Trailer = "END";

fs::path folderOf(const fs::path &p) { return p.parent_path().empty() ? fs::path(".") : p.parent_path(); }

fs::path withSuffix(const fs::path &p, const char *suffix)
{
    fs::path r = p;
    r += suffix;
    return r;
}

// The files a table may have that a switch replaces.
std::vector<fs::path> usualTargets(const fs::path &table)
{
    return {table, siblingWithExtension(table, ".FPT"), siblingWithExtension(table, ".CDX")};
}

std::vector<fs::path> readMarker(const fs::path &marker)
{
    BinaryFile file(marker, BinaryFile::Mode::ReadOnly);
    std::string text(file.size(), '\0');
    file.readAt(0, text.data(), text.size());
    std::istringstream in(text);
    std::string line;
    std::vector<fs::path> targets;
    bool ended = false;
    if (!std::getline(in, line) || line != Header)
        throw XbaseError::damaged("The switch marker " + marker.string() +
                                  " is damaged; the table was left as it is");
    while (std::getline(in, line)) {
        if (line == Trailer) {
            ended = true;
            break;
        }
        // Only names in the table's own folder.
        if (line.empty() || line.find('/') != std::string::npos || line == "." || line == "..")
            throw XbaseError::damaged("The switch marker " + marker.string() +
                                      " is damaged; the table was left as it is");
        targets.push_back(folderOf(marker) / line);
    }
    if (!ended)
        throw XbaseError::damaged("The switch marker " + marker.string() +
                                  " is damaged; the table was left as it is");
    return targets;
}

void finish(const fs::path &marker, const std::vector<fs::path> &targets)
{
    for (const fs::path &target : targets) {
        fs::path fresh = newNameFor(target);
        if (fs::exists(fresh))
            replaceFile(fresh, target);
    }
    removeFile(marker);
    syncDirectory(folderOf(marker));
}

} // namespace

fs::path newNameFor(const fs::path &target) { return withSuffix(target, ".new"); }
fs::path markerFor(const fs::path &table) { return withSuffix(table, ".switch"); }

void commit(const fs::path &table, const std::vector<fs::path> &targets)
{
    fs::path marker = markerFor(table);
    fs::path temporary = withSuffix(marker, ".tmp");
    std::string text = std::string(Header) + "\n";
    for (const fs::path &t : targets)
        text += t.filename().string() + "\n";
    text += std::string(Trailer) + "\n";
    {
        BinaryFile file(temporary, BinaryFile::Mode::Create);
        file.writeAt(0, text.data(), text.size());
        file.sync();
    }
    replaceFile(temporary, marker); // the commit point
    finish(marker, targets);
}

bool pending(const fs::path &table)
{
    fs::path marker = markerFor(table);
    if (fs::exists(marker) || fs::exists(withSuffix(marker, ".tmp")))
        return true;
    for (const fs::path &t : usualTargets(table))
        if (fs::exists(newNameFor(t)))
            return true;
    return false;
}

void recover(const fs::path &table)
{
    fs::path marker = markerFor(table);
    fs::path temporary = withSuffix(marker, ".tmp");
    if (fs::exists(marker)) {
        finish(marker, readMarker(marker));
    } else {
        for (const fs::path &t : usualTargets(table))
            if (fs::exists(newNameFor(t)))
                removeFile(newNameFor(t));
    }
    if (fs::exists(temporary))
        removeFile(temporary);
    syncDirectory(folderOf(table));
}

void copyFile(const fs::path &from, const fs::path &to)
{
    BinaryFile in(from, BinaryFile::Mode::ReadOnly);
    BinaryFile out(to, BinaryFile::Mode::Create);
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

void discard(const std::vector<fs::path> &targets) noexcept
{
    for (const fs::path &t : targets) {
        try {
            if (fs::exists(newNameFor(t)))
                removeFile(newNameFor(t));
        } catch (...) {
            // Left for the next open, which removes leftovers.
        }
    }
}

} // namespace qn::xbase::file_switch
