#include "View.h"

#include <algorithm>

#include "GraphicsContext.h"
#include "Window.h"

namespace zplat {

View::View() = default;

View::View(const ViewRect& frame) : m_frame(frame) {}

View::~View() {
    // The window keeps a plain pointer to its content view: it must not reach a dead one.
    if (m_window) m_window->ForgetContentView(this);
    for (View* child : m_subviews) child->m_superview = nullptr;
    RemoveFromSuperview();
}

void View::SetFrame(const ViewRect& frame) {
    double w = m_frame.width, h = m_frame.height;
    m_frame = frame;
    if (w != frame.width || h != frame.height) ResizeSubviewsWithOldSize(w, h);
}

void View::SetHidden(bool hidden) {
    if (m_hidden == hidden) return;
    m_hidden = hidden;
    if (Window* w = GetWindow()) w->SetNeedsDisplay();
}

void View::AddSubview(View* child) {
    if (!child || child == this) return;
    child->RemoveFromSuperview();
    child->m_superview = this;
    m_subviews.push_back(child);
}

void View::RemoveFromSuperview() {
    if (!m_superview) return;
    auto& list = m_superview->m_subviews;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    m_superview = nullptr;
}

Window* View::GetWindow() const {
    const View* v = this;
    while (v->m_superview) v = v->m_superview;
    return v->m_window;
}

void View::Display() {
    ++m_displayCount;
    if (Window* w = GetWindow()) w->SetNeedsDisplay();
}

void View::AddTrackingArea(const TrackingArea& area) { m_tracking.push_back(area); }

void View::RemoveAllTrackingAreas() { m_tracking.clear(); }

void View::DrawRect(GraphicsContext&, const ViewRect&) {}
void View::ViewWillMoveToWindow(Window*) {}
void View::UpdateTrackingAreas() {}
void View::MouseMoved(const ViewPoint&) {}
void View::MouseDown(const ViewPoint&) {}
void View::ResizeSubviewsWithOldSize(double, double) {}

void View::DrawTree(GraphicsContext& context) {
    if (m_hidden) return;
    context.SaveGState();
    context.Translate(m_frame.x, m_frame.y);
    context.ClipToRect(0, 0, m_frame.width, m_frame.height);
    if (!IsFlipped()) {
        // Unflipped views draw with y up from their bottom edge.
        context.Translate(0, m_frame.height);
        context.Scale(1, -1);
    }
    DrawRect(context, Bounds());
    if (!IsFlipped()) {
        context.Scale(1, -1);
        context.Translate(0, -m_frame.height);
    }
    for (View* child : m_subviews) child->DrawTree(context);
    context.RestoreGState();
}

ViewPoint View::ConvertFromWindow(const ViewPoint& window_point) const {
    ViewPoint p = window_point;
    std::vector<const View*> chain;
    for (const View* v = this; v; v = v->m_superview) chain.push_back(v);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        p.x -= (*it)->m_frame.x;
        p.y -= (*it)->m_frame.y;
    }
    if (!IsFlipped()) p.y = m_frame.height - p.y;
    return p;
}

bool PointInRect(const ViewPoint& p, const ViewRect& r) {
    return p.x >= r.x && p.x <= r.x + r.width && p.y >= r.y && p.y <= r.y + r.height;
}

}  // namespace zplat
