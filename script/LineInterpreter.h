// The line grammar. Only the line parser includes this: it brings in Spirit.
#pragma once

#include <boost/spirit/include/classic_core.hpp>
#include <boost/spirit/include/classic_escape_char.hpp>

#include "script/GrammarActions.h"

namespace trivale {
namespace type_a {

class CSimpleScriptEngine;

namespace simple_script {

namespace spirit = boost::spirit::classic;

// Factors may nest this deep (parentheses, "!" and call arguments); a deeper line is a syntax
// error instead of a stack overflow.
const int kMaxNesting = 256;

// Blanks of the "C" locale, whatever locale the process runs in.
struct blank_parser : spirit::char_parser<blank_parser> {
    template <typename CharT>
    bool test(CharT c) const {
        return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
    }
};

// Identifiers are ASCII whatever the locale: bytes of 0x80 and above belong to UTF-8 text.
struct identifier_head_parser : spirit::char_parser<identifier_head_parser> {
    template <typename CharT>
    bool test(CharT c) const {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    }
};

struct identifier_tail_parser : spirit::char_parser<identifier_tail_parser> {
    template <typename CharT>
    bool test(CharT c) const {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    }
};

// Fails once its subject is entered more than kMaxNesting + 1 times recursively.
template <typename SubjectT>
struct nesting_guard : spirit::unary<SubjectT, spirit::parser<nesting_guard<SubjectT>>> {
    typedef nesting_guard<SubjectT> self_t;
    typedef spirit::unary<SubjectT, spirit::parser<self_t>> base_t;

    nesting_guard(const SubjectT& subject, int* counter) : base_t(subject), depth(counter) {}

    template <typename ScannerT>
    typename spirit::parser_result<self_t, ScannerT>::type parse(const ScannerT& scan) const {
        if (*depth > kMaxNesting) return scan.no_match();
        struct level {
            explicit level(int* counter) : d(counter) { ++*d; }
            ~level() { --*d; }
            int* d;
        } entered(depth);
        typename ScannerT::iterator_t save = scan.first;
        if (auto hit = this->subject().parse(scan))
            return scan.create_match(hit.length(), spirit::nil_t(), save, scan.first);
        return scan.no_match();
    }

    int* depth;
};

template <typename SubjectT>
nesting_guard<SubjectT> guard_nesting(const SubjectT& subject, int* depth) {
    return nesting_guard<SubjectT>(subject, depth);
}

// The grammar of one line; its rules are built once per grammar object and reused.
struct line_interpreter : spirit::grammar<line_interpreter> {
    explicit line_interpreter(CSimpleScriptEngine* owner) : engine(owner), depth(0) {}

