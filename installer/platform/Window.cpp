#include "Window.h"

#include <gtk/gtk.h>

#include "Application.h"
#include "GraphicsContext.h"

namespace zplat {
namespace {

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer self) {
    static_cast<Window*>(self)->RenderInto(cr);
    return TRUE;
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* event, gpointer self) {
    static_cast<Window*>(self)->HandlePointerMotion(event->x, event->y);
    return TRUE;
}

gboolean OnButton(GtkWidget*, GdkEventButton* event, gpointer self) {
    if (event->type == GDK_BUTTON_PRESS && event->button == 1) {
        static_cast<Window*>(self)->HandleButtonPress(event->x, event->y);
    }
    return TRUE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<Window*>(self)->HandleDeleteRequest();
    return TRUE;  // the window closes itself when it may
}

}  // namespace

Window::Window(double width, double height, unsigned style_mask)
    : m_width(width), m_height(height), m_style(style_mask) {
    if (!Application::Shared().HasDisplay()) return;
    m_widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(m_widget), (style_mask & kWindowStyleTitled) != 0);
    // Without a title bar there is no frame to resize by: the face is laid out once.
    gtk_window_set_resizable(GTK_WINDOW(m_widget), FALSE);
    m_area = gtk_drawing_area_new();
    gtk_widget_set_size_request(m_area, static_cast<int>(width), static_cast<int>(height));
    gtk_widget_add_events(m_area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK);
    gtk_container_add(GTK_CONTAINER(m_widget), m_area);
    g_signal_connect(m_area, "draw", G_CALLBACK(OnDraw), this);
    g_signal_connect(m_area, "motion-notify-event", G_CALLBACK(OnMotion), this);
    g_signal_connect(m_area, "button-press-event", G_CALLBACK(OnButton), this);
    g_signal_connect(m_widget, "delete-event", G_CALLBACK(OnDelete), this);
}

Window::~Window() {
    if (m_widget && !m_closed) gtk_widget_destroy(m_widget);
    if (m_content) m_content->SetWindow(nullptr);
}

void Window::ForgetContentView(View* view) {
    if (m_content != view) return;
    m_content = nullptr;
    SetNeedsDisplay();
}

void Window::SetTitle(const std::string& title) {
    m_title = title;
    if (m_widget) gtk_window_set_title(GTK_WINDOW(m_widget), title.c_str());
}

void Window::Center() {
    if (m_widget) gtk_window_set_position(GTK_WINDOW(m_widget), GTK_WIN_POS_CENTER);
}

void Window::MakeKeyAndOrderFront() {
    m_visible = true;
    if (m_widget) {
        gtk_widget_show_all(m_widget);
        gtk_window_present(GTK_WINDOW(m_widget));
    }
}

void Window::SetContentView(View* view) {
    if (m_content) m_content->SetWindow(nullptr);
    // A view shows in one window at a time.
    if (view && view->m_window && view->m_window != this) view->m_window->ForgetContentView(view);
    if (view) view->ViewWillMoveToWindow(this);
    m_content = view;
    if (!view) return;
    view->RemoveFromSuperview();
    view->SetWindow(this);
    view->SetFrame(ViewRect{0, 0, m_width, m_height});
    view->UpdateTrackingAreas();
    SetNeedsDisplay();
}

bool Window::PerformClose() {
    if (m_closed) return true;
    if (m_content && !m_content->WindowShouldClose()) return false;
    Close();
    return true;
}

void Window::Close() {
    if (m_closed) return;
    m_closed = true;
    m_visible = false;
    if (m_widget) {
        gtk_widget_destroy(m_widget);
        m_widget = m_area = nullptr;
    }
    Application::Shared().WindowDidClose(this);
}

void Window::SetNeedsDisplay() {
    ++m_redrawRequests;
    if (m_area) gtk_widget_queue_draw(m_area);
}

void Window::RenderInto(cairo_t* cr) {
    if (!m_content) return;
    GraphicsContext context(cr);
    m_content->DrawTree(context);
}

void Window::HandlePointerMotion(double x, double y) {
    if (!m_content || m_closed) return;
    ViewPoint p = m_content->ConvertFromWindow(ViewPoint{x, y});
    for (const TrackingArea& area : m_content->TrackingAreas()) {
        if ((area.options & kTrackMouseMoved) && PointInRect(p, area.rect)) {
            m_content->MouseMoved(p);
            return;
        }
    }
}

void Window::HandleButtonPress(double x, double y) {
    if (!m_content || m_closed) return;
    m_content->MouseDown(m_content->ConvertFromWindow(ViewPoint{x, y}));
}

bool Window::HandleDeleteRequest() { return PerformClose(); }

}  // namespace zplat
