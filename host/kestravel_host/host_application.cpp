#include "kestravel_host/host_application.h"

#include <cstring>

#include "kestravel_host/utf.h"

namespace kestravel::plugins {

using namespace Steinberg;

tresult PLUGIN_API HostAttributeList::setInt(AttrID id, int64 value)
{
    if (id == nullptr)
        return kInvalidArgument;
    values_[id] = value;
    return kResultOk;
}

tresult PLUGIN_API HostAttributeList::getInt(AttrID id, int64& value)
{
    if (id == nullptr)
        return kInvalidArgument;
    auto it = values_.find(id);
    if (it == values_.end() || !std::holds_alternative<int64>(it->second))
        return kResultFalse;
    value = std::get<int64>(it->second);
    return kResultOk;
}

tresult PLUGIN_API HostAttributeList::setFloat(AttrID id, double value)
{
    if (id == nullptr)
        return kInvalidArgument;
    values_[id] = value;
    return kResultOk;
}

tresult PLUGIN_API HostAttributeList::getFloat(AttrID id, double& value)
{
    if (id == nullptr)
        return kInvalidArgument;
    auto it = values_.find(id);
    if (it == values_.end() || !std::holds_alternative<double>(it->second))
        return kResultFalse;
    value = std::get<double>(it->second);
    return kResultOk;
}

tresult PLUGIN_API HostAttributeList::setString(AttrID id, const Vst::TChar* string)
{
    if (id == nullptr || string == nullptr)
        return kInvalidArgument;
    std::u16string text;
    for (const Vst::TChar* p = string; *p != 0; ++p)
        text.push_back(static_cast<char16_t>(*p));
    values_[id] = std::move(text);
    return kResultOk;
}

tresult PLUGIN_API HostAttributeList::getString(AttrID id, Vst::TChar* string, uint32 sizeInBytes)
{
    if (id == nullptr || string == nullptr)
        return kInvalidArgument;
    auto it = values_.find(id);
    if (it == values_.end() || !std::holds_alternative<std::u16string>(it->second))
        return kResultFalse;
    copyUtf16(std::get<std::u16string>(it->second), string, sizeInBytes / sizeof(Vst::TChar));
    return kResultOk;
}

tresult PLUGIN_API HostAttributeList::setBinary(AttrID id, const void* data, uint32 sizeInBytes)
{
    if (id == nullptr || (data == nullptr && sizeInBytes != 0))
        return kInvalidArgument;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    values_[id] = std::vector<std::uint8_t>(bytes, bytes + sizeInBytes);
    return kResultOk;
}

tresult PLUGIN_API HostAttributeList::getBinary(AttrID id, const void*& data, uint32& sizeInBytes)
{
    if (id == nullptr)
        return kInvalidArgument;
    auto it = values_.find(id);
    if (it == values_.end() || !std::holds_alternative<std::vector<std::uint8_t>>(it->second))
        return kResultFalse;
    const auto& bytes = std::get<std::vector<std::uint8_t>>(it->second);
    data = bytes.data();
    sizeInBytes = static_cast<uint32>(bytes.size());
    return kResultOk;
}

HostMessage::HostMessage() : attributes_(new HostAttributeList()) {}

HostMessage::~HostMessage() { attributes_->release(); }

FIDString PLUGIN_API HostMessage::getMessageID() { return hasId_ ? id_.c_str() : nullptr; }

void PLUGIN_API HostMessage::setMessageID(FIDString id)
{
    hasId_ = id != nullptr;
    id_ = hasId_ ? id : "";
}

Vst::IAttributeList* PLUGIN_API HostMessage::getAttributes() { return attributes_; }

tresult PLUGIN_API HostApplication::getName(Vst::String128 name)
{
    if (name == nullptr)
        return kInvalidArgument;
    copyUtf16(utf8ToUtf16(kName), name, 128);
    return kResultOk;
}

tresult PLUGIN_API HostApplication::createInstance(TUID cid, TUID wanted, void** obj)
{
    if (obj == nullptr)
        return kInvalidArgument;
    *obj = nullptr;
    if (cid == nullptr || wanted == nullptr)
        return kInvalidArgument;
    if (sameIid(cid, Vst::IMessage::iid) && sameIid(wanted, Vst::IMessage::iid))
    {
        *obj = static_cast<Vst::IMessage*>(new HostMessage());
        return kResultOk;
    }
    if (sameIid(cid, Vst::IAttributeList::iid) && sameIid(wanted, Vst::IAttributeList::iid))
    {
        *obj = static_cast<Vst::IAttributeList*>(new HostAttributeList());
        return kResultOk;
    }
    return kResultFalse;
}

} // namespace kestravel::plugins
