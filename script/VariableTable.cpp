#include "script/VariableTable.h"

namespace trivale {
namespace type_a {
namespace simple_script {

CVariableTable::CVariableTable() {}

CVariableTable::~CVariableTable() {}

void CVariableTable::Clear() { variables_.clear(); }

bool CVariableTable::Declare(const std::string& name, const CFactor& value) {
    auto found = variables_.lower_bound(name);
    if (found != variables_.end() && found->first == name) return false;
    variables_.emplace_hint(found, name, std::shared_ptr<CFactor>(new CFactor(value)));
    return true;
}

bool CVariableTable::Delete(const std::string& name) { return variables_.erase(name) != 0; }

bool CVariableTable::Assign(const std::string& name, const CFactor& value) {
    auto found = variables_.find(name);
    if (found == variables_.end()) return false;
    *found->second = value;
    return true;
}

bool CVariableTable::Get(const std::string& name, CFactor& out) const {
    auto found = variables_.find(name);
    if (found == variables_.end()) return false;
    out.CopyFrom(*found->second);
    return true;
}

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
