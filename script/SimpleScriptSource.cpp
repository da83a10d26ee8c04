#include "script/SimpleScriptSource.h"

#include <cstring>

#include <boost/tokenizer.hpp>

#include "core/Log.h"
#include "core/MemoryStream.h"
#include "core/Text.h"

namespace trivale {
namespace type_a {

CSimpleScriptSource::CSimpleScriptSource() {}

CSimpleScriptSource::~CSimpleScriptSource() {}

void CSimpleScriptSource::SetName(const std::string& name) { name_ = name; }

std::string CSimpleScriptSource::GetName() const { return name_; }

void CSimpleScriptSource::Clear() {
    lines_.clear();
    labels_.clear();
}

const std::vector<std::string>& CSimpleScriptSource::GetLines() const { return lines_; }

const std::map<std::string, std::int32_t>& CSimpleScriptSource::GetLabels() const { return labels_; }

void CSimpleScriptSource::Load(IStream& stream) {
    Clear();
    CMemoryStream memory;
    memory.CopyFrom(stream, 0);
    const char* text = memory.GetBuffer() ? static_cast<const char*>(memory.GetBuffer()) : "";
    const std::size_t size = memory.GetBuffer() ? memory.GetSize() : 0;
    // A NUL byte ends the script.
    const void* nul = std::memchr(text, '\0', size);
    const char* end = nul ? static_cast<const char*>(nul) : text + size;

    // CR LF is one break; any other CR or LF is a break of its own, so a blank line in an LF-only
    // file keeps every later line number right. A last line without a break is kept.
    const char* begin = text;
    for (const char* p = text; p != end; ++p) {
        if (*p != '\r' && *p != '\n') continue;
        lines_.emplace_back(begin, p);
        if (*p == '\r' && p + 1 != end && p[1] == '\n') ++p;
        begin = p + 1;
    }
    if (begin != end) lines_.emplace_back(begin, end);

    typedef boost::tokenizer<boost::char_separator<char>> tokenizer_t;
    const boost::char_separator<char> separator(" \t", "*");
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::string& line = lines_[i];
        // Only a line whose first non-blank byte is '*' can define a label.
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] != '*') continue;

        const int number = static_cast<int>(i) + 1;
        tokenizer_t tokens(line, separator);
        tokenizer_t::iterator token = tokens.begin();
        ++token;  // the '*'
        if (token == tokens.end()) {
            TV_LOG_ERROR_AT("label definition error in line " + IntToString(number));
            continue;
        }
        labels_[*token] = static_cast<std::int32_t>(i);
        if (++token != tokens.end())
            LogInfoString("warning: label definition contains too much tokens in line " + IntToString(number));
    }
}

}  // namespace type_a
}  // namespace trivale
