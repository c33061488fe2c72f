// Opens a 4-byte packing region (32-bit Windows note-expression events); close with falignpop.h.
// No include guard on purpose.
#pragma pack(push)
#pragma pack(4)
