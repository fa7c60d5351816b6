// Damaged and hostile sources through the file layer: each must fail with its code, leave no
// file (and no temporary file) behind, and leave an existing destination exactly as it was.
#include <gtest/gtest.h>

#include <cstdlib>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "TestFiles.h"
#include "TestImages.h"

using testimg::Bytes;

namespace {

struct BadFile {
    const char* name;
    Bytes data;
    const char* destination;
    tfi::Result expected;
};

void setLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

using testimg::withDeclaredSize;

Bytes iconOf(Bytes data, uint8_t side = 0) {
    testimg::IconRow row;
    row.width = row.height = side;
    row.data = std::move(data);
    return testimg::buildIcon({row});
}

Bytes iconWithRow(uint32_t size, uint32_t offset) {
    testimg::IconRow row;
    row.data = testimg::encodePng(testimg::pattern(16, 16, 1));
    row.overrideSize = row.overrideOffset = true;
    row.size = size;
    row.offset = offset;
    return testimg::buildIcon({row});
}

Bytes dibWith(size_t at, uint32_t value) {
    Bytes dib = testimg::buildDib(8, 8, 8, std::vector<uint32_t>(256, 0x123456), std::vector<uint32_t>(64, 1),
                                  std::vector<uint8_t>(64, 0));
    setLe32(dib, at, value);
    return dib;
}

std::vector<BadFile> badFiles() {
    const Bytes png = testimg::encodePng(testimg::pattern(64, 64, 3));
    Bytes badCrc = png;
    badCrc[40] ^= 0x55;
    Bytes countLies = iconWithRow(0, 0);
    countLies[4] = 5; // five rows announced, one present
    Bytes countHuge = iconWithRow(0, 0);
    countHuge[4] = 0xE8, countHuge[5] = 0x03; // 1000 entries
    Bytes countZero = iconWithRow(0, 0);
    countZero[4] = 0;
    Bytes dib256 = testimg::buildDib(256, 256, 32, {}, std::vector<uint32_t>(256 * 256, 0xFF000000),
                                     std::vector<uint8_t>(256 * 256, 0));
    dib256.resize(60);
    const Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'};
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00, 0x00, 0x01};

