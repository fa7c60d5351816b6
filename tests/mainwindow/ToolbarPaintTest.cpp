// The picture cache and the toolbar painter, on a memory canvas: where the picture lands, what
// is filled, what is left alone, and which pictures the cache holds.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <vector>

#include "TestCanvas.h"
#include "TestResources.h"
#include "app/AppGlobals.h"
#include "app/ImageCache.h"
#include "res/resource.h"
#include "ui/MainDialog.h"
#include "ui/Toolbar.h"

using mainwindow::Canvas;
using mainwindow::decodePicture;
using mainwindow::kUntouched;

namespace {

const uint32_t kPictureColour = 0x000000C8; // pure blue, as the canvas stores it (0x00RRGGBB)

uint32_t buttonFace() {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    return (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
}

DRAWITEMSTRUCT drawRequest(HDC dc, UINT type, UINT id, RECT rect, UINT action, UINT state) {
    DRAWITEMSTRUCT item = {};
    item.CtlType = type;
    item.CtlID = id;
    item.itemAction = action;
    item.itemState = state;
    item.hDC = dc;
    item.rcItem = rect;
    return item;
}

// A solid 32 x 32 picture, so that where it lands can be measured exactly.
Gdiplus::Image* solidPicture() {
    Gdiplus::Bitmap* picture = new Gdiplus::Bitmap(32, 32, PixelFormat32bppARGB);
    Gdiplus::Graphics graphics(picture);
    graphics.Clear(Gdiplus::Color(255, 0, 0, 0xC8));
    return picture;
}

// GDI+ for the painter and the cache alone; the cache starts and ends empty.
class ToolbarPaint : public ::testing::Test {
protected:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
        releaseButtonImages();
    }
    void TearDown() override {
        releaseButtonImages();
        Gdiplus::GdiplusShutdown(token_);
    }

private:
    ULONG_PTR token_ = 0;
};

} // namespace

TEST_F(ToolbarPaint, PictureIsCentredAndShiftedWhenPressed) {
    struct Row {
        const char* name;
        RECT rect;
        UINT action;
        UINT state;
        POINT expected; // top-left corner of the picture on the canvas
    };
    const Row rows[] = {
        {"idle 54 x 41", {0, 0, 54, 41}, ODA_DRAWENTIRE, 0, {11, 4}},
        {"pressed", {0, 0, 54, 41}, ODA_DRAWENTIRE, ODS_SELECTED, {12, 5}},
        {"pressing", {0, 0, 54, 41}, ODA_SELECT, ODS_SELECTED, {12, 5}},
        {"released: still a selection change", {0, 0, 54, 41}, ODA_SELECT, 0, {12, 5}},
        {"focus change", {0, 0, 54, 41}, ODA_FOCUS, ODS_FOCUS, {11, 4}},
        {"odd width rounds down", {0, 0, 53, 41}, ODA_DRAWENTIRE, 0, {10, 4}},
        {"odd height rounds down", {0, 0, 54, 40}, ODA_DRAWENTIRE, 0, {11, 4}},
        {"exact fit", {0, 0, 32, 32}, ODA_DRAWENTIRE, 0, {0, 0}},
        {"rectangle away from the origin", {5, 7, 59, 48}, ODA_DRAWENTIRE, 0, {16, 11}},
        {"disabled and focused look the same", {0, 0, 54, 41}, ODA_DRAWENTIRE, ODS_DISABLED | ODS_FOCUS, {11, 4}},
    };
    g_buttonImages[IDC_ADD] = solidPicture();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Canvas canvas(64, 64);
        const DRAWITEMSTRUCT item = drawRequest(canvas.dc(), ODT_BUTTON, IDC_ADD, row.rect, row.action, row.state);
        drawToolButton(&item);

        const RECT picture = canvas.boundsOf(kPictureColour);
        EXPECT_EQ(picture.left, row.expected.x);
        EXPECT_EQ(picture.top, row.expected.y);
        // Natural size: never scaled.
        EXPECT_EQ(picture.right - picture.left, 32);
        EXPECT_EQ(picture.bottom - picture.top, 32);
        EXPECT_EQ(canvas.countOf(kPictureColour), 32 * 32);

        // The face fills the rest of the button and nothing outside it.
        const RECT& r = row.rect;
        const int area = (r.right - r.left) * (r.bottom - r.top);
        EXPECT_EQ(canvas.countOf(buttonFace()), area - 32 * 32);
        EXPECT_EQ(canvas.countOf(kUntouched), canvas.width() * canvas.height() - area);
    }
}

