// Runs a script source a line at a time, once per frame; each line executes while it parses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/Object.h"
#include "script/CustomFunctionSet.h"
#include "script/Factor.h"
#include "script/FactorStack.h"
#include "script/SimpleScriptEngineListener.h"
#include "script/SimpleScriptSource.h"
#include "script/VariableTable.h"

namespace trivale {
namespace type_a {

class CSimpleScriptLineParser;

class CSimpleScriptEngine : public virtual CNonCopyable, public simple_script::IFactorErrorListener {
public:
    // Lines one Run or one Interrupt executes at most: a loop without sleep ends the frame instead
    // of freezing the program.
    static const int kLineBudget = 1000000;
    // Deepest gosub nesting; a recursion without return is refused instead of growing without end.
    static const int kMaxReturnDepth = 100000;
    // Bytes of string work (line text parsed, strings joined or compared, messages and prints) one
    // Run or one Interrupt does at most: a frame ends after the line that uses it up, and a single
    // line that alone uses more is cut where it does and reported as an error of that line. Either
    // way the frame ends as when the line budget runs out. A few tens of milliseconds of copying at
    // most.
    static const std::size_t kWorkBudget = std::size_t{64} << 20;

    CSimpleScriptEngine();
    ~CSimpleScriptEngine() override;

    // "script error: " + text to the listener (or the log); counted for the current line.
    void OnError(const std::string& text) override;
    // "script warning: " + text likewise.
    void OnWarning(const std::string& text) override;

    // The source, listener and user object stay the host's.
    virtual void SetSource(CSimpleScriptSource* source);
    virtual CSimpleScriptSource* GetSource() const;
    // Sets are asked in the order added; the first that has the name runs the function.
    virtual void AddCustomFunctionSet(std::shared_ptr<simple_script::CCustomFunctionSet> functionSet);
    virtual void SetListener(ISimpleScriptEngineListener* listener);
    virtual void SetUserObject(CObject* object);
    virtual CObject* GetUserObject() const;

    // pc 0, sleep 0, variables cleared; the return stack, sets and pending messages stay.
    virtual void Reset();
    // One frame: counts a sleep down, or runs lines until a sleep of 1 or more or the end.
    virtual void Run();
    // Runs the label as a subroutine until it returns, inside this call; sleep and end are refused.
    virtual void Interrupt(const std::string& label);
    // false once the script has ended; the value itself is stored as given.
    virtual bool SetProgramCounter(std::int32_t pc);
    // pc = the label's line (the next line runs next); "label '*L' not found" when absent.
    virtual bool Goto(const std::string& label);
    virtual std::int32_t GetProgramCounter() const;
    virtual bool Gosub(const std::string& label);
    virtual bool Return();
    virtual void End();
    virtual bool Sleep(std::int32_t frames);
    // int 0 and "function F() not found" when no set has the name.
    virtual simple_script::CFactor CallFunction(const std::string& name,
                                                const std::deque<simple_script::CFactor>& arguments);

    virtual simple_script::CVariableTable& GetVariableTable();
    virtual simple_script::CFactorStack& GetFactorStack();
    virtual std::string& GetStringBuffer();
    virtual std::string& GetNameBuffer();
    virtual simple_script::FactorType GetDeclareType() const;
    virtual void SetDeclareType(simple_script::FactorType type);
    // An INFO log line, and to the listener's OnPrint.
    virtual void Print(const std::string& text);
    // Counts string work against the frame's work budget; inside a line that has done more than the
    // whole budget, it throws to cut that line (caught by the engine; a function that catches it
    // meets it again at its next charge).
    void ChargeWork(std::size_t bytes);

protected:
    // The limits in force, kLineBudget, kMaxReturnDepth and kWorkBudget; tests lower them to reach
    // them cheaply.
    int lineBudget_;
    std::size_t maxReturnDepth_;
    std::size_t workBudget_;

private:
    std::int32_t GetLineCount() const;
    bool IsRunning() const { return pc_ >= 0 && pc_ < GetLineCount(); }
    bool HasFrameBudget(int& lines) const { return lines-- != 0 && frameWork_ < workBudget_; }
    // Parses and executes line pc, then reports its messages under that line's number; true when the
    // line alone did more string work than the budget and was cut (which it reports).
    bool HandleLine();
    void Advance();
    // pc-based reports take the pc of the moment; 64-bit so that any stored pc + 1 is exact.
    void ReportScriptErrorCounts(std::int64_t lineNumber);
    // The text followed by " in <file>(<line>)" for the line being run (else pc + 1), unless it ends so.
    std::string Locate(const std::string& text) const;

    CSimpleScriptSource* source_;
    std::unique_ptr<CSimpleScriptLineParser> parser_;
    ISimpleScriptEngineListener* listener_;
    CObject* userObject_;
    std::int32_t pc_;
    std::deque<std::int32_t> returnStack_;
    std::int32_t sleep_;
    bool interrupt_;
    std::vector<std::string> lineErrors_;
    std::vector<std::string> lineWarnings_;
    simple_script::CVariableTable variables_;
    std::vector<std::shared_ptr<simple_script::CCustomFunctionSet>> functionSets_;
    simple_script::CFactorStack factorStack_;
    std::string stringBuffer_;
    std::string nameBuffer_;
    simple_script::FactorType declareType_;
    // Work of the current Run or Interrupt, and of the line being executed (when lineOpen_).
    std::size_t frameWork_;
    std::size_t lineWork_;
    bool lineOpen_;
    // 1-based number of the line being run, 0 outside a line.
    std::int64_t messageLine_;
};

}  // namespace type_a
}  // namespace trivale
