#include "kestravel_host/module.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <fstream>
#include <system_error>

#include "kestravel_host/host_error.h"
#include "kestravel_host/utf.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kestravel::plugins {

using namespace Steinberg;

std::string resultName(tresult result)
{
    switch (result)
    {
    case kResultOk: return "kResultOk";
    case kResultFalse: return "kResultFalse";
    case kInvalidArgument: return "kInvalidArgument";
    case kNotImplemented: return "kNotImplemented";
    case kInternalError: return "kInternalError";
    case kNotInitialized: return "kNotInitialized";
    case kOutOfMemory: return "kOutOfMemory";
    case kNoInterface: return "kNoInterface";
    default: break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "result 0x%08X", static_cast<unsigned>(result));
    return text;
}

namespace {

using GetFactoryProc = IPluginFactory*(PLUGIN_API*)();

#ifdef _WIN32
constexpr const char* kArchFolder = "x86_64-win";
constexpr const char* kBinarySuffix = ".vst3";
constexpr const char* kBinaryKind = "DLL";
using EntryProc = bool(PLUGIN_API*)();
using ExitProc = bool(PLUGIN_API*)();

std::string lastErrorText(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (n != 0 && buffer != nullptr)
    {
        text = pathToUtf8(std::filesystem::path(std::wstring(buffer, n)));
        LocalFree(buffer);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
            text.pop_back();
    }
    return "error " + std::to_string(code) + (text.empty() ? "" : ": " + text);
}

void* findSymbol(void* handle, const char* name)
{
    // FARPROC goes through the generic function pointer type that casts to anything.
    return reinterpret_cast<void*>(
        reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(handle), name)));
}
#else
// Sanitizer builds keep a closed library mapped: memory that the module's static objects
// still hold at unload then stays reachable, and reports can name the module's code.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kKeepMapped = RTLD_NODELETE;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kKeepMapped = RTLD_NODELETE;
#else
constexpr int kKeepMapped = 0;
#endif
#else
constexpr int kKeepMapped = 0;
#endif

constexpr const char* kArchFolder = "x86_64-linux";
constexpr const char* kBinarySuffix = ".so";
constexpr const char* kBinaryKind = "shared library";
using EntryProc = bool (*)(void*);
using ExitProc = bool (*)();

void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }
#endif

template <class Fn>
Fn symbolAs(void* handle, const char* name)
{
    void* sym = findSymbol(handle, name);
    return sym == nullptr ? nullptr : reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(sym));
}

// A file that is plainly not a binary for this platform gets a message naming that.
bool looksLikeBinary(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    char magic[4] = {};
    in.read(magic, sizeof magic);
    if (in.gcount() < 2)
        return false;
#ifdef _WIN32
    return magic[0] == 'M' && magic[1] == 'Z';
#else
    return in.gcount() == 4 && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F';
#endif
}

std::string quoted(const std::filesystem::path& p) { return "\"" + pathToUtf8(p) + "\""; }

} // namespace

std::array<std::uint32_t, 4> classIdWords(const std::array<char, 16>& cid)
{
    auto b = [&cid](int i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(cid[static_cast<std::size_t>(i)])); };
    std::array<std::uint32_t, 4> w{};
#ifdef _WIN32
    // COM layout: the first word and the two halves of the second are little-endian.
    w[0] = b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
    w[1] = b(4) << 16 | b(5) << 24 | b(6) | b(7) << 8;
#else
    w[0] = b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
    w[1] = b(4) << 24 | b(5) << 16 | b(6) << 8 | b(7);
#endif
    w[2] = b(8) << 24 | b(9) << 16 | b(10) << 8 | b(11);
    w[3] = b(12) << 24 | b(13) << 16 | b(14) << 8 | b(15);
    return w;
}

std::string classIdText(const std::array<char, 16>& cid)
{
    const auto w = classIdWords(cid);
    char text[40];
    std::snprintf(text, sizeof text, "%08X %08X %08X %08X", w[0], w[1], w[2], w[3]);
    return text;
}

std::filesystem::path bundleBinaryPath(const std::filesystem::path& bundle)
{
    std::filesystem::path name = bundle.filename();
    if (name.empty())
        name = bundle.parent_path().filename(); // a trailing separator
    return bundle / "Contents" / kArchFolder / (name.stem().native() + pathFromUtf8(kBinarySuffix).native());
}

std::unique_ptr<Module> Module::load(const std::filesystem::path& path)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status))
        throw HostError("No such file or directory: " + quoted(path));

    std::filesystem::path binary = path;
    if (std::filesystem::is_directory(status))
    {
        std::filesystem::path name = path.filename().empty() ? path.parent_path().filename() : path.filename();
        if (name.extension() != ".vst3")
            throw HostError(quoted(path) + " is a folder but not a VST 3 bundle (a bundle folder is named *.vst3)");
        binary = bundleBinaryPath(path);
        if (!std::filesystem::is_regular_file(binary, ec))
            throw HostError("The bundle " + quoted(path) + " has no binary for " + kArchFolder + ": " + quoted(binary) +
                            " is missing");
    }
    else if (!std::filesystem::is_regular_file(status))
        throw HostError(quoted(path) + " is neither a VST 3 bundle folder nor a file");

    if (!looksLikeBinary(binary))
        throw HostError(quoted(binary) + " is not a VST 3 bundle or a loadable " + kBinaryKind);

    std::unique_ptr<Module> module(new Module());
    module->binary_ = binary;
