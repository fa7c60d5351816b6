// The Convert command in the real main window, with an engine whose conversions the test holds
// and releases: the refusals in their order, the overwrite questions of a run, the selection of
// the converted entries, and a second Convert while a stopped run's worker is still busy.
#include "DrivenDialog.h"
#include "FakeEngine.h"
#include "ProgramTexts.h"
#include "WinTest.h"

#include "app/AppGlobals.h"
#include "app/ImageCache.h"
#include "engine/ImagePreset.h"
#include "res/resource.h"
#include "ui/ConvertCommand.h"
#include "ui/MainDialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace wintest;

namespace {

const DWORD kDeadlineMs = 90000;
const DWORD kSeveralTicksMs = 600;

std::wstring programFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\'));
}

// The core file that Convert looks for beside the running program; made for the test's life.
class CoreFile {
public:
    enum Kind { Present, Missing, Folder };
    explicit CoreFile(Kind kind) : folder_(programFolder() + L"\\core"), file_(folder_ + L"\\imagecore.exe") {
        removeTree(folder_);
        if (kind == Missing)
            return;
        CreateDirectoryW(folder_.c_str(), nullptr);
        if (kind == Present)
            writeFile(file_, "not run by the program; only its presence counts");
        else
            CreateDirectoryW(file_.c_str(), nullptr);
    }
    ~CoreFile() { removeTree(folder_); }
    const std::wstring& path() const { return file_; }

private:
    std::wstring folder_;
    std::wstring file_;
};

FakeEngine* g_nextEngine = nullptr;

// The real main window, but with the test's engine in place of the one it creates; the test's
// engine is taken back before the close path, which then ends the window's own.
INT_PTR CALLBACK mainDlgWithFakeEngine(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && g_app.pConvertCore == g_nextEngine)
        g_app.pConvertCore = new ConvertCore(g_app.pPreset);
    const INT_PTR result = mainDlgProc(hwnd, message, wParam, lParam);
    if (message == WM_INITDIALOG) {
        ConvertCore::destroy(g_app.pConvertCore);
        g_app.pConvertCore = g_nextEngine;
    }
    return result;
}

class ConvertCommand : public testing::Test {
protected:
    void SetUp() override {
        appStartup();
        loadButtonImages(GetModuleHandleW(nullptr));
        engine.reset(new FakeEngine(g_app.pPreset));
        g_nextEngine = engine.get();
    }
    void TearDown() override {
        g_nextEngine = nullptr;
        engine.reset();
        appShutdown();
    }

