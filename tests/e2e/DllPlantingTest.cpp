// A portable program runs from a folder full of other downloads: no DLL lying beside the program
// or the command-line converter under a system DLL's name may be loaded into them. The names are
// those the processes themselves load while they do their work, learnt by running them first as
// their debugger; a DLL that leaves a mark when loaded is then planted under each name, and the
// same work is done again.
#include "FileDialogDriver.h"
#include "ProgramDriving.h"
#include "ProgramTexts.h"
#include "WinTest.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace e2e;
using namespace wintest;

namespace {

const wchar_t kLibraryName[] = L"TarnelFreeImage.dll";
const wchar_t kCoreName[] = L"imagecore.exe";
const wchar_t kMarksVariable[] = L"TARNEL_PLANTED_MARKS";
const DWORD kRunLimitMs = 60000;
// Windows maps these from System32 whatever lies elsewhere (ntdll before any search; kernel32 and
// the kernelbase it imports are known DLLs on every version), and the planted DLL itself needs
// kernel32.
const std::set<std::wstring> kNeverSearched = {L"ntdll.dll", L"kernel32.dll", L"kernelbase.dll"};
// The loader's exit code for a process whose DLL was not found.
const DWORD kExitLibraryMissing = 0xC0000135;
const wchar_t kLibraryMissingText[] = L"The code execution cannot proceed because TarnelFreeImage.dll was not found. "
                                      L"Reinstalling the program may fix this problem.";

std::wstring lowerCase(std::wstring text) {
    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring fileName(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::wstring pathOfHandle(HANDLE file) {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetFinalPathNameByHandleW(file, path, MAX_PATH * 4, FILE_NAME_NORMALIZED);
    return length && length < MAX_PATH * 4 ? std::wstring(path, length) : std::wstring();
}

// A process this one runs as its debugger, on a thread of its own (a debugger's events go to the
// thread that started the process), recording the path of every DLL the process loads in its
// whole life, also those it unloads again.
class WatchedProcess {
public:
    WatchedProcess(const std::wstring& program, const std::wstring& folder, const std::wstring& arguments)
        : program_(program), folder_(folder), commandLine_(L"\"" + program + L"\" " + arguments) {
        started_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &WatchedProcess::debugLoop, this, 0, nullptr);
        WaitForSingleObject(started_, kRunLimitMs);
    }
    ~WatchedProcess() {
        if (info_.hProcess && WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT)
            TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(thread_, kRunLimitMs);
        CloseHandle(thread_);
        CloseHandle(started_);
        if (info_.hProcess) {
            CloseHandle(info_.hProcess);
            CloseHandle(info_.hThread);
        }
    }
    WatchedProcess(const WatchedProcess&) = delete;
    WatchedProcess& operator=(const WatchedProcess&) = delete;

    DWORD id() const { return info_.dwProcessId; }
    // False when the process still runs after timeoutMs.
    bool waitForExit(DWORD timeoutMs, DWORD& exitCode) {
        if (!info_.hProcess || WaitForSingleObject(thread_, timeoutMs) != WAIT_OBJECT_0)
            return false;
        exitCode = exitCode_;
        return true;
    }
    // Complete once the process has ended.
    const std::vector<std::wstring>& dllPaths() const { return dllPaths_; }

private:
    static DWORD WINAPI debugLoop(LPVOID self) {
        static_cast<WatchedProcess*>(self)->debug();
        return 0;
    }

    void debug() {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        const BOOL created = CreateProcessW(program_.c_str(), &commandLine_[0], nullptr, nullptr, FALSE,
                                            DEBUG_ONLY_THIS_PROCESS, nullptr, folder_.c_str(), &startup, &info_);
        if (!created)
            info_ = PROCESS_INFORMATION{};
        SetEvent(started_);
        for (DEBUG_EVENT event; created && WaitForDebugEvent(&event, INFINITE);) {
            DWORD continuation = DBG_CONTINUE;
            if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && event.u.LoadDll.hFile) {
                dllPaths_.push_back(pathOfHandle(event.u.LoadDll.hFile));
                CloseHandle(event.u.LoadDll.hFile);
            } else if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT && event.u.CreateProcessInfo.hFile) {
                CloseHandle(event.u.CreateProcessInfo.hFile);
            } else if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
                       event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                continuation = DBG_EXCEPTION_NOT_HANDLED;
            }
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continuation);
            if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
                exitCode_ = event.u.ExitProcess.dwExitCode;
                break;
            }
        }
    }

    std::wstring program_;
    std::wstring folder_;
    std::wstring commandLine_;
    PROCESS_INFORMATION info_ = {};
    HANDLE started_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD exitCode_ = 1;
    std::vector<std::wstring> dllPaths_;
};