// Requests that must leave the canvas exactly as it was: not even the face is filled.
TEST_F(ToolbarPaint, NothingIsDrawnWithoutACachedPictureOrForAnotherControlType) {
    struct Row {
        const char* name;
        UINT type;
        UINT id;
    };
    const Row rows[] = {
        {"list box item with a button's id", ODT_LISTBOX, IDC_ADD},
        {"menu item", ODT_MENU, IDC_ADD},
        {"static control", ODT_STATIC, IDC_ADD},
        {"button without a picture", ODT_BUTTON, IDC_SOURCE_LIST},
        {"button whose entry holds no image", ODT_BUTTON, IDC_REMOVE},
        {"id 0", ODT_BUTTON, 0},
    };
    g_buttonImages[IDC_ADD] = solidPicture();
    g_buttonImages[IDC_REMOVE] = nullptr;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Canvas canvas(64, 64);
        const DRAWITEMSTRUCT item = drawRequest(canvas.dc(), row.type, row.id, {0, 0, 54, 41}, ODA_DRAWENTIRE, 0);
        drawToolButton(&item);
        EXPECT_EQ(canvas.countOf(kUntouched), 64 * 64);
    }
    // Looking a button up never adds an entry.
    EXPECT_EQ(g_buttonImages.size(), 2u);
    EXPECT_EQ(g_buttonImages.count(IDC_SOURCE_LIST), 0u);
    EXPECT_EQ(g_buttonImages.count(0), 0u);
    // A draw request without its record paints nothing and is still answered as handled.
    EXPECT_EQ(mainDlgProc(nullptr, WM_DRAWITEM, IDC_ADD, 0), TRUE);
    EXPECT_EQ(g_buttonImages.size(), 2u);
}

TEST_F(ToolbarPaint, UndecodablePictureGetsTheFaceButNoPicture) {
    Gdiplus::Image* broken = decodePicture(IDR_TEST_UNDECODABLE);
    ASSERT_NE(broken, nullptr);
    EXPECT_EQ(broken->GetWidth(), 0u);
    EXPECT_NE(broken->GetLastStatus(), Gdiplus::Ok);
    g_buttonImages[IDC_CLEAR] = broken;

    Canvas canvas(64, 64);
    const DRAWITEMSTRUCT item = drawRequest(canvas.dc(), ODT_BUTTON, IDC_CLEAR, {0, 0, 54, 41}, ODA_DRAWENTIRE, 0);
    drawToolButton(&item);
    EXPECT_EQ(canvas.countOf(buttonFace()), 54 * 41);
    EXPECT_EQ(canvas.countOf(kUntouched), 64 * 64 - 54 * 41);
}

// The real pictures: each button gets its own, drawn from the cache long after loading.
TEST_F(ToolbarPaint, CacheHoldsTheFourToolbarPicturesByButton) {
    struct Row {
        UINT controlId;
        UINT resourceId;
    };
    const Row rows[] = {
        {IDC_ADD, IDR_PNG_ADD},
        {IDC_REMOVE, IDR_PNG_REMOVE},
        {IDC_CLEAR, IDR_PNG_CLEAR},
        {IDC_CONVERT, IDR_PNG_CONVERT},
    };
    HINSTANCE module = GetModuleHandleW(nullptr);
    EXPECT_TRUE(loadButtonImages(module));
    EXPECT_EQ(g_app.hInstance, module);
    ASSERT_EQ(g_buttonImages.size(), 4u);

    std::vector<std::vector<uint32_t>> drawn;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.controlId);
        ASSERT_EQ(g_buttonImages.count(row.controlId), 1u);
        Gdiplus::Image* cached = g_buttonImages[row.controlId];
        ASSERT_NE(cached, nullptr);
        EXPECT_EQ(cached->GetWidth(), 32u);
        EXPECT_EQ(cached->GetHeight(), 32u);
        EXPECT_EQ(cached->GetLastStatus(), Gdiplus::Ok);

        Canvas fromCache(54, 41);
        const DRAWITEMSTRUCT item = drawRequest(fromCache.dc(), ODT_BUTTON, row.controlId, {0, 0, 54, 41}, ODA_DRAWENTIRE, 0);
        drawToolButton(&item);
        EXPECT_LT(fromCache.countOf(buttonFace()), 54 * 41 - 100);

        // The same picture as its resource decoded afresh: the button shows its own picture.
        Gdiplus::Image* reference = decodePicture(row.resourceId);
        ASSERT_NE(reference, nullptr);
        Canvas fromResource(54, 41);
        {
            FillRect(fromResource.dc(), &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
            Gdiplus::Graphics graphics(fromResource.dc());
            graphics.DrawImage(reference, 11, 4, 32, 32);
        }
        delete reference;
        EXPECT_EQ(fromCache.copy(), fromResource.copy());
        drawn.push_back(fromCache.copy());
    }
    // Four different pictures.
    for (size_t i = 0; i < drawn.size(); ++i)
        for (size_t j = i + 1; j < drawn.size(); ++j)
            EXPECT_NE(drawn[i], drawn[j]) << i << " and " << j;
}

