#include "table_shell.h"

#include "platform/diary_lock.h"

#include "platform/ascii_text.h"
#include "platform/version.h"
#include "xbase/table.h"
#include "xbase/xbase_error.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>
#include <sstream>
#include <termios.h>
#include <unistd.h>

namespace qn::tools {

using namespace qn::xbase;

namespace {

const char *usage =
    "usage:\n"
    "  qntable create TABLE.DBF \"NAME C(8), AMOUNT N(10,2), DAY D, DONE L, ENTRY M\"\n"
    "  qntable index TABLE.DBF TAG \"EXPRESSION\"\n"
    "  qntable info TABLE.DBF\n"
    "  qntable list TABLE.DBF [--tag TAG] [--deleted]\n"
    "      one record per line, fields separated by tabs; with --deleted the first\n"
    "      column is * for a deleted record and empty otherwise\n"
    "  qntable seek TABLE.DBF TAG KEY        (exit status 1 when there is no such key)\n"
    "  qntable append TABLE.DBF FIELD=VALUE ...\n"
    "  qntable replace TABLE.DBF RECNO FIELD=VALUE ...\n"
    "  qntable delete TABLE.DBF RECNO\n"
    "  qntable check TABLE.DBF               (exit status 0 only when all is well)\n"
    "  qntable recover TABLE.DBF             (undoes a save a crash left unfinished)\n"
    "  qntable encrypt TABLE.DBF             (asks for the new password twice)\n"
    "  qntable decrypt TABLE.DBF\n"
    "  qntable pack TABLE.DBF                (removes deleted records, rebuilds the tags)\n"
    "  qntable --help | --version\n"
    "Passwords are read from the terminal, or from standard input when that is not\n"
    "a terminal; an encrypted table asks for its password before any command.\n"
    "A VALUE of the form @FILE is read from that file. Any command but check undoes\n"
    "an unfinished save first, as recover does, and says so.\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Blanks around the parts of a field definition and around values.
std::string trim(std::string_view s)
{
    return std::string(Trim(s, " \t"));
}

std::vector<FieldInfo> parseStructure(const std::string &spec)
{
    std::vector<FieldInfo> fields;
    std::string item;
    std::vector<std::string> items;
    int depth = 0;
    for (char c : spec) {
        if (c == '(')
            ++depth;
        if (c == ')')
            --depth;
        if (c == ',' && depth == 0) {
            items.push_back(item);
            item.clear();
        } else {
            item += c;
        }
    }
    items.push_back(item);
    for (const std::string &raw : items) {
        std::string s = trim(raw);
        size_t space = s.find_first_of(" \t");
        if (space == std::string::npos)
            throw UsageError("field \"" + s + "\" needs a name and a type, such as NAME C(8)");
        FieldInfo f;
        f.name = s.substr(0, space);
        std::string type = trim(s.substr(space));
        if (type.empty())
            throw UsageError("field " + f.name + " has no type");
        f.type = char(std::toupper(static_cast<unsigned char>(type[0])));
        std::string rest = trim(type.substr(1));
        if (!rest.empty()) {
            if (rest.front() != '(' || rest.back() != ')')
                throw UsageError("field " + f.name + ": bad size \"" + rest + "\"");
            std::string inner = rest.substr(1, rest.size() - 2);
            size_t comma = inner.find(',');
            try {
                f.length = uint16_t(std::stoi(trim(inner.substr(0, comma))));
                if (comma != std::string::npos)
                    f.decimals = uint8_t(std::stoi(trim(inner.substr(comma + 1))));
            } catch (const std::exception &) {
                throw UsageError("field " + f.name + ": bad size \"" + rest + "\"");
            }
        } else if (f.type == 'C' || f.type == 'N') {
            throw UsageError("field " + f.name + " needs a width, such as C(8) or N(10,2)");
        }
        fields.push_back(f);
    }
    return fields;
}

std::string valueArgument(const std::string &value)
{
    if (value.size() > 1 && value[0] == '@') {
        std::ifstream in(value.substr(1), std::ios::binary);
        if (!in)
            throw XbaseError::io("Cannot read " + value.substr(1));
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    return value;
}

uint32_t recordNumber(const std::string &text)
{
    try {
        size_t used = 0;
        long long n = std::stoll(text, &used);
        if (used != text.size() || n < 1 || n > 0xFFFFFFFFll)
            throw UsageError("");
        return uint32_t(n);
    } catch (const std::exception &) {
        throw UsageError("\"" + text + "\" is not a record number");
    }
}

std::string listValue(Table &t, int field)
{
    const FieldInfo &f = t.fields()[size_t(field)];
    std::string v;
    if (f.type == 'M' || f.type == 'G')
        return escapeListText(t.memo(field));
    Value value = t.value(field);
    switch (f.type) {
    case 'C':
        v = t.text(field);
        break;
    case 'N':
    case 'F':
        v = trim(t.text(field));
        break;
    case 'D':
    case 'L':
        v = trim(t.text(field));
        break;
    default:
        v = value.type == Value::Type::Character ? value.text : value.toText();
        break;
    }
    while (!v.empty() && v.back() == ' ')
        v.pop_back();
    return escapeListText(v);
}

void printRecord(Table &t, std::ostream &out, bool markDeleted)
{
    std::string line;
    if (markDeleted)
        line = t.deleted() ? "*\t" : "\t";
    for (size_t i = 0; i < t.fields().size(); ++i) {
        if (i)
            line += '\t';
        line += listValue(t, int(i));
    }
    out << line << '\n';
}

void applyAssignments(Table &t, const std::vector<std::string> &args, size_t from)
{
    for (size_t i = from; i < args.size(); ++i) {
        size_t eq = args[i].find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError("\"" + args[i] + "\" is not FIELD=VALUE");
        std::string name = args[i].substr(0, eq);
        int f = t.fieldIndex(name);
        if (f < 0)
            throw XbaseError::refused("Table " + t.path().string() + " has no field " + name);
        t.replaceText(f, valueArgument(args[i].substr(eq + 1)));
    }
}

const PasswordPrompt *prompt = nullptr; // of the running command

std::string askPassword(const std::string &text, bool confirm)
{
    if (!prompt || !*prompt)
        throw XbaseError::refused("No password can be asked for here");
    return (*prompt)(text, confirm);
}

// Opens the table; an encrypted one asks for its password first.
std::ostream *notes = nullptr; // where openTable tells of an undone save

std::unique_ptr<Table> openTable(const std::string &path, Table::Access access, EngineSettings &s)
{
    auto t = Table::open(path, access, s);
    if (t->recoveredUnfinishedSave() && notes)
        *notes << "note: an unfinished save of " << path << " was undone\n";
    if (t->encrypted() && s.password.empty()) {
        s.password = askPassword("Password of " + path + ": ", false);
        // Opened again under the key, so that an encrypted index is read too.
        t.reset();
        t = Table::open(path, access, s);
        try {
            t->goTop(); // a wrong password fails here, before any command reads or writes
        } catch (const XbaseError &e) {
            if (!e.isTampered()) // the key fits; the commands tell about the record
                throw;
        }
    }
    return t;
}

int check(const std::string &path, std::ostream &out)
{
    EngineSettings settings;
    // Opening would undo it; check only tells. A damaged journal is never
    // applied, and the table does not open while it lies there.
    if (const std::string problem = Table::journalProblem(path, settings); !problem.empty()) {
        out << "fault: " << problem << '\n';
        return 1;
    }
    if (Table::hasHotJournal(path, settings)) {
        out << "fault: an unfinished save waits to be undone (qntable recover " << path << ")\n";
        return 1;
    }
    auto t = openTable(path, Table::Access::ReadOnly, settings);
    std::vector<std::string> faults;
    DbfFile &dbf = t->dbf();
    uint64_t expected =
        uint64_t(dbf.headerLength()) + uint64_t(dbf.recordCount()) * dbf.recordLength();
    uint64_t size = dbf.file().size();
    if (size < expected)
        faults.push_back("the file is shorter than its record count needs");
    else if (size > expected + 1)
        faults.push_back("the file holds " + std::to_string(size - expected) +
                         " bytes beyond its last record (record count " +
                         std::to_string(dbf.recordCount()) + ")");
    MemoFile *memo = t->memoFile();
    for (uint32_t r = 1; r <= dbf.recordCount(); ++r) {
        if (!dbf.authentic(r)) {
            faults.push_back("record " + std::to_string(r) +
                             ": changed by someone without the password (its tag does not match)");
            continue;
        }
        t->go(r);
        for (size_t i = 0; i < t->fields().size(); ++i) {
            const FieldInfo &f = t->fields()[i];
            if (f.type != 'M' && f.type != 'G')
                continue;
            try {
                std::string raw(t->buffer() + f.offset, f.length);
                if (raw.find_first_not_of(f.length == 4 ? std::string(1, '\0')
                                                        : std::string(" ")) == std::string::npos)
                    continue;
                t->memo(int(i));
                (void)memo;
            } catch (const XbaseError &e) {
                faults.push_back("record " + std::to_string(r) + ": " + e.what());
            }
        }
    }
    try {
        for (const std::string &f : t->checkIndexes())
            faults.push_back(f);
    } catch (const XbaseError &e) {
        if (!e.isTampered()) // the records that fail are named above
            throw;
        faults.push_back("the indexes could not be checked past a changed record");
    }
    for (const std::string &f : faults)
        out << "fault: " << f << '\n';
    if (faults.empty())
        out << "ok: " << dbf.recordCount() << " records, " << t->tagCount() << " tags\n";
    return faults.empty() ? 0 : 1;
}

// The structure, readable without the password.
int info(const std::string &path, std::ostream &out, const EngineSettings &settings)
{
    auto t = Table::open(path, Table::Access::ReadOnly, settings);
    char version[8];
    std::snprintf(version, sizeof version, "0x%02X", t->version());
    out << "table " << t->path().string() << " version " << version << '\n';
    if (t->encrypted())
        out << "encrypted (key from the password by " << t->dbf().keyBlock()->derivation.describe()
            << ")\n";
    if (t->encrypted() && t->memoFile())
        out << (t->memoFile()->sealed() ? "memos encrypted whole (lengths hidden)\n"
                                        : "memos of the older form (lengths in clear: the "
                                          "next change of key or pack hides them)\n");
    if (t->encrypted())
        out << (t->dbf().tagged() ? "records and memos authenticated (changes made without the "
                                    "password are noticed)\n"
                                  : "records and memos of the older form (no authentication: the "
                                    "next change of key or pack adds it)\n");
    // An encrypted index, tag directory included, is read only under the
    // key, which info does not ask for.
    const std::filesystem::path cdx = siblingWithExtension(t->path(), ".CDX");
    const CdxIndex::Protection protection =
        std::filesystem::exists(cdx) ? CdxIndex::protectionOf(cdx) : CdxIndex::Protection::None;
    const bool sealedIndex = protection != CdxIndex::Protection::None;
    if (protection == CdxIndex::Protection::Authenticated)
        out << "index encrypted and authenticated (its tags are listed under the password; "
               "changes made without it are noticed)\n";
    else if (sealedIndex)
        out << "index encrypted, not authenticated (older form: the next change of key or pack "
               "authenticates it; its tags are listed under the password)\n";
    else if (t->encrypted() && std::filesystem::exists(cdx))
        out << "index in clear (older form: the next change of key or pack encrypts it)\n";
    out << "records " << t->recordCount() << '\n';
    out << "record length " << t->recordLength() << '\n';
    for (const FieldInfo &f : t->fields()) {
        out << "field " << f.name << ' ' << f.type << ' ' << f.length;
        if (f.decimals)
            out << ',' << int(f.decimals);
        out << '\n';
    }
    if (!t->indexProblem().empty() && !(sealedIndex && !t->keyFits()))
        out << "index unreadable: " << t->indexProblem() << '\n';
    for (int o = 1; o <= t->tagCount(); ++o) {
        t->setOrder(o);
        out << "tag " << t->tagName(o) << " \"" << t->indexExpression() << '"';
        if (!t->indexCondition().empty())
            out << " for \"" << t->indexCondition() << '"';
        out << '\n';
    }
    return 0;
}

// encrypt and decrypt: the table rewritten under a new password or in clear.
int changeEncryption(const std::vector<std::string> &args, std::ostream &out,
                     EngineSettings &settings)
{
    const std::string &cmd = args[0];
    const std::string &path = args[1];
    if (cmd == "encrypt") {
        if (args.size() != 2)
            throw UsageError("");
        auto t = openTable(path, Table::Access::Exclusive, settings);
        if (t->encrypted()) {
            if (t->currentEncryption()) {
                out << "already encrypted\n";
                return 0;
            }
            t->encrypt(); // an older form, rewritten under the same password
            t->close();
            out << "encrypted in the current form\n";
            return 0;
        }
        settings.password = askPassword("New password: ", true);
        if (settings.password.empty())
            throw XbaseError::refused(
                "An empty password encrypts nothing; the table was left as it is");
        t->encrypt();
        t->close();
        out << "encrypted\n";
        return 0;
    }
    if (cmd == "decrypt") {
        if (args.size() != 2)
            throw UsageError("");
        auto t = openTable(path, Table::Access::Exclusive, settings);
        if (!t->encrypted()) {
            out << "not encrypted\n";
            return 0;
        }
        t->decrypt();
        t->close();
        out << "decrypted\n";
        return 0;
    }
    throw UsageError("");
}

// A diary's table (QUILLNK.DBF, in any case) is changed only under the
// diary's lock, which the program holds while the diary is open; while
// another holds it, the table is not even read (a restore may be switching
// its files).
std::unique_ptr<DiaryLock> lockDiaryOf(const std::string &path, const std::string &cmd)
{
    const std::filesystem::path file(path);
    std::string name = file.filename().string();
    for (char &c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name != "QUILLNK.DBF")
        return nullptr;
    const std::filesystem::path folder = FolderOf(file);
    static const char *const readers[] = {"info", "list", "seek", "check"};
    const bool reader = std::find(std::begin(readers), std::end(readers), cmd) != std::end(readers);
    try {
        if (reader || !std::filesystem::is_directory(folder)) {
            if (DiaryLock::HeldElsewhere(folder))
                throw DiaryInUseError(DiaryInUseText(folder));
            return nullptr;
        }
        return std::make_unique<DiaryLock>(folder);
    } catch (const DiaryInUseError &e) {
        throw XbaseError::lock(e.what());
    } catch (const std::runtime_error &e) {
        throw XbaseError::io(e.what());
    }
}

int run(const std::vector<std::string> &args, std::ostream &out, const KeyDerivation &newKeys)
{
    if (args.size() < 2)
        throw UsageError("");
    const std::string &cmd = args[0];
    const std::string &path = args[1];
    const std::unique_ptr<DiaryLock> diaryLock = lockDiaryOf(path, cmd);
    EngineSettings settings;
    settings.newKeyDerivation = newKeys;
    if (cmd == "create") {
        if (args.size() != 3)
            throw UsageError("");
        Table::create(path, parseStructure(args[2]), settings.memoBlockSize);
        return 0;
    }
    if (cmd == "index") {
        if (args.size() != 4)
            throw UsageError("");
        auto t = openTable(path, Table::Access::Exclusive, settings);
        t->indexTag({}, args[2], args[3], false, false, {});
        t->close();
        return 0;
    }
    if (cmd == "info") {
        if (args.size() != 2)
            throw UsageError("");
        return info(path, out, settings);
    }
    if (cmd == "list") {
        std::string tag;
        bool deleted = false;
        for (size_t i = 2; i < args.size(); ++i) {
            if (args[i] == "--deleted")
                deleted = true;
            else if (args[i] == "--tag" && i + 1 < args.size())
                tag = args[++i];
            else
                throw UsageError("");
        }
        settings.deleted = !deleted;
        auto t = openTable(path, Table::Access::ReadOnly, settings);
        if (!tag.empty()) {
            int o = t->tagOrder(tag);
            if (o == 0)
                throw XbaseError::refused("Table " + path + " has no tag " + tag);
            t->setOrder(o);
        }
        for (t->goTop(); !t->eof(); t->skip(1))
            printRecord(*t, out, deleted);
        return 0;
    }
    if (cmd == "seek") {
        if (args.size() != 4)
            throw UsageError("");
        settings.deleted = true;
        auto t = openTable(path, Table::Access::ReadOnly, settings);
        int o = t->tagOrder(args[2]);
        if (o == 0)
            throw XbaseError::refused("Table " + path + " has no tag " + args[2]);
        t->setOrder(o);
        if (!t->seek(args[3]))
            return 1;
        printRecord(*t, out, false);
        return 0;
    }
    if (cmd == "append") {
        auto t = openTable(path, Table::Access::Exclusive, settings);
        // Check every assignment names a field before anything is written.
        for (size_t i = 2; i < args.size(); ++i) {
            size_t eq = args[i].find('=');
            if (eq == std::string::npos || eq == 0)
                throw UsageError("\"" + args[i] + "\" is not FIELD=VALUE");
            if (t->fieldIndex(args[i].substr(0, eq)) < 0)
                throw XbaseError::refused("Table " + path + " has no field " +
                                          args[i].substr(0, eq));
        }
        t->appendBlank();
        applyAssignments(*t, args, 2);
        t->commit();
        out << t->recno() << '\n';
        t->close();
        return 0;
    }
    if (cmd == "replace") {
        if (args.size() < 4)
            throw UsageError("");
        auto t = openTable(path, Table::Access::Exclusive, settings);
        uint32_t r = recordNumber(args[2]);
        if (r > t->recordCount())
            throw XbaseError::refused("Record " + args[2] + " does not exist");
        t->go(r);
        applyAssignments(*t, args, 3);
        t->commit();
        t->close();
        return 0;
    }
    if (cmd == "delete") {
        if (args.size() != 3)
            throw UsageError("");
        auto t = openTable(path, Table::Access::Exclusive, settings);
        uint32_t r = recordNumber(args[2]);
        if (r > t->recordCount())
            throw XbaseError::refused("Record " + args[2] + " does not exist");
        t->go(r);
        t->deleteRecord();
        t->commit();
        t->close();
        return 0;
    }
    if (cmd == "encrypt" || cmd == "decrypt")
        return changeEncryption(args, out, settings);
    if (cmd == "pack") {
        if (args.size() != 2)
            throw UsageError("");
        auto t = openTable(path, Table::Access::Exclusive, settings);
        uint32_t before = t->recordCount();
        t->pack();
        out << t->recordCount() << " records kept, " << (before - t->recordCount()) << " removed\n";
        t->close();
        return 0;
    }
    if (cmd == "check") {
        if (args.size() != 2)
            throw UsageError("");
        return check(path, out);
    }
    if (cmd == "recover") {
        if (args.size() != 2)
            throw UsageError("");
        EngineSettings settings;
        out << (Table::recover(path, settings) ? "undone: the unfinished save of " + path + "\n"
                                               : "nothing to undo in " + path + "\n");
        return 0;
    }
    throw UsageError("unknown command \"" + cmd + "\"");
}

} // namespace

std::string escapeListText(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string readPassword(const std::string &text, bool confirm)
{
    auto readLine = [](std::string &line) -> bool {
        if (!std::getline(std::cin, line))
            return false;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return true;
    };
    std::string line;
    if (!isatty(STDIN_FILENO)) {
        if (!readLine(line))
            throw XbaseError::refused("No password on standard input");
        return line;
    }
    auto once = [&](const std::string &label) {
        std::cerr << label << std::flush;
        termios old{};
        bool quiet = tcgetattr(STDIN_FILENO, &old) == 0;
        if (quiet) {
            termios silent = old;
            silent.c_lflag &= ~tcflag_t(ECHO);
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
        }
        std::string typed;
        bool got = readLine(typed);
        if (quiet)
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
        std::cerr << '\n';
        if (!got)
            throw XbaseError::refused("No password was typed");
        return typed;
    };
    line = once(text);
    if (confirm && once("Again: ") != line)
        throw XbaseError::refused("The two passwords differ; nothing was changed");
    return line;
}

int runTableShell(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
                  const PasswordPrompt &askPassword, const KeyDerivation &newKeys)
{
    struct Current {
        Current(const PasswordPrompt &p, std::ostream &e)
        {
            prompt = &p;
            notes = &e;
        }
        ~Current()
        {
            prompt = nullptr;
            notes = nullptr;
        }
    } current(askPassword, err);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        out << usage;
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        out << "qntable " << Version() << '\n';
        return 0;
    }
    try {
        return run(args, out, newKeys);
    } catch (const UsageError &e) {
        if (*e.what())
            err << "qntable: " << e.what() << '\n';
        err << usage;
        return 2;
    } catch (const std::exception &e) {
        err << "qntable: " << e.what() << '\n';
        return 2;
    }
}

} // namespace qn::tools
