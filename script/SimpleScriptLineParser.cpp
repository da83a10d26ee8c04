#include "script/SimpleScriptLineParser.h"

#include <cstring>

#include "script/LineInterpreter.h"

namespace trivale {
namespace type_a {

CSimpleScriptLineParser::CSimpleScriptLineParser(CSimpleScriptEngine* engine)
    : grammar_(new simple_script::line_interpreter(engine)) {}

CSimpleScriptLineParser::~CSimpleScriptLineParser() {}

bool CSimpleScriptLineParser::Parse(const std::string& line) {
    namespace spirit = boost::spirit::classic;
    const char* first = line.c_str();
    const char* last = first + std::strlen(first);
    // end_p: the phrase-level parse would not skip the trailing blanks itself.
    return spirit::parse(first, last, *grammar_ >> spirit::end_p, simple_script::blank_parser()).full;
}

}  // namespace type_a
}  // namespace trivale
