#include "tools/ArchivePacker.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>

#include <boost/crc.hpp>

#include "core/ArchiveFileLoader.h"
#include "core/DataLoader.h"
#include "core/Exception.h"
#include "core/Stream.h"
#include "core/Text.h"
#include "platform/Printable.h"
#include "platform/System.h"

namespace trivale {
namespace tools {

namespace {

const char* const kUsage =
    "usage: tvpack pack DIR [ARCHIVE]      pack the files under DIR into ARCHIVE (default data.tva)\n"
    "       tvpack list ARCHIVE             list the entries: size, offset, name\n"
    "       tvpack verify ARCHIVE [DIR]     check the table and every entry; with DIR, compare with its files\n"
    "       tvpack extract ARCHIVE [DIR]    write every entry as a file under DIR (default .)\n";

const std::size_t kCopyBlock = 1 << 20;

// Every name, path and reason printed is shown escaped: an entry's name, a file's, an argument may
// hold a line break or an escape sequence, and none of it may start a line or reach the terminal raw.
std::string Shown(const std::string& value) { return plat::Printable(value); }

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool Walk(const std::string& dir, const std::string& prefix, const std::string& realRoot,
          const std::string& realExclude, std::vector<PackItem>& items, std::vector<std::string>& warnings,
          std::string& error, int depth) {
    std::vector<plat::DirEntry> entries;
    if (!plat::ListDirectory(dir, entries)) {
        warnings.push_back("cannot read directory " + dir);
        return true;
    }
    for (const plat::DirEntry& e : entries) {
        const std::string path = dir + "/" + e.name;
        const std::string name = prefix + e.name;
        if (e.name.find('\\') != std::string::npos) {
            // It would read as a directory separator inside the archive.
            error = "the name of " + path + " holds a backslash, the archive's directory separator";
            return false;
        }
        if (e.isDirectory) {
            if (e.isSymlink)
                warnings.push_back("skipping linked directory " + path);
            else if (e.isHidden)
                warnings.push_back("skipping hidden directory " + path);
            else if (depth >= 128)
                warnings.push_back("skipping directory nested too deep " + path);
            else if (!Walk(path, name + "\\", realRoot, realExclude, items, warnings, error, depth + 1))
                return false;
            continue;
        }
        if (!e.isFile) {
            warnings.push_back("skipping " + path + ": not a plain file");
            continue;
        }
        const std::string real = plat::RealPath(path);
        if (e.isSymlink && !StartsWith(real, realRoot + "/")) {
            warnings.push_back("skipping " + path + ": the link leads out of the tree");
            continue;
        }
        if (!realExclude.empty() && real == realExclude) {
            warnings.push_back("skipping " + path + ": it is the archive being written");
            continue;
        }
        PackItem item;
        item.name = name;
        item.path = path;
        plat::File f;
        if (!f.Open(path, plat::FileMode::ReadExisting)) {
            warnings.push_back("skipping " + path + ": " + plat::ErrorText(f.Error()));
            continue;
        }
        item.size = static_cast<std::uint64_t>(std::max<std::int64_t>(0, f.Size()));
        items.push_back(item);
    }
    return true;
}

std::string Describe(const std::exception& e) {
    const EException* engine = dynamic_cast<const EException*>(&e);
    std::string text = e.what();
    if (engine && !engine->GetOrigin().empty()) text += " (" + engine->GetOrigin() + ")";
    return text;
}

// Why the packer would never write this name, or "" when it would: the packer names a file by its
// path in the tree, non-empty parts joined by "\\", within the bounds the engine reads. Nothing else
// can be extracted safely, and the engine's loader takes no other names either.
std::string NameProblem(const std::string& name) {
    if (name.empty()) return "it is an empty name";
    if (name.find('\0') != std::string::npos) return "it holds a NUL byte";
    if (name.size() > CArchiveFileLoader::kMaxNameLength)
        return "it is longer than " + std::to_string(CArchiveFileLoader::kMaxNameLength) +
               " bytes, which the engine refuses";
    if (std::count(name.begin(), name.end(), '\\') > CArchiveFileLoader::kMaxNameDepth)
        return "it lies more than " + std::to_string(CArchiveFileLoader::kMaxNameDepth) +
               " folders deep, which the engine refuses";
    if (name[0] == '\\') return "it is an absolute path";
    if (name.find('/') != std::string::npos) return "it holds a '/'";
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('\\', start), name.size());
        const std::string part = name.substr(start, end - start);
        if (part.empty()) return "it has an empty part";
        if (part == "." || part == "..") return "it has a \"" + part + "\" part";
        start = end + 1;
    }
    return std::string();
}

// Names that collide in an archive, where lookup ignores letter case: two names equal but for case,
// or a name that is also the folder of another. One message per collision.
std::vector<std::string> CollisionProblems(const std::vector<std::string>& names) {
    std::vector<std::string> problems;
    std::map<std::string, std::string> seen;
    for (const std::string& name : names) {
        auto done = seen.insert(std::make_pair(ToLowerCase(name), name));
        if (!done.second)
            problems.push_back("\"" + done.first->second + "\" and \"" + name +
                               "\" differ only in letter case; the archive looks names up without regard to case");
    }
    for (const auto& n : seen)
        for (std::size_t pos = n.first.find('\\'); pos != std::string::npos; pos = n.first.find('\\', pos + 1)) {
            auto folder = seen.find(n.first.substr(0, pos));
            if (folder != seen.end())
                problems.push_back("\"" + folder->second + "\" is both an entry and the folder of \"" + n.second +
                                   "\"");
        }
    return problems;
}

using ArchiveLoader = TArchiveFileDataLoader<CArchiveFileLoader>;

// Every command opens an archive this way: as the engine opens it (header, every record's CRC, names
// its directory index takes; those faults throw), every entry inside the file, and with only names the
// packer writes. Null, with each bad entry on err, when it holds any other.
std::unique_ptr<ArchiveLoader> OpenArchive(const std::string& path, std::ostream& err) {
    std::unique_ptr<ArchiveLoader> loader(new ArchiveLoader(path));
    CArchiveFileLoader& archive = loader->GetReader();
    std::vector<std::string> names, problems;
    for (int i = 0; i < archive.GetEntryCount(); ++i) {
        names.push_back(archive.GetEntry(i)->name);
        const std::string problem = NameProblem(names.back());
        if (!problem.empty()) problems.push_back("entry name \"" + names.back() + "\": " + problem);
    }
    for (const std::string& p : CollisionProblems(names)) problems.push_back(p);
    // The engine refuses an entry past the end of the file only when it is opened; the tool checks all.
    for (const std::string& name : names) {
        try {
            archive.OpenEntry(name);
        } catch (const EInvalidFileFormat& e) {
            problems.push_back(Describe(e));
        }
    }
    if (problems.empty()) return loader;
    for (const std::string& p : problems) err << "tvpack: " << Shown(path) << ": " << Shown(p) << "\n";
    err << "tvpack: " << Shown(path) << ": " << problems.size() << " bad entr" << (problems.size() == 1 ? "y" : "ies")
        << "\n";
    return nullptr;
}

// Hands a record's bytes to the sink block by block.
// False when the entry reads short or the sink refuses a block.
template <class Sink>
bool ReadRecord(CArchiveFileLoader& archive, const CArchiveFileEntryHeader& record, Sink sink) {
    CFilePartitionStream stream(archive.GetDataStart() + record.offset, record.size, archive.GetPath(),
                                plat::FileMode::ReadExisting, FileShare::Read);
    std::vector<char> buffer(std::min<std::size_t>(kCopyBlock, record.size));
    std::uint32_t left = record.size;
    while (left > 0) {
        const std::uint32_t want = std::min<std::uint32_t>(left, static_cast<std::uint32_t>(buffer.size()));
        if (stream.Read(buffer.data(), want) != want || !sink(buffer.data(), want)) return false;
        left -= want;
    }
    return true;
}

// The files of the tree, the archive itself left out; false, with the reason on err, when the tree
// cannot be read.
bool Collect(const std::string& dir, const std::string& archivePath, std::vector<PackItem>& items,
             std::vector<std::string>& warnings, std::ostream& err) {
    std::string error;
    if (CollectTree(dir, archivePath, items, warnings, error)) return true;
    err << "tvpack: " << Shown(error) << "\n";
    return false;
}

int Pack(const std::string& dir, const std::string& archivePath, std::ostream& out, std::ostream& err) {
    if (plat::GetPathKind(dir) != plat::PathKind::Directory) {
        err << "tvpack: " << Shown(dir) << " is not a directory\n";
        return 1;
    }
    std::vector<PackItem> items;
    std::vector<std::string> warnings;
    if (!Collect(dir, archivePath, items, warnings, err)) return 1;
    for (const std::string& w : warnings) err << "tvpack: warning: " << Shown(w) << "\n";
    std::string error;
    if (!CheckItems(items, error) || !WriteArchive(archivePath, items, error)) {
        err << "tvpack: " << Shown(error) << "\n";
        return 1;
    }
    // Read the table back as the engine will.
    try {
        CArchiveFileLoader check;
        check.Open(archivePath);
        if (check.GetEntryCount() != static_cast<int>(items.size())) {
            err << "tvpack: " << Shown(archivePath) << " reads back with a different entry count\n";
            return 1;
        }
    } catch (const EException& e) {
        err << "tvpack: " << Shown(archivePath) << " does not read back: " << Shown(Describe(e)) << "\n";
        return 1;
    }
    out << "packed " << items.size() << " files into " << Shown(archivePath) << " (" << ArchiveSize(items)
        << " bytes)\n";
    return 0;
}

int List(const std::string& archivePath, std::ostream& out, std::ostream& err) {
    std::unique_ptr<ArchiveLoader> loader = OpenArchive(archivePath, err);
    if (!loader) return 1;
    CArchiveFileLoader& archive = loader->GetReader();
    std::uint64_t total = 0;
    for (int i = 0; i < archive.GetEntryCount(); ++i) {
        const CArchiveFileEntryHeader* e = archive.GetEntry(i);
        out << FormatString("%10u %10u  ", e->size, e->offset) << Shown(e->name) << "\n";
        total += e->size;
    }
    out << archive.GetEntryCount() << " entries, " << total << " bytes\n";
    return 0;
}

int Verify(const std::string& archivePath, const std::string& dir, std::ostream& out, std::ostream& err) {
    std::unique_ptr<ArchiveLoader> loader = OpenArchive(archivePath, err);
    if (!loader) return 1;
    CArchiveFileLoader& archive = loader->GetReader();
    std::uint64_t total = 0;
    std::map<std::string, const CArchiveFileEntryHeader*> byName;
    for (int i = 0; i < archive.GetEntryCount(); ++i) {
        const CArchiveFileEntryHeader* e = archive.GetEntry(i);
        if (!ReadRecord(archive, *e, [](const char*, std::size_t) { return true; })) {
            err << "tvpack: " << Shown(e->name) << ": short entry\n";
            return 1;
        }
        total += e->size;
        byName[ToLowerCase(e->name)] = e;
    }
    if (!dir.empty()) {
        std::vector<PackItem> items;
        std::vector<std::string> warnings;
        if (!Collect(dir, archivePath, items, warnings, err)) return 1;
        int differences = 0;
        for (const PackItem& item : items) {
            auto it = byName.find(ToLowerCase(item.name));
            if (it == byName.end()) {
                err << "tvpack: missing from the archive: " << Shown(item.name) << "\n";
                ++differences;
                continue;
            }
            const CArchiveFileEntryHeader* e = it->second;
            byName.erase(it);
            plat::File f;
            std::vector<char> disk;
            auto same = [&](const char* p, std::size_t n) {
                disk.resize(n);
                return f.Read(disk.data(), n) == static_cast<std::int64_t>(n) && std::equal(p, p + n, disk.begin());
            };
            if (!f.Open(item.path, plat::FileMode::ReadExisting) || f.Size() != static_cast<std::int64_t>(e->size) ||
                !ReadRecord(archive, *e, same)) {
                err << "tvpack: differs: " << Shown(item.name) << "\n";
                ++differences;
            }
        }
        for (const auto& extra : byName) {
            err << "tvpack: not in " << Shown(dir) << ": " << Shown(extra.second->name) << "\n";
            ++differences;
        }
        if (differences) {
            err << "tvpack: " << differences << " difference(s)\n";
            return 1;
        }
    }
    out << "ok: " << archive.GetEntryCount() << " entries, " << total << " bytes\n";
    return 0;
}

int Extract(const std::string& archivePath, const std::string& dir, std::ostream& out, std::ostream& err) {
    std::unique_ptr<ArchiveLoader> loader = OpenArchive(archivePath, err);
    if (!loader) return 1;
    CArchiveFileLoader& archive = loader->GetReader();
    for (int i = 0; i < archive.GetEntryCount(); ++i) {
        const CArchiveFileEntryHeader* e = archive.GetEntry(i);
        std::string rel = e->name;  // checked: relative, no "." or ".." parts
        std::replace(rel.begin(), rel.end(), '\\', '/');
        const std::filesystem::path target = std::filesystem::path(dir) / rel;
        // A link already in the output folder could lead out of it.
        std::error_code ec;
        std::filesystem::path on = dir;
        for (const auto& part : std::filesystem::path(rel)) {
            on /= part;
            if (std::filesystem::is_symlink(on, ec)) {
                err << "tvpack: refusing to write through the link " << Shown(on.string()) << "\n";
                return 1;
            }
        }
        std::filesystem::create_directories(target.parent_path(), ec);
        if (ec) {
            err << "tvpack: cannot create " << Shown(target.parent_path().string()) << ": " << Shown(ec.message())
                << "\n";
            return 1;
        }
        plat::File f;
        if (!f.Open(target.string(), plat::FileMode::CreateWrite)) {
            err << "tvpack: cannot write " << Shown(target.string()) << ": " << Shown(plat::ErrorText(f.Error()))
                << "\n";
            return 1;
        }
        bool written = true;
        auto write = [&](const char* p, std::size_t n) {
            written = f.Write(p, n) == static_cast<std::int64_t>(n);
            return written;
        };
        if (!ReadRecord(archive, *e, write)) {
            err << "tvpack: " << Shown(written ? e->name + ": short entry" : "cannot write " + target.string()) << "\n";
            return 1;
        }
    }
    out << "extracted " << archive.GetEntryCount() << " entries into " << Shown(dir) << "\n";
    return 0;
}

}  // namespace

