#pragma once
// What both record writers take from libuemf alike: the release of the
// blocks its constructors allocate, and a 24-bit DIB's info block.
#include <cstdlib>
#include <memory>

#include <uemf.h>

#include "platform/metafile/MetafileRecords.h"

struct TUemfFree {
    void operator()(void* p) const { std::free(p); }
};

// The info block of a 24-bit DIB (96 dpi), owned by the caller.
inline std::unique_ptr<U_BITMAPINFO, TUemfFree> DibInfo(const TDib& dib) {
    const U_BITMAPINFOHEADER h = bitmapinfoheader_set(dib.Width, dib.Height, 1, 24, U_BI_RGB,
                                                      static_cast<uint32_t>(dib.Pixels.size()), 3780, 3780, 0, 0);
    return std::unique_ptr<U_BITMAPINFO, TUemfFree>(bitmapinfo_set(h, nullptr));
}
