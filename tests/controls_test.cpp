#include <gtest/gtest.h>

#include <vector>

#include "controls/MenuEx.h"
#include "controls/MultiButtonBitmap.h"
#include "controls/MyProGress.h"
#include "controls/Mystatic.h"
#include "controls/SkinImages.h"
#include "controls/TBButtonBitmap6.h"

using namespace fl;

namespace {

struct Owner : IButtonOwner {
    struct Post {
        unsigned msg;
        uintptr_t w;
        long l;
    };
    std::vector<Post> posts;
    int repaints = 0;
    int captures = 0;
    void PostNotify(unsigned m, uintptr_t w, long l) override { posts.push_back({m, w, l}); }
    void SetMouseCapture(bool c) override { captures += c ? 1 : 0; }
    void RepaintStrip(CMultiButtonBitmap&) override { ++repaints; }
};

// The window-button strip as the main window sets it up, at (100, 0).
struct StripFixture : ::testing::Test {
    Owner owner;
    CMultiButtonBitmap strip;
    void SetUp() override {
        strip.SetColorKey(0xFF00FF);
        strip.SetBitmaps(176, 177, 178, 176);
        strip.SetOwner(&owner);
        strip.SetMessage(WM_CAPTIONBUTTON);
        strip.m_nCount = 3;
        strip.m_nWidths[0] = 28;
        strip.m_nWidths[1] = 29;
        strip.m_nWidths[2] = 33;
        strip.SetPosition(100, 0);
        strip.UpdateRect();
    }
};

cairo_surface_t* Canvas(int w, int h) { return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h); }

uint32_t Pixel(cairo_surface_t* s, int x, int y) {
    cairo_surface_flush(s);
    return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s))[x];
}

}  // namespace

TEST_F(StripFixture, APressAndReleaseInsidePostsTheIndex) {
    strip.OnMouse(MouseMsg::LButtonDown, 100 + 30, 10);
    EXPECT_EQ(owner.captures, 1);
    strip.OnMouse(MouseMsg::LButtonUp, 100 + 35, 12);
    ASSERT_EQ(owner.posts.size(), 1u);
    EXPECT_EQ(owner.posts[0].msg, WM_CAPTIONBUTTON);
    EXPECT_EQ(owner.posts[0].w, reinterpret_cast<uintptr_t>(&strip));
    EXPECT_EQ(owner.posts[0].l, 1);
}

TEST_F(StripFixture, ReleasingOutsidePostsNothingAndOverANeighbourPostsThePressedIndex) {
    strip.OnMouse(MouseMsg::LButtonDown, 105, 10);
    strip.OnMouse(MouseMsg::LButtonUp, 300, 10);
    EXPECT_TRUE(owner.posts.empty());
    strip.OnMouse(MouseMsg::LButtonDown, 105, 10);
    strip.OnMouse(MouseMsg::LButtonUp, 100 + 60, 10);
    ASSERT_EQ(owner.posts.size(), 1u);
    EXPECT_EQ(owner.posts[0].l, 0);
    // The last column reaches past the 86-pixel image: widths count in the hit test.
    EXPECT_EQ(strip.HitTest(100 + 88, 5), 2);
    EXPECT_EQ(strip.HitTest(100 + 90, 5), -1);
}

TEST_F(StripFixture, MovingWithinOneButtonRepaintsOnce) {
    strip.OnMouse(MouseMsg::Move, 102, 5);
    strip.OnMouse(MouseMsg::Move, 110, 6);
    strip.OnMouse(MouseMsg::Move, 120, 7);
    EXPECT_EQ(owner.repaints, 1);
    EXPECT_EQ(strip.ImageFor(0), CMultiButtonBitmap::Hover);
    strip.OnMouse(MouseMsg::Move, 140, 7);
    EXPECT_EQ(owner.repaints, 2);
    strip.OnMouse(MouseMsg::Move, 10, 7);
    EXPECT_EQ(owner.repaints, 3);
    EXPECT_EQ(strip.ImageFor(1), CMultiButtonBitmap::Normal);
}

TEST_F(StripFixture, ADisabledButtonNeverCapturesOrPosts) {
    strip.SetButtonEnabled(0, false);
    strip.OnMouse(MouseMsg::LButtonDown, 105, 10);
    strip.OnMouse(MouseMsg::LButtonUp, 105, 10);
    EXPECT_EQ(owner.captures, 0);
    EXPECT_TRUE(owner.posts.empty());
    strip.OnMouse(MouseMsg::LButtonUp, 135, 10);
    EXPECT_TRUE(owner.posts.empty()) << "a release without a press is no click";
}

