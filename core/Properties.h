// A small table of text values by text key, keys compared without regard to letter case, filled
// from "key=value" lines.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/MemoryStream.h"
#include "core/Stream.h"
#include "core/Text.h"

namespace trivale {

namespace comparator_for_properties {

struct less_ignorecase {
    bool operator()(const std::string& a, const std::string& b) const { return ToLowerCase(a) < ToLowerCase(b); }
};

}  // namespace comparator_for_properties

// Splits text into lines at CR or LF; a CR or LF right after another ends the same line.
std::vector<std::string> SplitPropertyLines(const std::string& text);

template <class TCompare>
class TProperties : public virtual CObject {
public:
    TProperties() {}
    ~TProperties() override {}

    virtual void Clear() { values_.clear(); }

    virtual std::string Get(const std::string& key, const std::string& defaultValue) const {
        auto it = values_.find(key);
        return it == values_.end() ? defaultValue : it->second;
    }

    // A key keeps the letter case of its first insertion.
    virtual void Set(const std::string& key, const std::string& value) {
        auto it = values_.find(key);
        if (it == values_.end())
            values_.insert(std::make_pair(key, value));
        else
            it->second = value;
    }

    // Adds the stream's lines (from its start, up to a NUL byte) to the table.
    virtual void Load(IStream& stream) {
        CMemoryStream text;
        text.CopyFrom(stream, 0);
        const char nul = '\0';
        text.Write(&nul, 1);
        const char* bytes = static_cast<const char*>(text.GetBuffer());
        std::vector<std::string> lines = SplitPropertyLines(bytes ? std::string(bytes) : std::string());
        Parse(lines);
    }

    // Appends "key=value" per entry, in key order.
    virtual void Save(std::vector<std::string>& lines) const {
        for (const auto& kv : values_) lines.push_back(kv.first + "=" + kv.second);
    }

    // Sets one entry per line that holds "="; lines starting with ';' are comments. Nothing is trimmed.
    virtual void Parse(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            if (!line.empty() && line[0] == ';') continue;
            std::size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            Set(line.substr(0, eq), line.substr(eq + 1));
        }
    }

private:
    std::map<std::string, std::string, TCompare> values_;
};

}  // namespace trivale
