#include "tools/dataset/DataSet.h"

namespace trivale {
namespace dataset {

void AddMusic(DataSet&) {}

}  // namespace dataset
}  // namespace trivale
