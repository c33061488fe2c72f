#include "base/source/fobject.h"

namespace Steinberg {

IUpdateHandler* FObject::gUpdateHandler = nullptr;

namespace {
FUID makeModuleObjectId ()
{
	FUID id;
	id.generate ();
	return id;
}
} // namespace

const FUID FObject::iid (makeModuleObjectId ());

FObject::~FObject () = default;

uint32 PLUGIN_API FObject::addRef ()
{
	return static_cast<uint32> (FUnknownPrivate::atomicAdd (refCount, 1));
}

uint32 PLUGIN_API FObject::release ()
{
	int32 left = FUnknownPrivate::atomicAdd (refCount, -1);
	if (left == 0)
	{
		// A stray release during destruction must not delete twice.
		refCount = -1000;
		delete this;
		return 0;
	}
	return static_cast<uint32> (left);
}

tresult PLUGIN_API FObject::queryInterface (const TUID _iid, void** obj)
{
	QUERY_INTERFACE (_iid, obj, FUnknown::iid, FUnknown)
	QUERY_INTERFACE (_iid, obj, IDependent::iid, IDependent)
	QUERY_INTERFACE (_iid, obj, FObject::iid, FObject)
	*obj = nullptr;
	return kNoInterface;
}

void FObject::addDependent (IDependent* dep)
{
	if (gUpdateHandler)
		gUpdateHandler->addDependent (unknownCast (), dep);
}

void FObject::removeDependent (IDependent* dep)
{
	if (gUpdateHandler)
		gUpdateHandler->removeDependent (unknownCast (), dep);
}

void FObject::changed (int32 msg)
{
	if (gUpdateHandler)
		gUpdateHandler->triggerUpdates (unknownCast (), msg);
	else
		updateDone (msg);
}

void FObject::deferUpdate (int32 msg)
{
	if (gUpdateHandler)
		gUpdateHandler->deferUpdates (unknownCast (), msg);
	else
		updateDone (msg);
}

} // namespace Steinberg
