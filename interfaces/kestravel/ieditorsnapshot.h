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
    // Writes the current picture as a PNG file (UTF-8 path): 960 x 580, or that times the
    // factor a host gave through IPlugViewContentScaleSupport (the size getSize reports).
    // kResultOk, kResultFalse when the file cannot be written, kInvalidArgument for a null path.
    virtual Steinberg::tresult PLUGIN_API renderPng(const Steinberg::char8* utf8Path) = 0;

    // Paints the current picture into width x height words of 0xFFRRGGBB, top row first.
    // The size must be the view's (getSize; 960 x 580 at scale 1), kInvalidArgument otherwise.
    virtual Steinberg::tresult PLUGIN_API renderPixels(Steinberg::uint32* argb, Steinberg::int32 width,
                                                      Steinberg::int32 height) = 0;

    // A left-button press, motion with the button held, and the release, at client pixels
    // (device pixels: at a scale, the picture's pixels). With a window they arrive as its
    // window messages; without one they go straight to the editor's handling.
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

    // The same with the keys held (kEditorModifier... bits) and the second press of a double
    // click; motion with keys; the wheel (notches, positive up) with the pointer at (x, y);
    // and the loss of the mouse capture in the middle of a drag.
    virtual Steinberg::tresult PLUGIN_API pointerPress(Steinberg::int32 x, Steinberg::int32 y,
                                                       Steinberg::uint32 modifiers, Steinberg::TBool doubleClick) = 0;
    virtual Steinberg::tresult PLUGIN_API pointerMove(Steinberg::int32 x, Steinberg::int32 y,
                                                      Steinberg::uint32 modifiers) = 0;
    // kResultTrue when a control was under the pointer, kResultFalse otherwise. The wheel
    // goes straight to the editor, also while the view has a window.
    virtual Steinberg::tresult PLUGIN_API pointerWheel(Steinberg::int32 x, Steinberg::int32 y, float notches,
                                                       Steinberg::uint32 modifiers) = 0;
    virtual Steinberg::tresult PLUGIN_API pointerCaptureLost() = 0;

    static const Steinberg::FUID iid;
};

// Keys for pointerPress, pointerMove and pointerWheel.
inline constexpr Steinberg::uint32 kEditorModifierShift = 1u << 0;
inline constexpr Steinberg::uint32 kEditorModifierControl = 1u << 1;

// A new id for the second version of the interface (pointer methods with keys and the wheel).
DECLARE_CLASS_IID(IEditorSnapshot, 0x4B455354, 0x52415645, 0x4C454449, 0x54534E32)

} // namespace kestravel::plugins
