#pragma once
// A host's component handler that offers context menus (IComponentHandler3) and writes down
// every menu a view asks for and where it was popped up. With menus switched off it answers
// like a host that has none.

#include <functional>
#include <vector>

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace kestravel::plugins::testing {

struct MenuRequest {
    Steinberg::IPlugView* view = nullptr;
    bool forParameter = false;
    Steinberg::Vst::ParamID id = 0;
    int popups = 0;
    Steinberg::UCoord x = -1;
    Steinberg::UCoord y = -1;
};

inline bool sameId(const Steinberg::TUID a, const Steinberg::FUID& b)
{
    return Steinberg::FUnknownPrivate::iidEqual(a, b.toTUID());
}

class FakeMenuHost : public Steinberg::Vst::IComponentHandler, public Steinberg::Vst::IComponentHandler3 {
public:
    bool offersMenus = true;
    std::vector<MenuRequest> requests;
    int edits = 0;
    int menusAlive = 0; // menus handed out and not yet released
    std::function<void()> whileShown; // what the host does while its menu is up

    // IComponentHandler
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID) override { return ++edits, Steinberg::kResultOk; }
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue) override
    {
        return ++edits, Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID) override { return ++edits, Steinberg::kResultOk; }
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32) override { return Steinberg::kResultOk; }

    // IComponentHandler3
    Steinberg::Vst::IContextMenu* PLUGIN_API createContextMenu(Steinberg::IPlugView* view,
                                                               const Steinberg::Vst::ParamID* id) override
    {
        requests.push_back({view, id != nullptr, id ? *id : 0});
        return new Menu(*this, requests.size() - 1);
    }

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID wanted, void** obj) override
    {
        if (sameId(wanted, Steinberg::FUnknown::iid) || sameId(wanted, Steinberg::Vst::IComponentHandler::iid)) {
            *obj = static_cast<Steinberg::Vst::IComponentHandler*>(this);
            return Steinberg::kResultOk;
        }
        if (offersMenus && sameId(wanted, Steinberg::Vst::IComponentHandler3::iid)) {
            *obj = static_cast<Steinberg::Vst::IComponentHandler3*>(this);
            return Steinberg::kResultOk;
        }
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    // Lives on the test's stack.
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

private:
    class Menu final : public Steinberg::Vst::IContextMenu {
    public:
        Menu(FakeMenuHost& h, size_t i) : host(h), index(i) { ++host.menusAlive; }
        Steinberg::int32 PLUGIN_API getItemCount() override { return 0; }
        Steinberg::tresult PLUGIN_API getItem(Steinberg::int32, Item&, Steinberg::Vst::IContextMenuTarget**) override
        {
            return Steinberg::kResultFalse;
        }
        Steinberg::tresult PLUGIN_API addItem(const Item&, Steinberg::Vst::IContextMenuTarget*) override
        {
            return Steinberg::kResultOk;
        }
        Steinberg::tresult PLUGIN_API removeItem(const Item&, Steinberg::Vst::IContextMenuTarget*) override
        {
            return Steinberg::kResultOk;
        }
        Steinberg::tresult PLUGIN_API popup(Steinberg::UCoord x, Steinberg::UCoord y) override
        {
            MenuRequest& r = host.requests[index];
            ++r.popups;
            r.x = x;
            r.y = y;
            if (host.whileShown)
                host.whileShown();
            return Steinberg::kResultOk;
        }
        Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID wanted, void** obj) override
        {
            if (sameId(wanted, Steinberg::FUnknown::iid) || sameId(wanted, Steinberg::Vst::IContextMenu::iid)) {
                addRef();
                *obj = this;
                return Steinberg::kResultOk;
            }
            *obj = nullptr;
            return Steinberg::kNoInterface;
        }
        Steinberg::uint32 PLUGIN_API addRef() override { return ++references; }
        Steinberg::uint32 PLUGIN_API release() override
        {
            const Steinberg::uint32 left = --references;
            if (left == 0) {
                --host.menusAlive;
                delete this;
            }
            return left;
        }

    private:
        FakeMenuHost& host;
        size_t index;
        Steinberg::uint32 references = 1;
    };
};

} // namespace kestravel::plugins::testing