    template <typename ScannerT>
    struct definition {
        explicit definition(const line_interpreter& self) {
            using spirit::ch_p;
            using spirit::lexeme_d;
            using spirit::str_p;
            CSimpleScriptEngine* const e = self.engine;
            const blank_parser blank;

            line = !(label_line | declaration | assignment | deletion | if_statement | goto_statement |
                     gosub_statement | return_statement | sleep_statement | end_statement | call) >>
                   !comment;

            label_line = lexeme_d[ch_p('*') >> *spirit::anychar_p];
            comment = lexeme_d[ch_p('\'') >> *spirit::anychar_p];

            declaration = lexeme_d[(str_p("int")[declare_type_int(e)] | str_p("float")[declare_type_float(e)] |
                                    str_p("string")[declare_type_string(e)]) >>
                                   +blank] >>
                          variable_name[declare_variable(e)] >> !(ch_p('=') >> expression[assign(e)]);
            assignment = variable_name >> ch_p('=')[push_variable(e)] >> expression[assign(e)];
            deletion = lexeme_d[str_p("delete") >> +blank] >> variable_name[delete_variable(e)];
            goto_statement = lexeme_d[str_p("goto") >> +blank >> '*'] >> variable_name[control_goto(e)];
            gosub_statement = lexeme_d[str_p("gosub") >> +blank >> '*'] >> variable_name[control_gosub(e)];
            return_statement = lexeme_d[str_p("return")][control_return(e)];
            end_statement = lexeme_d[str_p("end")][control_end(e)];
            sleep_statement = lexeme_d[str_p("sleep") >> +blank] >> expression[control_sleep(e)] |
                              lexeme_d[str_p("sleep")][push_fixed_int(e, 1)][control_sleep(e)];

            if_statement = (lexeme_d[str_p("if") >> +blank] >> expression >> (if_goto_target | if_gosub_target) >>
                            !((lexeme_d[str_p("else") >> +blank] >>
                               (if_goto_target | if_gosub_target))[push_fixed_string(e, "@else")]))[control_if(e)];
            if_goto_target = lexeme_d[str_p("goto") >> +blank >> '*'] >>
                             identifier[store_string_buffer(e)][push_string(e)][push_fixed_string(e, "#goto")];
            if_gosub_target = lexeme_d[str_p("gosub") >> +blank >> '*'] >>
                              identifier[store_string_buffer(e)][push_string(e)][push_fixed_string(e, "#gosub")];

            call = identifier[store_string_buffer(e)] >> ch_p('(')[push_string(e)][push_argument_terminator(e)] >>
                   !(expression >> *(',' >> expression)) >> ch_p(')')[call_function(e)];

            // "<" is tried before "<=" and ">" before ">=": the shorter one fails on the "=".
            expression =
                additive >>
                !((str_p("==") >> additive)[eval_equal(e)] | (str_p("!=") >> additive)[eval_not_equal(e)] |
                  ('<' >> additive)[eval_less_than(e)] | (str_p("<=") >> additive)[eval_less_than_equal(e)] |
                  ('>' >> additive)[eval_greater_than(e)] | (str_p(">=") >> additive)[eval_greater_than_equal(e)]);
            additive = multiplicative >> *(('+' >> multiplicative)[eval_add(e)] | ('-' >> multiplicative)[eval_sub(e)] |
                                           (str_p("||") >> multiplicative)[eval_or(e)]);
            multiplicative = factor >> *(('*' >> factor)[eval_mul(e)] | ('/' >> factor)[eval_div(e)] |
                                         ('%' >> factor)[eval_mod(e)] | (str_p("&&") >> factor)[eval_and(e)]);
            // An operator is always tried before a literal, so a sign only ever belongs to a number.
            factor = guard_nesting(real_literal[push_float(e)] | spirit::int_p[push_int(e)] |
                                       string_literal[push_string(e)] | call | variable_name[push_variable(e)] |
                                       ('!' >> factor)[eval_not(e)] | ('(' >> expression >> ')'),
                                   &self.depth);

            variable_name = identifier[store_name_buffer(e)];
            identifier = lexeme_d[identifier_head_parser() >> *identifier_tail_parser()];
            // Recognised by its form only and converted from the matched text by push_float, so
            // any number of digits is fine. An exponent letter without digits fails the literal.
            const auto sign = ch_p('+') | '-';
            const auto exponent = (ch_p('e') | 'E') >> !sign >> +spirit::digit_p;
            real_literal =
                lexeme_d[!sign >> (((+spirit::digit_p >> '.' >> *spirit::digit_p) | ('.' >> +spirit::digit_p)) >>
                                       (exponent | (spirit::eps_p - (ch_p('e') | 'E'))) |
                                   (+spirit::digit_p >> exponent))];
            // Each character is appended as read; a closing quote is read too, then taken back by
            // the difference's right side, which ends the body. Bytes of 0x80 and above are plain.
            string_literal =
                lexeme_d[ch_p('"')[clear_string_buffer(e)] >>
                         *(spirit::lex_escape_ch_p[add_string_buffer(e)] - ch_p('"')[delete_back_string_buffer(e)]) >>
                         '"'];
        }

        const spirit::rule<ScannerT>& start() const { return line; }

        spirit::rule<ScannerT> line, label_line, comment, declaration, assignment, deletion, goto_statement,
            gosub_statement, return_statement, end_statement, sleep_statement, if_statement, if_goto_target,
            if_gosub_target, call, expression, additive, multiplicative, factor, variable_name, identifier,
            real_literal, string_literal;
    };

    CSimpleScriptEngine* engine;
    // Current factor nesting; every level entered is left again, also when an action throws.
    mutable int depth;
};

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
