// Where the links of an Ogg stream begin, found the plain way: libogg's page search over the whole
// bytes, every page's checksum worked out. What the reader's own pass must find (the sound tests and
// the ogg fuzz target compare the two).
#pragma once

#include <ogg/ogg.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace oggplain {

// Each link's bytes [begin, end): the first begins at 0, every beginning-of-stream page after a page of
// another kind begins the next.
inline std::vector<std::pair<std::uint32_t, std::uint32_t>> Links(const std::string& bytes) {
    const auto size = static_cast<std::uint32_t>(bytes.size());
    std::vector<std::pair<std::uint32_t, std::uint32_t>> links{{0, size}};
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    if (size > 0) {
        char* buffer = ogg_sync_buffer(&sync, static_cast<long>(size));
        std::memcpy(buffer, bytes.data(), size);
        ogg_sync_wrote(&sync, static_cast<long>(size));
    }
    bool sound = false;
    std::uint32_t at = 0;
    ogg_page page;
    for (long found; (found = ogg_sync_pageseek(&sync, &page)) != 0;) {
        const std::uint32_t pageAt = at;
        at += static_cast<std::uint32_t>(found < 0 ? -found : found);
        if (found < 0) continue;
        if (!ogg_page_bos(&page)) {
            sound = true;
        } else if (sound) {
            links.back().second = pageAt;
            links.emplace_back(pageAt, size);
            sound = false;
        }
    }
    ogg_sync_clear(&sync);
    return links;
}

}  // namespace oggplain
