#pragma once
// The editor view that a module hands to its host.

#include "editor/editor_host.h"
#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/gui/iplugview.h"

namespace kestravel::plugins {

// [UI thread] A new 960 x 580 editor view of host, with one reference for the caller.
// owner (may be null) is the object that keeps host alive: the view holds a reference on it
// for its whole life and drops it last, in its destructor. Besides IPlugView the view answers
// queryInterface for IEditorSnapshot (kestravel/ieditorsnapshot.h).
Steinberg::IPlugView* createEditorView(EditorHost& host, Steinberg::FUnknown* owner);

} // namespace kestravel::plugins
