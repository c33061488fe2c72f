#include "public.sdk/source/main/pluginfactory.h"

#include <cstring>

namespace Steinberg {

CPluginFactory* gPluginFactory = nullptr;

CPluginFactory::CPluginFactory (const PFactoryInfo& info) : factoryInfo (info)
{
	FUNKNOWN_CTOR
}

CPluginFactory::~CPluginFactory ()
{
	if (gPluginFactory == this)
		gPluginFactory = nullptr;
	FUNKNOWN_DTOR
}

IMPLEMENT_REFCOUNT (CPluginFactory)

tresult PLUGIN_API CPluginFactory::queryInterface (const TUID _iid, void** obj)
{
	QUERY_INTERFACE (_iid, obj, IPluginFactory::iid, IPluginFactory)
	QUERY_INTERFACE (_iid, obj, IPluginFactory2::iid, IPluginFactory2)
	QUERY_INTERFACE (_iid, obj, IPluginFactory3::iid, IPluginFactory3)
	QUERY_INTERFACE (_iid, obj, FUnknown::iid, IPluginFactory)
	*obj = nullptr;
	return kNoInterface;
}

bool CPluginFactory::registerClass (const PClassInfo* info, FUnknown* (*createFunc) (void*), void* context)
{
	if (!info || !createFunc)
		return false;
	// The fields PClassInfo2 adds stay empty.
	PClassInfo2 info2;
	copyTUID (info2.cid, info->cid);
	info2.cardinality = info->cardinality;
	std::memcpy (info2.category, info->category, sizeof (info2.category));
	std::memcpy (info2.name, info->name, sizeof (info2.name));
	return registerClass (&info2, createFunc, context);
}

bool CPluginFactory::registerClass (const PClassInfo2* info, FUnknown* (*createFunc) (void*), void* context)
{
	if (!info || !createFunc)
		return false;
	PClassEntry entry {};
	entry.info8 = *info;
	entry.info16.fromAscii (*info);
	entry.createFunc = createFunc;
	entry.context = context;
	entry.isUnicode = false;
	classes.push_back (entry);
	return true;
}

bool CPluginFactory::registerClass (const PClassInfoW* info, FUnknown* (*createFunc) (void*), void* context)
{
	if (!info || !createFunc)
		return false;
	PClassEntry entry {};
	entry.info16 = *info;
	entry.createFunc = createFunc;
	entry.context = context;
	entry.isUnicode = true;
	classes.push_back (entry);
	return true;
}

bool CPluginFactory::isClassRegistered (const FUID& cid)
{
	for (const auto& entry : classes)
		if (FUnknownPrivate::iidEqual (cid, entry.info16.cid))
			return true;
	return false;
}

void CPluginFactory::removeAllClasses ()
{
	classes.clear ();
}

tresult PLUGIN_API CPluginFactory::getFactoryInfo (PFactoryInfo* info)
{
	if (info)
		*info = factoryInfo;
	return kResultOk;
}

int32 PLUGIN_API CPluginFactory::countClasses ()
{
	return static_cast<int32> (classes.size ());
}

tresult PLUGIN_API CPluginFactory::getClassInfo (int32 index, PClassInfo* info)
{
	if (!info || index < 0 || index >= countClasses ())
		return kInvalidArgument;
	const PClassEntry& entry = classes[static_cast<size_t> (index)];
	*info = PClassInfo ();
	if (entry.isUnicode)
		return kResultFalse;
	copyTUID (info->cid, entry.info8.cid);
	info->cardinality = entry.info8.cardinality;
	std::memcpy (info->category, entry.info8.category, sizeof (info->category));
	std::memcpy (info->name, entry.info8.name, sizeof (info->name));
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfo2 (int32 index, PClassInfo2* info)
{
	if (!info || index < 0 || index >= countClasses ())
		return kInvalidArgument;
	const PClassEntry& entry = classes[static_cast<size_t> (index)];
	if (entry.isUnicode)
	{
		*info = PClassInfo2 ();
		return kResultFalse;
	}
	*info = entry.info8;
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfoUnicode (int32 index, PClassInfoW* info)
{
	if (!info || index < 0 || index >= countClasses ())
		return kInvalidArgument;
	*info = classes[static_cast<size_t> (index)].info16;
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::createInstance (FIDString cid, FIDString _iid, void** obj)
{
	if (!obj)
		return kInvalidArgument;
	*obj = nullptr;
	if (!cid || !_iid)
		return kInvalidArgument;
	for (const auto& entry : classes)
	{
		if (std::memcmp (entry.info16.cid, cid, sizeof (TUID)) != 0)
			continue;
		FUnknown* instance = entry.createFunc (entry.context);
		if (!instance)
			break;
		const tresult result = instance->queryInterface (_iid, obj);
		instance->release ();
		if (result == kResultOk)
			return kResultOk;
		*obj = nullptr;
		break;
	}
	return kNoInterface;
}

tresult PLUGIN_API CPluginFactory::setHostContext (FUnknown* /*context*/)
{
#if SMTG_OS_LINUX
	return kResultTrue;
#else
	return kNotImplemented;
#endif
}

} // namespace Steinberg
