// The remembered output folder: loaded into the box when the main dialog opens, saved from it
// when the dialog closes, in the registry of the test's own Wine prefix.
#include "FolderTesting.h"

#include "app/AppGlobals.h"
#include "engine/ImagePreset.h"
#include "ui/OutputFolder.h"

#include <string>
#include <utility>
#include <vector>

using namespace foldertest;
using wintest::runWithMainDialog;

namespace {

bool settingsKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

struct StoredValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

StoredValue storedValue() {
    StoredValue value;
    value.present = wintest::readRegistryValue(kSettingsKey, kFolderValue, value.type, value.data);
    return value;
}

// The bytes of text followed by one NUL, as a string value should hold them.
std::vector<BYTE> bytesWithNul(const std::wstring& text) {
    const BYTE* first = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(first, first + (text.size() + 1) * sizeof(wchar_t));
}

void storeRaw(DWORD type, const void* data, DWORD size) {
    ASSERT_TRUE(wintest::writeRegistryValue(kSettingsKey, kFolderValue, type, data, size));
}

// Some registry layers append a NUL to a string value whose next unit in memory is one, so the
// units stored without a NUL are followed by a unit that is not.
void storeText(DWORD type, const std::wstring& text, bool withNul) {
    const std::wstring buffer = withNul ? text : text + L'#';
    const DWORD bytes = static_cast<DWORD>((text.size() + (withNul ? 1 : 0)) * sizeof(wchar_t));
    storeRaw(type, buffer.c_str(), bytes);
    ASSERT_EQ(storedValue().data.size(), bytes) << "the value was not stored as given";
}

// What the main dialog shows when it opens on the settings as they are.
std::wstring shownAtStart() {
    std::wstring shown;
    runWithMainDialog([&](wintest::MainDialogHost& host) { shown = folderText(host); });
    return shown;
}

// Runs the program once: it opens, the user leaves text in the box, it closes.
void closeWithFolder(const std::wstring& text) {
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        typeFolder(host, text);
        host.close();
    });
}

class OutputFolderSettings : public testing::Test {
protected:
    void SetUp() override { forgetSettings(); }
    void TearDown() override { forgetSettings(); }
};

TEST_F(OutputFolderSettings, KeyPathEndsInThePresetsExtensions) {
    CImageConverter_PNG_ICO preset;
    ImagePreset* const previous = g_app.pPreset;
    g_app.pPreset = &preset;
    EXPECT_EQ(makeSettingsKeyPath(), kSettingsKey);
    g_app.pPreset = previous;
}

TEST_F(OutputFolderSettings, FirstStartCreatesTheKeyWithoutAValueAndShowsAnEmptyBox) {
    ASSERT_FALSE(settingsKeyExists());
    runWithMainDialog([](wintest::MainDialogHost& host) {
        EXPECT_EQ(folderText(host), L"");
        EXPECT_TRUE(settingsKeyExists());
        EXPECT_FALSE(storedValue().present); // until the dialog closes
    });
}

TEST_F(OutputFolderSettings, FolderLeftInTheBoxIsShownAtTheNextStart) {
    closeWithFolder(L"C:\\converted icons");
    const StoredValue stored = storedValue();
    ASSERT_TRUE(stored.present);
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored.data, bytesWithNul(L"C:\\converted icons"));
    EXPECT_EQ(shownAtStart(), L"C:\\converted icons");
}

TEST_F(OutputFolderSettings, EmptiedBoxIsRememberedAsEmpty) {
    closeWithFolder(L"C:\\old");
    closeWithFolder(L"");
    const StoredValue stored = storedValue();
    ASSERT_TRUE(stored.present);
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored.data, bytesWithNul(L""));
    EXPECT_EQ(shownAtStart(), L"");
}

