// Script source and engine: lines and labels, then a few frames and an interrupt under small limits.
#include "FuzzSupport.h"
#include "script/SimpleScriptEngine.h"
#include "script/SimpleScriptSource.h"
#include "script/StandardLibrary.h"

using namespace trivale;
using namespace trivale::type_a;

namespace {

// Limits far below the program's, so that a frame stays short.
class SmallEngine : public CSimpleScriptEngine {
public:
    SmallEngine() {
        lineBudget_ = 300;
        maxReturnDepth_ = 100;
        workBudget_ = 1 << 14;
    }
};

class Quiet : public ISimpleScriptEngineListener {
public:
    void OnError(const std::string&) override {}
    void OnWarning(const std::string&) override {}
    void OnPrint(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto stream = fuzz::MemoryStream(text);
    CSimpleScriptSource source;
    if (!fuzz::Parses([&] { source.Load(*stream); })) return 0;
    const std::size_t lines = source.GetLines().size();
    FUZZ_CHECK(lines <= size + 1);
    for (const auto& label : source.GetLabels())
        FUZZ_CHECK(label.second >= 0 && static_cast<std::size_t>(label.second) < lines);

    SmallEngine engine;
    Quiet quiet;
    engine.SetListener(&quiet);
    simple_script::standard_library::RegisterStandardLibrary(engine);
    engine.SetSource(&source);
    engine.Reset();
    for (int frame = 0; frame < 6; ++frame) {
        engine.Run();
        if (frame == 3 && !source.GetLabels().empty()) engine.Interrupt(source.GetLabels().begin()->first);
    }
    return 0;
}
