#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tools/dataset/DataSet.h"

namespace trivale {
namespace dataset {

void AddScript(DataSet& set, const std::string& contentDir) {
    // Taken byte for byte: the script's line ends and escapes are written for the engine as they stand.
    const std::string path = contentDir + "/main.tvs";
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) throw std::runtime_error("cannot read " + path);
    set.Add("main.tvs", std::move(bytes));
}

}  // namespace dataset
}  // namespace trivale
