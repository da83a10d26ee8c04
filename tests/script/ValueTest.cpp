// Values and the factor stack where scripts cannot reach them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Exception.h"
#include "script/Factor.h"
#include "script/FactorStack.h"
#include "tests/core/TestUtil.h"

namespace script_test {
namespace {

using namespace trivale::type_a::simple_script;

class MessageLog : public IFactorErrorListener {
public:
    void OnError(const std::string& text) override { lines.push_back("E " + text); }
    void OnWarning(const std::string& text) override { lines.push_back("W " + text); }
    std::vector<std::string> lines;
};

CFactor Make(IFactorErrorListener* l, FactorType type, const char* name = "") {
    CFactor f(l, type);
    f.SetName(name);
    return f;
}

TEST(FactorTest, StringTakesATerminatorsEmptyTextSilently) {
    MessageLog log;
    CFactor s = Make(&log, TYPE_STRING, "s");
    s.SetStringValue("old");
    s = Make(&log, TYPE_ARGUMENT_TERMINATOR);
    EXPECT_EQ(s.GetStringValue(), "");
    EXPECT_TRUE(log.lines.empty());
}

TEST(FactorTest, ReportWithoutListenerThrows) {
    CFactor orphan(nullptr);
    EXPECT_THROW(orphan.NotifyError("x"), trivale::EException);
    const std::string thrown = tvtest::Thrown<trivale::EException>([&] { orphan.NotifyWarning("x"); });
    EXPECT_EQ(thrown.rfind("error listener is NULL @", 0), 0u) << thrown;
    EXPECT_NE(thrown.find("CFactor"), std::string::npos) << thrown;
}

TEST(FactorStackTest, PopsInReverseAndEmptyPopGivesIntZeroWithTheDefaultListener) {
    MessageLog log;
    CFactorStack stack(&log);
    stack.Push(Make(&log, TYPE_INT, "1"));
    stack.Push(Make(&log, TYPE_FLOAT, "2"));
    EXPECT_EQ(stack.Pop().GetName(), "2");
    EXPECT_EQ(stack.Pop().GetName(), "1");
    const CFactor extra = stack.Pop();
    EXPECT_EQ(extra.GetType(), TYPE_INT);
    EXPECT_EQ(extra.GetIntValue(), 0);
    EXPECT_EQ(extra.GetListener(), &log);
    EXPECT_TRUE(stack.IsEmpty());
}

}  // namespace
}  // namespace script_test
