// Property text: the table it fills saves to lines that parse back to the same table.
#include "core/Properties.h"
#include "FuzzSupport.h"

using namespace trivale;

typedef TProperties<comparator_for_properties::less_ignorecase> Properties;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto stream = fuzz::MemoryStream(std::string(reinterpret_cast<const char*>(data), size));
    Properties table;
    if (!fuzz::Parses([&] { table.Load(*stream); })) return 0;
    std::vector<std::string> saved;
    table.Save(saved);
    FUZZ_CHECK(saved.size() <= size);
    for (const std::string& line : saved) {
        const std::size_t eq = line.find('=');
        FUZZ_CHECK(eq != std::string::npos);
        FUZZ_CHECK(table.Get(line.substr(0, eq), "\x01missing") == line.substr(eq + 1));
    }
    Properties again;
    again.Parse(saved);
    std::vector<std::string> resaved;
    again.Save(resaved);
    FUZZ_CHECK(resaved == saved);
    return 0;
}
