// FUnknown, the 16-byte interface identifiers (TUID/FUID) and the reference-counting macros.
#pragma once

#include "pluginterfaces/base/fplatform.h"
#include "pluginterfaces/base/ftypes.h"
#include "pluginterfaces/base/smartpointer.h"

#include <cstring>
#include <type_traits>

// Four 32-bit words to the 16 ID bytes. On Windows the first eight bytes take the little-endian
// GUID layout (Data1, Data2, Data3) so the IDs are COM GUIDs; elsewhere the words are stored
// big-endian one after the other.
#define SMTG_UID_BYTE(word, shift) \
	static_cast< ::Steinberg::int8> ((static_cast< ::Steinberg::uint32> (word) >> (shift)) & 0xFFu)
#if COM_COMPATIBLE
#define INLINE_UID(l1, l2, l3, l4)                                                               \
	{                                                                                            \
		SMTG_UID_BYTE (l1, 0), SMTG_UID_BYTE (l1, 8), SMTG_UID_BYTE (l1, 16),                    \
		    SMTG_UID_BYTE (l1, 24), SMTG_UID_BYTE (l2, 16), SMTG_UID_BYTE (l2, 24),              \
		    SMTG_UID_BYTE (l2, 0), SMTG_UID_BYTE (l2, 8), SMTG_UID_BYTE (l3, 24),                \
		    SMTG_UID_BYTE (l3, 16), SMTG_UID_BYTE (l3, 8), SMTG_UID_BYTE (l3, 0),                \
		    SMTG_UID_BYTE (l4, 24), SMTG_UID_BYTE (l4, 16), SMTG_UID_BYTE (l4, 8),               \
		    SMTG_UID_BYTE (l4, 0)                                                                \
	}
#else
#define INLINE_UID(l1, l2, l3, l4)                                                               \
	{                                                                                            \
		SMTG_UID_BYTE (l1, 24), SMTG_UID_BYTE (l1, 16), SMTG_UID_BYTE (l1, 8),                   \
		    SMTG_UID_BYTE (l1, 0), SMTG_UID_BYTE (l2, 24), SMTG_UID_BYTE (l2, 16),               \
		    SMTG_UID_BYTE (l2, 8), SMTG_UID_BYTE (l2, 0), SMTG_UID_BYTE (l3, 24),                \
		    SMTG_UID_BYTE (l3, 16), SMTG_UID_BYTE (l3, 8), SMTG_UID_BYTE (l3, 0),                \
		    SMTG_UID_BYTE (l4, 24), SMTG_UID_BYTE (l4, 16), SMTG_UID_BYTE (l4, 8),               \
		    SMTG_UID_BYTE (l4, 0)                                                                \
	}
#endif

#define DECLARE_UID(name, l1, l2, l3, l4) \
	constexpr ::Steinberg::TUID name = INLINE_UID (l1, l2, l3, l4);
#define EXTERN_UID(name) extern const ::Steinberg::TUID name;

