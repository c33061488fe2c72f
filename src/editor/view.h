#pragma once
// The editor view that a module hands to its host.

#include "editor/editor_edits.h"
#include "editor/editor_host.h"
#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/gui/iplugview.h"

namespace kestravel::plugins {

// [UI thread] A new 960 x 580 editor view of host, with one reference for the caller. Drags
// reach the module through edits as one gesture each; everything else through host.
// owner (may be null) is the object that keeps host alive: the view holds a reference on it
// for its whole life and drops it last, in its destructor. Besides IPlugView the view answers
// queryInterface for IPlugViewContentScaleSupport and for IEditorSnapshot
// (kestravel/ieditorsnapshot.h).
Steinberg::IPlugView* createEditorView(EditorHost& host, EditorEdits& edits, Steinberg::FUnknown* owner);

} // namespace kestravel::plugins