// The distribution as a user unpacks it: a folder of the test's own, which the test may fill.
struct UnpackedRelease {
    TempDir folder;
    UnpackedRelease() {
        CreateDirectoryW(folder.file(L"core").c_str(), nullptr);
        for (const std::wstring& file : {std::wstring(kProgramName), std::wstring(kLibraryName),
                                         L"core\\" + std::wstring(kCoreName)})
            CopyFileW((distFolder() + L"\\" + file).c_str(), folder.file(file).c_str(), FALSE);
    }
    std::wstring program() const { return folder.file(kProgramName); }
    std::wstring core() const { return folder.file(L"core\\" + std::wstring(kCoreName)); }
};

std::string picture() {
    std::string bytes;
    readFile(sourceTreeFile(L"tests/imagelib/png/rgba8.png"), bytes);
    return bytes;
}

// What a user does with the program: a file picked in the Add dialog and converted, the folder
// browser opened and cancelled, a screen reader's question. The DLLs it loaded, by path.
std::vector<std::wstring> useProgram(const UnpackedRelease& release, const TempDir& work) {
    RegistryValueGuard savedFolder(kSettingsKey, kFolderValue);
    WatchedProcess program(release.program(), work.path(), L"");
    EXPECT_NE(0u, program.id()) << "the program did not start";
    HWND main = waitForProcessWindow(program.id(), kMainTitle, kRunLimitMs);
    EXPECT_TRUE(main != nullptr) << "no main window";
    if (main) {
        [&] {
            addSources(program.id(), main, L"pic.png", 1);
            setFolderText(main, work.file(L"out"));
            convertAndClose(main, program.id(), L"1 / 1 (100%)");
            clickButton(main, kBrowseButton);
            HWND browser = waitForOwnedWindow(main);
            ASSERT_TRUE(browser != nullptr) << "no folder browser";
            PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
            ASSERT_TRUE(waitUntil([&] { return !IsWindow(browser); })) << "the folder browser stayed open";
            // A screen reader's first question brings in the accessibility layer.
            DWORD_PTR answer = 0;
            SendMessageTimeoutW(GetDlgItem(main, kSourceList), WM_GETOBJECT, 0, OBJID_CLIENT, SMTO_ABORTIFHUNG,
                                kRunLimitMs, &answer);
            EXPECT_NE(0u, answer) << "no accessible object for the source list";
        }();
        PostMessageW(main, WM_CLOSE, 0, 0);
    }
    DWORD exitCode = 1;
    EXPECT_TRUE(program.waitForExit(kRunLimitMs, exitCode)) << "the program did not end";
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(fileExists(work.file(L"out\\pic.ico"))) << "the program converted nothing";
    DeleteFileW(work.file(L"out\\pic.ico").c_str());
    return program.dllPaths();
}

// The command-line converter converting one file, by path of the DLLs it loaded.
std::vector<std::wstring> useCore(const UnpackedRelease& release, const TempDir& work) {
    WatchedProcess core(release.core(), work.path(), L"-f pic.png");
    DWORD exitCode = 1;
    EXPECT_TRUE(core.waitForExit(kRunLimitMs, exitCode)) << "the converter did not end";
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(fileExists(work.file(L"pic.ico"))) << "the converter converted nothing";
    return core.dllPaths();
}

// The file names of the DLLs a user's planted copy could stand in for: all but our own.
std::set<std::wstring> systemDllNames(const std::vector<std::wstring>& paths) {
    std::set<std::wstring> names;
    for (const std::wstring& path : paths) {
        const std::wstring name = lowerCase(fileName(path));
        if (!name.empty() && name != lowerCase(kLibraryName) && !kNeverSearched.count(name))
            names.insert(name);
    }
    return names;
}

