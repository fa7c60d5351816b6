#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

#include "Batch.h"
#include "CommandLine.h"
#include "Destination.h"
#include "IconFromPictures.h"
#include "Imagecore.h"
#include "IconsWindowsReads.h"
#include "Platform.h"
#include "TestFiles.h"
#include "TestImages.h"
#include "core/IconReader.h"
#include "core/PngDecoder.h"
#include "core/Resample.h"

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
        {{L"-j", L"3", L"a.png"}, true, 1, false, L"", L""},
        {{L"-o"}, false, 0, false, L"", L""},
        {{L"-j", L"0", L"a.png"}, false, 0, false, L"", L""},
        {{L"--jobs", L"65", L"a.png"}, false, 0, false, L"", L""},
        {{L"-j", L"two", L"a.png"}, false, 0, false, L"", L""},
        {{L"--bogus", L"a.png"}, false, 0, false, L"", L""},
        {{L"--entries", L"--option", L"png", L"a.ico"}, false, 0, false, L"", L""},
        {{L"--list", L"a.ico", L"b.cur"}, true, 2, false, L"", L""},
        {{L"--list", L"-o", L"out", L"a.ico"}, false, 0, false, L"", L""},
        {{L"--list", L"--entries", L"a.ico"}, false, 0, false, L"", L""},
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

using testimg::entryOfSide;

TEST(Imagecore, IconFromPicturesTakesEachAtItsSizeAndMakesTheOthersFromTheNextLarger) {
    testfiles::ScratchFolder folder;
    std::map<uint32_t, tfi::RgbaImage> pictures;
    BatchSettings settings;
    for (uint32_t side : {256u, 16u, 32u}) {
        pictures[side] = testimg::pattern(side, side, side);
        const std::string path = folder.file("p" + std::to_string(side) + ".png");
        testfiles::writeFile(path, testimg::encodePng(pictures[side]));
        settings.files.push_back(fromUtf8(path));
    }
    settings.iconOutput = fromUtf8(folder.file("out.ico"));
    ASSERT_EQ(runIconFromPictures(settings), 0);
    const testimg::Bytes icon = testfiles::readFile(folder.file("out.ico"));
    EXPECT_EQ(testimg::readDirectory(icon).size(), 14u); // every default size up to 256

    EXPECT_TRUE(testimg::samePixels(entryOfSide(icon, 16), pictures[16]));
    EXPECT_TRUE(testimg::samePixels(entryOfSide(icon, 32), pictures[32]));
    for (uint32_t side : {20u, 30u, 36u, 48u, 64u}) { // from the 32 below it, from the 256 above
        SCOPED_TRACE(side);
        const uint32_t from = side < 32 ? 32 : 256;
        const tfi::Placement placement = tfi::placeInSquare(from, from, side);
        tfi::RgbaImage made;
        ASSERT_EQ(tfi::renderSquare(tfi::wholeImage(pictures[from]), side, placement, made), ERCI_OK);
        if (side <= 48) { // the small ones with crisp outlines
            std::vector<tfi::SolidCover> cover;
            ASSERT_EQ(tfi::measureSolidCover(tfi::wholeImage(pictures[from]), {placement}, cover), ERCI_OK);
            tfi::sharpenSolidEdges(cover[0], placement, made);
        }
        const bool png = side > 48;
        EXPECT_TRUE(testimg::samePixels(entryOfSide(icon, side), png ? testimg::transparentCleared(made) : made));
    }

    testfiles::writeFile(folder.file("big.png"), testimg::encodePng(testimg::pattern(257, 100, 1)));
    settings.files.push_back(fromUtf8(folder.file("big.png")));
    settings.overwrite = true;
    EXPECT_EQ(runIconFromPictures(settings), 1);
    EXPECT_EQ(testfiles::readFile(folder.file("out.ico")), icon); // left as it was
}

