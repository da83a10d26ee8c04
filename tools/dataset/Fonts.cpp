#include "tools/dataset/DataSet.h"

namespace trivale {
namespace dataset {

void AddFonts(DataSet&) {}

}  // namespace dataset
}  // namespace trivale