bool CollectTree(const std::string& root, const std::string& excludePath, std::vector<PackItem>& items,
                 std::vector<std::string>& warnings, std::string& error) {
    items.clear();
    const std::string realRoot = plat::RealPath(root);
    if (realRoot.empty() || plat::GetPathKind(realRoot) != plat::PathKind::Directory) {
        error = root + " is not a readable directory";
        return false;
    }
    const std::string realExclude = excludePath.empty() ? std::string() : plat::RealPath(excludePath);
    std::string dir = root;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return Walk(dir, "", realRoot, realExclude, items, warnings, error, 0);
}

std::uint64_t ArchiveSize(const std::vector<PackItem>& items) {
    std::uint64_t size = CArchiveFileLoader::kHeaderMagicSize + CArchiveFileLoader::kTableMagicSize + 4;
    for (const PackItem& item : items) size += 24 + item.name.size() + item.size;
    return size;
}

bool CheckItems(const std::vector<PackItem>& items, std::string& error) {
    std::vector<std::string> names;
    for (const PackItem& item : items) {
        const std::string problem = NameProblem(item.name);
        if (!problem.empty()) {
            error = "cannot pack " + item.path + " as \"" + item.name + "\": " + problem;
            return false;
        }
        names.push_back(item.name);
    }
    const std::vector<std::string> collisions = CollisionProblems(names);
    if (!collisions.empty()) {
        error = collisions.front();
        return false;
    }
    const std::uint64_t size = ArchiveSize(items);
    if (size > kMaxArchiveSize) {
        error = "the archive would be " + std::to_string(size) + " bytes; its 32-bit offsets allow at most " +
                std::to_string(kMaxArchiveSize);
        return false;
    }
    return true;
}