TEST(SingleButton, StatesAndNotifications) {
    Owner owner;
    CTBButtonBitmap6 b;
    b.SetImages(270, 271, 272, 270);
    b.SetOwner(&owner);
    b.SetMessage(WM_SKINBUTTON);
    b.SetPosition(300, 98);
    b.UpdateRect();
    EXPECT_EQ(b.m_rect.Width(), 81);

    b.OnMouse(MouseMsg::Move, 310, 100);
    b.OnMouse(MouseMsg::Move, 320, 101);
    EXPECT_EQ(owner.posts.size(), 1u) << "one repaint request on entry";
    EXPECT_EQ(b.CurrentImage(), 271);
    owner.posts.clear();

    b.OnMouse(MouseMsg::LButtonDown, 320, 101);
    EXPECT_EQ(b.CurrentImage(), 272);
    b.OnMouse(MouseMsg::LButtonUp, 900, 600);  // released far outside
    ASSERT_EQ(owner.posts.size(), 4u);
    EXPECT_EQ(owner.posts[0].w, 1u);
    EXPECT_EQ(owner.posts[1].w, reinterpret_cast<uintptr_t>(&b));
    EXPECT_EQ(owner.posts[1].l, 0);
    EXPECT_EQ(owner.posts[3].w, reinterpret_cast<uintptr_t>(&b));
    EXPECT_EQ(owner.posts[3].l, 1) << "a release still reports 1";
    owner.posts.clear();

    b.EnableButton(false);
    owner.posts.clear();
    b.OnMouse(MouseMsg::LButtonDown, 320, 101);
    b.OnMouse(MouseMsg::LButtonUp, 320, 101);
    EXPECT_TRUE(owner.posts.empty());
    EXPECT_EQ(owner.captures, 1);
}

TEST(ProgressBar, FillWidthsAndText) {
    CMyProGress bar;
    EXPECT_EQ(bar.FillWidth(), 11);
    bar.SetPercent(100);
    EXPECT_EQ(bar.FillWidth(), 272);
    bar.SetRange(0, 200);
    EXPECT_EQ(bar.FillWidth(), 141);
    bar.SetRange(0, 0);
    EXPECT_EQ(bar.FillWidth(), -1) << "no fill rather than a division by zero";
    bar.SetRange(-1, 70000);
    EXPECT_EQ(bar.GetLower(), -1);
    EXPECT_EQ(bar.GetUpper(), int16_t(70000)) << "kept as 16-bit values";

    // Drawn: the fill's right end reaches 14 + 141 at position 100 of 200.
    bar.SetRange(0, 200);
    cairo_surface_t* s = Canvas(289, 28);
    cairo_t* cr = cairo_create(s);
    bar.Paint(cr, 289, 28);
    cairo_destroy(cr);
    cairo_surface_t* bg = Canvas(289, 28);
    cr = cairo_create(bg);
    CMyProGress empty;
    empty.SetRange(0, 0);
    empty.Paint(cr, 289, 28);
    cairo_destroy(cr);
    EXPECT_NE(Pixel(s, 14 + 135, 6), Pixel(bg, 14 + 135, 6)) << "inside the fill";
    EXPECT_EQ(Pixel(s, 14 + 145, 6), Pixel(bg, 14 + 145, 6)) << "past the fill";
    cairo_surface_destroy(s);
    cairo_surface_destroy(bg);
}

TEST(StatusLine, RepaintsOnEverySetAndCutsLongText) {
    Mystatic line;
    int redraws = 0;
    line.m_fnRedraw = [&] { ++redraws; };
    line.SetWindowText("a");
    line.SetWindowText("a");
    EXPECT_EQ(redraws, 2);
    line.SetWindowText(std::string(400, 'W'));
    cairo_surface_t* s = Canvas(700, 30);
    cairo_t* cr = cairo_create(s);
    cairo_translate(cr, 20, 3);
    line.Paint(cr, 653, 24);
    cairo_destroy(cr);
    EXPECT_EQ(Pixel(s, 10, 10), 0u) << "nothing drawn outside the strip";
    EXPECT_EQ(Pixel(s, 690, 10), 0u);
    cairo_surface_destroy(s);
}

TEST(Menu, LoadModifyAndMeasure) {
    CMenuEx menu;
    menu.m_nPopupMode = 1;
    menu.m_fnTextExtent = [](const std::string& t) { return int(t.size()); };
    ASSERT_TRUE(menu.LoadMenu(171));
    CMenuEx* sys = menu.GetSubMenu(0);
    ASSERT_NE(sys, nullptr);
    ASSERT_EQ(sys->GetItemCount(), 5);
    EXPECT_EQ(menu.ModifyItem(ID_MENU_REFRESH, MF_OWNERDRAW, ID_MENU_REFRESH, "abc"), 1) << "found in the sub-menu";
    int w = 0, h = 0;
    sys->MeasureItem(sys->Item(0), &w, &h);
    EXPECT_EQ(w, 3 + 30);
    EXPECT_EQ(h, 22);
    sys->MeasureItem(sys->Item(3), &w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 10);
    EXPECT_EQ(menu.ModifyItem(4242, MF_OWNERDRAW, 4242, "x"), 0);
    // A second load replaces the first menu's records.
    ASSERT_TRUE(menu.LoadMenu(171));
    EXPECT_EQ(menu.GetItemCount(), 1);
}

