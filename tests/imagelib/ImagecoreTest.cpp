#include <gtest/gtest.h>

#include "Batch.h"
#include "CommandLine.h"
#include "Destination.h"
#include "Platform.h"
#include "TestFiles.h"
#include "TestImages.h"

namespace {

TEST(Imagecore, DestinationFollowsTheProgramsNamingRule) {
    struct Row {
        const wchar_t *source, *folder, *expected;
    } rows[] = {
#ifdef _WIN32
        {L"C:\\in\\a.png", L"", L"C:\\in\\a.ico"},
        {L"C:\\in\\a.PNG", L"", L"C:\\in\\a.png"},
        {L"C:/in/b.ico", L"D:/out/", L"D:\\out\\b.png"},
        {L"pic.tar.png", L"", L".\\pic.tar.ico"},
        {L"noext", L"C:\\o", L"C:\\o\\noext.png"},
        {L"C:\\in\\\u0444\u0430\u0439\u043b.png", L"", L"C:\\in\\\u0444\u0430\u0439\u043b.ico"},
#else
        {L"/in/a.png", L"", L"/in/a.ico"},
        {L"/in/a.PNG", L"", L"/in/a.png"},
        {L"/in/b.ico", L"/out/", L"/out/b.png"},
        {L"pic.tar.png", L"", L"./pic.tar.ico"},
        {L"noext", L"/o", L"/o/noext.png"},
        {L"/a.png", L"", L"/a.ico"},
        {L"dir.png/x", L"", L"dir.png/x.png"},
#endif
    };
    for (const Row& r : rows)
        EXPECT_EQ(destinationFor(r.source, r.folder), r.expected) << toUtf8(r.source);
}

TEST(Imagecore, CommandLineTable) {
    struct Row {
        std::vector<std::wstring> args;
        bool ok;
        size_t files;
        bool overwrite;
        std::wstring folder, option;
    } rows[] = {
        {{L"a.png"}, true, 1, false, L"", L""},
        {{L"-f", L"-o", L"out", L"a.png", L"b.ico"}, true, 2, true, L"out", L""},
        {{L"--overwrite", L"--output", L"o", L"--option", L"png", L"--", L"-x.png"}, true, 1, true, L"o", L"png"},
        {{L"-o"}, false, 0, false, L"", L""},
        {{L"--bogus", L"a.png"}, false, 0, false, L"", L""},
        {{}, false, 0, false, L"", L""},
    };
    for (const Row& r : rows) {
        BatchSettings s;
        std::wstring error;
        ASSERT_EQ(parseCommandLine(r.args, s, error), r.ok) << toUtf8(error);
        if (!r.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(s.files.size(), r.files);
        EXPECT_EQ(s.overwrite, r.overwrite);
        EXPECT_EQ(s.outputFolder, r.folder);
        EXPECT_EQ(s.option, r.option);
    }
}

TEST(Imagecore, BatchSkipsExistingUnlessOverwriteAndReportsFailure) {
    testfiles::ScratchFolder folder;
    testfiles::writeFile(folder.file("a.png"), testimg::encodePng(testimg::pattern(20, 20, 1)));
    testfiles::writeFile(folder.file("b.ico"), {'x'});
    const testimg::Bytes placeholder = {'o', 'l', 'd'};
    testfiles::writeFile(folder.file("a.ico"), placeholder);

    BatchSettings settings;
    settings.files = {fromUtf8(folder.file("a.png"))};
    EXPECT_EQ(runBatch(settings), 0);
    EXPECT_EQ(testfiles::readFile(folder.file("a.ico")), placeholder);

    settings.overwrite = true;
    EXPECT_EQ(runBatch(settings), 0);
    EXPECT_NE(testfiles::readFile(folder.file("a.ico")), placeholder);

    settings.files.push_back(fromUtf8(folder.file("b.ico")));
    EXPECT_EQ(runBatch(settings), 1);
    EXPECT_FALSE(testfiles::exists(folder.file("b.png")));
}

} // namespace