bool WriteArchive(const std::string& archivePath, const std::vector<PackItem>& items, std::string& error) {
    if (ArchiveSize(items) > kMaxArchiveSize) {
        error = "the archive would be too large for its 32-bit offsets";
        return false;
    }
    const std::string partPath = archivePath + ".part";
    plat::File out;
    if (!out.Open(partPath, plat::FileMode::CreateWrite)) {
        error = "cannot create " + partPath + ": " + plat::ErrorText(out.Error());
        return false;
    }
    auto fail = [&](const std::string& why) {
        error = why;
        out.Close();
        std::error_code ec;
        std::filesystem::remove(partPath, ec);
        return false;
    };

    std::string table = std::string(CArchiveFileLoader::kHeaderMagic, CArchiveFileLoader::kHeaderMagicSize) +
                        std::string(CArchiveFileLoader::kTableMagic, CArchiveFileLoader::kTableMagicSize);
    unsigned char field[4];
    auto put = [&](std::uint32_t v) {
        StoreLE32(field, v);
        table.append(reinterpret_cast<const char*>(field), 4);
    };
    put(static_cast<std::uint32_t>(items.size()));
    std::uint64_t offset = 0;
    for (const PackItem& item : items) {
        put(static_cast<std::uint32_t>(item.name.size()));
        const std::size_t covered = table.size();
        table += item.name;
        put(static_cast<std::uint32_t>(offset));
        put(static_cast<std::uint32_t>(item.size));
        put(0);
        put(0);
        boost::crc_32_type crc;
        crc.process_bytes(table.data() + covered, table.size() - covered);
        put(crc.checksum());
        offset += item.size;
    }
    if (out.Write(table.data(), table.size()) != static_cast<std::int64_t>(table.size()))
        return fail("cannot write " + partPath + ": " + plat::ErrorText(out.Error()));

    std::vector<char> buffer(kCopyBlock);
    for (const PackItem& item : items) {
        plat::File in;
        if (!in.Open(item.path, plat::FileMode::ReadExisting))
            return fail("cannot read " + item.path + ": " + plat::ErrorText(in.Error()));
        std::uint64_t left = item.size;
        while (left > 0) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
            const std::int64_t got = in.Read(buffer.data(), want);
            if (got < 0) return fail("cannot read " + item.path + ": " + plat::ErrorText(in.Error()));
            if (got != static_cast<std::int64_t>(want)) return fail(item.path + " became shorter while it was packed");
            if (out.Write(buffer.data(), want) != static_cast<std::int64_t>(want))
                return fail("cannot write " + partPath + ": " + plat::ErrorText(out.Error()));
            left -= want;
        }
        char extra;
        if (in.Read(&extra, 1) != 0) return fail(item.path + " grew while it was packed");
    }
    out.Close();
    std::error_code ec;
    std::filesystem::rename(partPath, archivePath, ec);
    if (ec) {
        std::filesystem::remove(partPath, ec);
        error = "cannot write " + archivePath + ": " + ec.message();
        return false;
    }
    return true;
}

int RunPacker(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        (args.empty() ? err : out) << kUsage;
        return args.empty() ? 2 : 0;
    }
    const std::string& command = args[0];
    const std::size_t operands = args.size() - 1;
    auto usage = [&]() {
        err << kUsage;
        return 2;
    };
    try {
        if (command == "pack") {
            if (operands < 1 || operands > 2) return usage();
            return Pack(args[1], operands == 2 ? args[2] : std::string("data.tva"), out, err);
        }
        if (command == "list") {
            if (operands != 1) return usage();
            return List(args[1], out, err);
        }
        if (command == "verify") {
            if (operands < 1 || operands > 2) return usage();
            return Verify(args[1], operands == 2 ? args[2] : std::string(), out, err);
        }
        if (command == "extract") {
            if (operands < 1 || operands > 2) return usage();
            return Extract(args[1], operands == 2 ? args[2] : std::string("."), out, err);
        }
    } catch (const std::exception& e) {
        err << "tvpack: " << Shown(Describe(e)) << "\n";
        return 1;
    }
    err << "tvpack: unknown command \"" << Shown(command) << "\"\n";
    return usage();
}

}  // namespace tools
}  // namespace trivale
