#include "app/exchange/command_line.h"

#include "app/exchange/diary_backup.h"
#include "app/exchange/diary_export.h"
#include "app/exchange/diary_import.h"
#include "app/exchange/diary_merge.h"
#include "app/exchange/diary_records.h"
#include "platform/datetime.h"
#include "platform/version.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <termios.h>
#include <unistd.h>

namespace qn::exchange {

namespace fs = std::filesystem;

namespace {

constexpr const char *kUsage =
    "Usage:\n"
    "  quillnook                open the diary in its window\n"
    "  quillnook export [--format html|rtf|text|folder|jsonl] [--from yyyy-mm-dd]\n"
    "                   [--to yyyy-mm-dd] [--diary FOLDER] TARGET\n"
    "  quillnook import [--dry-run] [--diary FOLDER] SOURCE\n"
    "  quillnook merge [--dry-run] [--diary FOLDER] [OTHER/QUILLNK.DBF]\n"
    "  quillnook backups [--diary FOLDER]\n"
    "  quillnook restore [--diary FOLDER] BACKUP\n"
    "  quillnook --help         this text\n"
    "  quillnook --version      the version\n"
    "Without --format the export's format follows TARGET's ending (.html, .rtf, .txt,\n"
    ".jsonl); a TARGET without an ending is a folder of yyyy-mm-dd.rtf files.\n"
    "SOURCE is a folder of files named yyyy-mm-dd or yyyymmdd with .rtf, .htm, .html or\n"
    ".txt, a JSON-lines file as the export writes it, or another diary's QUILLNK.DBF.\n"
    "merge brings in the conflicted copies a sync program left beside the diary (or\n"
    "the diary table named) and keeps the copies under Backups/. The password of an encrypted\n"
    "diary is read from standard input. The diary is the one the window opens\n"
    "(~/.local/share/Quillnook unless QUILLNOOK_HOME names another folder).\n"
    "Exit status: 0 done, 1 part done (some files or entries could not be read), 2 not\n"
    "done.\n";

bool isHelpOption(const std::string &argument)
{
    return argument == "--help" || argument == "-h";
}

struct Options {
    std::string Command;
    std::vector<std::string> Operands;
    std::optional<std::string> Format, From, To;
    fs::path Diary;
    bool DryRun = false;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Options parse(const std::vector<std::string> &args, const fs::path &diaryDir)
{
    Options o;
    o.Command = args.at(0);
    o.Diary = diaryDir;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&](const std::string &name) {
            if (i + 1 >= args.size())
                throw UsageError(name + " needs a value");
            return args[++i];
        };
        if (a == "--format")
            o.Format = value(a);
        else if (a == "--from")
            o.From = value(a);
        else if (a == "--to")
            o.To = value(a);
        else if (a == "--diary")
            o.Diary = value(a);
        else if (a == "--dry-run")
            o.DryRun = true;
        else if (a == "--password" || a.rfind("--password=", 0) == 0)
            throw UsageError("the password is never given as an argument; it is read from "
                             "standard input");
        else if (a.size() > 1 && a[0] == '-')
            throw UsageError("unknown option " + a);
        else
            o.Operands.push_back(a);
    }
    return o;
}

// One line of standard input, not shown on a terminal.
// `what` names whose password it is ("the diary in FOLDER").
std::string readPassword(std::istream &in, std::ostream &err, const std::string &what,
                         bool terminal)
{
    termios saved{};
    bool hidden = false;
    if (terminal) {
        err << "Password of " << what << ": " << std::flush;
        if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            hidden = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
        }
    }
    std::string line;
    std::getline(in, line);
    if (hidden) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        err << "\n";
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::unique_ptr<DiaryFolder> openFolder(const Options &o, const std::string &password,
                                        DiaryFolder::Mode mode, std::ostream &err)
{
    auto diary = std::make_unique<DiaryFolder>(o.Diary, password, mode);
    for (const std::string &note : diary->Notes())
        err << "quillnook: " << note << "\n";
    return diary;
}

std::unique_ptr<DiaryFolder> openDiary(const Options &o, DiaryFolder::Mode mode, std::istream &in,
                                       std::ostream &err, bool terminal)
{
    // A QN.INI that is no plain file is not read: the diary is taken to
    // have no stored password, and the user is told.
    if (const std::string refused = PreferencesRefused(o.Diary); !refused.empty())
        err << "quillnook: " << refused << "; its settings are not used.\n";
    const std::string stored = StoredPassword(o.Diary);
    std::string password;
    if (!stored.empty()) {
        password = readPassword(in, err, "the diary in " + o.Diary.string(), terminal);
        if (password != stored)
            throw DiaryOpenError(DiaryOpenError::Password, "Sorry, that is the wrong password");
    }
    try {
        return openFolder(o, password, mode, err);
    } catch (const DiaryOpenError &error) {
        // A table encrypted under a password QN.INI no longer holds.
        if (error.kind() != DiaryOpenError::Password || !stored.empty())
            throw;
    }
    password = readPassword(in, err, "the diary in " + o.Diary.string(), terminal);
    return openFolder(o, password, mode, err);
}

std::string keyOption(const std::optional<std::string> &text, const char *name)
{
    if (!text)
        return {};
    std::string key = KeyOfDateText(*text);
    if (key.empty())
        throw UsageError(std::string(name) + " \"" + *text +
                         "\" is not a date in the form yyyy-mm-dd");
    return key;
}

ExportFormat formatFor(const Options &o, const fs::path &target)
{
    ExportFormat format = ExportFormat::Html;
    if (o.Format) {
        if (!ExportFormatNamed(*o.Format, format))
            throw UsageError("unknown format " + *o.Format + " (html, rtf, text, folder or jsonl)");
        return format;
    }
    std::string ext = target.extension().string();
    for (char &c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".html" || ext == ".htm")
        return ExportFormat::Html;
    if (ext == ".rtf")
        return ExportFormat::Rtf;
    if (ext == ".txt")
        return ExportFormat::Text;
    if (ext == ".jsonl" || ext == ".json")
        return ExportFormat::JsonLines;
    if (ext.empty() || fs::is_directory(target))
        return ExportFormat::RtfFolder;
    throw UsageError("the format of " + target.string() + " is not known; give --format");
}

// 0 all done, 1 part done, 2 nothing done.
int exitStatus(bool complete, bool anythingDone)
{
    return complete ? 0 : anythingDone ? 1 : 2;
}

int runExport(const Options &o, std::istream &in, std::ostream &out, std::ostream &err,
              bool terminal)
{
    if (o.Operands.size() != 1)
        throw UsageError("export needs one TARGET");
    ExportRequest request;
    request.Target = o.Operands[0];
    request.Format = formatFor(o, request.Target);
    request.FromKey = keyOption(o.From, "--from");
    request.ToKey = keyOption(o.To, "--to");
    auto diary = openDiary(o, DiaryFolder::ReadOnly, in, err, terminal);
    ExportResult result = ExportDiary(diary->Records(), request);
    diary->Close();
    for (const std::string &problem : result.Problems)
        err << "quillnook: " << problem << "\n";
    if (!result.Failure.empty()) {
        err << "quillnook: " << result.Failure << "\n";
        if (!result.Files.empty())
            out << "Written before that:\n";
        for (const std::string &file : result.Files)
            out << "  " << file << "\n";
    }
    if (!result.Files.empty())
        out << "Exported " << result.Entries << (result.Entries == 1 ? " entry" : " entries")
            << " as " << ExportFormatName(request.Format) << " to " << request.Target.string()
            << (result.Problems.empty() ? "" : "; the entries named above were left out") << "\n";
    else if (result.Failure.empty())
        out << "There is nothing to export: no entry was read.\n";
    return exitStatus(result.Complete(), !result.Files.empty());
}

bool IsDiaryTableName(const fs::path &source)
{
    std::string ext = source.extension().string();
    for (char &c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".dbf";
}

// The password of a copy that the diary's does not open, from the next line
// of standard input; nothing when it is empty or there is none.
CopyPasswordHook copyPasswordFromInput(std::istream &in, std::ostream &err, bool terminal)
{
    return [&in, &err, terminal](const std::string &name) -> std::optional<std::string> {
        if (!in)
            return std::nullopt;
        std::string line = readPassword(in, err, "the copy " + name, terminal);
        if (line.empty())
            return std::nullopt;
        return line;
    };
}

// Merges one table into the open diary; answers whether it is complete and
// whether anything was done.
std::pair<bool, bool> mergeOne(DiaryFolder &diary, const DiaryLock &lock, const DiaryCopy &copy,
                               const MergeOptions &options, std::ostream &out, std::ostream &err)
{
    MergeResult result = MergeDiaryCopy(diary.Records(), lock, copy, options);
    out << result.Report();
    if (!result.Failure.empty())
        err << "quillnook: " << result.Failure << "\n";
    return {result.Complete(), result.Written() > 0 || !result.Backup.empty()};
}

// The diary's lock: the writer's own, or for a dry run (a reader) one taken
// here, so that nobody changes the diary while it is compared.
const DiaryLock &lockOf(const DiaryFolder &diary, std::unique_ptr<DiaryLock> &own)
{
    if (diary.Lock())
        return *diary.Lock();
    try {
        own = std::make_unique<DiaryLock>(diary.Folder());
    } catch (const DiaryInUseError &error) {
        throw DiaryOpenError(DiaryOpenError::InUse, error.what());
    }
    return *own;
}

MergeOptions mergeOptions(const Options &o, std::istream &in, std::ostream &err, bool terminal)
{
    MergeOptions options;
    options.DiaryPassword = StoredPassword(o.Diary);
    options.AskPassword = copyPasswordFromInput(in, err, terminal);
    options.DryRun = o.DryRun;
    return options;
}

int closeAfterMerge(DiaryFolder *diary, bool complete, bool done, std::ostream &err)
{
    try {
        if (diary)
            diary->Close();
    } catch (const std::exception &error) {
        err << "quillnook: the diary could not be closed cleanly: " << error.what() << "\n";
        return exitStatus(false, done);
    }
    return exitStatus(complete, done);
}

// Another diary's table brought in by the merge's rules; the table stays
// where it is.
int runTableImport(const Options &o, DiaryFolder *diary, std::istream &in, std::ostream &out,
                   std::ostream &err, bool terminal)
{
    if (!diary)
        throw std::runtime_error("There is no diary in " + o.Diary.string() +
                                 " to compare a dry run with.");
    MergeOptions options = mergeOptions(o, in, err, terminal);
    options.MoveToBackups = false;
    options.BackupBefore = false;
    std::unique_ptr<DiaryLock> own;
    auto [complete, done] =
        mergeOne(*diary, lockOf(*diary, own), OtherDiaryTable(o.Operands[0]), options, out, err);
    return closeAfterMerge(diary, complete, done, err);
}

// The copies a sync program left beside the diary, or the table named.
int runMerge(const Options &o, std::istream &in, std::ostream &out, std::ostream &err,
             bool terminal)
{
    if (o.Operands.size() > 1)
        throw UsageError("merge takes at most one OTHER/QUILLNK.DBF");
    std::vector<DiaryCopy> copies;
    bool outside = false;
    if (o.Operands.empty()) {
        copies = FindConflictedCopies(o.Diary);
    } else {
        copies.push_back(OtherDiaryTable(o.Operands[0]));
        // Only a sync program's copy in the diary's own folder is moved away.
        std::error_code ec;
        outside = copies[0].Scheme == ConflictScheme::None ||
                  !fs::equivalent(fs::absolute(copies[0].Table).parent_path(), o.Diary, ec);
    }
    if (copies.empty()) {
        out << "There is no conflicted copy of the diary in " << o.Diary.string()
            << "; nothing to merge.\n";
        return 0;
    }
    auto diary =
        openDiary(o, o.DryRun ? DiaryFolder::ReadOnly : DiaryFolder::Write, in, err, terminal);
    std::unique_ptr<DiaryLock> own;
    const DiaryLock &lock = lockOf(*diary, own);
    if (!o.DryRun)
        if (const int removed = RemoveMergedCopyLeftovers(lock); removed > 0)
            out << "Removed " << removed << " file(s) left behind by a merge cut short.\n";
    MergeOptions options = mergeOptions(o, in, err, terminal);
    options.MoveToBackups = !outside;
    bool complete = true, done = false;
    for (size_t i = 0; i < copies.size(); ++i) {
        auto [whole, some] = mergeOne(*diary, lock, copies[i], options, out, err);
        complete = complete && whole;
        done = done || some;
        options.BackupBefore = false; // one backup of the diary before the first
    }
    return closeAfterMerge(diary.get(), complete, done, err);
}

int runImport(const Options &o, std::istream &in, std::ostream &out, std::ostream &err,
              bool terminal)
{
    if (o.Operands.size() != 1)
        throw UsageError("import needs one SOURCE");
    // A dry run against a diary not yet made shows what a first import would do.
    std::unique_ptr<DiaryFolder> diary;
    if (!o.DryRun || DiaryTableFile(o.Diary))
        diary = openDiary(o, o.DryRun ? DiaryFolder::ReadOnly : DiaryFolder::CreateWhenMissing, in,
                          err, terminal);
    if (IsDiaryTableName(o.Operands[0]))
        return runTableImport(o, diary.get(), in, out, err, terminal);
    ImportResult result =
        ImportIntoDiary(diary ? &diary->Records() : nullptr, o.Operands[0], o.DryRun);
    out << result.Report();
    if (diary) {
        try {
            diary->Close();
        } catch (const std::exception &error) {
            // The entries reported were stored; closing writes nothing of theirs.
            err << "quillnook: the diary could not be closed cleanly: " << error.what() << "\n";
            return exitStatus(false, result.Written() > 0);
        }
    }
    if (!result.Failure.empty())
        err << "quillnook: " << result.Failure << "\n";
    return exitStatus(result.Complete(), result.Written() > 0);
}

void listBackups(const std::vector<BackupInfo> &list, std::ostream &out)
{
    for (const BackupInfo &b : list)
        out << b.Name << "\t" << b.Made << "\t"
            << (b.Entries < 0 ? std::string("?") : std::to_string(b.Entries)) << " entries"
            << (b.Note.empty() ? std::string() : "\t" + ShownBytes(b.Note)) << "\n";
}

int runBackups(const Options &o, std::ostream &out, std::ostream &err)
{
    std::vector<BackupInfo> list = ListBackups(o.Diary);
    if (list.empty())
        out << "There are no backups in " << BackupsFolder(o.Diary).string() << "\n";
    listBackups(list, out);
    for (const BackupInfo &b : ListUnusableBackups(o.Diary))
        err << "quillnook: " << b.Problem << "\n";
    return 0;
}

// QN.INI stays through a restore: a backup in clear restored into a diary
// that has a password is put under that password at once.
void encryptRestoredInClear(const Options &o, std::ostream &out)
{
    const std::string stored = StoredPassword(o.Diary);
    if (stored.empty())
        return;
    std::unique_ptr<DiaryFolder> diary;
    try {
        diary = std::make_unique<DiaryFolder>(o.Diary, std::string(), DiaryFolder::Write);
    } catch (const DiaryOpenError &error) {
        if (error.kind() == DiaryOpenError::Password)
            return; // encrypted: under the diary's password, or the window asks for its own
        throw;
    }
    if (diary->Encrypted())
        return;
    diary->ChangeKey(stored);
    out << "The restored diary was in clear; it is now encrypted under the diary's password.\n";
}

int runRestore(const Options &o, std::istream &in, std::ostream &out, std::ostream &err,
               bool terminal)
{
    if (o.Operands.size() != 1)
        throw UsageError("restore needs the name of one BACKUP (see quillnook backups)");
    std::vector<BackupInfo> list = ListBackups(o.Diary);
    auto chosen = std::find_if(list.begin(), list.end(),
                               [&](const BackupInfo &b) { return b.Name == o.Operands[0]; });
    if (chosen == list.end())
        for (const BackupInfo &b : ListUnusableBackups(o.Diary))
            if (b.Name == o.Operands[0])
                throw std::runtime_error(b.Problem + " Nothing was restored.");
    if (chosen == list.end())
        throw std::runtime_error("There is no backup named " + o.Operands[0] + " in " +
                                 BackupsFolder(o.Diary).string() + ".");
    int entries = -1;
    if (DiaryTableFile(o.Diary)) {
        // The count noted with the files replaced; the diary stays closed otherwise.
        auto diary = openDiary(o, DiaryFolder::ReadOnly, in, err, terminal);
        entries = diary->Records().Count();
    }
    BackupInfo before = RestoreBackup(o.Diary, *chosen, Now(), entries);
    out << "Restored the backup " << chosen->Name << " (" << chosen->Made << "). The files it "
        << "replaced are kept as the backup " << before.Name << ".\n";
    encryptRestoredInClear(o, out);
    return 0;
}

} // namespace

bool IsDiaryCommand(const std::string &first)
{
    return first == "export" || first == "import" || first == "merge" || first == "backups" ||
           first == "restore" || first == "help" || isHelpOption(first) || first == "--version";
}

bool AsksForInformation(const std::vector<std::string> &args)
{
    return args.empty() || args[0] == "help" || args[0] == "--version" ||
           std::any_of(args.begin(), args.end(), isHelpOption);
}

int RunDiaryCommand(const std::vector<std::string> &args, std::istream &in, std::ostream &out,
                    std::ostream &err, const fs::path &diaryDir, bool terminal)
{
    if (!args.empty() && args[0] == "--version") {
        out << "quillnook " << Version() << "\n";
        return 0;
    }
    // Help, also after a command's name (quillnook export --help).
    if (AsksForInformation(args)) {
        out << kUsage;
        return 0;
    }
    try {
        const Options o = parse(args, diaryDir);
        if (o.Command == "export")
            return runExport(o, in, out, err, terminal);
        if (o.Command == "import")
            return runImport(o, in, out, err, terminal);
        if (o.Command == "merge")
            return runMerge(o, in, out, err, terminal);
        if (o.Command == "backups")
            return runBackups(o, out, err);
        if (o.Command == "restore")
            return runRestore(o, in, out, err, terminal);
        throw UsageError("unknown command " + o.Command);
    } catch (const UsageError &error) {
        err << "quillnook: " << error.what() << "\n" << kUsage;
    } catch (const std::exception &error) {
        err << "quillnook: " << error.what() << "\n";
    } catch (...) {
        err << "quillnook: the command failed for a reason that cannot be told\n";
    }
    return 2;
}

} // namespace qn::exchange
