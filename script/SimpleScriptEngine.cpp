#include "script/SimpleScriptEngine.h"

#include <exception>
#include <limits>

#include "core/Log.h"
#include "core/Text.h"
#include "script/SimpleScriptLineParser.h"

namespace trivale {
namespace type_a {

using simple_script::CFactor;
using simple_script::FactorType;

const int CSimpleScriptEngine::kLineBudget;
const int CSimpleScriptEngine::kMaxReturnDepth;
const std::size_t CSimpleScriptEngine::kWorkBudget;

namespace {

// Cuts a line that has used up more than a frame's work; never leaves the engine.
class ELineWorkExhausted : public std::exception {
public:
    const char* what() const noexcept override { return "script line exceeds the frame's work budget"; }
};

}  // namespace

CSimpleScriptEngine::CSimpleScriptEngine()
    : lineBudget_(kLineBudget),
      maxReturnDepth_(kMaxReturnDepth),
      workBudget_(kWorkBudget),
      source_(nullptr),
      listener_(nullptr),
      userObject_(nullptr),
      pc_(0),
      sleep_(0),
      interrupt_(false),
      factorStack_(this),
      declareType_(simple_script::TYPE_INT),
      frameWork_(0),
      lineWork_(0),
      lineOpen_(false),
      messageLine_(0) {
    parser_.reset(new CSimpleScriptLineParser(this));
}

CSimpleScriptEngine::~CSimpleScriptEngine() {}

// ---- Messages ------------------------------------------------------------------------------------

void CSimpleScriptEngine::ChargeWork(std::size_t bytes) {
    frameWork_ += bytes;
    lineWork_ += bytes;
    if (lineOpen_ && lineWork_ > workBudget_) throw ELineWorkExhausted();
}

std::string CSimpleScriptEngine::Locate(const std::string& text) const {
    if (!source_) return text;
    const std::int64_t line = messageLine_ > 0 ? messageLine_ : std::int64_t{pc_} + 1;
    const std::string where = source_->GetName() + "(" + std::to_string(line) + ")";
    if (text.size() >= where.size() && text.compare(text.size() - where.size(), where.size(), where) == 0) return text;
    return text + " in " + where;
}

// Every message also goes to the log, named by file and line, so that it outlives the console that
// shows it.
void CSimpleScriptEngine::OnError(const std::string& text) {
    ChargeWork(text.size());
    LogError("%s", Locate("script error: " + text).c_str());
    if (listener_) listener_->OnError("script error: " + text);
    lineErrors_.push_back(text);
}

void CSimpleScriptEngine::OnWarning(const std::string& text) {
    ChargeWork(text.size());
    LogInfoString(Locate("script warning: " + text));
    if (listener_) listener_->OnWarning("script warning: " + text);
    lineWarnings_.push_back(text);
}

void CSimpleScriptEngine::Print(const std::string& text) {
    ChargeWork(text.size());
    LogInfoString(text);
    if (listener_) listener_->OnPrint(text);
}

void CSimpleScriptEngine::ReportScriptErrorCounts(std::int64_t lineNumber) {
    const auto report = [&](std::vector<std::string>& texts, const char* kind,
                            void (ISimpleScriptEngineListener::*send)(const std::string&)) {
        if (texts.empty()) return;
        const std::string summary =
            FormatString("%d %s(s) in %s(%lld)", static_cast<int>(texts.size()), kind,
                         source_ ? source_->GetName().c_str() : "", static_cast<long long>(lineNumber));
        // Cleared before sending: a listener that calls back into the engine sees a clean slate.
        texts.clear();
        if (listener_)
            (listener_->*send)(summary);
        else
            TV_LOG_ERROR_AT(summary);
    };
    report(lineErrors_, "error", &ISimpleScriptEngineListener::OnError);
    report(lineWarnings_, "warning", &ISimpleScriptEngineListener::OnWarning);
}

// ---- Setup ---------------------------------------------------------------------------------------

void CSimpleScriptEngine::SetSource(CSimpleScriptSource* source) { source_ = source; }

CSimpleScriptSource* CSimpleScriptEngine::GetSource() const { return source_; }

void CSimpleScriptEngine::AddCustomFunctionSet(std::shared_ptr<simple_script::CCustomFunctionSet> functionSet) {
    if (functionSet) functionSets_.push_back(functionSet);
}

void CSimpleScriptEngine::SetListener(ISimpleScriptEngineListener* listener) { listener_ = listener; }

void CSimpleScriptEngine::SetUserObject(CObject* object) { userObject_ = object; }

CObject* CSimpleScriptEngine::GetUserObject() const { return userObject_; }

simple_script::CVariableTable& CSimpleScriptEngine::GetVariableTable() { return variables_; }

simple_script::CFactorStack& CSimpleScriptEngine::GetFactorStack() { return factorStack_; }

std::string& CSimpleScriptEngine::GetStringBuffer() { return stringBuffer_; }

std::string& CSimpleScriptEngine::GetNameBuffer() { return nameBuffer_; }

FactorType CSimpleScriptEngine::GetDeclareType() const { return declareType_; }

void CSimpleScriptEngine::SetDeclareType(FactorType type) { declareType_ = type; }

// ---- Execution -----------------------------------------------------------------------------------

std::int32_t CSimpleScriptEngine::GetLineCount() const {
    if (!source_) return 0;
    const std::size_t count = source_->GetLines().size();
    const std::size_t limit = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() - 1);
    return static_cast<std::int32_t>(count < limit ? count : limit);
}

void CSimpleScriptEngine::Advance() {
    if (pc_ < std::numeric_limits<std::int32_t>::max()) ++pc_;
}

bool CSimpleScriptEngine::HandleLine() {
    // Nothing of this line reaches the next, even when a host function throws out of it. A line
    // run by an interrupt inside another line leaves that line's work count as it was.
    struct LineScope {
        explicit LineScope(CSimpleScriptEngine& owner)
            : engine(owner), lineWork(owner.lineWork_), lineOpen(owner.lineOpen_), messageLine(owner.messageLine_) {
            owner.lineWork_ = 0;
            owner.lineOpen_ = true;
        }
        ~LineScope() {
            engine.stringBuffer_.clear();
            engine.nameBuffer_.clear();
            engine.factorStack_.Clear();
            engine.lineWork_ += lineWork;
            engine.lineOpen_ = lineOpen;
            engine.messageLine_ = messageLine;
        }
        CSimpleScriptEngine& engine;
        std::size_t lineWork;
        bool lineOpen;
        std::int64_t messageLine;
    } scope(*this);
    // The line's number is taken before it runs: a jump on the line must not change what the
    // messages name.
    const std::int32_t line = pc_;
    messageLine_ = std::int64_t{line} + 1;
    const std::string& text = source_->GetLines()[static_cast<std::size_t>(line)];
    bool parsed = true;
    bool cut = false;
    try {
        ChargeWork(text.size());
        parsed = parser_->Parse(text);
    } catch (const ELineWorkExhausted&) {
        // What ran before the cut stays, as on a line that fails to parse; frameWork_ is now past
        // the budget, so the frame ends after this line.
        cut = true;
    }
    lineOpen_ = false;
    if (cut)
        OnError("too much string work in one line");
    else if (!parsed)
        OnError("syntax error in " + source_->GetName() + "(" + IntToString(line + 1) + ")");
    ReportScriptErrorCounts(std::int64_t{line} + 1);
    return cut;
}

void CSimpleScriptEngine::Reset() {
    pc_ = 0;
    sleep_ = 0;
    variables_.Clear();
}

void CSimpleScriptEngine::Run() {
    if (!source_) return;
    ReportScriptErrorCounts(std::int64_t{pc_} + 1);
    if (sleep_ > 0) {
        --sleep_;
        return;
    }
    int lines = lineBudget_;
    frameWork_ = 0;
    do {
        if (!IsRunning()) return;
        // Out of lines or work for this frame: the frame ends as if the script had slept one frame.
        if (!HasFrameBudget(lines)) return;
        HandleLine();
        Advance();
    } while (sleep_ <= 0);
    --sleep_;
}

void CSimpleScriptEngine::Interrupt(const std::string& label) {
    if (!source_) return;
    ReportScriptErrorCounts(std::int64_t{pc_} + 1);
    const std::size_t depth = returnStack_.size();
    if (!Gosub(label)) return;
    // However the interrupt ends: interrupt mode is left, and the interrupt's own return entries
    // are dropped, so a later stray return in the main flow is reported instead of jumping into
    // the interrupt's caller. A host exception leaves as if the subroutine had returned.
    struct InterruptScope {
        InterruptScope(CSimpleScriptEngine& owner, std::size_t entries)
            : engine(owner), depth(entries), previous(owner.interrupt_), exceptions(std::uncaught_exceptions()) {
            owner.interrupt_ = true;
        }
        ~InterruptScope() {
            engine.interrupt_ = previous;
            if (engine.returnStack_.size() <= depth) return;
            if (std::uncaught_exceptions() > exceptions) engine.pc_ = engine.returnStack_[depth];
            engine.returnStack_.resize(depth);
        }
        CSimpleScriptEngine& engine;
        std::size_t depth;
        bool previous;
        int exceptions;
    } scope(*this, depth);
    int lines = lineBudget_;
    frameWork_ = 0;
    bool exhausted = false;
    bool cut = false;        // the last line run was cut for its own work, and said so
    std::int32_t last = -1;  // the last line run
    while (IsRunning()) {
        if (!HasFrameBudget(lines)) {
            exhausted = true;
            break;
        }
        last = pc_;
        cut = HandleLine();
        if (returnStack_.size() <= depth) break;
        Advance();
    }
    if (returnStack_.size() <= depth) return;
    // The subroutine never came back: the main flow has ended, as when its lines run out. An
    // interrupt has no later frame to go on in, so the string-work limit stops it where it strikes,
    // and that is what is reported, under the line that used the work up: once, when that line was
    // cut for its own work.
    if (exhausted) pc_ = GetLineCount();
    if (exhausted && frameWork_ >= workBudget_ && last >= 0) {
        if (cut) return;
        const std::int64_t outer = messageLine_;  // an interrupt run inside a line names its own
        messageLine_ = std::int64_t{last} + 1;
        OnError("too much string work in interrupt mode");
        messageLine_ = outer;
        ReportScriptErrorCounts(std::int64_t{last} + 1);
        return;
    }
    OnError("must return in interrupt mode");
    ReportScriptErrorCounts(std::int64_t{pc_} + 1);
}

bool CSimpleScriptEngine::SetProgramCounter(std::int32_t pc) {
    if (!IsRunning()) return false;
    pc_ = pc;
    return true;
}

std::int32_t CSimpleScriptEngine::GetProgramCounter() const { return pc_; }

bool CSimpleScriptEngine::Goto(const std::string& label) {
    if (source_) {
        const auto& labels = source_->GetLabels();
        auto found = labels.find(label);
        if (found != labels.end()) {
            pc_ = found->second;
            return true;
        }
    }
    OnError("label '*" + label + "' not found");
    return false;
}

bool CSimpleScriptEngine::Gosub(const std::string& label) {
    if (returnStack_.size() >= maxReturnDepth_) {
        OnError("gosub nesting too deep");
        return false;
    }
    returnStack_.push_back(pc_);
    if (Goto(label)) return true;
    returnStack_.pop_back();
    return false;
}

bool CSimpleScriptEngine::Return() {
    if (returnStack_.empty()) {
        OnError("too match return");
        return false;
    }
    pc_ = returnStack_.back();
    returnStack_.pop_back();
    return true;
}

void CSimpleScriptEngine::End() {
    if (interrupt_) {
        OnError("cannot end in interrupt mode");
        return;
    }
    pc_ = GetLineCount();
}

bool CSimpleScriptEngine::Sleep(std::int32_t frames) {
    if (interrupt_) {
        OnError("cannot sleep in interrupt mode");
        return false;
    }
    sleep_ = frames;
    return true;
}

CFactor CSimpleScriptEngine::CallFunction(const std::string& name, const std::deque<CFactor>& arguments) {
    CFactor result(this);
    // By index: a function may add a set while it runs.
    for (std::size_t i = 0; i < functionSets_.size(); ++i) {
        std::shared_ptr<simple_script::CCustomFunctionSet> set = functionSets_[i];
        if (set->Call(*this, result, name, arguments)) return result;
    }
    OnError("function " + name + "() not found");
    return result;
}

}  // namespace type_a
}  // namespace trivale
