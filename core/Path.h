// Path functions: "\\" and "/" both separate; a leading letter and colon is a drive.
#pragma once

#include <string>

namespace trivale {

std::string ExtractFileExt(const std::string& path);
std::string ExtractFileDir(const std::string& path);
std::string ExtractFileName(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string ExcludeTrailingBackslash(const std::string& path);
std::string IncludeTrailingBackslash(const std::string& path);
// Absolute, normalised ("." and ".." folded, "\\" as "/"), trailing separator kept; the file need not
// exist. "" when the current directory is unknown.
std::string ExpandFileName(const std::string& path);

}  // namespace trivale
