// Archive images built byte by byte, so that tests can damage any field.
#pragma once

#include <boost/crc.hpp>

#include <string>
#include <utility>
#include <vector>

#include "TestUtil.h"

namespace tvtest {

struct RecordFields {
    std::string name;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::uint32_t reserved1 = 0;
    std::uint32_t reserved2 = 0;
};

inline std::uint32_t RecordCrc(const RecordFields& r) {
    std::string covered = r.name + LE32(r.offset) + LE32(r.size) + LE32(r.reserved1) + LE32(r.reserved2);
    boost::crc_32_type crc;
    crc.process_bytes(covered.data(), covered.size());
    return crc.checksum();
}

inline std::string Record(const RecordFields& r) {
    return LE32(static_cast<std::uint32_t>(r.name.size())) + r.name + LE32(r.offset) + LE32(r.size) +
           LE32(r.reserved1) + LE32(r.reserved2) + LE32(RecordCrc(r));
}

inline std::string ArchiveHead(std::int32_t count) {
    return std::string("TrivaleArchive") + "TrivaleArchiveEntry" + LE32(static_cast<std::uint32_t>(count));
}

// A well-formed archive: the entries' bytes back to back in the given order.
inline std::string Archive(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string table, data;
    for (const auto& f : files) {
        RecordFields r;
        r.name = f.first;
        r.offset = static_cast<std::uint32_t>(data.size());
        r.size = static_cast<std::uint32_t>(f.second.size());
        table += Record(r);
        data += f.second;
    }
    return ArchiveHead(static_cast<std::int32_t>(files.size())) + table + data;
}

}  // namespace tvtest
