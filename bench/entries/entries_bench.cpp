// What "Next" costs with a modified entry on a large diary: the main window
// on a diary of 10,000 entries of about 2 KB of RTF each (one a day, made on
// the first run in the folder given, or a temporary one), the entry on
// screen changed by one typed character, then Next: the save, the move, the
// load of the next entry and its layout. Prints the median and the 90th
// percentile over the steps. Then "Find entry containing..." for a word only
// the newest entry holds, from the command to the entry shown: the first
// search, and the median of five repeated ones. With a password the diary is
// made encrypted (the key at the standard cost) and unlocked before timing.
//   entries_bench [DIR] [STEPS] [PASSWORD]
#include "app/date_key.h"
#include "app/get_password.h"
#include "app/main_screen.h"
#include "bench/support/bench_entries.h"
#include "engine/xdata_table.h"
#include "engine/xtable.h"
#include "platform/datetime.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace qn;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 10000;

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * double(v.size())))];
}

void makeDiary(const fs::path &dir, TDateTime first, const std::string &password)
{
    TMainScreen w(dir.string());
    w.DiaryTable->DisableControls();
    for (int i = 0; i < kEntries; ++i) {
        w.DiaryTable->Append();
        w.DiaryTableDATE->SetAsString(DateKey(first + i));
        w.DiaryTable->SetMemoText("ENTRY", TMainScreen::PadMemoText(qn::bench::EntryRtf(i)));
        w.DiaryTable->Post();
    }
    w.DiaryTable->EnableControls();
    if (password.empty())
        return;
    w.RunPasswordDialog = [&](TGetPassword &d) {
        d.NewPassword->setText(QString::fromStdString(password));
        d.NewPasswordAgain->setText(QString::fromStdString(password));
        d.OkButton->click();
    };
    w.mnuSecurityClick();
}

// The offscreen platform's note on every window geometry change is noise here.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtWarningMsg || !message.contains(QLatin1String("propagateSizeHints")))
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char **argv)
{
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    const fs::path dir =
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "qn_entries_bench";
    const int steps = argc > 2 ? std::atoi(argv[2]) : 200;
    const std::string password = argc > 3 ? argv[3] : "";
    fs::create_directories(dir);
    const TDateTime first = EncodeDate(2000, 1, 1);
    if (!fs::exists(dir / "QUILLNK.DBF")) {
        const auto start = Clock::now();
        makeDiary(dir, first, password);
        std::printf("made %d entries%s in %.1f s\n", kEntries,
                    password.empty() ? "" : ", encrypted",
                    std::chrono::duration<double>(Clock::now() - start).count());
    }
    TMainScreen w(dir.string());
    if (w.StartFailed())
        return 1;
    if (!password.empty()) {
        w.Pass->setText(QString::fromStdString(password));
        w.BitBtn1Click();
        if (w.DiaryPassword.empty()) {
            std::printf("the password did not open the diary\n");
            return 1;
        }
    }
    w.show();
    w.CurrentDate = first + kEntries / 2;
    w.FindDateRecord();
    w.LoadRichText();
    std::vector<double> times;
    for (int i = 0; i < steps; ++i) {
        w.QnRichText1->SetCursorOffset(0);
        w.QnRichText1->TypeText(std::string(1, 'a' + i % 26)); // modified, untimed
        const auto start = Clock::now();
        w.NextButtonClick();
        QApplication::processEvents();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (!w.RecordFound) {
            std::printf("stepped off the diary's entries\n");
            return 1;
        }
    }
    std::printf("Next with a modified entry, %d steps on %d entries: median %.2f ms, p90 %.2f ms\n",
                steps, kEntries, percentile(times, 0.5), percentile(times, 0.9));

    // The newest entry, and only it, holds the word searched for.
    w.LastButtonClick();
    const std::string word = "zanzibarite";
    w.QnRichText1->SetCursorOffset(0);
    w.QnRichText1->TypeText(word + " ");
    w.SaveButtonClick();
    const TDateTime newest = w.CurrentDate;
    w.RunLookForAll = [&](TMainScreen &, std::string &text) {
        text = word;
        return 1;
    };
    // The first search reads every entry; the ones after it find the
    // entries' text kept for the session.
    std::vector<double> searches;
    for (int i = 0; i < 6; ++i) {
        w.FirstButtonClick();
        const auto start = Clock::now();
        w.mnuFindentrycontainingClick();
        QApplication::processEvents();
        searches.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (w.CurrentDate != newest) {
            std::printf("the search did not find the newest entry\n");
            return 1;
        }
    }
    const double firstSearch = searches.front();
    searches.erase(searches.begin());
    std::printf("Find entry containing a word of the newest of %d entries, from the command to "
                "the entry shown: first %.0f ms, repeated median %.1f ms (fastest peer 290 ms)\n",
                kEntries, firstSearch, percentile(searches, 0.5));
    return 0;
}
