#include "core/Path.h"

#include <vector>

#include "platform/System.h"

namespace trivale {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Splits a path into drive, directory (with its last separator), file name and extension.
struct PathParts {
    std::string drive, dir, name, ext;
};

PathParts SplitPath(const std::string& path) {
    PathParts p;
    std::size_t pos = 0;
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        p.drive = path.substr(0, 2);
        pos = 2;
    }
    std::size_t lastSep = std::string::npos;
    for (std::size_t i = pos; i < path.size(); ++i)
        if (IsSeparator(path[i])) lastSep = i;
    std::size_t nameStart = pos;
    if (lastSep != std::string::npos) {
        p.dir = path.substr(pos, lastSep + 1 - pos);
        nameStart = lastSep + 1;
    }
    std::string rest = path.substr(nameStart);
    std::size_t dot = rest.rfind('.');
    if (dot == std::string::npos) {
        p.name = rest;
    } else {
        p.name = rest.substr(0, dot);
        p.ext = rest.substr(dot);
    }
    return p;
}

}  // namespace

std::string ExtractFileExt(const std::string& path) { return SplitPath(path).ext; }

std::string ExtractFileDir(const std::string& path) {
    PathParts p = SplitPath(path);
    return p.drive + p.dir;
}

std::string ExtractFileName(const std::string& path) {
    PathParts p = SplitPath(path);
    return p.name + p.ext;
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    PathParts p = SplitPath(path);
    return p.drive + p.dir + p.name + ext;
}

std::string ExcludeTrailingBackslash(const std::string& path) {
    if (!path.empty() && IsSeparator(path.back())) return path.substr(0, path.size() - 1);
    return path;
}

std::string IncludeTrailingBackslash(const std::string& path) {
    if (path.empty() || IsSeparator(path.back())) return path;
    return path + "\\";
}

std::string ExpandFileName(const std::string& path) {
    if (path.empty()) return std::string();
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';
    if (p[0] != '/') {
        std::string cwd = plat::GetCurrentDirectory();
        if (cwd.empty()) return std::string();
        p = cwd + "/" + p;
    }
    bool trailing = p.back() == '/';
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i < p.size()) {
        std::size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string part = p.substr(i, j - i);
        if (part.empty() || part == ".") {
        } else if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const std::string& part : parts) out += "/" + part;
    if (out.empty()) return "/";
    if (trailing) out += "/";
    return out;
}

}  // namespace trivale