    return {
        {"empty.png", {}, "out.ico", ERCI_ERR_UNSUPPORTED_SOURCE},
        {"text.png", text, "out.ico", ERCI_ERR_UNSUPPORTED_SOURCE},
        {"jpeg.png", jpeg, "out.ico", ERCI_ERR_UNSUPPORTED_SOURCE},
        {"signature-only.png", Bytes(png.begin(), png.begin() + 8), "out.ico", ERCI_ERR_CORRUPT_SOURCE},
        {"half-signature.png", Bytes(png.begin(), png.begin() + 4), "out.ico", ERCI_ERR_UNSUPPORTED_SOURCE},
        {"truncated.png", Bytes(png.begin(), png.begin() + png.size() / 2), "out.ico", ERCI_ERR_CORRUPT_SOURCE},
        {"no-iend.png", Bytes(png.begin(), png.end() - 12), "out.ico", ERCI_ERR_CORRUPT_SOURCE},
        {"bad-crc.png", badCrc, "out.ico", ERCI_ERR_CORRUPT_SOURCE},
        {"idat-crc.png", testimg::withWrongCrc(png, "IDAT"), "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"huge.png", withDeclaredSize(png, 100000, 100000), "out.ico", ERCI_ERR_TOO_LARGE},
        {"zero-width.png", withDeclaredSize(png, 0, 64), "out.ico", ERCI_ERR_CORRUPT_SOURCE},
        {"claims-more-rows.png", withDeclaredSize(png, 64, 4000), "out.ico", ERCI_ERR_CORRUPT_SOURCE},
        {"huge-copy.png", withDeclaredSize(png, 100000, 100000), "out.png", ERCI_ERR_TOO_LARGE},
        {"count-zero.ico", countZero, "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"count-lies.ico", countLies, "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"count-huge.ico", countHuge, "out.png", ERCI_ERR_TOO_LARGE},
        {"offset-past-end.ico", iconWithRow(100, 100000), "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"offset-overflow.ico", iconWithRow(0x20, 0xFFFFFFF0u), "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"offset-in-directory.ico", iconWithRow(16, 2), "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"dib-256-few-bytes.ico", iconOf(dib256), "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"png-256-few-bytes.ico", iconOf(Bytes(png.begin(), png.begin() + 60)), "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"png-entry-huge.ico", iconOf(withDeclaredSize(png, 100000, 100000)), "out.png", ERCI_ERR_TOO_LARGE},
        {"dib-width-huge.ico", iconOf(dibWith(4, 0x7FFFFFFF)), "out.png", ERCI_ERR_TOO_LARGE},
        {"dib-width-negative.ico", iconOf(dibWith(4, 0xFFFFFFF0u)), "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"dib-bits-7.ico", iconOf(dibWith(12, 0x00070001)), "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"dib-palette-huge.ico", iconOf(dibWith(32, 100000)), "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"dib-rle.ico", iconOf(dibWith(16, 1)), "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"dib-header-huge.ico", iconOf(dibWith(0, 0x10000)), "out.png", ERCI_ERR_CORRUPT_SOURCE},
        {"good.png", png, "out.gif", ERCI_ERR_BAD_DESTINATION},
    };
}

// With TARNEL_DUMP_BAD_FILES=DIR the cases are also written out, e.g. as fuzzing seeds.
void dumpIfAsked(const std::vector<BadFile>& files) {
    const char* dir = std::getenv("TARNEL_DUMP_BAD_FILES");
    if (!dir)
        return;
    for (const BadFile& f : files)
        testfiles::writeFile(std::string(dir) + "/" + f.name, f.data);
}

TEST(BadFiles, FailWithTheirCodeAndLeaveNothingBehind) {
    const std::vector<BadFile> files = badFiles();
    dumpIfAsked(files);
    for (const BadFile& f : files) {
        SCOPED_TRACE(f.name);
        testfiles::ScratchFolder folder;
        const std::string source = folder.file(f.name);
        testfiles::writeFile(source, f.data);

        EXPECT_EQ(testfiles::convertFile(source, folder.file(f.destination)), f.expected);
        EXPECT_EQ(folder.names(), std::vector<std::string>{f.name});

        const Bytes existing = {'k', 'e', 'e', 'p'};
        testfiles::writeFile(folder.file(f.destination), existing);
        EXPECT_EQ(testfiles::convertFile(source, folder.file(f.destination)), f.expected);
        EXPECT_EQ(testfiles::readFile(folder.file(f.destination)), existing);
        EXPECT_EQ(folder.names().size(), 2u);
    }
}

TEST(BadFiles, ArgumentsAreCheckedBeforeAnythingIsRead) {
    testfiles::ScratchFolder folder;
    const std::string source = folder.file("a.png");
    testfiles::writeFile(source, testimg::encodePng(testimg::pattern(8, 8, 1)));
    EXPECT_EQ(testfiles::convertFile("", folder.file("a.ico")), ERCI_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(testfiles::convertFile(source, ""), ERCI_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(testfiles::convertFile(source, folder.file("a.ico"), "sizes=999"), ERCI_ERR_BAD_OPTION);
    EXPECT_EQ(testfiles::convertFile(folder.file("missing.png"), folder.file("a.ico")), ERCI_ERR_READ_SOURCE);
    EXPECT_EQ(testfiles::convertFile(source, folder.file("no-such-folder/a.ico")), ERCI_ERR_WRITE_DESTINATION);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"a.png"});
    EXPECT_EQ(testfiles::convertFile(source, folder.file("A.ICO")), ERCI_OK);
    EXPECT_TRUE(testfiles::exists(folder.file("A.ICO")));
}

#ifndef _WIN32
mode_t permissionsOf(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

TEST(BadFiles, FifoSourceIsRefusedAtOnceAndAReplacedFileKeepsItsMode) {
    testfiles::ScratchFolder folder;
    const std::string fifo = folder.file("pipe.png");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(testfiles::convertFile(fifo, folder.file("pipe.ico")), ERCI_ERR_READ_SOURCE); // would wait for a writer
    EXPECT_FALSE(testfiles::exists(folder.file("pipe.ico")));

    const std::string source = folder.file("a.png"), destination = folder.file("a.ico");
    testfiles::writeFile(source, testimg::encodePng(testimg::pattern(8, 8, 1)));
    ASSERT_EQ(testfiles::convertFile(source, destination), ERCI_OK);
    EXPECT_EQ(permissionsOf(destination), 0644u);
    ASSERT_EQ(::chmod(destination.c_str(), 0604), 0);
    ASSERT_EQ(testfiles::convertFile(source, destination), ERCI_OK);
    EXPECT_EQ(permissionsOf(destination), 0604u);
}
#endif

} // namespace
