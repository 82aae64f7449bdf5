// The window and its content view may be destroyed in either order.
#include <gtest/gtest.h>

#include <memory>

#include "WindowTestSupport.h"
#include "platform/Window.h"

namespace {

// Refuses to close, so a window that still asks it would stay open.
class StubbornView : public zplat::View {
public:
    using zplat::View::View;
    bool WindowShouldClose() override { return false; }
    void MouseDown(const zplat::ViewPoint&) override { ++clicks; }
    int clicks = 0;
};

TEST(WindowLifetime, ADestroyedContentViewLeavesTheWindowEmpty) {
    zplat::Window window(100, 80, zplat::kWindowStyleTitled);
    auto view = std::make_unique<StubbornView>(zplat::ViewRect{0, 0, 100, 80});
    window.SetContentView(view.get());
    ASSERT_EQ(window.ContentView(), view.get());
    view.reset();
    ASSERT_EQ(window.ContentView(), nullptr);
    // Nothing below may reach the dead view.
    window_test::Canvas canvas(100, 80);
    window.RenderInto(canvas.Cr());
    window.HandlePointerMotion(10, 10);
    window.HandleButtonPress(10, 10);
    EXPECT_TRUE(window.PerformClose());
}

TEST(WindowLifetime, AViewOutlivesItsWindowAndAnotherWindowsContent) {
    StubbornView view(zplat::ViewRect{0, 0, 100, 80});
    {
        zplat::Window window(100, 80, zplat::kWindowStyleTitled);
        window.SetContentView(&view);
        EXPECT_EQ(view.GetWindow(), &window);
    }
    EXPECT_EQ(view.GetWindow(), nullptr);

    // A view moved to another window is only that window's content.
    zplat::Window first(100, 80, zplat::kWindowStyleTitled), second(100, 80, zplat::kWindowStyleTitled);
    auto moving = std::make_unique<StubbornView>(zplat::ViewRect{0, 0, 100, 80});
    first.SetContentView(moving.get());
    second.SetContentView(moving.get());
    EXPECT_EQ(first.ContentView(), nullptr);
    second.HandleButtonPress(5, 5);
    EXPECT_EQ(moving->clicks, 1);
    moving.reset();
    EXPECT_EQ(second.ContentView(), nullptr);
}

}  // namespace
