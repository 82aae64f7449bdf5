#include "SavePanel.h"

#include <gtk/gtk.h>

#include "Log.h"
#include "MainQueue.h"
#include "Toplevel.h"

namespace zplat {

std::string RunSavePanel(const std::string& suggested_name, const std::vector<std::string>& types) {
    if (!IsMainThread() || !gdk_display_get_default()) {
        LogLine("the save panel needs the toolkit's main thread");
        return std::string();
    }
    GtkWidget* dialog = gtk_file_chooser_dialog_new(nullptr, DialogParent(), GTK_FILE_CHOOSER_ACTION_SAVE,
                                                    "_Cancel", GTK_RESPONSE_CANCEL, "_Save",
                                                    GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);  // Return saves
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    gtk_file_chooser_set_current_name(chooser, suggested_name.c_str());
    if (!types.empty()) {
        GtkFileFilter* filter = gtk_file_filter_new();
        for (const std::string& t : types) {
            gtk_file_filter_add_pattern(filter, ("*." + t).c_str());
        }
        gtk_file_chooser_set_filter(chooser, filter);  // the chooser takes the floating reference
    }
    // The shielding level: nothing of ours, nor of anyone else, hides the panel.
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    std::string path;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        if (char* chosen = gtk_file_chooser_get_filename(chooser)) {
            path = chosen;
            g_free(chosen);
        }
    }
    gtk_widget_destroy(dialog);
    return path;
}

}  // namespace zplat
