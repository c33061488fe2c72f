#pragma once
// A private interface of the module object (ask its IComponent with queryInterface): what the
// module would tell its user about its file and its take, for the command-line host and the
// tests. Not part of VST 3; a DAW never asks for it.
//
// Each binary that uses IModuleReport::iid writes DEF_CLASS_IID (IModuleReport) once, inside
// namespace kestravel::plugins, in one of its source files.

#include "pluginterfaces/base/funknown.h"

namespace kestravel::plugins {

// RECORDER's current or last take, over all its files.
struct TakeReport {
    Steinberg::uint64 framesWritten = 0;
    Steinberg::uint64 framesDropped = 0;
    Steinberg::int32 files = 0;    // files the take has created so far
    Steinberg::int32 failed = 0;   // 1: the take ended Failed (a write, the disk, a file)
    Steinberg::int32 finished = 0; // 1: the writer has ended, the files are complete
    // The caller's sizeof (TakeReport). A module fills the fields below only when it is large
    // enough to hold them, and sets it to 0 when it knows none of them; older callers pass 0.
    Steinberg::int32 size = sizeof(TakeReport);
    // The take panel's facts.
    Steinberg::uint64 timelineFrames = 0; // frames on the take's timeline: written and dropped ones
    Steinberg::uint64 bytesWritten = 0;   // every file of the take, headers included
    Steinberg::uint64 freeBytes = ~Steinberg::uint64{0}; // on the destination's disk; all ones: unknown
    Steinberg::uint32 sampleRate = 0;
    Steinberg::uint32 channels = 0;
};

// Every method runs on the UI thread. Texts are UTF-8, NUL-terminated and cut to size bytes.
class IModuleReport : public Steinberg::FUnknown {
public:
    // The status line, as the editor paints it.
    virtual Steinberg::tresult PLUGIN_API getStatusText(Steinberg::char8* utf8, Steinberg::int32 size) = 0;

    // The module's own words for the last file it refused: through setFile, a saved state, or
    // a take it could not arm at activation. kResultFalse (and an empty text) when the last
    // of these succeeded.
    virtual Steinberg::tresult PLUGIN_API getLastFileError(Steinberg::char8* utf8, Steinberg::int32 size) = 0;

    // RECORDER only (kResultFalse for the other kinds): the take's counts, and the path of
    // its file number index (0 is the first; kInvalidArgument past the last).
    virtual Steinberg::tresult PLUGIN_API getTakeReport(TakeReport* report) = 0;
    virtual Steinberg::tresult PLUGIN_API getTakeFile(Steinberg::int32 index, Steinberg::char8* utf8,
                                                      Steinberg::int32 size) = 0;

    static const Steinberg::FUID iid;
};

DECLARE_CLASS_IID(IModuleReport, 0x4B455354, 0x5241564D, 0x4F445245, 0x504F5254)

} // namespace kestravel::plugins
