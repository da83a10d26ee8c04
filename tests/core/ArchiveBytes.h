// Archive images built byte by byte, so that tests can damage any field.
#pragma once

#include <boost/crc.hpp>

#include <string>
#include <utility>
#include <vector>

#include "TestUtil.h"

namespace tvtest {

// One entry record; its CRC covers the name and the four fields (reserved ones zero).
inline std::string Record(const std::string& name, std::uint32_t offset, std::uint32_t size) {
    const std::string covered = name + LE32(offset) + LE32(size) + LE32(0) + LE32(0);
    boost::crc_32_type crc;
    crc.process_bytes(covered.data(), covered.size());
    return LE32(static_cast<std::uint32_t>(name.size())) + covered + LE32(crc.checksum());
}

inline std::string ArchiveHead(std::int32_t count) {
    return std::string("TrivaleArchive") + "TrivaleArchiveEntry" + LE32(static_cast<std::uint32_t>(count));
}

// A well-formed archive: the entries' bytes back to back in the given order.
inline std::string Archive(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string table, data;
    for (const auto& f : files) {
        table += Record(f.first, static_cast<std::uint32_t>(data.size()), static_cast<std::uint32_t>(f.second.size()));
        data += f.second;
    }
    return ArchiveHead(static_cast<std::int32_t>(files.size())) + table + data;
}

}  // namespace tvtest
