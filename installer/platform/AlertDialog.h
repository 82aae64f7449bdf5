// The warning alert as a modal GTK message dialog, installed as the alert hook once the
// toolkit is up. The hook runs on the main thread only.
#pragma once

namespace zplat {

void InstallDialogAlert();

}  // namespace zplat