namespace {

// A picture that counts its disposal.
class CountedPicture : public Gdiplus::Bitmap {
public:
    explicit CountedPicture(int& disposed) : Gdiplus::Bitmap(32, 32, PixelFormat32bppARGB), disposed_(disposed) {}
    ~CountedPicture() override { ++disposed_; }

private:
    int& disposed_;
};

} // namespace

// A second load replaces each picture; the one it replaces must be disposed, not leaked.
TEST_F(ToolbarPaint, LoadingAgainDisposesThePicturesItReplaces) {
    int disposed = 0;
    for (UINT id : {IDC_ADD, IDC_REMOVE, IDC_CLEAR, IDC_CONVERT})
        g_buttonImages[id] = new CountedPicture(disposed);
    loadButtonImages(GetModuleHandleW(nullptr));
    EXPECT_EQ(disposed, 4);
    ASSERT_EQ(g_buttonImages.size(), 4u);
    releaseButtonImages();
    EXPECT_EQ(disposed, 4) << "a picture of the first load was still in the cache";
}

TEST_F(ToolbarPaint, ModuleWithoutPicturesLeavesTheCacheEmpty) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    EXPECT_TRUE(loadButtonImages(kernel));
    EXPECT_EQ(g_app.hInstance, kernel);
    EXPECT_TRUE(g_buttonImages.empty());
}

TEST_F(ToolbarPaint, ReleasingTwiceIsHarmless) {
    releaseButtonImages();
    EXPECT_TRUE(g_buttonImages.empty());
    loadButtonImages(GetModuleHandleW(nullptr));
    ASSERT_EQ(g_buttonImages.size(), 4u);
    releaseButtonImages();
    EXPECT_TRUE(g_buttonImages.empty());
    releaseButtonImages();
    EXPECT_TRUE(g_buttonImages.empty());
}

// Each display scale gets the largest set not larger than 32 x DPI / 96, loaded from the
// program's own resources: the ids of every set hold pictures of that set's size.
TEST_F(ToolbarPaint, PictureSetFollowsTheDisplayScale) {
    struct Row {
        UINT dpi;
        UINT size;
    };
    const Row rows[] = {
        {72, 32}, {96, 32}, {119, 32}, {120, 40}, {144, 48}, {167, 48}, {168, 56},
        {192, 64}, {240, 80}, {288, 96}, {480, 96}, {96, 32},
    };
    loadButtonImages(GetModuleHandleW(nullptr));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.dpi);
        loadButtonImagesForDpi(row.dpi);
        EXPECT_EQ(static_cast<UINT>(kPictureSetSizes[pictureSetForDpi(row.dpi)]), row.size);
        ASSERT_EQ(g_buttonImages.size(), 4u);
        for (const auto& entry : g_buttonImages) {
            EXPECT_EQ(entry.second->GetLastStatus(), Gdiplus::Ok) << entry.first;
            EXPECT_EQ(entry.second->GetWidth(), row.size) << entry.first;
            EXPECT_EQ(entry.second->GetHeight(), row.size) << entry.first;
        }
    }
}

TEST_F(ToolbarPaint, PressedShiftIsOnePixelAt100PercentAndGrowsWithTheScale) {
    const UINT dpis[] = {72, 96, 120, 143, 144, 168, 192, 240, 288};
    const int shifts[] = {1, 1, 1, 1, 2, 2, 2, 3, 3};
    for (size_t i = 0; i < sizeof(dpis) / sizeof(dpis[0]); ++i)
        EXPECT_EQ(pressedShiftForDpi(dpis[i]), shifts[i]) << dpis[i];
}
