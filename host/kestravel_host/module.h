// Loading a VST 3 module from a bundle folder or a binary, as a DAW's scanner does.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kestravel_host/com_object.h"
#include "pluginterfaces/base/ipluginbase.h"

namespace kestravel::plugins {

// What the factory says about itself.
struct FactoryDescription
{
    std::string vendor;
    std::string url;
    std::string email;
    Steinberg::int32 flags = 0;
};

// One class, merged from PClassInfo, PClassInfo2 and PClassInfoW (the richest one wins).
struct ClassDescription
{
    std::array<char, 16> cid{};
    Steinberg::int32 cardinality = 0;
    std::string category;
    std::string name;
    Steinberg::uint32 classFlags = 0;
    std::string subCategories;
    std::string vendor;
    std::string version;
    std::string sdkVersion;
    int infoLevel = 1; // 1: PClassInfo, 2: PClassInfo2, 3: PClassInfoW
};

// The four 32-bit words of a class ID, in the byte order this platform's IDs use.
std::array<std::uint32_t, 4> classIdWords(const std::array<char, 16>& cid);
std::string classIdText(const std::array<char, 16>& cid);

// The binary a bundle folder holds for this platform (Contents/<arch>/<name>.so or .vst3).
std::filesystem::path bundleBinaryPath(const std::filesystem::path& bundle);

class Module
{
public:
    // Accepts a bundle folder or the binary itself. Throws HostError with the reason.
    static std::unique_ptr<Module> load(const std::filesystem::path& path);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const std::filesystem::path& binaryPath() const { return binary_; }
    Steinberg::IPluginFactory* factory() const { return factory_.get(); }
    FactoryDescription factoryDescription() const;
    std::vector<ClassDescription> classes() const;
    // Calls IPluginFactory3::setHostContext when the factory has it.
    void setHostContext(Steinberg::FUnknown* context);

private:
    Module() = default;
    void unload();

    std::filesystem::path binary_;
    void* handle_ = nullptr;
    bool entered_ = false;
    Ref<Steinberg::IPluginFactory> factory_;
};

} // namespace kestravel::plugins
