// The script's variables by name (case-sensitive, byte-wise).
#pragma once

#include <map>
#include <string>

#include <memory>

#include "core/Object.h"
#include "script/Factor.h"

namespace trivale {
namespace type_a {
namespace simple_script {

// Reports nothing itself: every operation answers with a bool and the caller words the message.
class CVariableTable : public virtual CNonCopyable {
public:
    CVariableTable();
    ~CVariableTable() override;

    virtual void Clear();
    // false when the name exists (nothing changes); otherwise stores a full copy of the value.
    virtual bool Declare(const std::string& name, const CFactor& value);
    virtual bool Delete(const std::string& name);
    // The converting assignment onto the stored value; true whenever the name exists, also when that
    // assignment reported a mismatch.
    virtual bool Assign(const std::string& name, const CFactor& value);
    // A full copy of the stored value into out; false (out untouched) when absent.
    virtual bool Get(const std::string& name, CFactor& out) const;

private:
    std::map<std::string, std::shared_ptr<CFactor>> variables_;
};

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
