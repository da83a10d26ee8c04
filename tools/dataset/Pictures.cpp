#include "tools/dataset/DataSet.h"

namespace trivale {
namespace dataset {

void AddPictures(DataSet&) {}

}  // namespace dataset
}  // namespace trivale
