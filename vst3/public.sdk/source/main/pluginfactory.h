// CPluginFactory: the IPluginFactory3 a module hands out from GetPluginFactory.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"

#include <vector>

namespace Steinberg {

class CPluginFactory : public IPluginFactory3
{
public:
	// The factory information is copied.
	CPluginFactory (const PFactoryInfo& info);
	virtual ~CPluginFactory ();

	// Registers a class with its creation function; false for a null record or function.
	// 8-bit records are also offered widened through getClassInfoUnicode; a class registered
	// with a PClassInfoW is reported only there.
	bool registerClass (const PClassInfo* info, FUnknown* (*createFunc) (void*), void* context = nullptr);
	bool registerClass (const PClassInfo2* info, FUnknown* (*createFunc) (void*), void* context = nullptr);
	bool registerClass (const PClassInfoW* info, FUnknown* (*createFunc) (void*), void* context = nullptr);

	bool isClassRegistered (const FUID& cid);
	void removeAllClasses ();

	DECLARE_FUNKNOWN_METHODS

	tresult PLUGIN_API getFactoryInfo (PFactoryInfo* info) SMTG_OVERRIDE;
	int32 PLUGIN_API countClasses () SMTG_OVERRIDE;
	tresult PLUGIN_API getClassInfo (int32 index, PClassInfo* info) SMTG_OVERRIDE;
	// Creates the class and returns the requested interface of it (one reference, the
	// creation reference is dropped); kNoInterface for an unknown class or interface.
	tresult PLUGIN_API createInstance (FIDString cid, FIDString _iid, void** obj) SMTG_OVERRIDE;
	tresult PLUGIN_API getClassInfo2 (int32 index, PClassInfo2* info) SMTG_OVERRIDE;
	tresult PLUGIN_API getClassInfoUnicode (int32 index, PClassInfoW* info) SMTG_OVERRIDE;
	// kResultTrue on Linux, kNotImplemented elsewhere.
	tresult PLUGIN_API setHostContext (FUnknown* context) SMTG_OVERRIDE;

protected:
	struct PClassEntry
	{
		PClassInfo2 info8;
		PClassInfoW info16;
		FUnknown* (*createFunc) (void*);
		void* context;
		bool isUnicode;
	};

	PFactoryInfo factoryInfo;
	std::vector<PClassEntry> classes;
};

// The module's factory while it exists; cleared when it is destroyed.
extern CPluginFactory* gPluginFactory;

} // namespace Steinberg

#define BEGIN_FACTORY(vendor, url, email, flags)                             \
	using namespace Steinberg;                                               \
	SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory ()        \
	{                                                                        \
		if (!gPluginFactory)                                                 \
		{                                                                    \
			static PFactoryInfo factoryInfo (vendor, url, email, flags);     \
			gPluginFactory = new CPluginFactory (factoryInfo);

#define BEGIN_FACTORY_CLASS(FactoryClass, vendor, url, email, flags)         \
	using namespace Steinberg;                                               \
	SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory ()        \
	{                                                                        \
		if (!gPluginFactory)                                                 \
		{                                                                    \
			static PFactoryInfo factoryInfo (vendor, url, email, flags);     \
			gPluginFactory = new FactoryClass (factoryInfo);

#define DEF_CLASS(cid, cardinality, category, name, createMethod)                      \
	{                                                                                  \
		TUID lcid = cid;                                                               \
		static PClassInfo componentClass (lcid, cardinality, category, name);          \
		gPluginFactory->registerClass (&componentClass, createMethod);                 \
	}

#define DEF_CLASS2(cid, cardinality, category, name, classFlags, subCategories, version, sdkVersion, \
                   createMethod)                                                                     \
	{                                                                                                \
		TUID lcid = cid;                                                                             \
		static PClassInfo2 componentClass (lcid, cardinality, category, name, classFlags,           \
		                                   subCategories, nullptr, version, sdkVersion);             \
		gPluginFactory->registerClass (&componentClass, createMethod);                               \
	}

#define END_FACTORY                  \
	}                                \
	else gPluginFactory->addRef ();  \
	return gPluginFactory;           \
	}
