// The installer's window: a fixed-size window with one drawing area that shows a view
// tree, sends pointer motion and button presses to the content view in its coordinates,
// and ends the application when it closes. When GTK is not running (tests, no display)
// the window is offscreen: it keeps its state and renders into any Cairo context.
#pragma once

#include <string>

#include "View.h"

typedef struct _cairo cairo_t;
typedef struct _GtkWidget GtkWidget;

namespace zplat {

// Style bits, numbered like AppKit's window style mask.
enum WindowStyle : unsigned {
    kWindowStyleTitled = 1,
    kWindowStyleClosable = 2,
    kWindowStyleMiniaturizable = 4,
    kWindowStyleResizable = 8,
    kWindowStyleTexturedBackground = 256,
};

class Window {
public:
    Window(double width, double height, unsigned style_mask);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    bool IsOffscreen() const { return m_widget == nullptr; }
    double Width() const { return m_width; }
    double Height() const { return m_height; }

    void SetTitle(const std::string& title);
    const std::string& Title() const { return m_title; }
    void Center();
    void MakeKeyAndOrderFront();
    bool IsVisible() const { return m_visible; }

    // Not owned: a content view that is destroyed leaves the window empty. The view is
    // told it moves into the window, laid out at the window's size, and asked for its
    // tracking areas.
    void SetContentView(View* view);
    View* ContentView() const { return m_content; }

    // Asks the content view whether it may close, then closes; false when it may not.
    bool PerformClose();
    // Closes at once; the application hears of it.
    void Close();
    bool IsClosed() const { return m_closed; }

    void SetNeedsDisplay();
    int RedrawRequests() const { return m_redrawRequests; }

    // The whole view tree into `cr`, window coordinates (y down).
    void RenderInto(cairo_t* cr);

    // What the toolkit's events turn into; the offscreen window takes them from tests.
    void HandlePointerMotion(double x, double y);
    void HandleButtonPress(double x, double y);
    bool HandleDeleteRequest();

private:
    friend class View;
    void ForgetContentView(View* view);

    GtkWidget* m_widget = nullptr;
    GtkWidget* m_area = nullptr;
    double m_width, m_height;
    unsigned m_style;
    std::string m_title;
    View* m_content = nullptr;
    bool m_visible = false;
    bool m_closed = false;
    int m_redrawRequests = 0;
};

}  // namespace zplat
