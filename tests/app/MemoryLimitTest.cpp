// Running out of memory, made deterministic: each case runs the editor's
// window offscreen in a forked child whose address space may grow by only
// 1 GiB (RLIMIT_AS), or whose files may grow to 64 KiB (RLIMIT_FSIZE). Each
// must end with one clear message and the picture as it was: no crash, no
// exception escaping, no SIGXFSZ.
#include "app/MainForm.h"
#include "app/NewImgForm.h"
#include "app/PictureDocument.h"
#include "app/ResizerForm.h"
#include "engine/Codecs.h"
#include "rawimport/ui/OpenRawForm.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/TestPictures.h"
#include "ui/Prompt.h"

#include <QComboBox>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <random>

namespace ui = kadrimex::ui;
using kadrimex::test::WaitUntil;

namespace {

// The process's mapped address space now.
rlim_t MappedBytes()
{
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    return rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE));
}

// What a case's child sees: the window, the prompts it showed, and a folder.
struct TChild {
    std::unique_ptr<TKadrimexMainForm> form = std::make_unique<TKadrimexMainForm>();
    std::vector<QString> prompts;
    QTemporaryDir dir;
    std::mt19937 random{5};

    void Show(int width, int height)
    {
        kadrimex::TPicture picture;
        picture.Assign(kadrimex::TBitmap(kadrimex::test::RandomPicture(width, height, random)));
        form->Document->Replace(std::move(picture), TPictureDocument::TChange::Open);
    }
    // The dialog runner accepts each dialog after `set` fills it.
    template <class Form>
    void Accept(std::function<void(Form&)> set)
    {
        form->DialogRunner = [set](QDialog& dialog) {
            if (auto* f = dynamic_cast<Form*>(&dialog))
                set(*f);
            return int(QDialog::Accepted);
        };
    }
};

// A case: the limit, then the steps in the child; returns what went wrong
// (empty when all held).
struct TLimitCase {
    const char* name;
    int resource;
    rlim_t extra;  // allowed on top of what is mapped (RLIMIT_AS) or the size (RLIMIT_FSIZE)
    std::function<std::string(TChild&)> run;
};

std::string Expect(bool condition, const std::string& what)
{
    return condition ? std::string() : what + "; ";
}

// The command runs, shows one error containing `word`, and the picture it
// had is still shown, the same snapshot.
std::string RunsToOneError(TChild& c, const std::function<void()>& command, const QString& word)
{
    const kadrimex::TPicture* before = &c.form->Document->Picture();
    command();
    std::string failures = Expect(WaitUntil([&] { return !c.form->Busy(); }, 120000), "still running");
    failures += Expect(c.prompts.size() >= 1 && c.prompts.back().contains(word, Qt::CaseInsensitive),
                       "last prompt: " + (c.prompts.empty() ? std::string("none") : c.prompts.back().toStdString()));
    failures += Expect(&c.form->Document->Picture() == before, "the picture was replaced");
    return failures;
}

const rlim_t kMiB = 1024 * 1024;

