// The UI DLL hands its caller a name in fixed global memory: what it relies
// on of GlobalAlloc, GlobalSize and GlobalFree, the same over our Win32 layer
// and over real Win32.
#include "harness.h"

namespace {

TEST(GlobalMemoryConformance, FixedBlocksHoldTheirSizeAndAreFreedToNull) {
    for (const UINT flags : {UINT(GMEM_FIXED), UINT(GPTR)}) {
        SCOPED_TRACE(flags);
        auto* block = static_cast<BYTE*>(GlobalAlloc(flags, 26));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(GlobalSize(block), SIZE_T(26));
        if (flags & GMEM_ZEROINIT) {
            for (int i = 0; i < 26; ++i) EXPECT_EQ(block[i], 0) << i;
        }
        block[25] = 0x5A;  // a fixed block's handle is its address
        EXPECT_EQ(GlobalFree(block), nullptr);
    }
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

}  // namespace