    // Shows the main window on this thread while drive() acts on it from another thread, then
    // closes it through its close path.
    void run(const std::function<void(HWND)>& drive) {
        runDrivenDialog(
            kMainTitle,
            [] {
                return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                       mainDlgWithFakeEngine, 0);
            },
            drive,
            [&](HWND main) {
                engine->releaseJob();
                waitUntil([&] {
                    clickButton(main, IDCANCEL);
                    return !IsWindow(main);
                });
            },
            kDeadlineMs, "main window");
    }

    static void addEntries(HWND main, const std::vector<std::wstring>& paths) {
        for (const std::wstring& path : paths)
            SendMessageW(GetDlgItem(main, IDC_SOURCE_LIST), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
    }
    static void setFolder(HWND main, const std::wstring& folder) {
        SendMessageW(GetDlgItem(main, IDC_OUTPUT_FOLDER), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
    }
    static std::vector<int> selection(HWND main) { return listSelection(GetDlgItem(main, IDC_SOURCE_LIST)); }
    static std::wstring entryText(HWND main, int i) {
        wchar_t text[MAX_PATH] = {};
        SendMessageW(GetDlgItem(main, IDC_SOURCE_LIST), LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        return text;
    }
    static int entryCount(HWND main) {
        return static_cast<int>(SendMessageW(GetDlgItem(main, IDC_SOURCE_LIST), LB_GETCOUNT, 0, 0));
    }
    // Presses Convert and waits for the progress window of the run.
    static HWND convertAndWaitForProgress(HWND main) {
        clickButton(main, IDC_CONVERT);
        return waitForWindow(L"#32770", kProgressTitle);
    }
    static bool finishRun(HWND progress) {
        if (!waitUntil([&] { return controlText(progress, IDC_PROGRESS_FILE) == L"Complete"; }))
            return false;
        clickButton(progress, IDC_CLOSE);
        return waitUntil([&] { return !IsWindow(progress); });
    }

    std::wstring source(const wchar_t* name) const { return in.file(name); }

    RegistryValueGuard savedFolder{kSettingsKey, kFolderValue};
    TempDir in;
    TempDir out;
    std::unique_ptr<FakeEngine> engine;
};

// ---- Refusals: only the first failing check speaks, owned by the main window. ----

enum FolderText { EmptyText, OutputFolder, MissingFolder, NamesAFile, RelativeFolder };

struct RefusalCase {
    const char* name;
    bool withEntry;
    FolderText folder;
    CoreFile::Kind core;
    const wchar_t* message;
};

class Refusal : public ConvertCommand, public testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusal, ShowsOnlyTheFirstFailingCheckAndTouchesNoEngine) {
    const RefusalCase& c = GetParam();
    CoreFile core(c.core);
    ASSERT_TRUE(writeFile(out.file(L"plain.txt"), "a file, not a folder"));
    const std::wstring folders[] = {L"", out.path(), out.file(L"missing"), out.file(L"plain.txt"), L"out"};
    MessageBoxAnswerer answerer(kCaption, {IDOK});
    HWND mainWindow = nullptr;

    run([&](HWND main) {
        mainWindow = main;
        if (c.withEntry)
            addEntries(main, {source(L"a.png")});
        setFolder(main, folders[c.folder]);
        clickButton(main, IDC_CONVERT);
        ASSERT_TRUE(answerer.waitForCount(1));
        ASSERT_TRUE(waitUntil([&] { return isResponsive(main, 100); }));
        EXPECT_EQ(nullptr, waitForWindow(L"#32770", kProgressTitle, kSeveralTicksMs)) << "a progress window opened";
    });

    const std::vector<SeenMessageBox> seen = answerer.seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(c.message, seen[0].text);
    EXPECT_EQ(mainWindow, seen[0].owner);
    EXPECT_EQ(std::vector<int>{IDOK}, seen[0].buttons);
    EXPECT_EQ(0, engine->startCalls.load());
    EXPECT_EQ(0, engine->getJobCount());
    EXPECT_TRUE(engine->outputFolder.empty());
}

INSTANTIATE_TEST_SUITE_P(
    InOrder, Refusal,
    testing::Values(RefusalCase{"EmptyListBeforeEmptyFolder", false, EmptyText, CoreFile::Missing, L"Please add source files."},
                    RefusalCase{"EmptyFolderText", true, EmptyText, CoreFile::Missing, L"Please select output folder."},
                    RefusalCase{"MissingFolderBeforeCore", true, MissingFolder, CoreFile::Missing,
                                L"The output folder doesn't exist."},
                    RefusalCase{"FolderTextNamesAFile", true, NamesAFile, CoreFile::Present,
                                L"The output folder doesn't exist."},
                    RefusalCase{"RelativeFolderBeforeMissingFolder", true, RelativeFolder, CoreFile::Missing,
                                kFolderNotFullText},
                    RefusalCase{"CoreFolderWithoutCoreFile", true, OutputFolder, CoreFile::Missing,
                                L"There isn't a core file."},
                    RefusalCase{"CoreNameIsAFolder", true, OutputFolder, CoreFile::Folder, L"There isn't a core file."}),
    [](const testing::TestParamInfo<RefusalCase>& row) { return row.param.name; });

TEST_F(ConvertCommand, CorePathIsTheCoreFolderBesideTheProgram) {
    EXPECT_EQ(programFolder() + L"\\core\\imagecore.exe", getCorePath());
}

// ---- A run and the selection it leaves. ----

// A run that never began is no finished run: the user is told, and the selection stays theirs.
TEST_F(ConvertCommand, RunThatCannotStartIsReportedAndLeavesTheSelection) {
    CoreFile core(CoreFile::Present);
    engine->failStart = true;
    MessageBoxAnswerer answerer(kCaption, {IDOK});
    run([&](HWND main) {
        addEntries(main, {source(L"a.png"), source(L"b.png")});
        SendMessageW(GetDlgItem(main, IDC_SOURCE_LIST), LB_SETSEL, TRUE, 1);
        setFolder(main, out.path());
        clickButton(main, IDC_CONVERT);
        ASSERT_TRUE(answerer.waitForCount(1));
        ASSERT_TRUE(waitUntil([&] { return isResponsive(main, 100); }));
        EXPECT_EQ((std::vector<int>{0, 1}), selection(main));
    });
    const std::vector<SeenMessageBox> seen = answerer.seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(L"The conversion could not be started, so no file was converted.", seen[0].text);
    EXPECT_TRUE(engine->convertedDests().empty());
}

TEST_F(ConvertCommand, SelectsExactlyTheConvertedEntriesAndRemoveTakesThemOut) {
    CoreFile core(CoreFile::Present);
    engine->failIndices = {1, 3};
    run([&](HWND main) {
        addEntries(main, {source(L"e.png"), source(L"c.png"), source(L"a.png"), source(L"d.ico"), source(L"b.PNG")});
        setFolder(main, out.path());
        HWND progress = convertAndWaitForProgress(main);
        ASSERT_TRUE(progress != nullptr);
        ASSERT_TRUE(finishRun(progress));
        ASSERT_TRUE(isResponsive(main));
        // Jobs follow the list's sorted order: a, b, c, d, e; b and d fail.
        EXPECT_EQ((std::vector<int>{1, 0, 1, 0, 1}), selection(main));
        clickButton(main, IDC_REMOVE);
        ASSERT_TRUE(waitUntil([&] { return entryCount(main) == 2; }));
        EXPECT_EQ(source(L"b.PNG"), entryText(main, 0));
        EXPECT_EQ(source(L"d.ico"), entryText(main, 1));
    });
    EXPECT_EQ(5, engine->getJobCount());
    EXPECT_EQ(source(L"a.png"), engine->jobAt(0).sourcePath);
    EXPECT_EQ(out.file(L"b.png"), engine->jobAt(1).destPath);
    EXPECT_EQ(out.file(L"d.png"), engine->jobAt(3).destPath);
    EXPECT_EQ(out.file(L"e.ico"), engine->jobAt(4).destPath);
}

TEST_F(ConvertCommand, OverwriteQuestionsNameEachFileAndDeclinedEntriesStaySelected) {
    CoreFile core(CoreFile::Present);
    const std::string oldBytes = "an icon from an earlier run";
    const std::vector<std::wstring> dests = {out.file(L"a.ico"), out.file(L"b.ico"), out.file(L"c.ico")};
    for (const std::wstring& dest : dests)
        ASSERT_TRUE(writeFile(dest, oldBytes));
    MessageBoxAnswerer answerer(kCaption, {IDNO, IDYES, IDNO});
    HWND progressWindow = nullptr;

    run([&](HWND main) {
        addEntries(main, {source(L"c.png"), source(L"a.png"), source(L"b.png")});
        setFolder(main, out.path());
        progressWindow = convertAndWaitForProgress(main);
        ASSERT_TRUE(progressWindow != nullptr);
        ASSERT_TRUE(finishRun(progressWindow));
        ASSERT_TRUE(isResponsive(main));
        EXPECT_EQ((std::vector<int>{1, 1, 1}), selection(main));
    });

    const std::vector<SeenMessageBox> seen = answerer.seen();
    ASSERT_EQ(3u, seen.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(overwriteText(dests[i]), seen[i].text) << "question " << i;
        EXPECT_EQ(progressWindow, seen[i].owner) << "question " << i;
    }
    std::string bytes;
    ASSERT_TRUE(readFile(dests[0], bytes));
    EXPECT_EQ(oldBytes, bytes);
    ASSERT_TRUE(readFile(dests[1], bytes));
    EXPECT_EQ(engine->outputBytes, bytes);
    ASSERT_TRUE(readFile(dests[2], bytes));
    EXPECT_EQ(oldBytes, bytes);
}

TEST_F(ConvertCommand, StoppedRunSelectsOnlyTheFilesItFinished) {
    CoreFile core(CoreFile::Present);
    engine->holdJob(1);
    MessageBoxAnswerer answerer(kCaption, {IDYES});
    run([&](HWND main) {
        addEntries(main, {source(L"a.png"), source(L"b.png"), source(L"c.png"), source(L"d.png")});
        setFolder(main, out.path());
        HWND progress = convertAndWaitForProgress(main);
        ASSERT_TRUE(progress != nullptr);
        ASSERT_TRUE(engine->waitJobHeld());
        clickButton(progress, IDC_STOP);
        ASSERT_TRUE(answerer.waitForCount(1));
        // The answer is only posted when the box is seen: let the file go once the stop is asked.
        ASSERT_TRUE(waitUntil([&] { return engine->runState.load() == StopRequested; }));
        engine->releaseJob();
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(progress); })) << "the window did not close after the stop";
        ASSERT_TRUE(isResponsive(main));
        EXPECT_EQ((std::vector<int>{1, 1, 0, 0}), selection(main));
    });
    EXPECT_EQ(kStopText, answerer.seen()[0].text);
}

