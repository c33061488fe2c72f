// FObject: the reference-counted base of the SDK helper classes, with a light run-time type name.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/iupdatehandler.h"
#include "base/source/fdebug.h"

#include <cstring>

namespace Steinberg {

using FClassID = FIDString;

class FObject : public IDependent
{
public:
	FObject () = default;
	// A copy is a new object with its own count.
	FObject (const FObject&) : refCount (1) {}
	FObject& operator= (const FObject&) { return *this; }
	virtual ~FObject ();

	static inline FClassID getFClassID () { return "FObject"; }
	virtual FClassID isA () const { return FObject::getFClassID (); }
	virtual bool isA (FClassID s) const { return isTypeOf (s, false); }
	virtual bool isTypeOf (FClassID s, bool /*askBaseClass*/ = true) const
	{
		return classIDsEqual (s, FObject::getFClassID ());
	}

	int32 getRefCount () { return refCount; }
	FUnknown* unknownCast () { return this; }

	// Answers FUnknown, IDependent and FObject::iid.
	tresult PLUGIN_API queryInterface (const TUID _iid, void** obj) SMTG_OVERRIDE;
	uint32 PLUGIN_API addRef () SMTG_OVERRIDE;
	uint32 PLUGIN_API release () SMTG_OVERRIDE;

	void PLUGIN_API update (FUnknown* /*changedUnknown*/, int32 /*message*/) SMTG_OVERRIDE {}

	// Dependents are served by an update handler installed with setUpdateHandler; without one,
	// changed () and deferUpdate () only call updateDone ().
	virtual void addDependent (IDependent* dep);
	virtual void removeDependent (IDependent* dep);
	virtual void changed (int32 msg = kChanged);
	virtual void deferUpdate (int32 msg = kChanged);
	virtual void updateDone (int32 /*msg*/) {}
	virtual bool isEqualInstance (FUnknown* d) { return this == d; }

	static void setUpdateHandler (IUpdateHandler* handler) { gUpdateHandler = handler; }
	static IUpdateHandler* getUpdateHandler () { return gUpdateHandler; }

	static inline bool classIDsEqual (FClassID ci1, FClassID ci2)
	{
		return (ci1 && ci2) ? std::strcmp (ci1, ci2) == 0 : false;
	}

	// The FObject behind an interface of this module, without a reference; null for foreign objects.
	static inline FObject* unknownToObject (FUnknown* unknown);

	template <class Class>
	static inline IPtr<Class> fromUnknown (FUnknown* unknown);

	// Random per module, so objects of another module never pass as ours.
	static const FUID iid;

protected:
	int32 refCount = 1;

	static IUpdateHandler* gUpdateHandler;
};

inline FObject* FObject::unknownToObject (FUnknown* unknown)
{
	FObject* object = nullptr;
	if (unknown)
	{
		unknown->queryInterface (FObject::iid, reinterpret_cast<void**> (&object));
		if (object && object->release () == 0)
			object = nullptr;
	}
	return object;
}

template <class C>
inline IPtr<C> FObject::fromUnknown (FUnknown* unknown)
{
	if (unknown)
	{
		FObject* object = nullptr;
		if (unknown->queryInterface (FObject::iid, reinterpret_cast<void**> (&object)) == kResultTrue && object)
		{
			if (object->isTypeOf (C::getFClassID (), true))
				return IPtr<C> (static_cast<C*> (object), false);
			object->release ();
		}
	}
	return {};
}

template <class C>
inline C* FCast (const FObject* object)
{
	if (object && object->isTypeOf (C::getFClassID (), true))
		return static_cast<C*> (const_cast<FObject*> (object));
	return nullptr;
}

template <class C>
inline C* FCast (FUnknown* unknown)
{
	return FCast<C> (FObject::unknownToObject (unknown));
}

template <class C>
inline C* FCastIsA (const FObject* object)
{
	if (object && object->isA (C::getFClassID ()))
		return static_cast<C*> (const_cast<FObject*> (object));
	return nullptr;
}

template <class I>
inline IPtr<I> ICast (FObject* object)
{
	return FUnknownPtr<I> (object ? object->unknownCast () : nullptr);
}

template <class I>
inline IPtr<I> ICast (FUnknown* object)
{
	return FUnknownPtr<I> (object);
}

template <class I>
inline void SafeRelease (I*& ptr)
{
	if (ptr)
	{
		ptr->release ();
		ptr = nullptr;
	}
}

template <class I>
inline void SafeRelease (IPtr<I>& ptr)
{
	ptr = nullptr;
}

template <class T>
inline void SafeDelete (T*& ptr)
{
	delete ptr;
	ptr = nullptr;
}

template <class T>
inline void AssignShared (T*& dest, T* newPtr)
{
	if (dest == newPtr)
		return;
	if (newPtr)
		newPtr->addRef ();
	T* old = dest;
	dest = newPtr;
	if (old)
		old->release ();
}

} // namespace Steinberg

