#include "script/GrammarActions.h"

#include <locale.h>
#include <stdlib.h>

namespace trivale {
namespace type_a {
namespace simple_script {

namespace {

CFactor MakeString(CSimpleScriptEngine* engine, const std::string& text) {
    CFactor factor(engine, TYPE_STRING);
    factor.SetStringValue(text);
    return factor;
}

bool IsTag(const CFactor& value, const char* tag) {
    return value.GetType() == TYPE_STRING && value.GetStringValue() == tag;
}

}  // namespace

void declare_type_int::Execute() const { engine->SetDeclareType(TYPE_INT); }

void declare_type_float::Execute() const { engine->SetDeclareType(TYPE_FLOAT); }

void declare_type_string::Execute() const { engine->SetDeclareType(TYPE_STRING); }

void declare_variable::Execute() const {
    const std::string& name = engine->GetNameBuffer();
    CFactor value(engine, engine->GetDeclareType());
    value.SetName(name);
    if (!engine->GetVariableTable().Declare(name, value)) {
        engine->OnError("'" + name + "' : redefinition");
        value.SetName("@@redefinition_error@@");
    }
    engine->GetFactorStack().Push(std::move(value));
}

void push_variable::Execute() const {
    const std::string& name = engine->GetNameBuffer();
    CFactor value(engine);
    if (!engine->GetVariableTable().Get(name, value)) engine->OnError("variable '" + name + "' not found");
    engine->GetFactorStack().Push(std::move(value));
}

void assign::Execute() const {
    CFactorStack& stack = engine->GetFactorStack();
    const CFactor value = stack.Pop();
    const CFactor target = stack.Pop();
    if (!engine->GetVariableTable().Assign(target.GetName(), value))
        engine->OnError("variable '" + target.GetName() + "' not found");
}

void delete_variable::Execute() const {
    const std::string& name = engine->GetNameBuffer();
    if (!engine->GetVariableTable().Delete(name)) engine->OnError("variable '" + name + "' not found");
}

void clear_string_buffer::Execute() const { engine->GetStringBuffer().clear(); }

void delete_back_string_buffer::Execute() const {
    std::string& buffer = engine->GetStringBuffer();
    if (!buffer.empty()) buffer.pop_back();
}

void push_string::Execute() const { engine->GetFactorStack().Push(MakeString(engine, engine->GetStringBuffer())); }

void push_argument_terminator::Execute() const {
    engine->GetFactorStack().Push(CFactor(engine, TYPE_ARGUMENT_TERMINATOR));
}

void call_function::Execute() const {
    CFactorStack& stack = engine->GetFactorStack();
    std::deque<CFactor> arguments;
    // Down to the terminator; an empty stack ends the search too, so a lost terminator cannot loop.
    while (!stack.IsEmpty()) {
        CFactor value = stack.Pop();
        if (value.GetType() == TYPE_ARGUMENT_TERMINATOR) break;
        arguments.push_front(std::move(value));
    }
    const CFactor name = stack.Pop();
    stack.Push(engine->CallFunction(name.GetStringValue(), arguments));
}

void push_float::operator()(const char* first, const char* last) const {
    // The matched text is converted by the C library in the "C" locale: correctly rounded to
    // float, with no detour through a double that could round twice.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    const std::string text(first, last);
    CFactor factor(engine, TYPE_FLOAT);
    factor.SetFloatValue(cLocale ? strtof_l(text.c_str(), nullptr, cLocale) : strtof(text.c_str(), nullptr));
    engine->GetFactorStack().Push(std::move(factor));
}

void eval_not::Execute() const {
    CFactorStack& stack = engine->GetFactorStack();
    const CFactor operand = stack.Pop();
    stack.Push(LogicalNot(operand));
}

void control_goto::Execute() const { engine->Goto(engine->GetNameBuffer()); }

void control_gosub::Execute() const { engine->Gosub(engine->GetNameBuffer()); }

void control_return::Execute() const { engine->Return(); }

void control_end::Execute() const { engine->End(); }

void control_sleep::Execute() const {
    const CFactor frames = engine->GetFactorStack().Pop();
    if (frames.GetType() == TYPE_INT)
        engine->Sleep(frames.GetIntValue());
    else
        engine->OnError("sleep statement: parameter type mismatch");
}

void control_if::Execute() const {
    CFactorStack& stack = engine->GetFactorStack();
    std::string elseTag;
    std::string elseLabel;
    CFactor firstTag = stack.Pop();
    if (IsTag(firstTag, "@else")) {
        const CFactor tag = stack.Pop();
        if (IsTag(tag, "#goto") || IsTag(tag, "#gosub")) {
            elseTag = tag.GetStringValue();
            elseLabel = stack.Pop().GetStringValue();
            firstTag.CopyFrom(stack.Pop());
        } else {
            engine->OnError("'" + tag.GetStringValue() + "': unknown 'if-else' statement operation");
            firstTag.CopyFrom(tag);
        }
    }
    std::string thenTag;
    std::string thenLabel;
    if (IsTag(firstTag, "#goto") || IsTag(firstTag, "#gosub")) {
        thenTag = firstTag.GetStringValue();
        thenLabel = stack.Pop().GetStringValue();
    } else {
        engine->OnError("'" + firstTag.GetStringValue() + "': unknown 'if' statement operation");
    }
    const CFactor condition = stack.Pop();
    if (condition.GetType() != TYPE_INT) {
        engine->OnError("expression type mismatch: 'if' statement");
        return;
    }
    const bool taken = condition.GetIntValue() != 0;
    const std::string& tag = taken ? thenTag : elseTag;
    const std::string& label = taken ? thenLabel : elseLabel;
    if (tag == "#goto")
        engine->Goto(label);
    else if (tag == "#gosub")
        engine->Gosub(label);
    else if (!tag.empty())
        engine->OnError("INTERNAL ERROR: '" + tag + "': invalid 'if' statement operation");
}

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
