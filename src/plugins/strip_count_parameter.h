#pragma once
// "Active strips / branches": a range parameter of 63 steps whose plain value and text come
// from the one strip-count rule the engine and the editor use.

#include "core/parameter_ids.h"

#include "pluginterfaces/base/ustring.h"
#include "public.sdk/source/vst/vstparameters.h"

namespace kestravel::plugins {

class StripCountParameter : public Steinberg::Vst::RangeParameter {
public:
    StripCountParameter(const Steinberg::Vst::TChar* title, Steinberg::Vst::ParamID id,
                        Steinberg::int32 flags)
        : RangeParameter(title, id, nullptr, 1.0, static_cast<double>(kMaxStrips), 8.0,
                         static_cast<Steinberg::int32>(kMaxStrips) - 1, flags,
                         Steinberg::Vst::kRootUnitId)
    {
    }

    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const SMTG_OVERRIDE
    {
        return activeStripCount(normalized);
    }

    void toString(Steinberg::Vst::ParamValue normalized,
                  Steinberg::Vst::String128 string) const SMTG_OVERRIDE
    {
        Steinberg::UString text(string, 128);
        if (!text.printInt(activeStripCount(normalized)))
            string[0] = 0;
    }
};

} // namespace kestravel::plugins
