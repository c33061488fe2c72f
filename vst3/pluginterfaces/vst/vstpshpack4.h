// Opens a 4-byte packing region (32-bit Windows note-expression events); close with falignpop.h.
// No include guard on purpose.
#if defined(__clang__)
	#pragma clang diagnostic ignored "-Wpragma-pack"
#endif
#pragma pack(push)
#pragma pack(4)
