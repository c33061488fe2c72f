#pragma once
// A host frame that writes down every resize the view asks for.

#include <vector>

#include "pluginterfaces/gui/iplugview.h"

namespace kestravel::plugins::testing {

class FakePlugFrame : public Steinberg::IPlugFrame {
public:
    std::vector<Steinberg::ViewRect> resizes;

    Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override
    {
        if (!view || !newSize)
            return Steinberg::kInvalidArgument;
        resizes.push_back(*newSize);
        return view->onSize(newSize); // as a host does once its window has the new size
    }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID, void** obj) override
    {
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    // Lives on the test's stack.
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
};

} // namespace kestravel::plugins::testing
