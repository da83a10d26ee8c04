#include "tools/dataset/DataSet.h"

namespace trivale {
namespace dataset {

void AddScenes(DataSet&, const std::string&) {}

}  // namespace dataset
}  // namespace trivale
