// IPtr: a counted reference to an interface; owned()/shared() say whether to add a reference.
#pragma once

#include "pluginterfaces/base/fplatform.h"

#include <utility>

namespace Steinberg {

template <class I>
class IPtr
{
public:
	// addRef false adopts a reference the caller already owns.
	inline IPtr (I* p, bool addRef = true) : ptr (p)
	{
		if (ptr && addRef)
			ptr->addRef ();
	}
	inline IPtr (const IPtr& other) : ptr (other.ptr)
	{
		if (ptr)
			ptr->addRef ();
	}
	template <class T>
	inline IPtr (const IPtr<T>& other) : ptr (other.get ())
	{
		if (ptr)
			ptr->addRef ();
	}
	inline IPtr () : ptr (nullptr) {}
	inline ~IPtr ()
	{
		if (ptr)
		{
			ptr->release ();
			ptr = nullptr;
		}
	}

	inline I* operator= (I* p)
	{
		if (p != ptr)
		{
			// Take the new reference first so assigning a pointer owned by the old one is safe.
			if (p)
				p->addRef ();
			I* old = ptr;
			ptr = p;
			if (old)
				old->release ();
		}
		return ptr;
	}
	inline IPtr& operator= (const IPtr& other)
	{
		operator= (other.ptr);
		return *this;
	}
	template <class T>
	inline IPtr& operator= (const IPtr<T>& other)
	{
		operator= (other.get ());
		return *this;
	}

	inline IPtr (IPtr<I>&& other) noexcept : ptr (other.take ()) {}
	template <typename T>
	inline IPtr (IPtr<T>&& other) noexcept : ptr (other.take ())
	{
	}
	inline IPtr& operator= (IPtr<I>&& other) noexcept
	{
		if (this != &other)
		{
			I* old = ptr;
			ptr = other.take ();
			if (old)
				old->release ();
		}
		return *this;
	}
	template <typename T>
	inline IPtr& operator= (IPtr<T>&& other)
	{
		I* old = ptr;
		ptr = other.take ();
		if (old)
			old->release ();
		return *this;
	}

	inline operator I* () const { return ptr; }
	inline I* operator-> () const { return ptr; }
	inline I* get () const { return ptr; }

	inline void reset (I* obj = nullptr)
	{
		I* old = ptr;
		ptr = obj;
		if (old)
			old->release ();
	}
	// Gives up the reference without releasing it.
	I* take () noexcept
	{
		I* out = ptr;
		ptr = nullptr;
		return out;
	}

	template <typename T>
	static IPtr<T> adopt (T* obj) noexcept
	{
		return IPtr<T> (obj, false);
	}

protected:
	I* ptr;
};

// An IPtr that adopts the reference of a freshly returned pointer.
template <class I>
class OPtr : public IPtr<I>
{
public:
	inline OPtr (I* p) : IPtr<I> (p, false) {}
	inline OPtr (const IPtr<I>& p) : IPtr<I> (p) {}
	inline OPtr (const OPtr<I>& p) : IPtr<I> (p) {}
	inline OPtr () {}
	inline I* operator= (I* p)
	{
		if (p != this->ptr)
		{
			I* old = this->ptr;
			this->ptr = p;
			if (old)
				old->release ();
		}
		return this->ptr;
	}
};

// Takes over a reference the caller owns.
template <class I>
IPtr<I> owned (I* p)
{
	return IPtr<I> (p, false);
}

// Adds a reference of its own.
template <class I>
IPtr<I> shared (I* p)
{
	return IPtr<I> (p, true);
}

} // namespace Steinberg
