// GdiOwnersTest - the owners of the window's fonts, brushes, bitmaps and
// menus (uGdi.h), seen through the system: an object lives exactly as long
// as its last owner, moving or assigning never deletes it early, and a
// replaced object goes at once.
#include <gtest/gtest.h>

#include "uGdi.h"

#include <utility>

namespace {

// One kind of owner per row: how an object of its kind is made, and how the
// system tells that it still exists.
struct FontKind {
  using Owner = ScopedFont;
  static HFONT Make() { return CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"); }
  static bool Alive(HFONT h) { return GetObjectType(h) == OBJ_FONT; }
};
struct BrushKind {
  using Owner = ScopedBrush;
  static HBRUSH Make() { return CreateSolidBrush(RGB(255, 255, 255)); }
  static bool Alive(HBRUSH h) { return GetObjectType(h) == OBJ_BRUSH; }
};
struct BitmapKind {
  using Owner = ScopedBitmap;
  static HBITMAP Make() { return CreateBitmap(4, 4, 1, 32, nullptr); }
  static bool Alive(HBITMAP h) { return GetObjectType(h) == OBJ_BITMAP; }
};
struct MenuKind {
  using Owner = ScopedMenu;
  static HMENU Make() { return CreatePopupMenu(); }
  static bool Alive(HMENU h) { return IsMenu(h) != FALSE; }
};

template <typename Kind>
class OwnerTest : public ::testing::Test {};
using Kinds = ::testing::Types<FontKind, BrushKind, BitmapKind, MenuKind>;
TYPED_TEST_SUITE(OwnerTest, Kinds);

TYPED_TEST(OwnerTest, TheObjectGoesWithItsOwner) {
  const auto object = TypeParam::Make();
  ASSERT_TRUE(TypeParam::Alive(object));
  {
    typename TypeParam::Owner owner(object);
    EXPECT_TRUE(TypeParam::Alive(object));
  }
  EXPECT_FALSE(TypeParam::Alive(object));
}

TYPED_TEST(OwnerTest, MovingHandsTheObjectOverAndOnlyTheLastOwnerDeletesIt) {
  const auto object = TypeParam::Make();
  typename TypeParam::Owner last;
  {
    typename TypeParam::Owner first(object);
    typename TypeParam::Owner second(std::move(first));
    EXPECT_FALSE(first.Valid());
    last = std::move(second);
    EXPECT_FALSE(second.Valid());
  }
  EXPECT_TRUE(TypeParam::Alive(object));
  EXPECT_EQ(last.Get(), object);
  last.Reset();
  EXPECT_FALSE(TypeParam::Alive(object));
}

TYPED_TEST(OwnerTest, AssigningANewObjectDeletesTheOldOneAtOnce) {
  const auto before = TypeParam::Make();
  const auto after = TypeParam::Make();
  typename TypeParam::Owner owner(before);
  owner = typename TypeParam::Owner(after);
  EXPECT_FALSE(TypeParam::Alive(before));
  EXPECT_TRUE(TypeParam::Alive(after));
  EXPECT_EQ(owner.Get(), after);
}

// The way a window or a menu takes over a menu: the owner gives it up.
TYPED_TEST(OwnerTest, AReleasedObjectOutlivesTheOwner) {
  const auto object = TypeParam::Make();
  {
    typename TypeParam::Owner owner(object);
    EXPECT_EQ(owner.Release(), object);
    EXPECT_FALSE(owner.Valid());
  }
  EXPECT_TRUE(TypeParam::Alive(object));
  typename TypeParam::Owner(object).Reset();
  EXPECT_FALSE(TypeParam::Alive(object));
}

// A device context of the screen is usable while its owner holds it, and
// moving the owner keeps it so.
TEST(ScopedDCTest, TheScreenContextServesWhileHeldAndMovesWithItsOwner) {
  ScopedDC screen(nullptr);
  ASSERT_TRUE(screen.Valid());
  EXPECT_GT(GetDeviceCaps(screen.Get(), LOGPIXELSY), 0);
  const HDC dc = screen.Get();
  ScopedDC moved(std::move(screen));
  EXPECT_FALSE(screen.Valid());
  EXPECT_EQ(moved.Get(), dc);
  EXPECT_GT(GetDeviceCaps(moved.Get(), LOGPIXELSY), 0);
}

} // namespace
