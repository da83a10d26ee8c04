// The semantic actions of the line grammar. Each holds the engine and reaches everything through it;
// together, firing in parse order, they execute the line. Nothing is undone when an alternative
// fails later: that is the language's behaviour, not an accident.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>

#include "script/ExpressionOperators.h"
#include "script/Factor.h"
#include "script/SimpleScriptEngine.h"

namespace trivale {
namespace type_a {
namespace simple_script {

// An action fires with the matched range, or with the parsed value of a literal or character;
// most actions ignore both and only Execute.
template <class Action>
struct engine_action {
    explicit engine_action(CSimpleScriptEngine* owner) : engine(owner) {}
    template <class T>
    void operator()(const T&) const {
        static_cast<const Action&>(*this).Execute();
    }
    void operator()(const char*, const char*) const { static_cast<const Action&>(*this).Execute(); }
    CSimpleScriptEngine* engine;
};

#define TV_SCRIPT_ACTION(name)                                                    \
    struct name : engine_action<name> {                                           \
        explicit name(CSimpleScriptEngine* owner) : engine_action<name>(owner) {} \
        void Execute() const;                                                     \
    }

// The declaration keyword's type; fires on the keyword alone, even when the blank after it is missing.
TV_SCRIPT_ACTION(declare_type_int);
TV_SCRIPT_ACTION(declare_type_float);
TV_SCRIPT_ACTION(declare_type_string);
// A zero value of the declare type named after the name buffer: declared (or reported as a
// redefinition and renamed "@@redefinition_error@@"), then pushed either way.
TV_SCRIPT_ACTION(declare_variable);
// Pushes a copy of the variable in the name buffer, or int 0 and "variable 'N' not found".
TV_SCRIPT_ACTION(push_variable);
// Pops the value, pops the target, assigns through the target's name.
TV_SCRIPT_ACTION(assign);
TV_SCRIPT_ACTION(delete_variable);
TV_SCRIPT_ACTION(clear_string_buffer);
// Takes back the byte add_string_buffer appended for a closing quote.
TV_SCRIPT_ACTION(delete_back_string_buffer);
TV_SCRIPT_ACTION(push_string);
TV_SCRIPT_ACTION(push_argument_terminator);
// Pops the arguments down to the terminator, then the name; calls and pushes the result.
TV_SCRIPT_ACTION(call_function);
TV_SCRIPT_ACTION(eval_not);
TV_SCRIPT_ACTION(control_goto);
TV_SCRIPT_ACTION(control_gosub);
TV_SCRIPT_ACTION(control_return);
TV_SCRIPT_ACTION(control_end);
// Pops the frame count: Sleep for an int, "sleep statement: parameter type mismatch" otherwise.
TV_SCRIPT_ACTION(control_sleep);
// Pops the optional "@else" group, the first target and the condition, and jumps or calls.
TV_SCRIPT_ACTION(control_if);

#undef TV_SCRIPT_ACTION

// name buffer = the identifier
struct store_name_buffer {
    explicit store_name_buffer(CSimpleScriptEngine* owner) : engine(owner) {}
    void operator()(const char* first, const char* last) const { engine->GetNameBuffer().assign(first, last); }
    CSimpleScriptEngine* engine;
};

// string buffer = the identifier (a call's or an if target's name)
struct store_string_buffer {
    explicit store_string_buffer(CSimpleScriptEngine* owner) : engine(owner) {}
    void operator()(const char* first, const char* last) const { engine->GetStringBuffer().assign(first, last); }
    CSimpleScriptEngine* engine;
};

// One character of a string literal, escapes already decoded.
struct add_string_buffer {
    explicit add_string_buffer(CSimpleScriptEngine* owner) : engine(owner) {}
    void operator()(char c) const { engine->GetStringBuffer().push_back(c); }
    CSimpleScriptEngine* engine;
};

struct push_int {
    explicit push_int(CSimpleScriptEngine* owner) : engine(owner) {}
    void operator()(int value) const {
        CFactor factor(engine);
        factor.SetIntValue(value);
        engine->GetFactorStack().Push(std::move(factor));
    }
    CSimpleScriptEngine* engine;
};

// The literal's text converted correctly rounded and independent of the process locale.
struct push_float {
    explicit push_float(CSimpleScriptEngine* owner) : engine(owner) {}
    void operator()(const char* first, const char* last) const;
    CSimpleScriptEngine* engine;
};

struct push_fixed_int : engine_action<push_fixed_int> {
    push_fixed_int(CSimpleScriptEngine* owner, std::int32_t fixed) : engine_action(owner), value(fixed) {}
    void Execute() const { push_int{engine}(value); }
    std::int32_t value;
};

struct push_fixed_string : engine_action<push_fixed_string> {
    push_fixed_string(CSimpleScriptEngine* owner, const char* fixed) : engine_action(owner), value(fixed) {}
    void Execute() const {
        CFactor factor(engine, TYPE_STRING);
        factor.SetStringValue(value);
        engine->GetFactorStack().Push(std::move(factor));
    }
    const char* value;
};

// Pops right, then left, pushes left OP right.
template <CFactor (*Operation)(const CFactor&, const CFactor&)>
struct eval_binary : engine_action<eval_binary<Operation>> {
    explicit eval_binary(CSimpleScriptEngine* owner) : engine_action<eval_binary>(owner) {}
    void Execute() const {
        CFactorStack& stack = this->engine->GetFactorStack();
        const CFactor right = stack.Pop();
        const CFactor left = stack.Pop();
        // Joining or comparing two strings handles both; counted before the work is done.
        if (left.GetType() == TYPE_STRING && right.GetType() == TYPE_STRING)
            this->engine->ChargeWork(left.GetStringLength() + right.GetStringLength());
        stack.Push(Operation(left, right));
    }
};

typedef eval_binary<&ArithmeticOperation<std::plus<int>>> eval_add;
typedef eval_binary<&ArithmeticOperation<std::minus<int>>> eval_sub;
typedef eval_binary<&ArithmeticOperation<std::multiplies<int>>> eval_mul;
typedef eval_binary<&ArithmeticOperation<std::divides<int>>> eval_div;
typedef eval_binary<&IntegerOperation<std::modulus<int>>> eval_mod;
typedef eval_binary<&IntegerOperation<std::logical_and<int>>> eval_and;
typedef eval_binary<&IntegerOperation<std::logical_or<int>>> eval_or;
typedef eval_binary<&ComparisonOperation<std::equal_to<int>>> eval_equal;
typedef eval_binary<&ComparisonOperation<std::not_equal_to<int>>> eval_not_equal;
typedef eval_binary<&ComparisonOperation<std::less<int>>> eval_less_than;
typedef eval_binary<&ComparisonOperation<std::less_equal<int>>> eval_less_than_equal;
typedef eval_binary<&ComparisonOperation<std::greater<int>>> eval_greater_than;
typedef eval_binary<&ComparisonOperation<std::greater_equal<int>>> eval_greater_than_equal;

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
