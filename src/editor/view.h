#pragma once
// The editor view that a module hands to its host.

#include "editor/editor_edits.h"
#include "editor/editor_host.h"
#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/gui/iplugview.h"

namespace kestravel::plugins {

// Where the view finds the host's component handler, asked anew on each right-click (hosts
// may set it after the view exists). Null when the host gave none.
class ComponentHandlerSource {
public:
    virtual ~ComponentHandlerSource() = default;
    virtual Steinberg::FUnknown* hostComponentHandler() const = 0;
};

// [UI thread] A new 960 x 580 editor view of host, with one reference for the caller. Drags
// reach the module through edits as one gesture each; everything else through host.
// owner (may be null) is the object that keeps host alive: the view holds a reference on it
// for its whole life and drops it last, in its destructor. Besides IPlugView the view answers
// queryInterface for IPlugViewContentScaleSupport, IParameterFinder and IEditorSnapshot
// (kestravel/ieditorsnapshot.h). handlers (may be null; must outlive the view, as owner keeps
// it) lets a right-click on a control open the host's context menu of its parameter.
Steinberg::IPlugView* createEditorView(EditorHost& host, EditorEdits& edits, Steinberg::FUnknown* owner,
                                       const ComponentHandlerSource* handlers = nullptr);

} // namespace kestravel::plugins
