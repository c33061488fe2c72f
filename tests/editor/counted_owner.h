#pragma once
// An object that only counts the references taken on it.

#include <atomic>

#include "pluginterfaces/base/funknown.h"

namespace kestravel::plugins::testing {

class CountedOwner : public Steinberg::FUnknown {
public:
    std::atomic<int> references{1};

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID, void** obj) override
    {
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return static_cast<Steinberg::uint32>(++references); }
    Steinberg::uint32 PLUGIN_API release() override { return static_cast<Steinberg::uint32>(--references); }
};

} // namespace kestravel::plugins::testing
