// Closes the packing region opened by falignpush.h.
#if SMTG_OS_WINDOWS || SMTG_OS_LINUX
	#pragma pack(pop)
#endif