#ifdef _WIN32
    // LoadLibraryW wants an absolute path with backslashes; forward slashes make it search.
    std::filesystem::path native = std::filesystem::absolute(binary, ec);
    if (ec)
        native = binary;
    native.make_preferred();
    HMODULE h = LoadLibraryW(native.c_str());
    if (h == nullptr)
    {
        const DWORD code = GetLastError();
        // The file is there, so "module not found" is about a DLL it imports.
        const std::string hint = code == ERROR_MOD_NOT_FOUND ? "; a DLL it depends on is missing" : "";
        throw HostError("Cannot load " + quoted(binary) + " as a DLL (" + lastErrorText(code) + hint + ")");
    }
    module->handle_ = h;
    auto getFactory = symbolAs<GetFactoryProc>(h, "GetPluginFactory");
    if (getFactory == nullptr)
    {
        module->unload();
        throw HostError(quoted(binary) + " does not export GetPluginFactory: it is not a VST 3 module");
    }
    // InitDll is optional on Windows; when present it must succeed.
    if (auto init = symbolAs<EntryProc>(h, "InitDll"))
    {
        if (!init())
        {
            module->unload();
            throw HostError("InitDll of " + quoted(binary) + " reported failure");
        }
        module->entered_ = true;
    }
#else
    dlerror();
    void* h = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL | kKeepMapped);
    if (h == nullptr)
    {
        const char* why = dlerror();
        throw HostError("Cannot load " + quoted(binary) + " as a shared library (" + (why ? why : "unknown error") + ")");
    }
    module->handle_ = h;
    auto getFactory = symbolAs<GetFactoryProc>(h, "GetPluginFactory");
    if (getFactory == nullptr)
    {
        module->unload();
        throw HostError(quoted(binary) + " does not export GetPluginFactory: it is not a VST 3 module");
    }
    // Linux hosts require the entry point; it receives the library's handle.
    auto entry = symbolAs<EntryProc>(h, "ModuleEntry");
    if (entry == nullptr)
    {
        module->unload();
        throw HostError(quoted(binary) + " does not export ModuleEntry, which Linux hosts require");
    }
    if (!entry(h))
    {
        module->unload();
        throw HostError("ModuleEntry of " + quoted(binary) + " reported failure");
    }
    module->entered_ = true;
#endif
    module->factory_ = Ref<IPluginFactory>::adopt(getFactory());
    if (!module->factory_)
    {
        module->unload();
        throw HostError("GetPluginFactory of " + quoted(binary) + " returned no factory");
    }
    return module;
}

Module::~Module() { unload(); }

void Module::unload()
{
    factory_.reset();
    if (handle_ == nullptr)
        return;
#ifdef _WIN32
    if (entered_)
        if (auto exit = symbolAs<ExitProc>(handle_, "ExitDll"))
            exit();
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    if (entered_)
        if (auto exit = symbolAs<ExitProc>(handle_, "ModuleExit"))
            exit();
    dlclose(handle_);
#endif
    handle_ = nullptr;
    entered_ = false;
}

FactoryDescription Module::factoryDescription() const
{
    FactoryDescription d;
    PFactoryInfo info{};
    if (factory_->getFactoryInfo(&info) != kResultOk)
        throw HostError("The factory of " + quoted(binary_) + " gives no factory information");
    d.vendor = fixedField(info.vendor, sizeof info.vendor);
    d.url = fixedField(info.url, sizeof info.url);
    d.email = fixedField(info.email, sizeof info.email);
    d.flags = info.flags;
    return d;
}

std::vector<ClassDescription> Module::classes() const
{
    std::vector<ClassDescription> result;
    auto factory2 = queryRef<IPluginFactory2>(factory_.get());
    auto factory3 = queryRef<IPluginFactory3>(factory_.get());
    const int32 count = factory_->countClasses();
    for (int32 i = 0; i < count; ++i)
    {
        ClassDescription c;
        PClassInfo info{};
        if (factory_->getClassInfo(i, &info) != kResultOk)
            throw HostError("The factory of " + quoted(binary_) + " gives no information for class " + std::to_string(i));
        std::copy(std::begin(info.cid), std::end(info.cid), c.cid.begin());
        c.cardinality = info.cardinality;
        c.category = fixedField(info.category, sizeof info.category);
        c.name = fixedField(info.name, sizeof info.name);
        PClassInfo2 info2{};
        if (factory2 && factory2->getClassInfo2(i, &info2) == kResultOk)
        {
            c.infoLevel = 2;
            c.classFlags = info2.classFlags;
            c.subCategories = fixedField(info2.subCategories, sizeof info2.subCategories);
            c.vendor = fixedField(info2.vendor, sizeof info2.vendor);
            c.version = fixedField(info2.version, sizeof info2.version);
            c.sdkVersion = fixedField(info2.sdkVersion, sizeof info2.sdkVersion);
        }
        PClassInfoW infoW{};
        if (factory3 && factory3->getClassInfoUnicode(i, &infoW) == kResultOk)
        {
            c.infoLevel = 3;
            c.name = utf16ToUtf8(infoW.name, std::size(infoW.name));
            c.classFlags = infoW.classFlags;
            c.subCategories = fixedField(infoW.subCategories, sizeof infoW.subCategories);
            c.vendor = utf16ToUtf8(infoW.vendor, std::size(infoW.vendor));
            c.version = utf16ToUtf8(infoW.version, std::size(infoW.version));
            c.sdkVersion = utf16ToUtf8(infoW.sdkVersion, std::size(infoW.sdkVersion));
        }
        result.push_back(std::move(c));
    }
    return result;
}

void Module::setHostContext(FUnknown* context)
{
    if (auto factory3 = queryRef<IPluginFactory3>(factory_.get()))
        factory3->setHostContext(context);
}

} // namespace kestravel::plugins