TEST_F(ConvertCommand, SecondConvertAsksOncePerFileTheFirstWrote) {
    CoreFile core(CoreFile::Present);
    MessageBoxAnswerer answerer(kCaption, {IDNO});
    run([&](HWND main) {
        addEntries(main, {source(L"a.png"), source(L"b.ico")});
        setFolder(main, out.path());
        ASSERT_TRUE(finishRun(convertAndWaitForProgress(main)));
        EXPECT_TRUE(answerer.seen().empty());
        ASSERT_TRUE(finishRun(convertAndWaitForProgress(main)));
        EXPECT_EQ((std::vector<int>{1, 1}), selection(main));
    });
    const std::vector<SeenMessageBox> seen = answerer.seen();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(overwriteText(out.file(L"a.ico")), seen[0].text);
    EXPECT_EQ(overwriteText(out.file(L"b.png")), seen[1].text);
    EXPECT_EQ(2, engine->getJobCount()) << "the second run holds the list's jobs only";
}

// A stop whose file outlasts the wait leaves a live worker behind the closed window. A new
// Convert must not touch the engine until that worker has ended, and must keep answering the
// messages other threads send its window meanwhile.
TEST_F(ConvertCommand, NewConvertWaitsForTheWorkerOfAStoppedRun) {
    CoreFile core(CoreFile::Present);
    TempDir secondOut;
    engine->holdJob(0);
    MessageBoxAnswerer answerer(kCaption, {IDYES});
    run([&](HWND main) {
        addEntries(main, {source(L"a.png"), source(L"b.png")});
        setFolder(main, out.path());
        HWND first = convertAndWaitForProgress(main);
        ASSERT_TRUE(first != nullptr);
        ASSERT_TRUE(engine->waitJobHeld());
        clickButton(first, IDC_STOP);
        ASSERT_TRUE(answerer.waitForCount(1));
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(first); }));
        ASSERT_TRUE(engine->isWorkerAlive());

        setFolder(main, secondOut.path());
        clickButton(main, IDC_CONVERT);
        EXPECT_EQ(nullptr, waitForWindow(L"#32770", kProgressTitle, kSeveralTicksMs))
            << "a new run began while the old worker was alive";
        EXPECT_TRUE(isResponsive(main, 2000)) << "the wait blocked messages sent to the main window";
        EXPECT_EQ(out.path(), engine->outputFolder);

        engine->holdJob(-1);
        engine->releaseJob();
        HWND second = waitForWindow(L"#32770", kProgressTitle);
        ASSERT_TRUE(second != nullptr);
        ASSERT_TRUE(finishRun(second));
        EXPECT_EQ((std::vector<int>{1, 1}), selection(main));
    });
    EXPECT_FALSE(engine->workerAliveAtStart.load());
    EXPECT_EQ(2, engine->startCalls.load());
    EXPECT_EQ((std::vector<std::wstring>{out.path(), secondOut.path(), secondOut.path()}),
              engine->foldersSeenByConvert());
    EXPECT_TRUE(fileExists(secondOut.file(L"a.ico")));
    EXPECT_TRUE(fileExists(secondOut.file(L"b.ico")));
}

// Jobs pair with the list's entries after the run, so the list must not change during it: a
// drop then is ignored. The same drop afterwards is taken.
TEST_F(ConvertCommand, FilesDroppedDuringARunAreIgnored) {
    CoreFile core(CoreFile::Present);
    engine->holdJob(0);
    ASSERT_TRUE(writeFile(source(L"dropped.png"), "x"));
    run([&](HWND main) {
        addEntries(main, {source(L"a.png")});
        setFolder(main, out.path());
        HWND progress = convertAndWaitForProgress(main);
        ASSERT_TRUE(progress != nullptr);
        ASSERT_TRUE(engine->waitJobHeld());
        postDrop(main, {source(L"dropped.png")});
        Sleep(kSeveralTicksMs);
        EXPECT_EQ(1, entryCount(main)) << "a drop during the run was added";
        engine->releaseJob();
        ASSERT_TRUE(finishRun(progress));
        EXPECT_EQ((std::vector<int>{1}), selection(main));
        postDrop(main, {source(L"dropped.png")});
        EXPECT_TRUE(waitUntil([&] { return entryCount(main) == 2; })) << "the drop after the run was not taken";
    });
}

} // namespace
