#include "Toplevel.h"

#include <gtk/gtk.h>

namespace zplat {

std::vector<GtkWindow*> VisibleToplevels() {
    std::vector<GtkWindow*> out;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* l = toplevels; l; l = l->next) {
        if (gtk_widget_get_visible(GTK_WIDGET(l->data))) out.push_back(GTK_WINDOW(l->data));
    }
    g_list_free(toplevels);
    return out;
}

GtkWindow* DialogParent() {
    std::vector<GtkWindow*> all = VisibleToplevels();
    return all.empty() ? nullptr : all.back();
}

}  // namespace zplat
