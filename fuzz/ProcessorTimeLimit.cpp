// Every fuzz program is linked with --wrap=LLVMFuzzerTestOneInput (fuzz/CMakeLists.txt): libFuzzer's
// calls come here, and each input runs under the processor-time limit before the target sees it.
#include "fuzz/FuzzSupport.h"

extern "C" int __real_LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int __wrap_LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const double seconds = fuzz::ProcessorTimeLimit();
    return fuzz::WithinProcessorTime(seconds, [&] { return __real_LLVMFuzzerTestOneInput(data, size); });
}