#ifdef INIT_CLASS_IID
#define DECLARE_CLASS_IID(ClassName, l1, l2, l3, l4)                                        \
	static constexpr const ::Steinberg::TUID ClassName##_iid = INLINE_UID (l1, l2, l3, l4); \
	const ::Steinberg::FUID ClassName::iid (ClassName##_iid);
#else
#define DECLARE_CLASS_IID(ClassName, l1, l2, l3, l4) \
	static constexpr const ::Steinberg::TUID ClassName##_iid = INLINE_UID (l1, l2, l3, l4);
#endif

// Defines the interface's static iid member once, in exactly one translation unit.
#define DEF_CLASS_IID(ClassName) const ::Steinberg::FUID ClassName::iid (ClassName##_iid);

#define INLINE_UID_OF(ClassName) ClassName##_iid
#define INLINE_UID_FROM_FUID(x) INLINE_UID (x.getLong1 (), x.getLong2 (), x.getLong3 (), x.getLong4 ())

// Reference counting and interface lookup for classes that implement interfaces directly.
#define DECLARE_FUNKNOWN_METHODS                                                            \
public:                                                                                     \
	virtual ::Steinberg::tresult PLUGIN_API queryInterface (const ::Steinberg::TUID _iid,   \
	                                                        void** obj) SMTG_OVERRIDE;      \
	virtual ::Steinberg::uint32 PLUGIN_API addRef () SMTG_OVERRIDE;                         \
	virtual ::Steinberg::uint32 PLUGIN_API release () SMTG_OVERRIDE;                        \
                                                                                            \
protected:                                                                                  \
	::Steinberg::int32 __funknownRefCount;                                                  \
                                                                                            \
public:

#define DELEGATE_REFCOUNT(ClassName)                                                             \
public:                                                                                          \
	virtual ::Steinberg::uint32 PLUGIN_API addRef () SMTG_OVERRIDE { return ClassName::addRef (); } \
	virtual ::Steinberg::uint32 PLUGIN_API release () SMTG_OVERRIDE { return ClassName::release (); }

#define IMPLEMENT_REFCOUNT(ClassName)                                                     \
	::Steinberg::uint32 PLUGIN_API ClassName::addRef ()                                   \
	{                                                                                     \
		return static_cast< ::Steinberg::uint32> (                                        \
		    ::Steinberg::FUnknownPrivate::atomicAdd (__funknownRefCount, 1));             \
	}                                                                                     \
	::Steinberg::uint32 PLUGIN_API ClassName::release ()                                  \
	{                                                                                     \
		::Steinberg::int32 left = ::Steinberg::FUnknownPrivate::atomicAdd (__funknownRefCount, -1); \
		if (left == 0)                                                                    \
		{                                                                                 \
			delete this;                                                                  \
			return 0;                                                                     \
		}                                                                                 \
		return static_cast< ::Steinberg::uint32> (left);                                  \
	}

#define FUNKNOWN_CTOR { __funknownRefCount = 1; }
#define FUNKNOWN_DTOR

#define QUERY_INTERFACE(iid, obj, InterfaceIID, InterfaceName)    \
	if (::Steinberg::FUnknownPrivate::iidEqual (iid, InterfaceIID)) \
	{                                                               \
		addRef ();                                                  \
		*obj = static_cast<InterfaceName*> (this);                  \
		return ::Steinberg::kResultOk;                              \
	}

#define IMPLEMENT_QUERYINTERFACE(ClassName, InterfaceName, ClassIID)                            \
	::Steinberg::tresult PLUGIN_API ClassName::queryInterface (const ::Steinberg::TUID _iid,    \
	                                                           void** obj)                      \
	{                                                                                           \
		QUERY_INTERFACE (_iid, obj, ::Steinberg::FUnknown::iid, InterfaceName)                  \
		QUERY_INTERFACE (_iid, obj, ClassIID, InterfaceName)                                    \
		*obj = nullptr;                                                                         \
		return ::Steinberg::kNoInterface;                                                       \
	}

#define IMPLEMENT_FUNKNOWN_METHODS(ClassName, InterfaceName, ClassIID) \
	IMPLEMENT_REFCOUNT (ClassName)                                     \
	IMPLEMENT_QUERYINTERFACE (ClassName, InterfaceName, ClassIID)

namespace Steinberg {

// Result codes: the COM HRESULT values on Windows, small integers elsewhere.
#if COM_COMPATIBLE
enum
{
	kNoInterface = static_cast<tresult> (0x80004002L),
	kResultOk = static_cast<tresult> (0x00000000L),
	kResultTrue = kResultOk,
	kResultFalse = static_cast<tresult> (0x00000001L),
	kInvalidArgument = static_cast<tresult> (0x80070057L),
	kNotImplemented = static_cast<tresult> (0x80004001L),
	kInternalError = static_cast<tresult> (0x80004005L),
	kNotInitialized = static_cast<tresult> (0x8000FFFFL),
	kOutOfMemory = static_cast<tresult> (0x8007000EL)
};
#else
enum
{
	kNoInterface = -1,
	kResultOk,
	kResultTrue = kResultOk,
	kResultFalse,
	kInvalidArgument,
	kNotImplemented,
	kInternalError,
	kNotInitialized,
	kOutOfMemory
};
#endif

typedef int64 LARGE_INT;
typedef char TUID[16];

inline constexpr void copyTUID (char* dst, const char* src)
{
	for (int i = 0; i < 16; ++i)
		dst[i] = src[i];
}

namespace FUnknownPrivate {
inline bool iidEqual (const void* a, const void* b)
{
	return std::memcmp (a, b, sizeof (TUID)) == 0;
}
// Atomically adds `amount` and returns the new value.
int32 PLUGIN_API atomicAdd (int32& value, int32 amount);
} // namespace FUnknownPrivate

// A 16-byte identifier of an interface or a class.
class FUID
{
public:
	FUID ();
	FUID (uint32 l1, uint32 l2, uint32 l3, uint32 l4);
	FUID (const FUID&);
	FUID (FUID&& other);
	virtual ~FUID () {}

	FUID& operator= (const FUID& f);
	FUID& operator= (FUID&& other);

	// Fills the ID with random bytes; true when it did.
	bool generate ();
	// False only for the all-zero ID.
	bool isValid () const;

	bool operator== (const FUID& f) const { return FUnknownPrivate::iidEqual (data, f.data); }
	bool operator!= (const FUID& f) const { return !FUnknownPrivate::iidEqual (data, f.data); }
	bool operator< (const FUID& f) const { return std::memcmp (data, f.data, sizeof (TUID)) < 0; }

	uint32 getLong1 () const;
	uint32 getLong2 () const;
	uint32 getLong3 () const;
	uint32 getLong4 () const;

	void from4Int (uint32 d1, uint32 d2, uint32 d3, uint32 d4);
	void to4Int (uint32& d1, uint32& d2, uint32& d3, uint32& d4) const;

	typedef char8 String[33];

	// 32 upper-case hex digits of the four words ("9127BE30160E4BB69966670AA6087880").
	void toString (char8* string) const;
	// Reads 32 hex digits as written by toString; false (ID unchanged) for anything else.
	bool fromString (const char8* string);
	// "{9127BE30-160E-4BB6-9966-670AA6087880}"
	void toRegistryString (char8* string) const;
	bool fromRegistryString (const char8* string);

	enum UIDPrintStyle
	{
		kINLINE_UID,
		kDECLARE_UID,
		kFUID,
		kCLASS_UID
	};
	// Writes the four words in one of the source-code styles above.
	void print (int32 style, char8* string = nullptr, size_t stringBufferSize = 0) const;

	template <size_t N>
	inline explicit FUID (const char (&uid)[N])
	{
		static_assert (N == sizeof (TUID), "only a TUID converts to an FUID");
		std::memcpy (data, uid, sizeof (TUID));
	}
	inline void toTUID (TUID result) const { std::memcpy (result, data, sizeof (TUID)); }
	inline operator const TUID& () const { return data; }
	inline const TUID& toTUID () const { return data; }

	static FUID fromTUID (const TUID uid)
	{
		FUID res;
		if (uid)
			std::memcpy (res.data, uid, sizeof (TUID));
		return res;
	}

protected:
	TUID data;
};

// Comparing an FUID with a raw TUID is almost always a mistake.
template <typename T>
inline bool operator== (const FUID& f1, T f2)
{
	static_assert (std::is_same<typename std::remove_cv<T>::type, FUID>::value,
	               "compare an FUID with an FUID, or use FUnknownPrivate::iidEqual");
	return f1.operator== (f2);
}

// The root interface: lookup of other interfaces and the shared reference count.
class FUnknown
{
public:
	// kResultOk with *obj set and a reference added, or kNoInterface with *obj null.
	virtual tresult PLUGIN_API queryInterface (const TUID _iid, void** obj) = 0;
	// Returns the new count; a new object starts at 1.
	virtual uint32 PLUGIN_API addRef () = 0;
	// Returns the new count; the object is destroyed when it reaches 0.
	virtual uint32 PLUGIN_API release () = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (FUnknown, 0x00000000, 0x00000000, 0xC0000000, 0x00000046)

template <typename T>
const TUID& getTUID ()
{
	return T::iid.toTUID ();
}

// Holds the interface I obtained from another interface by queryInterface.
template <class I>
class FUnknownPtr : public IPtr<I>
{
public:
	inline FUnknownPtr (FUnknown* unknown)
	{
		if (unknown && unknown->queryInterface (getTUID<I> (), reinterpret_cast<void**> (&this->ptr)) != kResultOk)
			this->ptr = nullptr;
	}
	inline FUnknownPtr (const FUnknownPtr& p) : IPtr<I> (p) {}
	inline FUnknownPtr () {}
	inline FUnknownPtr (FUnknownPtr&& p) noexcept : IPtr<I> (std::move (p)) {}
	inline FUnknownPtr& operator= (const FUnknownPtr& p)
	{
		IPtr<I>::operator= (p);
		return *this;
	}
	inline FUnknownPtr& operator= (FUnknownPtr&& p) noexcept
	{
		IPtr<I>::operator= (std::move (p));
		return *this;
	}
	inline I* operator= (FUnknown* unknown)
	{
		I* found = nullptr;
		if (unknown && unknown->queryInterface (getTUID<I> (), reinterpret_cast<void**> (&found)) == kResultOk)
		{
			IPtr<I>::operator= (found);
			found->release ();
			return this->ptr;
		}
		return IPtr<I>::operator= (nullptr);
	}
	inline I* getInterface () { return this->ptr; }
};

// Releases an interface when it leaves scope (older spelling of OPtr).
struct FReleaser
{
	FReleaser (FUnknown* unknown) : u (unknown) {}
	~FReleaser ()
	{
		if (u)
			u->release ();
	}
	FUnknown* u;
};

} // namespace Steinberg