// What a batch leaves behind: its printed lines (folder name taken out) and every file's bytes.
struct BatchTrace {
    int status = -1;
    std::string lines;
    std::map<std::string, testimg::Bytes> files;
};

// Every entry out, in directory order: a bitmap and a PNG entry of one size and depth take the
// plain name and -2 in that order, each keeps its picture, and a slot that points nowhere gets
// a line of its own without stopping the others.
TEST(Imagecore, EntriesComeOutOneFileEachNamedBySizeAndDepth) {
    testfiles::ScratchFolder folder;
    const tfi::RgbaImage opaque = testimg::pattern(32, 32, 1, false), withAlpha = testimg::pattern(32, 32, 2);
    std::vector<uint32_t> argb(32 * 32);
    for (size_t i = 0; i < argb.size(); ++i) {
        const uint8_t* px = opaque.pixels.data() + 4 * i;
        argb[i] = 0xFF000000u | uint32_t(px[0]) << 16 | px[1] << 8 | px[2];
    }
    testimg::IconRow bitmap, png, nowhere;
    bitmap.data = testimg::buildDib(32, 32, 32, {}, argb, std::vector<uint8_t>(32 * 32, 0));
    png.data = testimg::encodePng(withAlpha);
    nowhere.overrideOffset = true;
    nowhere.offset = 1u << 30;
    testfiles::writeFile(folder.file("app.ico"), testimg::buildIcon({bitmap, nowhere, png}));

    BatchSettings settings;
    settings.entries = true;
    settings.files = {fromUtf8(folder.file("app.ico"))};
    testing::internal::CaptureStdout();
    EXPECT_EQ(runBatch(settings), 1);
    const std::string lines = testing::internal::GetCapturedStdout();
    EXPECT_NE(lines.find("app.ico entry 2: FAILED"), std::string::npos) << lines;
    EXPECT_NE(lines.find("2 converted, 0 skipped, 1 failed"), std::string::npos) << lines;

    tfi::RgbaImage first;
    ASSERT_EQ(tfi::decodePng(tfi::ByteView(testfiles::readFile(folder.file("app-32x32-32bpp.png"))), first), ERCI_OK);
    EXPECT_TRUE(testimg::samePixels(first, opaque));
    EXPECT_EQ(testfiles::readFile(folder.file("app-32x32-32bpp-2.png")), png.data);
    EXPECT_EQ(folder.names().size(), 3u);
}

// How the batch is run. EachFileAlone gives every file a batch of its own, one after the other:
// every write is then on disk before the next file is read, the order that one batch on any
// number of threads must give.
enum class Run { OneBatch, EachFileAlone };

BatchTrace runInFreshFolder(unsigned threads, Run run = Run::OneBatch) {
    testfiles::ScratchFolder folder;
    std::vector<std::pair<std::string, testimg::Bytes>> inputs = {
        {"a.PNG", testimg::encodePng(testimg::pattern(24, 24, 1))}, // becomes a.png, the next file's source
        {"a.png", testimg::encodePng(testimg::pattern(20, 20, 2))},
        {"x.ico", {'n', 'o', 't'}},                                 // fails, and shares x.png with x.PNG
        {"x.PNG", testimg::encodePng(testimg::pattern(30, 30, 3))},
        {"b.png", testimg::encodePng(testimg::pattern(40, 40, 4, false))},
        {"c.png", testimg::encodePng(testimg::pattern(18, 18, 5))},
    };
    for (int pair = 0; pair < 4; ++pair) { // more chances for a read to overtake the write before it
        const std::string name = "p" + std::to_string(pair);
        inputs.push_back({name + ".PNG", testimg::encodePng(testimg::pattern(16, 16, 10 + pair))});
        inputs.push_back({name + ".png", testimg::encodePng(testimg::pattern(12, 12, 20 + pair))});
    }
    BatchSettings settings;
    settings.overwrite = true;
    settings.threads = threads;
    for (const auto& input : inputs) {
        testfiles::writeFile(folder.file(input.first), input.second);
        settings.files.push_back(fromUtf8(folder.file(input.first)));
    }
    settings.files.push_back(settings.files[4]); // the same file twice
    settings.files.push_back(fromUtf8(folder.file("missing.ico")));

    BatchTrace trace;
    testing::internal::CaptureStdout();
    if (run == Run::OneBatch) {
        trace.status = runBatch(settings);
    } else {
        BatchSettings alone = settings;
        for (const std::wstring& file : settings.files) {
            alone.files = {file};
            trace.status = std::max(trace.status, runBatch(alone));
        }
    }
    trace.lines = testing::internal::GetCapturedStdout();
    for (size_t at; (at = trace.lines.find(folder.path())) != std::string::npos;)
        trace.lines.erase(at, folder.path().size());
    for (const std::string& name : folder.names())
        trace.files[name] = testfiles::readFile(folder.file(name));
    return trace;
}