// Run-time type name of an FObject class; isTypeOf also asks the base class.
#define OBJ_METHODS(className, baseClass)                                                       \
	static inline Steinberg::FClassID getFClassID () { return (#className); }                  \
	virtual Steinberg::FClassID isA () const SMTG_OVERRIDE { return className::getFClassID (); } \
	virtual bool isA (Steinberg::FClassID s) const SMTG_OVERRIDE { return isTypeOf (s, false); } \
	virtual bool isTypeOf (Steinberg::FClassID s, bool askBaseClass = true) const SMTG_OVERRIDE \
	{                                                                                           \
		return (Steinberg::FObject::classIDsEqual (s, #className)                               \
		            ? true                                                                      \
		            : (askBaseClass ? baseClass::isTypeOf (s, true) : false));                  \
	}

// Routes addRef/release of every interface base to one count.
#define REFCOUNT_METHODS(BaseClass)                                                               \
	virtual Steinberg::uint32 PLUGIN_API addRef () SMTG_OVERRIDE { return BaseClass::addRef (); } \
	virtual Steinberg::uint32 PLUGIN_API release () SMTG_OVERRIDE { return BaseClass::release (); }

// queryInterface answering the listed interfaces, then the base class. The parameter is named
// `iid` (DEF_INTERFACE refers to it), which shadows the interfaces' static iid on purpose.
#if defined(__GNUC__)
#define SMTG_QI_SHADOW_PUSH _Pragma ("GCC diagnostic push") _Pragma ("GCC diagnostic ignored \"-Wshadow\"")
#define SMTG_QI_SHADOW_POP _Pragma ("GCC diagnostic pop")
#else
#define SMTG_QI_SHADOW_PUSH
#define SMTG_QI_SHADOW_POP
#endif

#define DEFINE_INTERFACES                                                                       \
	SMTG_QI_SHADOW_PUSH                                                                         \
	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** obj) SMTG_OVERRIDE \
	{

#define DEF_INTERFACE(InterfaceName) QUERY_INTERFACE (iid, obj, InterfaceName::iid, InterfaceName)

#define END_DEFINE_INTERFACES(BaseClass)         \
	return BaseClass::queryInterface (iid, obj); \
	}                                            \
	SMTG_QI_SHADOW_POP

#define DEF_INTERFACES_1(InterfaceName, BaseClass) \
	DEFINE_INTERFACES                              \
	DEF_INTERFACE (InterfaceName)                  \
	END_DEFINE_INTERFACES (BaseClass)

#define DEF_INTERFACES_2(InterfaceName1, InterfaceName2, BaseClass) \
	DEFINE_INTERFACES                                               \
	DEF_INTERFACE (InterfaceName1)                                  \
	DEF_INTERFACE (InterfaceName2)                                  \
	END_DEFINE_INTERFACES (BaseClass)

#define DEF_INTERFACES_3(InterfaceName1, InterfaceName2, InterfaceName3, BaseClass) \
	DEFINE_INTERFACES                                                               \
	DEF_INTERFACE (InterfaceName1)                                                  \
	DEF_INTERFACE (InterfaceName2)                                                  \
	DEF_INTERFACE (InterfaceName3)                                                  \
	END_DEFINE_INTERFACES (BaseClass)

#define DEF_INTERFACES_4(InterfaceName1, InterfaceName2, InterfaceName3, InterfaceName4, BaseClass) \
	DEFINE_INTERFACES                                                                               \
	DEF_INTERFACE (InterfaceName1)                                                                  \
	DEF_INTERFACE (InterfaceName2)                                                                  \
	DEF_INTERFACE (InterfaceName3)                                                                  \
	DEF_INTERFACE (InterfaceName4)                                                                  \
	END_DEFINE_INTERFACES (BaseClass)

#define FUNKNOWN_METHODS(InterfaceName, BaseClass) \
	DEF_INTERFACES_1 (InterfaceName, BaseClass)    \
	REFCOUNT_METHODS (BaseClass)

#define FUNKNOWN_METHODS2(InterfaceName1, InterfaceName2, BaseClass) \
	DEF_INTERFACES_2 (InterfaceName1, InterfaceName2, BaseClass)     \
	REFCOUNT_METHODS (BaseClass)

#define FUNKNOWN_METHODS3(InterfaceName1, InterfaceName2, InterfaceName3, BaseClass) \
	DEF_INTERFACES_3 (InterfaceName1, InterfaceName2, InterfaceName3, BaseClass)     \
	REFCOUNT_METHODS (BaseClass)

#define FUNKNOWN_METHODS4(InterfaceName1, InterfaceName2, InterfaceName3, InterfaceName4, BaseClass) \
	DEF_INTERFACES_4 (InterfaceName1, InterfaceName2, InterfaceName3, InterfaceName4, BaseClass)     \
	REFCOUNT_METHODS (BaseClass)
