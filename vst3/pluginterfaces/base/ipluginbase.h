// IPluginBase and the class factory interfaces with their information records.
#pragma once

#include "funknown.h"
#include "fstrdefs.h"

namespace Steinberg {

// First and last call a host makes on a created object.
class IPluginBase : public FUnknown
{
public:
	virtual tresult PLUGIN_API initialize (FUnknown* context) = 0;
	virtual tresult PLUGIN_API terminate () = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IPluginBase, 0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625)

struct PFactoryInfo
{
	enum FactoryFlags
	{
		kNoFlags = 0,
		kClassesDiscardable = 1 << 0,
		kLicenseCheck = 1 << 1,
		kComponentNonDiscardable = 1 << 3,
		kUnicode = 1 << 4
	};
	enum
	{
		kURLSize = 256,
		kEmailSize = 128,
		kNameSize = 64
	};

	char8 vendor[kNameSize];
	char8 url[kURLSize];
	char8 email[kEmailSize];
	int32 flags;

	// Unicode builds always announce kUnicode, whatever the caller passes.
	constexpr PFactoryInfo (const char8* _vendor, const char8* _url, const char8* _email, int32 _flags)
	: vendor (), url (), email (), flags ()
	{
		strncpy8 (vendor, _vendor, kNameSize);
		strncpy8 (url, _url, kURLSize);
		strncpy8 (email, _email, kEmailSize);
		flags = _flags;
#ifdef UNICODE
		flags |= kUnicode;
#endif
	}
	constexpr PFactoryInfo () : vendor (), url (), email (), flags () {}
};

struct PClassInfo
{
	enum ClassCardinality
	{
		kManyInstances = 0x7FFFFFFF
	};
	enum
	{
		kCategorySize = 32,
		kNameSize = 64
	};

	TUID cid;
	int32 cardinality;
	char8 category[kCategorySize];
	char8 name[kNameSize];

	constexpr PClassInfo (const TUID _cid, int32 _cardinality, const char8* _category, const char8* _name)
	: cid (), cardinality (), category (), name ()
	{
		copyTUID (cid, _cid);
		if (_category)
			strncpy8 (category, _category, kCategorySize);
		if (_name)
			strncpy8 (name, _name, kNameSize);
		cardinality = _cardinality;
	}
	constexpr PClassInfo () : cid (), cardinality (), category (), name () {}
};

class IPluginFactory : public FUnknown
{
public:
	// info may be null.
	virtual tresult PLUGIN_API getFactoryInfo (PFactoryInfo* info) = 0;
	virtual int32 PLUGIN_API countClasses () = 0;
	virtual tresult PLUGIN_API getClassInfo (int32 index, PClassInfo* info) = 0;
	// cid and _iid point at 16-byte IDs.
	virtual tresult PLUGIN_API createInstance (FIDString cid, FIDString _iid, void** obj) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IPluginFactory, 0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F)

struct PClassInfo2
{
	TUID cid;
	int32 cardinality;
	char8 category[PClassInfo::kCategorySize];
	char8 name[PClassInfo::kNameSize];

	enum
	{
		kVendorSize = 64,
		kVersionSize = 64,
		kSubCategoriesSize = 128
	};

	uint32 classFlags;
	char8 subCategories[kSubCategoriesSize];
	char8 vendor[kVendorSize];
	char8 version[kVersionSize];
	char8 sdkVersion[kVersionSize];