std::vector<std::wstring> pathsInside(const std::vector<std::wstring>& paths, const std::wstring& folder) {
    std::vector<std::wstring> inside;
    for (const std::wstring& path : paths)
        if (lowerCase(path).find(lowerCase(folder)) != std::wstring::npos &&
            lowerCase(fileName(path)) != lowerCase(kLibraryName))
            inside.push_back(path);
    return inside;
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(DllPlanting, NoDllPlantedBesideTheProgramOrTheConverterIsLoaded) {
    runWithDeadline([&] {
        UnpackedRelease release;
        TempDir work;
        TempDir marks;
        ASSERT_TRUE(writeFile(work.file(L"pic.png"), picture()));
        ASSERT_TRUE(CreateDirectoryW(work.file(L"out").c_str(), nullptr));
        const std::set<std::wstring> programDlls = systemDllNames(useProgram(release, work));
        const std::set<std::wstring> coreDlls = systemDllNames(useCore(release, work));
        // Far fewer would mean the first runs were not watched at all.
        ASSERT_GT(programDlls.size(), 10u);
        ASSERT_GT(coreDlls.size(), 1u);

        const std::wstring planted = windowsPath(envVar(L"TARNEL_BINARY_DIR") + L"/tests-bin/planted_dll.dll");
        std::string plantedNames;
        for (const std::wstring& name : programDlls) {
            ASSERT_TRUE(CopyFileW(planted.c_str(), release.folder.file(name).c_str(), FALSE)) << narrow(name);
            plantedNames += " " + narrow(name);
        }
        for (const std::wstring& name : coreDlls)
            ASSERT_TRUE(CopyFileW(planted.c_str(), release.folder.file(L"core\\" + name).c_str(), FALSE));
        std::printf("planted beside the program:%s\n", plantedNames.c_str());

        const std::wstring marksFile = marks.file(L"marks.txt");
        ASSERT_TRUE(SetEnvironmentVariableW(kMarksVariable, marksFile.c_str()));
        const std::vector<std::wstring> loaded = useProgram(release, work);
        const std::vector<std::wstring> coreLoaded = useCore(release, work);
        SetEnvironmentVariableW(kMarksVariable, nullptr);

        std::string marksLeft;
        readFile(marksFile, marksLeft);
        EXPECT_FALSE(fileExists(marksFile)) << "planted DLLs ran: " << narrow(std::wstring(
            reinterpret_cast<const wchar_t*>(marksLeft.data()), marksLeft.size() / sizeof(wchar_t)));
        for (const std::wstring& path : pathsInside(loaded, release.folder.path()))
            ADD_FAILURE() << "the program loaded " << narrow(path);
        for (const std::wstring& path : pathsInside(coreLoaded, release.folder.path()))
            ADD_FAILURE() << "the converter loaded " << narrow(path);
    }, 240000, "planting");
}

// Found on the search path, in the working folder, anywhere but beside the program: the library
// is still missing, and the user is told so in words.
TEST(DllPlanting, TheLibraryIsFoundBesideTheProgramOnly) {
    runWithDeadline([&] {
        TempDir alone;
        TempDir work;
        ASSERT_TRUE(CopyFileW((distFolder() + L"\\" + kProgramName).c_str(), alone.file(kProgramName).c_str(), FALSE));
        ASSERT_TRUE(CopyFileW((distFolder() + L"\\" + kLibraryName).c_str(), work.file(kLibraryName).c_str(), FALSE));
        MessageBoxAnswerer answerer(kCaption, {IDOK});
        ChildProcess program(alone.file(kProgramName), work.path());
        ASSERT_TRUE(program.started());
        DWORD exitCode = 0;
        ASSERT_TRUE(program.waitForExit(kRunLimitMs, exitCode)) << "the program ran without its library";
        EXPECT_EQ(kExitLibraryMissing, exitCode);
        const std::vector<SeenMessageBox> seen = answerer.seen();
        ASSERT_EQ(1u, seen.size()) << "the user was not told";
        EXPECT_EQ(kLibraryMissingText, seen[0].text);
    }, 120000, "missing library");
}

} // namespace