TEST(Menu, SeparatorsAndGrayedItemsAreNeverHighlighted) {
    CMenuEx menu;
    menu.LoadMenu(171);
    CMenuEx* sys = menu.GetSubMenu(0);
    const CRect rc{0, 0, 120, 22};
    auto draw = [&](const CMenuItemRecord& item, unsigned state) {
        cairo_surface_t* s = Canvas(120, 22);
        cairo_t* cr = cairo_create(s);
        sys->DrawItem(cr, item, rc, state);
        cairo_destroy(cr);
        uint32_t corner = Pixel(s, 119, 0), inside = Pixel(s, 110, 20);
        cairo_surface_destroy(s);
        return std::pair{corner, inside};
    };
    const uint32_t frame = 0xFF316AC5, background = 0xFFF0F0F0;
    EXPECT_EQ(draw(sys->Item(0), ODS_SELECTED).first, frame) << "an item with text is framed";
    EXPECT_EQ(draw(sys->Item(3), ODS_SELECTED).first, background) << "a separator is not";
    EXPECT_EQ(draw(sys->Item(0), ODS_SELECTED | ODS_GRAYED).first, background) << "nor a grayed item";
}

TEST(Strips, ColourKeyPixelsStayTransparent) {
    Owner owner;
    CMultiButtonBitmap links;
    links.SetColorKey(0xFF00FF);
    links.SetBitmaps(190, 189, 191, 190);
    links.SetOwner(&owner);
    links.m_nCount = 4;
    int widths[4] = {28, 29, 30, 30};
    std::copy(widths, widths + 4, links.m_nWidths);
    cairo_surface_t* s = Canvas(117, 18);
    cairo_t* cr = cairo_create(s);
    links.DrawInto(cr);
    cairo_destroy(cr);
    cairo_surface_t* raw = SkinSurface(190);
    int keyed = 0;
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 117; ++x)
            if ((Pixel(raw, x, y) & 0xFFFFFF) == 0xFF00FF) {
                ++keyed;
                EXPECT_EQ(Pixel(s, x, y) >> 24, 0u) << x << "," << y;
            }
    EXPECT_GT(keyed, 100) << "the strip has a keyed background";
    cairo_surface_destroy(s);
}

TEST(SkinImages, EveryImageExistsAtItsSize) {
    const struct {
        int id, w, h;
    } sizes[] = {{259, 1030, 650}, {250, 651, 363}, {258, 653, 24}, {254, 289, 28}, {253, 272, 22}, {252, 11, 22},
                 {262, 186, 46},   {219, 24, 26},   {220, 24, 26},  {221, 24, 26},  {222, 20, 22},  {223, 20, 22},
                 {224, 20, 22},    {226, 5, 28},    {227, 20, 28},  {228, 5, 28},   {229, 44, 19},  {230, 44, 19},
                 {225, 44, 19},    {176, 86, 28},   {177, 86, 28},  {178, 86, 28},  {189, 117, 18}, {190, 117, 18},
                 {191, 117, 18}};
    for (const auto& s : sizes) {
        CSkinImage image;
        ASSERT_TRUE(LoadImageFromResource(&image, s.id)) << s.id;
        EXPECT_EQ(image.Width(), s.w) << s.id;
        EXPECT_EQ(image.Height(), s.h) << s.id;
    }
    for (int id = 270; id <= 281; ++id) {
        CSkinImage image;
        ASSERT_TRUE(LoadImageFromResource(&image, id)) << id;
        EXPECT_EQ(image.Width(), 81);
        EXPECT_EQ(image.Height(), 26);
    }
    for (int size : {16, 32, 48, 256}) {
        CSkinImage icon;
        ASSERT_TRUE(LoadIconImage(&icon, size));
        EXPECT_EQ(icon.Width(), size);
    }
    CSkinImage none;
    EXPECT_FALSE(LoadImageFromResource(&none, 999));
    EXPECT_FALSE(LoadImageFromResource(nullptr, 259));
    // The login view is see-through at its corners.
    EXPECT_EQ(Pixel(SkinSurface(259), 0, 0) & 0xFFFFFF, 0xFF00FFu);
}
