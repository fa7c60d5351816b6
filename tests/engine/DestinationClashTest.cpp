// Jobs of one run that would write the same file or replace another job's source, with names
// compared as Windows compares them.
#include "DestinationClash.h"
#include "ImagePreset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ClashCase {
    const char* name;
    std::vector<std::wstring> sources;
    std::wstring folder;
    DestinationClash::Kind kind;
    std::wstring destination;
    int job;   // the job that clashes, -1 for none
    int other; // the job it clashes with
};

class Clash : public testing::TestWithParam<ClashCase> {};

TEST_P(Clash, FirstClashInJobOrder) {
    const ClashCase& c = GetParam();
    CImageConverter_PNG_ICO preset;
    const DestinationClash found = findDestinationClash(preset, c.sources, c.folder);
    EXPECT_EQ(c.kind, found.kind);
    EXPECT_EQ(c.destination, found.destination);
    if (c.job >= 0) {
        EXPECT_EQ(c.sources[c.job], found.source);
        EXPECT_EQ(c.sources[c.other], found.otherSource);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Clash,
    testing::Values(
        ClashCase{"DistinctNames", {L"C:\\a\\x.png", L"C:\\a\\y.png", L"C:\\b\\x.ico"}, L"D:\\out",
                  DestinationClash::None, L"", -1, -1},
        ClashCase{"NamesDifferingInCase", {L"C:\\a\\x.png", L"C:\\b\\X.png"}, L"D:\\out",
                  DestinationClash::SameDestination, L"D:\\out\\X.ico", 1, 0},
        ClashCase{"IconWritesOverTheListedPng", {L"C:\\in\\x.ico", L"C:\\in\\x.png"}, L"C:\\in",
                  DestinationClash::ReplacesSource, L"C:\\in\\x.png", 0, 1},
        ClashCase{"FolderWithATrailingDot", {L"C:\\out\\x.ico", L"C:\\in\\x.png"}, L"C:\\out.",
                  DestinationClash::ReplacesSource, L"C:\\out.\\x.ico", 1, 0},
        ClashCase{"OwnSourceIsNoClash", {L"C:\\in\\y.PNG"}, L"C:\\IN", DestinationClash::None, L"", -1, -1}),
    [](const testing::TestParamInfo<ClashCase>& row) { return row.param.name; });

} // namespace
