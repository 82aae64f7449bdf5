// The view tree under the installer's window: a frame in the parent's coordinates, a
// hidden flag, child views, redraw requests and mouse tracking areas. Views draw into the
// graphics context the window hands them; without a window (tests) they still lay out and
// count their redraw requests.
#pragma once

#include <vector>

namespace zplat {

class GraphicsContext;
class Window;

struct ViewRect {
    double x = 0, y = 0, width = 0, height = 0;
};

struct ViewPoint {
    double x = 0, y = 0;
};

// Bits of an AppKit tracking area's options, for the values the views pass.
enum TrackingOption : unsigned {
    kTrackMouseEnteredAndExited = 0x01,
    kTrackMouseMoved = 0x02,
    kTrackCursorUpdate = 0x04,
    kTrackActiveInActiveApp = 0x40,
    kTrackAssumeInside = 0x100,
    kTrackInVisibleRect = 0x200,
};

struct TrackingArea {
    ViewRect rect;
    unsigned options = 0;
};

class View {
public:
    View();
    explicit View(const ViewRect& frame);
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    const ViewRect& Frame() const { return m_frame; }
    void SetFrame(const ViewRect& frame);
    ViewRect Bounds() const { return ViewRect{0, 0, m_frame.width, m_frame.height}; }

    bool IsHidden() const { return m_hidden; }
    void SetHidden(bool hidden);

    // Children are not owned: their owner keeps them alive while they are attached.
    void AddSubview(View* child);
    void RemoveFromSuperview();
    const std::vector<View*>& Subviews() const { return m_subviews; }
    View* Superview() const { return m_superview; }

    Window* GetWindow() const;

    // Asks for a redraw of the whole window. Counted, so view logic can be checked
    // without a display.
    void Display();
    int DisplayCount() const { return m_displayCount; }

    void AddTrackingArea(const TrackingArea& area);
    void RemoveAllTrackingAreas();
    const std::vector<TrackingArea>& TrackingAreas() const { return m_tracking; }

    // Overridables, named after what the window sends.
    virtual bool IsFlipped() const { return false; }
    virtual void DrawRect(GraphicsContext& context, const ViewRect& dirty);
    virtual void ViewWillMoveToWindow(Window* window);
    virtual void UpdateTrackingAreas();
    // Points in this view's own coordinates (y down when flipped).
    virtual void MouseMoved(const ViewPoint& point);
    virtual void MouseDown(const ViewPoint& point);
    virtual void ResizeSubviewsWithOldSize(double width, double height);
    // Asked before the window closes on a close request.
    virtual bool WindowShouldClose() { return true; }

    // The whole subtree, children over their parent, hidden views skipped. `context` is
    // in this view's superview coordinates with y down.
    void DrawTree(GraphicsContext& context);
    // A point given in the window's coordinates (y down) converted to this view's.
    ViewPoint ConvertFromWindow(const ViewPoint& window_point) const;

private:
    friend class Window;
    void SetWindow(Window* window) { m_window = window; }

    ViewRect m_frame;
    bool m_hidden = false;
    std::vector<View*> m_subviews;
    View* m_superview = nullptr;
    Window* m_window = nullptr;
    int m_displayCount = 0;
    std::vector<TrackingArea> m_tracking;
};

bool PointInRect(const ViewPoint& p, const ViewRect& r);

}  // namespace zplat