	constexpr PClassInfo2 (const TUID _cid, int32 _cardinality, const char8* _category,
	                       const char8* _name, int32 _classFlags, const char8* _subCategories,
	                       const char8* _vendor, const char8* _version, const char8* _sdkVersion)
	: cid ()
	, cardinality ()
	, category ()
	, name ()
	, classFlags ()
	, subCategories ()
	, vendor ()
	, version ()
	, sdkVersion ()
	{
		copyTUID (cid, _cid);
		cardinality = _cardinality;
		if (_category)
			strncpy8 (category, _category, PClassInfo::kCategorySize);
		if (_name)
			strncpy8 (name, _name, PClassInfo::kNameSize);
		classFlags = static_cast<uint32> (_classFlags);
		if (_subCategories)
			strncpy8 (subCategories, _subCategories, kSubCategoriesSize);
		if (_vendor)
			strncpy8 (vendor, _vendor, kVendorSize);
		if (_version)
			strncpy8 (version, _version, kVersionSize);
		if (_sdkVersion)
			strncpy8 (sdkVersion, _sdkVersion, kVersionSize);
	}
	constexpr PClassInfo2 ()
	: cid ()
	, cardinality ()
	, category ()
	, name ()
	, classFlags ()
	, subCategories ()
	, vendor ()
	, version ()
	, sdkVersion ()
	{
	}
};

class IPluginFactory2 : public IPluginFactory
{
public:
	virtual tresult PLUGIN_API getClassInfo2 (int32 index, PClassInfo2* info) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IPluginFactory2, 0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB)

struct PClassInfoW
{
	TUID cid;
	int32 cardinality;
	char8 category[PClassInfo::kCategorySize];
	char16 name[PClassInfo::kNameSize];

	enum
	{
		kVendorSize = 64,
		kVersionSize = 64,
		kSubCategoriesSize = 128
	};

	uint32 classFlags;
	char8 subCategories[kSubCategoriesSize];
	char16 vendor[kVendorSize];
	char16 version[kVersionSize];
	char16 sdkVersion[kVersionSize];

	constexpr PClassInfoW (const TUID _cid, int32 _cardinality, const char8* _category,
	                       const char16* _name, int32 _classFlags, const char8* _subCategories,
	                       const char16* _vendor, const char16* _version, const char16* _sdkVersion)
	: cid ()
	, cardinality ()
	, category ()
	, name ()
	, classFlags ()
	, subCategories ()
	, vendor ()
	, version ()
	, sdkVersion ()
	{
		copyTUID (cid, _cid);
		cardinality = _cardinality;
		if (_category)
			strncpy8 (category, _category, PClassInfo::kCategorySize);
		if (_name)
			strncpy16 (name, _name, PClassInfo::kNameSize);
		classFlags = static_cast<uint32> (_classFlags);
		if (_subCategories)
			strncpy8 (subCategories, _subCategories, kSubCategoriesSize);
		if (_vendor)
			strncpy16 (vendor, _vendor, kVendorSize);
		if (_version)
			strncpy16 (version, _version, kVersionSize);
		if (_sdkVersion)
			strncpy16 (sdkVersion, _sdkVersion, kVersionSize);
	}
	constexpr PClassInfoW ()
	: cid ()
	, cardinality ()
	, category ()
	, name ()
	, classFlags ()
	, subCategories ()
	, vendor ()
	, version ()
	, sdkVersion ()
	{
	}

	// Widens an 8-bit record; every text ends up terminated inside its field.
	constexpr void fromAscii (const PClassInfo2& ci2)
	{
		copyTUID (cid, ci2.cid);
		cardinality = ci2.cardinality;
		strncpy8 (category, ci2.category, PClassInfo::kCategorySize);
		str8ToStr16 (name, ci2.name, PClassInfo::kNameSize);
		classFlags = ci2.classFlags;
		strncpy8 (subCategories, ci2.subCategories, kSubCategoriesSize);
		str8ToStr16 (vendor, ci2.vendor, kVendorSize);
		str8ToStr16 (version, ci2.version, kVersionSize);
		str8ToStr16 (sdkVersion, ci2.sdkVersion, kVersionSize);
	}
};

class IPluginFactory3 : public IPluginFactory2
{
public:
	virtual tresult PLUGIN_API getClassInfoUnicode (int32 index, PClassInfoW* info) = 0;
	virtual tresult PLUGIN_API setHostContext (FUnknown* context) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IPluginFactory3, 0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931)

} // namespace Steinberg

extern "C" {
// The one function a module library exports to hand out its factory.
SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory ();
typedef Steinberg::IPluginFactory* (PLUGIN_API* GetFactoryProc) ();
}
