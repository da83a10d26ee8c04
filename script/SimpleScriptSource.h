// A loaded script: its lines, the table of its labels and the name used in messages.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/Object.h"
#include "core/Stream.h"

namespace trivale {
namespace type_a {

class CSimpleScriptSource : public virtual CObject {
public:
    CSimpleScriptSource();
    ~CSimpleScriptSource() override;

    virtual void SetName(const std::string& name);
    virtual std::string GetName() const;
    // Reads the whole stream from its start (a NUL byte ends the text), cuts it into lines and
    // collects the labels. Label mistakes go to the log only; loading never fails for them.
    virtual void Load(IStream& stream);
    // Lines and labels emptied; the name stays.
    virtual void Clear();
    virtual const std::vector<std::string>& GetLines() const;
    // Label name (case-sensitive) to the 0-based index of the line that defines it.
    virtual const std::map<std::string, std::int32_t>& GetLabels() const;

private:
    std::vector<std::string> lines_;
    std::map<std::string, std::int32_t> labels_;
    std::string name_;
};

}  // namespace type_a
}  // namespace trivale
