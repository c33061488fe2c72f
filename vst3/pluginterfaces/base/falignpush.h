// Opens the structure packing every interface struct is declared with; pair with falignpop.h.
// No include guard on purpose: each header opens and closes its own region.
#if defined(__clang__)
	// Leaving the pack changed across the include is the point of this header.
	#pragma clang diagnostic ignored "-Wpragma-pack"
#endif
#if SMTG_OS_WINDOWS
	#pragma pack(push)
	#if SMTG_PLATFORM_64
		#pragma pack(16)
	#else
		#pragma pack(8)
	#endif
#elif SMTG_OS_LINUX
	#if SMTG_PLATFORM_64
		#pragma pack(push, 16)
	#else
		#pragma pack(push, 8)
	#endif
#endif
