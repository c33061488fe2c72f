#pragma once
// A private interface of the module's editor view (ask the IPlugView for it with
// queryInterface): renders the editor's picture and drives its mouse handling without a
// window, for the command-line host, tests and screenshots. Not part of VST 3; a DAW never
// sees it.
//
// Each binary that uses IEditorSnapshot::iid writes DEF_CLASS_IID (IEditorSnapshot) once,
// inside namespace kestravel::plugins, in one of its source files.

#include "pluginterfaces/base/funknown.h"

namespace kestravel::plugins {

// Every method runs on the UI thread, like the view itself.
class IEditorSnapshot : public Steinberg::FUnknown {
public:
    // Writes the current 960 x 580 picture as a PNG file (UTF-8 path). kResultOk, kResultFalse
    // when the file cannot be written, kInvalidArgument for a null path.
    virtual Steinberg::tresult PLUGIN_API renderPng(const Steinberg::char8* utf8Path) = 0;

    // Paints the current picture into width x height words of 0xFFRRGGBB, top row first.
    // The size must be 960 x 580 (kInvalidArgument otherwise).
    virtual Steinberg::tresult PLUGIN_API renderPixels(Steinberg::uint32* argb, Steinberg::int32 width,
                                                      Steinberg::int32 height) = 0;

    // A left-button press, motion with the button held, and the release, at client pixels.
    // With a window they arrive as its window messages; without one they go straight to the
    // editor's handling.
    virtual Steinberg::tresult PLUGIN_API mouseDown(Steinberg::int32 x, Steinberg::int32 y) = 0;
    virtual Steinberg::tresult PLUGIN_API mouseDrag(Steinberg::int32 x, Steinberg::int32 y) = 0;
    virtual Steinberg::tresult PLUGIN_API mouseUp() = 0;

    // From now on this view shows no system dialogs: every open or save dialog answers
    // utf8Path at once (null or empty: the user cancels), and message boxes are only
    // remembered. Without a window system (Linux) this is always so.
    virtual Steinberg::tresult PLUGIN_API setDialogAnswer(const Steinberg::char8* utf8Path) = 0;

    // Copies the text of the last remembered message box, NUL-terminated and cut to size
    // bytes, as UTF-8. kResultTrue when a message box was shown, kResultFalse (and an empty
    // text) when none was.
    virtual Steinberg::tresult PLUGIN_API getLastMessage(Steinberg::char8* utf8, Steinberg::int32 size) = 0;

    static const Steinberg::FUID iid;
};

DECLARE_CLASS_IID(IEditorSnapshot, 0x4B455354, 0x52415645, 0x4C454449, 0x54534E50)

} // namespace kestravel::plugins