// Saved as the program uses it: without surrounding spaces and one pair of surrounding quotes.
TEST_F(OutputFolderSettings, TextIsSavedAsUsedAndLoadedUnchanged) {
    const std::wstring longest = L"C:\\" + std::wstring(32764, L'f'); // the longest path Windows takes
    // Cyrillic, CJK, U+1F600
    const std::wstring unicode = L"C:\\\x0412\x044B\x0445\x043E\x0434\\\x56FE\x50CF\\\xD83D\xDE00";
    const std::pair<std::wstring, std::wstring> typedAndSaved[] = {
        {longest, longest},
        {L"  \"C:\\spaced out\\ \" ", L"C:\\spaced out\\"},
        {L"C:\\inner  spaces", L"C:\\inner  spaces"},
        {unicode, unicode},
    };
    ASSERT_EQ(longest.size(), 32767u);
    for (const auto& row : typedAndSaved) {
        closeWithFolder(row.first);
        EXPECT_EQ(shownAtStart(), row.second);
    }
}

TEST_F(OutputFolderSettings, OverlongTextIsSavedButNotLoaded) {
    const std::wstring text = L"C:\\" + std::wstring(32765, L'f');
    ASSERT_EQ(text.size(), 32768u);
    closeWithFolder(text);
    EXPECT_EQ(storedValue().data, bytesWithNul(text));
    EXPECT_EQ(shownAtStart(), L"");
}

struct RawValueCase {
    const char* what;
    DWORD type;
    std::wstring text;
    bool withNul;
    std::wstring loaded;
};

TEST_F(OutputFolderSettings, LoadsOnlyStringsThatFit) {
    const std::wstring units260(260, L'q');
    const std::wstring longest(32767, L'q');
    const RawValueCase cases[] = {
        {"string without its NUL", REG_SZ, L"C:\\no nul", false, L"C:\\no nul"},
        {"520 bytes without a NUL", REG_SZ, units260, false, units260},
        {"522 bytes with the NUL", REG_SZ, units260, true, units260},
        {"the longest path with its NUL", REG_SZ, longest, true, longest},
        {"the longest path and one more unit", REG_SZ, longest + L'q', true, L""},
        {"NUL inside", REG_SZ, std::wstring(L"C:\\a\0tail", 9), true, L"C:\\a"},
        {"expandable string", REG_EXPAND_SZ, L"C:\\x", true, L""},
        {"multi-string", REG_MULTI_SZ, std::wstring(L"C:\\x\0", 5), true, L""},
        {"binary", REG_BINARY, L"C:\\x", true, L""},
        {"no data", REG_SZ, L"", false, L""},
    };
    for (const RawValueCase& row : cases) {
        forgetSettings();
        storeText(row.type, row.text, row.withNul);
        EXPECT_EQ(shownAtStart(), row.loaded) << row.what;
    }
}

LSTATUS WINAPI refuseToStore(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) {
    return ERROR_ACCESS_DENIED;
}

// The registry refuses the value: the user is told which folder was not remembered, once,
// over the main window, and the window still closes.
TEST_F(OutputFolderSettings, FolderThatCouldNotBeSavedIsReported) {
    wintest::MessageBoxAnswerer answerer(wintest::kCaption, {IDOK});
    HWND mainWindow = nullptr;
    g_setSettingsValue = refuseToStore;
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        mainWindow = host.dialog();
        typeFolder(host, L"C:\\kept nowhere");
        host.close();
    });
    g_setSettingsValue = RegSetValueExW;
    const std::vector<wintest::SeenMessageBox> seen = answerer.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text,
              L"The output folder 'C:\\kept nowhere' could not be remembered, so it will not be filled in at the next start.");
    EXPECT_EQ(seen[0].owner, mainWindow);
    EXPECT_FALSE(storedValue().present);
}

TEST_F(OutputFolderSettings, NumberGivesAnEmptyBox) {
    const DWORD number = 0x5C003A43; // "C:\" if it were read as text
    storeRaw(REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(shownAtStart(), L"");
}

TEST_F(OutputFolderSettings, OddByteCountLoadsTheWholeUnits) {
    const std::wstring text = L"C:\\odd";
    const std::wstring buffer = text + L'#';
    storeRaw(REG_SZ, buffer.c_str(), static_cast<DWORD>(text.size() * sizeof(wchar_t) + 1));
    EXPECT_EQ(shownAtStart(), text);
}

} // namespace
