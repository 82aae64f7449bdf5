#include "AlertDialog.h"

#include <gtk/gtk.h>

#include "Alert.h"
#include "Toplevel.h"

namespace zplat {

void InstallDialogAlert() {
    SetAlertHook([](const std::string& text, const std::string& button) {
        GtkWindow* parent = DialogParent();
        GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                                   GTK_BUTTONS_NONE, "%s", text.c_str());
        gtk_dialog_add_button(GTK_DIALOG(dialog), button.c_str(), GTK_RESPONSE_OK);
        gtk_window_set_position(GTK_WINDOW(dialog), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
        gtk_dialog_run(GTK_DIALOG(dialog));
        gtk_widget_destroy(dialog);
    });
}

}  // namespace zplat
