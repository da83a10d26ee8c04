// Builds, lists, verifies and extracts resource archives ("data.tva"), in the layout the engine's
// archive reader reads.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace trivale {
namespace tools {

// One file to pack: its name in the archive ("\\" separators) and where its bytes are.
struct PackItem {
    std::string name;
    std::string path;
    std::uint64_t size = 0;
};

// Every entry of the reader's format is addressed by signed 32-bit file positions.
const std::uint64_t kMaxArchiveSize = 0x7FFFFFFF;

// The plain files of a tree, depth first in name order, named relative to the tree. Hidden
// directories, linked directories, links that lead out of the tree and anything that is not a
// plain file are left out, each with a warning; so is the file at excludePath. False (with the
// reason) when the tree cannot be read.
bool CollectTree(const std::string& root, const std::string& excludePath, std::vector<PackItem>& items,
                 std::vector<std::string>& warnings, std::string& error);

// Size of the archive that the items make.
std::uint64_t ArchiveSize(const std::vector<PackItem>& items);

// Refuses names that are empty, absolute, hold NUL bytes, '/', empty, "." or ".." parts, or are
// longer or deeper than the engine reads; two names equal after lower-casing, a name that is also
// another's folder, and an archive larger than its 32-bit positions allow. Listing, verifying and
// extracting refuse archives with such names too.
bool CheckItems(const std::vector<PackItem>& items, std::string& error);

// Writes the archive (through a temporary file beside it, so a failure leaves no half archive).
bool WriteArchive(const std::string& archivePath, const std::vector<PackItem>& items, std::string& error);

// The command line of the tvpack program; returns its exit code (0 done, 1 failed, 2 bad usage).
int RunPacker(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tools
}  // namespace trivale
