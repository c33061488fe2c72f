#pragma once
// The PLAYER's source file and the RECORDER's destination, chosen in the system's dialog.

#include "editor/editor_dialogs.h"
#include "editor/editor_host.h"

namespace kestravel::plugins {

// [UI thread] Runs the open (PLAYER) or save (other kinds) dialog and hands the path to
// setFile when the answer arrives; a refusal is shown in an error box. True when the module
// took the new file before this returned (modal dialogs); false when it did not, or when the
// answer is still to come.
bool chooseFile(EditorHost& host, EditorDialogs& dialogs, void* owner);

} // namespace kestravel::plugins
