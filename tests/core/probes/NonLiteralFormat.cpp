// Must not build: a value used as a format would keep its line breaks in the log. The LogFormatIsALiteral
// test compiles this file and passes only on the build's refusal of the format.
#include <string>

#include "core/Log.h"

void Probe(const std::string& name) { trivale::LogInfo(name.c_str(), 1); }
