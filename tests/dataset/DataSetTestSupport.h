// Shared pieces of the data set tests: each part built once for the whole program, built again to
// compare, and pictures decoded as the engine loads them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "gfxkit/ImageLoader.h"
#include "tools/dataset/DataSet.h"

namespace datasettest {

using trivale::dataset::Bytes;
using trivale::dataset::DataSet;

template <void (*Add)(DataSet&)>
const DataSet& Built() {
    static const DataSet set = [] {
        DataSet s;
        Add(s);
        return s;
    }();
    return set;
}

template <void (*Add)(DataSet&)>
bool SameOnASecondBuild() {
    DataSet again;
    Add(again);
    return again.Files() == Built<Add>().Files();
}

// Level 0 as the loader hands it over: file size, the given levels, texels B, G, R, A.
inline plat::LoadedImage Decode(const Bytes& file, plat::Format format = plat::Format::Argb8888,
                                std::uint32_t mips = 1) {
    plat::ImageLoadParams params;
    params.width = params.height = plat::kImageDefaultNonPow2;
    params.mipLevels = mips;
    params.format = format;
    plat::LoadedImage image;
    std::string why;
    EXPECT_EQ(plat::LoadImageFromMemory(file.data(), file.size(), params, image, &why), plat::gfx::kOk) << why;
    return image;
}

}  // namespace datasettest