TEST(Imagecore, ThreadsChangeNothingButSpeed) {
    const BatchTrace inOrder = runInFreshFolder(1, Run::EachFileAlone);
    const BatchTrace one = runInFreshFolder(1);
    EXPECT_EQ(one.status, 1);
    EXPECT_NE(one.lines.find("[16/16]"), std::string::npos);
    EXPECT_NE(one.lines.find("14 converted, 0 skipped, 2 failed"), std::string::npos) << one.lines;
    EXPECT_TRUE(one.files == inOrder.files);
    for (unsigned threads : {2u, 4u}) {
        for (int round = 0; round < 3; ++round) { // races show up only now and then
            const BatchTrace many = runInFreshFolder(threads);
            EXPECT_EQ(many.status, one.status);
            EXPECT_EQ(many.lines, one.lines);
            EXPECT_TRUE(many.files == inOrder.files) << threads << " threads";
        }
    }
}

// The whole command as main runs it, with what it printed.
struct CommandTrace {
    int status = -1;
    std::string out, err;
};

CommandTrace runCommand(const std::vector<std::string>& args) {
    std::vector<std::wstring> wide;
    for (const std::string& arg : args)
        wide.push_back(fromUtf8(arg));
    CommandTrace trace;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    trace.status = runImagecore(wide);
    trace.out = testing::internal::GetCapturedStdout();
    trace.err = testing::internal::GetCapturedStderr();
    return trace;
}

TEST(Imagecore, AnOutputFolderThatIsNotThereStopsTheCommandBeforeAnyFile) {
    testfiles::ScratchFolder folder;
    const std::string png = folder.file("a.png"), icon = folder.file("app.ico"), missing = folder.file("missing");
    testfiles::writeFile(png, testimg::encodePng(testimg::pattern(20, 20, 1)));
    testimg::IconRow entry;
    entry.data = testimg::encodePng(testimg::pattern(16, 16, 2));
    testfiles::writeFile(icon, testimg::buildIcon({entry}));
    const struct Row {
        std::vector<std::string> args;
        std::string folderNamed;
    } rows[] = {
        {{"-o", missing, png}, missing},
        {{"-o", missing, "--entries", icon}, missing},
        {{"-f", "--icon", missing + "/out.ico", png}, missing},
        {{"-o", png, png}, png}, // a file, not a folder
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[1]);
        const CommandTrace trace = runCommand(row.args);
        EXPECT_EQ(trace.status, kUsageError);
        EXPECT_EQ(trace.out, "");
        EXPECT_EQ(std::count(trace.err.begin(), trace.err.end(), '\n'), 1) << trace.err;
        EXPECT_NE(trace.err.find(row.folderNamed), std::string::npos) << trace.err;
        EXPECT_EQ(folder.names().size(), 2u); // nothing converted, no folder made
    }
}

