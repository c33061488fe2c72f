// The host context handed to modules in initialize, with the message objects it creates.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "kestravel_host/com_object.h"
#include "pluginterfaces/vst/ivstattributes.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"

namespace kestravel::plugins {

// [UI thread]
class HostAttributeList final : public RefCountedObject<Steinberg::Vst::IAttributeList>
{
public:
    Steinberg::tresult PLUGIN_API setInt(AttrID id, Steinberg::int64 value) override;
    Steinberg::tresult PLUGIN_API getInt(AttrID id, Steinberg::int64& value) override;
    Steinberg::tresult PLUGIN_API setFloat(AttrID id, double value) override;
    Steinberg::tresult PLUGIN_API getFloat(AttrID id, double& value) override;
    Steinberg::tresult PLUGIN_API setString(AttrID id, const Steinberg::Vst::TChar* string) override;
    Steinberg::tresult PLUGIN_API getString(AttrID id, Steinberg::Vst::TChar* string, Steinberg::uint32 sizeInBytes) override;
    Steinberg::tresult PLUGIN_API setBinary(AttrID id, const void* data, Steinberg::uint32 sizeInBytes) override;
    Steinberg::tresult PLUGIN_API getBinary(AttrID id, const void*& data, Steinberg::uint32& sizeInBytes) override;

private:
    using Value = std::variant<Steinberg::int64, double, std::u16string, std::vector<std::uint8_t>>;
    std::map<std::string, Value> values_;
};

// [UI thread]
class HostMessage final : public RefCountedObject<Steinberg::Vst::IMessage>
{
public:
    HostMessage();
    Steinberg::FIDString PLUGIN_API getMessageID() override;
    void PLUGIN_API setMessageID(Steinberg::FIDString id) override;
    Steinberg::Vst::IAttributeList* PLUGIN_API getAttributes() override;

private:
    ~HostMessage() override;
    std::string id_;
    bool hasId_ = false;
    HostAttributeList* attributes_;
};

// [UI thread]
class HostApplication final : public RefCountedObject<Steinberg::Vst::IHostApplication>
{
public:
    static constexpr const char* kName = "KESTRAVEL rackhost";
    Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::TUID cid, Steinberg::TUID wanted, void** obj) override;
};

} // namespace kestravel::plugins
