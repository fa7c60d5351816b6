// The Convert command: checks the list, the output folder and the core file, loads the engine
// with one job per listed file, runs the progress window, then selects the converted entries.
#include "ConvertCommand.h"

#include "Confirmations.h"
#include "OutputFolder.h"
#include "ProgressDialog.h"
#include "RedrawHeld.h"
#include "SourceList.h"
#include "app/AppGlobals.h"
#include "engine/ConvertCore.h"
#include "engine/DestinationClash.h"
#include "engine/ImagePreset.h"
#include "engine/PathNames.h"
#include "res/resource.h"

#include <unordered_set>
#include <vector>

namespace {

const wchar_t kNoSourcesText[] = L"Please add source files.";
const wchar_t kNoFolderText[] = L"Please select output folder.";
const wchar_t kNoCoreText[] = L"There isn't a core file.";
const wchar_t kRunNotStartedText[] = L"The conversion could not be started, so no file was converted.";
const wchar_t kSameDestinationText[] =
    L"'%1' and '%2' would both be converted to '%3'.\nPlease remove one of them from the list.";
const wchar_t kReplacesSourceText[] =
    L"Converting '%1' would replace '%2', which is also in the list.\nPlease choose another output folder.";
const wchar_t kCoreSubPath[] = L"\\core\\";
const wchar_t kCoreFileName[] = L"imagecore.exe";

HWND sourceList() {
    HWND list = GetDlgItem(g_app.hMainDlg, IDC_SOURCE_LIST);
    return list && IsWindow(list) ? list : nullptr;
}

void refuse(const wchar_t* text) {
    showProductMessage(g_app.hMainDlg, text, MB_OK);
}

// The list's paths in display order, each once, as the engine takes them as jobs.
std::vector<std::wstring> listedSources(HWND list, int count) {
    std::vector<std::wstring> sources;
    std::unordered_set<std::wstring> seen;
    for (int i = 0; i < count; ++i) {
        std::wstring path = listItemText(list, i);
        if (!path.empty() && seen.insert(path).second)
            sources.push_back(std::move(path));
    }
    return sources;
}

std::wstring clashText(const DestinationClash& clash) {
    if (clash.kind == DestinationClash::SameDestination)
        return withPaths(kSameDestinationText, {clash.otherSource, clash.source, clash.destination});
    return withPaths(kReplacesSourceText, {clash.source, clash.otherSource});
}

// Refused before anything is written: a later job of the run would replace an earlier one's
// output, or a source before its own job has read it. The question about an existing file
// cannot tell the user that the file is this run's own.
bool refuseClash(const std::vector<std::wstring>& sources, const std::wstring& folder) {
    if (!g_app.pPreset)
        return false;
    const DestinationClash clash = findDestinationClash(*g_app.pPreset, sources, folder);
    if (clash.kind == DestinationClash::None)
        return false;
    refuse(clashText(clash).c_str());
    return true;
}

// Shows the wait cursor for as long as it lives, then puts the previous one back.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

// A stopped run's worker may still be finishing its file: its jobs and settings must not
// change under it. The wait takes no user input, so no second Convert can start meanwhile,
// but still handles messages sent from other threads, so a window of this thread that another
// thread is waiting on is never what holds the worker up.
// False when the worker's end cannot be seen: the engine must then be left alone.
bool waitForPreviousRun(ConvertCore& core) {
    if (!core.isWorkerAlive())
        return core.waitForWorker(0);
    WaitCursor cursor;
    HANDLE worker = core.workerThread;
    while (MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return core.waitForWorker(0);
}

// One message per run of converted entries, painted once at the end: a list of thousands that
// redraws after every change keeps the window from answering for seconds.
void selectConverted(HWND list, const std::vector<bool>& converted) {
    RedrawHeld redraw(list);
    SendMessageW(list, LB_SETSEL, FALSE, -1);
    const size_t count = converted.size();
    for (size_t first = 0; first < count; ++first) {
        if (!converted[first])
            continue;
        size_t last = first;
        while (last + 1 < count && converted[last + 1])
            ++last;
        SendMessageW(list, LB_SELITEMRANGEEX, static_cast<WPARAM>(first), static_cast<LPARAM>(last));
        first = last;
    }
}

bool loadJobs(ConvertCore& core, const std::vector<std::wstring>& sources, const std::wstring& folder) {
    if (!core.clearJobs())
        return false;
    core.outputFolder = folder;
    core.option = g_app.pPreset ? g_app.pPreset->getFormatOption(0) : std::wstring();
    for (const std::wstring& path : sources)
        core.addJob(path.c_str());
    return true;
}

} // namespace

bool convertSourceFiles() {
    HWND list = sourceList();
    if (!list)
        return false;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (count == LB_ERR || count <= 0) {
        refuse(kNoSourcesText);
        return false;
    }
    const std::wstring folder = outputFolderPath(g_app.hMainDlg);
    if (folder.empty()) {
        refuse(kNoFolderText);
        return false;
    }
    if (refuseRelativeFolder(folder))
        return false;
    if (!isExistingFolder(folder)) {
        refuse(kFolderMissingText);
        return false;
    }
    const std::wstring corePath = getCorePath();
    if (corePath.empty() || !isExistingFile(corePath)) {
        refuse(kNoCoreText);
        return false;
    }
    const std::vector<std::wstring> sources = listedSources(list, static_cast<int>(count));
    if (refuseClash(sources, folder))
        return false;
    ConvertCore* core = g_app.pConvertCore;
    if (!core)
        return false;

    if (!waitForPreviousRun(*core) || !loadJobs(*core, sources, folder) || core->getJobCount() == 0)
        return false;

    // A run that never started must not look like one that ended: the list keeps the user's
    // selection, and the user learns why nothing happened.
    if (!runProgressDialog(g_app.hMainDlg)) {
        refuse(kRunNotStartedText);
        return false;
    }
    markConvertedFiles();
    return true;
}

// Empty when the program's own path is unknown: it must count as no core file.
std::wstring getCorePath() {
    const std::wstring folder = programFolder();
    return folder.empty() ? folder : folder + kCoreSubPath + kCoreFileName;
}

void markConvertedFiles() {
    HWND list = sourceList();
    ConvertCore* core = g_app.pConvertCore;
    if (!list || !core)
        return;
    const LRESULT entries = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (entries == LB_ERR || entries <= 0)
        return;
    const int count = static_cast<int>(entries) < core->getJobCount() ? static_cast<int>(entries) : core->getJobCount();

    std::vector<std::wstring> texts;
    for (int i = 0; i < count; ++i)
        texts.push_back(listItemText(list, i));

    // A worker that a stop did not end in time may still write its last job's result.
    std::vector<bool> converted(static_cast<size_t>(count), false);
    core->lock();
    for (int i = 0; i < count; ++i) {
        const ConvertJob* job = core->getJob(i);
        // Entry i pairs with job i because the jobs were added in list order; a pairing that
        // does not hold selects nothing rather than another file's result.
        converted[i] = job && job->progress == kProgressDone && job->sourcePath == texts[i];
    }
    core->unlock();

    selectConverted(list, converted);
}