// Entry number -> "WxH D" as a command's lines give it, or "FAILED".
std::map<int, std::string> figuresByEntry(const std::string& lines, const std::regex& line) {
    std::map<int, std::string> figures;
    for (std::sregex_iterator at(lines.begin(), lines.end(), line), end; at != end; ++at) {
        const std::smatch& m = *at;
        const bool failed = m.str().find("FAILED") != std::string::npos;
        figures[std::stoi(m[1])] = failed ? "FAILED" : m[2].str() + " " + m[3].str();
    }
    return figures;
}

// Damaged icons of every kind: --list must call each entry readable exactly when --entries
// writes it, with the size and depth its file is named by, and print every slot.
TEST(Imagecore, ListAgreesWithEntriesOnDamagedIcons) {
    std::vector<testimg::IconWindowsReads> icons = testimg::iconsWindowsReads();
    testimg::IconRow small, png;
    small.data = testimg::encodePng(testimg::pattern(16, 16, 1));
    png.data = testimg::encodePng(testimg::pattern(64, 64, 2));
    testimg::Bytes cutShort = testimg::buildIcon({small, png}); // its header reads, its pixels do not
    cutShort.resize(cutShort.size() - png.data.size() / 2);
    icons.push_back({"png-entry-cut-short", cutShort, {}});

    const std::regex listed(R"(entry (\d+): (?:(\d+x\d+), (\d+) bpp|FAILED))");
    const std::regex written(R"(entry (\d+)(?: -> [^\n]*-(\d+x\d+)-(\d+)bpp(?:-\d+)?\.png)?: (?:converted|FAILED))");
    size_t failures = 0;
    for (const testimg::IconWindowsReads& icon : icons) {
        SCOPED_TRACE(icon.name);
        testfiles::ScratchFolder in, out;
        const std::string path = in.file(icon.name + ".ico");
        testfiles::writeFile(path, icon.file);
        tfi::IconDirectory directory;
        ASSERT_EQ(tfi::readIconDirectory(tfi::ByteView(icon.file), directory), ERCI_OK);

        const CommandTrace list = runCommand({"--list", path});
        const CommandTrace entries = runCommand({"--entries", "-o", out.path(), path});
        const std::map<int, std::string> listFigures = figuresByEntry(list.out, listed);
        EXPECT_EQ(listFigures, figuresByEntry(entries.out, written)) << list.out << entries.out;
        EXPECT_EQ(listFigures.size(), directory.entries.size()) << list.out;
        EXPECT_EQ(list.status, entries.status);
        for (const auto& figures : listFigures)
            failures += figures.second == "FAILED";
    }
    EXPECT_GE(failures, 2u); // the slot inside an image, the entry cut short
}

TEST(Imagecore, ListGivesBytesHotspotsAndTheDirectorysOwnFigureWhereItLies) {
    testfiles::ScratchFolder folder;
    testimg::IconRow bitmap, png;
    bitmap.data = testimg::buildDib(32, 32, 32, {}, std::vector<uint32_t>(32 * 32, 0xFF102030u),
                                    std::vector<uint8_t>(32 * 32, 0));
    bitmap.bitCount = 7; // a cursor's hotspot is (planes, bit count): (1, 7)
    png.data = testimg::encodePng(testimg::pattern(16, 16, 3));
    png.bitCount = 3;
    testfiles::writeFile(folder.file("arrow.cur"), testimg::buildIcon({bitmap, png}, 2));
    for (const testimg::IconWindowsReads& icon : testimg::iconsWindowsReads())
        if (icon.name == "size-8")
            testfiles::writeFile(folder.file("lying.ico"), icon.file);

    const CommandTrace trace = runCommand({"--list", folder.file("arrow.cur"), folder.file("lying.ico")});
    EXPECT_EQ(trace.status, 0);
    const std::string cursor = folder.file("arrow.cur");
    EXPECT_NE(trace.out.find(cursor + " entry 1: 32x32, 32 bpp, BMP, " + std::to_string(bitmap.data.size()) +
                             " bytes, hotspot 1,7\n"),
              std::string::npos)
        << trace.out;
    EXPECT_NE(trace.out.find(cursor + " entry 2: 16x16, 32 bpp, PNG, " + std::to_string(png.data.size()) +
                             " bytes, hotspot 1,3\n"),
              std::string::npos)
        << trace.out;
    EXPECT_NE(trace.out.find("lying.ico entry 2: 32x32, 8 bpp, BMP, "), std::string::npos) << trace.out;
    EXPECT_NE(trace.out.find(" bytes (the directory says 8)\n"), std::string::npos) << trace.out;
}