const TLimitCase kCases[] = {
    {"New 32760 x 32760", RLIMIT_AS, 1024 * kMiB,
     [](TChild& c) {
         c.Show(64, 48);
         c.Accept<TNewImgForm>([](TNewImgForm& f) { f.FNewWidth = f.FNewHeight = 32760; });
         return RunsToOneError(c, [&] { c.form->NewButton->click(); }, QStringLiteral("memory"));
     }},
    {"Resize to 32760 x 32760", RLIMIT_AS, 1024 * kMiB,
     [](TChild& c) {
         c.Show(64, 48);
         c.Accept<TResizerForm>([](TResizerForm& f) { f.FNewWidth = f.FNewHeight = 32760; });
         return RunsToOneError(c, [&] { c.form->ResizeImageButton->click(); }, QStringLiteral("memory"));
     }},
    // 8193 pixels pad to 16384: even the one channel's half spectrum of
    // the picture's rows, in double precision, is 1.1 GB.
    {"FFT planes beyond memory", RLIMIT_AS, 1024 * kMiB,
     [](TChild& c) {
         c.Show(8193, 8193);
         return RunsToOneError(c, [&] { c.form->FFTSpeedButton->click(); }, QStringLiteral("memory"));
     }},
    // Eight steps of 48 MB fill the history (a quarter of the limit); the
    // New that then needs 768 MB does not fit beside them.
    {"New beside a full undo history", RLIMIT_AS, 1024 * kMiB,
     [](TChild& c) {
         c.Show(64, 48);
         std::string failures;
         for (int i = 0; i < 8 && failures.empty(); ++i) {
             c.Accept<TNewImgForm>([](TNewImgForm& f) { f.FNewWidth = f.FNewHeight = 4000; });
             c.form->NewButton->click();
             failures += Expect(c.prompts.empty() && c.form->Document->Picture().Width() == 4000,
                                "New 4000 x 4000 number " + std::to_string(i + 1) + " failed");
         }
         failures += Expect(c.form->Document->History().CanUndo(), "no undo step kept");
         c.Accept<TNewImgForm>([](TNewImgForm& f) { f.FNewWidth = f.FNewHeight = 16000; });
         return failures + RunsToOneError(c, [&] { c.form->NewButton->click(); }, QStringLiteral("memory")) +
                Expect(c.form->Document->History().CanUndo(), "the undo steps were lost");
     }},
    // A sparse 2 GiB file seen as 30000-pixel lines of 24 bits: the preview
    // shows the first lines; opening 23000 of them needs 2 GiB. The dialog
    // stays open with its message.
    {"RAW import of 30000 x 23000", RLIMIT_AS, 1024 * kMiB,
     [](TChild& c) {
         const QString path = c.dir.filePath(QStringLiteral("huge.raw"));
         std::ofstream(path.toStdString(), std::ios::binary).put(char(1));
         if (truncate(path.toLocal8Bit().constData(), off_t(2) << 30) != 0)
             return std::string("cannot make the sparse file");
         TOpenRawForm raw;
         raw.RawFileName = path;
         raw.show();
         if (!WaitUntil([&] { return !raw.WorkImage->Image().isNull(); }, 20000))
             return std::string("no first preview");
         raw.BPPButtons->button(5)->click();
         raw.MaxLinesComboBox->lineEdit()->setText(QStringLiteral("23000"));
         raw.WidthSpinEdit->setValue(30000);
         if (!WaitUntil([&] { return raw.WorkImage->Image().width() == 30000; }, 20000))
             return std::string("no preview of 30000-pixel lines");
         const QSize first = raw.WorkImage->Image().size();
         raw.OpenSpeedButton->click();
         const bool told = WaitUntil(
             [&] { return raw.PreviewMessageLabel->text().contains(QStringLiteral("memory"), Qt::CaseInsensitive); },
             60000);
         return Expect(told, "message: " + raw.PreviewMessageLabel->text().toStdString()) +
                Expect(raw.isVisible() && raw.WorkImage->Image().size() == first, "the dialog closed or its preview changed");
     }},
    // Save of a 120 KB BMP over an existing file where files may grow to
    // 64 KiB only.
    {"Save beyond the file-size limit", RLIMIT_FSIZE, 64 * 1024,
     [](TChild& c) {
         const QString path = c.dir.filePath(QStringLiteral("kept.bmp"));
         const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
         kadrimex::WriteFileAtomically(path.toStdString(), old);
         c.Show(200, 200);
         c.form->DialogRunner = [path](QDialog& dialog) {
             auto& files = dynamic_cast<QFileDialog&>(dialog);
             files.selectNameFilter(files.nameFilters().at(0));
             files.selectFile(path);
             return int(QDialog::Accepted);
         };
         const kadrimex::TPicture* before = &c.form->Document->Picture();
         c.form->SaveButton->click();
         return Expect(c.prompts.size() == 1, std::to_string(c.prompts.size()) + " prompts") +
                Expect(kadrimex::ReadFileBytes(path.toStdString()) == old, "the old file changed") +
                Expect(&c.form->Document->Picture() == before, "the picture was replaced");
     }},
};

// Runs the case in a forked child under its limit; its report comes back
// through a pipe.
std::string RunInChild(const TLimitCase& c)
{
    int channel[2];
    if (pipe(channel) != 0)
        return "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        PrepareEditorProcess();
        const rlimit limit{c.resource == RLIMIT_AS ? MappedBytes() + c.extra : c.extra,
                           c.resource == RLIMIT_AS ? MappedBytes() + c.extra : c.extra};
        std::string report;
        if (setrlimit(c.resource, &limit) != 0) {
            report = "setrlimit failed";
        } else {
            TChild child;
            ui::SetPromptHandler([&](const ui::PromptRequest& request) {
                child.prompts.push_back(request.text);
                return request.buttons == ui::PromptButtons::YesNo ? ui::PromptAnswer::Yes : ui::PromptAnswer::Ok;
            });
            try {
                report = c.run(child);
            } catch (const std::exception& e) {
                report = std::string("exception escaped: ") + e.what();
            }
        }
        const ssize_t written = write(channel[1], report.data(), report.size());
        _exit(written == ssize_t(report.size()) ? 0 : 3);
    }
    close(channel[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, std::size_t(n));
    close(channel[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status))
        return report + "killed by signal " + std::to_string(WTERMSIG(status));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return report + "exit status " + std::to_string(WEXITSTATUS(status));
    return report;
}

}  // namespace

TEST(MemoryLimits, EachEndsWithAMessageAndThePictureKept)
{
#if defined(__SANITIZE_ADDRESS__)
    const bool addressSanitizer = true;
#else
    const bool addressSanitizer = false;
#endif
    int run = 0;
    for (const TLimitCase& c : kCases) {
        // AddressSanitizer reserves terabytes of shadow memory: an
        // address-space limit only breaks it.
        if (addressSanitizer && c.resource == RLIMIT_AS)
            continue;
        ++run;
        EXPECT_EQ(RunInChild(c), "") << c.name;
    }
    if (addressSanitizer)
        GTEST_SKIP() << "address-space limits do not work under AddressSanitizer; ran only the " << run
                     << " file-size case(s)";
}
