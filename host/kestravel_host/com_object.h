// Reference counting and queryInterface for the objects the host hands to modules.
#pragma once

#include <atomic>
#include <cstring>
#include <utility>

#include "pluginterfaces/base/funknown.h"

namespace kestravel::plugins {

inline bool sameIid(const Steinberg::TUID a, const Steinberg::FUID& b)
{
    return std::memcmp(a, static_cast<const Steinberg::TUID&>(b), sizeof(Steinberg::TUID)) == 0;
}

// Answers FUnknown with the first interface, then each listed interface by its own id.
template <class Self, class First, class... Rest>
Steinberg::tresult queryListedInterfaces(Self* self, const Steinberg::TUID queried, void** obj)
{
    if (obj == nullptr)
        return Steinberg::kInvalidArgument;
    void* found = nullptr;
    if (sameIid(queried, Steinberg::FUnknown::iid))
        found = static_cast<Steinberg::FUnknown*>(static_cast<First*>(self));
    else if (sameIid(queried, First::iid))
        found = static_cast<First*>(self);
    else
    {
        auto tryOne = [&](void* typed, const Steinberg::FUID& id) {
            if (found == nullptr && sameIid(queried, id))
                found = typed;
        };
        (tryOne(static_cast<Rest*>(self), Rest::iid), ...);
        (void)tryOne;
    }
    if (found == nullptr)
    {
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    self->addRef();
    *obj = found;
    return Steinberg::kResultOk;
}

// Heap object shared with modules: starts with one reference, deletes itself at zero.
template <class... Interfaces>
class RefCountedObject : public Interfaces...
{
public:
    RefCountedObject() = default;
    RefCountedObject(const RefCountedObject&) = delete;
    RefCountedObject& operator=(const RefCountedObject&) = delete;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queried, void** obj) override
    {
        return queryListedInterfaces<RefCountedObject, Interfaces...>(this, queried, obj);
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return ++refs_; }
    Steinberg::uint32 PLUGIN_API release() override
    {
        const Steinberg::uint32 left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~RefCountedObject() = default;

private:
    std::atomic<Steinberg::uint32> refs_{1};
};

// Object owned by a host container (process data members): counting never frees it.
template <class... Interfaces>
class EmbeddedObject : public Interfaces...
{
public:
    EmbeddedObject() = default;
    EmbeddedObject(const EmbeddedObject&) = delete;
    EmbeddedObject& operator=(const EmbeddedObject&) = delete;
    virtual ~EmbeddedObject() = default;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queried, void** obj) override
    {
        return queryListedInterfaces<EmbeddedObject, Interfaces...>(this, queried, obj);
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
};

// Owning pointer to a counted interface.
template <class T>
class Ref
{
public:
    Ref() = default;
    // Takes over one reference the caller already holds.
    static Ref adopt(T* p)
    {
        Ref r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own.
    static Ref share(T* p)
    {
        if (p != nullptr)
            p->addRef();
        return adopt(p);
    }
    Ref(const Ref& o) : p_(o.p_)
    {
        if (p_ != nullptr)
            p_->addRef();
    }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref() { reset(); }

    void reset()
    {
        if (T* p = std::exchange(p_, nullptr))
            p->release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// queryInterface with the result owned; empty when the object does not offer I.
template <class I>
Ref<I> queryRef(Steinberg::FUnknown* unknown)
{
    if (unknown == nullptr)
        return {};
    void* obj = nullptr;
    if (unknown->queryInterface(I::iid, &obj) != Steinberg::kResultOk || obj == nullptr)
        return {};
    return Ref<I>::adopt(static_cast<I*>(obj));
}

} // namespace kestravel::plugins