// A pattern the shell handed on because nothing matched it fails on its own line, whatever the
// command; the files beside it are still done.
TEST(Imagecore, APatternThatMatchesNothingFailsOnItsOwnLine) {
    testfiles::ScratchFolder folder;
    const std::string pattern = folder.file("none*.png"), png = folder.file("a.png");
    testfiles::writeFile(png, testimg::encodePng(testimg::pattern(20, 20, 1)));
    const std::string failed = pattern + ": FAILED: no file matches this pattern\n";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {pattern, png}, {"--list", pattern}, {"--entries", pattern}, {"--icon", folder.file("x.ico"), pattern}}) {
        SCOPED_TRACE(args[0]);
        const CommandTrace trace = runCommand(args);
        EXPECT_EQ(trace.status, 1);
        EXPECT_NE(trace.out.find(failed), std::string::npos) << trace.out;
    }
    EXPECT_TRUE(testfiles::exists(folder.file("a.ico")));
}

// A declared colour space that cannot be applied is named on the file's line; --keep-color
// keeps the stored levels, in a batch and in --icon alike.
TEST(Imagecore, ColourSpacesNotAppliedAreSaidAndKeepColorKeepsTheLevels) {
    testfiles::ScratchFolder folder;
    const testimg::Bytes plain = testimg::encodePng(testimg::pattern(20, 20, 1));
    const testimg::Bytes damagedProfile = testimg::withChunk(plain, "iCCP", {'p', 0, 0, 1, 2, 3}, true);
    const testimg::Bytes linear = testimg::withChunk(plain, "gAMA", {0, 1, 0x86, 0xA0}, true);
    testfiles::writeFile(folder.file("plain.png"), plain);
    testfiles::writeFile(folder.file("damaged.png"), damagedProfile);
    testfiles::writeFile(folder.file("linear.png"), linear);

    CommandTrace trace = runCommand({folder.file("damaged.png"), folder.file("linear.png"), folder.file("plain.png")});
    EXPECT_EQ(trace.status, 0);
    EXPECT_NE(trace.out.find("damaged.ico: converted (colour profile damaged, not applied)\n"), std::string::npos)
        << trace.out;
    EXPECT_NE(trace.out.find("linear.ico: converted\n"), std::string::npos) << trace.out;
    const testimg::Bytes plainIcon = testfiles::readFile(folder.file("plain.ico"));
    EXPECT_EQ(testfiles::readFile(folder.file("damaged.ico")), plainIcon);
    EXPECT_NE(testfiles::readFile(folder.file("linear.ico")), plainIcon);

    trace = runCommand({"-f", "--keep-color", folder.file("linear.png")});
    EXPECT_EQ(trace.status, 0);
    EXPECT_EQ(testfiles::readFile(folder.file("linear.ico")), plainIcon);

    for (const bool keep : {false, true}) {
        std::vector<std::string> args = {"-f", "--icon", folder.file("out.ico"), folder.file("linear.png")};
        if (keep)
            args.insert(args.begin(), "--keep-color");
        EXPECT_EQ(runCommand(args).status, 0);
        EXPECT_EQ(testfiles::readFile(folder.file("out.ico")) == plainIcon, keep);
    }
    trace = runCommand({"--icon", folder.file("out2.ico"), folder.file("damaged.png")});
    EXPECT_NE(trace.out.find("damaged.png: colour profile damaged, not applied\n"), std::string::npos) << trace.out;
}

} // namespace
