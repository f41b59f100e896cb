#include "logparse.h"

#include <cctype>
#include <cstring>

namespace hxca {

namespace {

using sv = std::string_view;

constexpr size_t kSampleLines = 20;
constexpr size_t kMaxProperties = 20000;
constexpr size_t kMaxFrames = 64;
constexpr size_t kMaxCopies = 8;
constexpr size_t kMaxErrorText = 1000; // of the first "***" line a run keeps
// The temporary-log merge copies a file in pieces of at most 515 characters; a piece of exactly
// that length is followed by the rest of its line.
constexpr size_t kMergePiece = 515;

// Called many times for every line: the first character rules out most.
bool StartsWith(sv s, sv prefix) {
    return s.size() >= prefix.size() && (prefix.empty() || s[0] == prefix[0]) &&
           s.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(sv s, sv suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number, optionally negative, that fits an int.
std::optional<int> ToInt(sv s) {
    bool negative = !s.empty() && s[0] == '-';
    if (negative)
        s.remove_prefix(1);
    if (s.empty() || s.size() > 9)
        return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (!Digit(c))
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return negative ? -v : v;
}

// The number at the start of s, as far as digits go.
std::optional<int> LeadingInt(sv s) {
    size_t n = (!s.empty() && s[0] == '-') ? 1 : 0;
    while (n < s.size() && Digit(s[n]))
        ++n;
    return ToInt(s.substr(0, n));
}

size_t CodePoints(sv s) {
    size_t n = 0;
    for (char c : s)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

bool IsBanner(const TraceFields& t) {
    return t.action == "(CaProlog)" && t.function.empty() && t.text.find(" Built on ") != sv::npos &&
           t.text.find("; version ") != sv::npos && t.text.find(", build ") != sv::npos;
}

// "Executing 'PATH(ACTION)'"
bool ParseExecuting(sv text, std::string& path, std::string& action) {
    if (!StartsWith(text, "Executing '") || !EndsWith(text, ")'"))
        return false;
    sv inner = text.substr(11, text.size() - 11 - 2);
    size_t open = inner.rfind('(');
    if (open == sv::npos)
        return false;
    path = std::string(inner.substr(0, open));
    action = std::string(inner.substr(open + 1));
    return !action.empty();
}

// "Invalid depth count entering 'X' from 'Y': N": X is called again in a copy that stayed loaded.
bool ParseInvalidDepth(sv text, std::string& action) {
    static const sv head = "Invalid depth count entering '";
    if (!StartsWith(text, head))
        return false;
    size_t end = text.find("' from '", head.size());
    if (end == sv::npos)
        return false;
    action = std::string(text.substr(head.size(), end - head.size()));
    return !action.empty();
}

// "Action start 1:48:14: NAME." and its kin: the time, then ": ".
bool SplitEngineTime(sv s, sv& rest) {
    size_t colon = s.find(": ");
    if (colon == sv::npos || colon == 0 || colon > 12)
        return false;
    for (char c : s.substr(0, colon))
        if (!Digit(c) && c != ':')
            return false;
    rest = s.substr(colon + 2);
    return true;
}

sv NameUpTo(sv s, char stop) {
    size_t end = s.find(stop);
    return end == sv::npos ? s : s.substr(0, end);
}

RunMode ModeOfOp(sv op) {
    if (op == "CustomActionSchedule")
        return RunMode::Deferred;
    if (op == "CustomActionRollback")
        return RunMode::Rollback;
    if (op == "CustomActionCommit")
        return RunMode::Commit;
    return RunMode::Unknown;
}

std::optional<RunMode> RunnerMode(sv word) {
    if (word == "immediate")
        return RunMode::Immediate;
    if (word == "deferred")
        return RunMode::Deferred;
    if (word == "rollback")
        return RunMode::Rollback;
    if (word == "commit")
        return RunMode::Commit;
    return std::nullopt;
}

} // namespace

const char* RunModeName(RunMode mode) {
    switch (mode) {
    case RunMode::Immediate:
        return "immediate";
    case RunMode::Deferred:
        return "deferred";
    case RunMode::Rollback:
        return "rollback";
    case RunMode::Commit:
        return "commit";
    case RunMode::Unknown:
        break;
    }
    return "?";
}

bool ParseTraceLine(sv s, TraceFields& f) {
    if (s.size() < 15 || !Digit(s[0]) || !Digit(s[1]) || s[2] != ':' || !Digit(s[3]) || !Digit(s[4]) ||
        s[5] != ':' || !Digit(s[6]) || !Digit(s[7]) || s.compare(8, 6, " HXCA ") != 0)
        return false;
    sv rest = s.substr(14);
    sv head;
    size_t colon = rest.find(": ");
    if (colon != sv::npos) {
        head = rest.substr(0, colon);
        f.text = rest.substr(colon + 2);
    } else if (EndsWith(rest, ":")) {
        head = rest.substr(0, rest.size() - 1); // an empty text whose blank was trimmed
        f.text = {};
    } else {
        return false;
    }
    size_t space = head.rfind(' ');
    if (space == sv::npos || space == 0 || space + 1 == head.size())
        return false;
    f.level = head.substr(space + 1);
    for (char c : f.level)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    sv field = head.substr(0, space);
    f.time = s.substr(0, 8);
    f.function = {};
    f.action = field;
    if (field.back() == ')') {
        size_t open = field.rfind('(');
        if (open != sv::npos && open > 0) {
            f.action = field.substr(0, open);
            f.function = field.substr(open + 1, field.size() - open - 2);
        }
    }
    return true;
}

std::optional<int> ParseReturningRc(sv text) {
    static const sv head = "Returning with rc ";
    if (!StartsWith(text, head))
        return std::nullopt;
    return ToInt(text.substr(head.size()));
}

std::optional<PropertyUse> ParsePropertyLine(sv text) {
    using K = PropertyUse::Kind;
    auto quoted = [](sv s, size_t from, size_t& end) -> std::optional<std::string> {
        end = s.find('\'', from);
        if (end == sv::npos)
            return std::nullopt;
        return std::string(s.substr(from, end - from));
    };
    size_t end = 0;
    if (StartsWith(text, "Property '")) {
        auto name = quoted(text, 10, end);
        if (!name)
            return std::nullopt;
        sv rest = text.substr(end + 1);
        static const sv notDefined = " not defined in ";
        if (StartsWith(rest, notDefined))
            return PropertyUse{K::NotDefined, *name, "", std::string(rest.substr(notDefined.size()))};
        static const std::pair<sv, sv> reads[] = {{" value '", "' from property table"},
                                                  {" value '", "'; from CustomActionData"},
                                                  {", value '", "' from response file"}};
        for (auto [open, close] : reads) {
            if (StartsWith(rest, open) && EndsWith(rest, close) &&
                rest.size() >= open.size() + close.size()) {
                std::string value(rest.substr(open.size(), rest.size() - open.size() - close.size()));
                sv source = close.substr(close.find("from ") + 5);
                return PropertyUse{K::Read, *name, value, std::string(source)};
            }
        }
        static const sv setOpen = " value set to '";
        if (StartsWith(rest, setOpen) && EndsWith(rest, "'") && rest.size() > setOpen.size())
            return PropertyUse{K::Set, *name,
                               std::string(rest.substr(setOpen.size(), rest.size() - setOpen.size() - 1)),
                               ""};
        return std::nullopt;
    }
    for (sv head : {sv("SETPROPERTY('"), sv("SETPROPERTYTERSE('")}) {
        static const sv tail = "') ignored during deferred execution";
        if (StartsWith(text, head) && EndsWith(text, tail)) {
            sv inner = text.substr(head.size(), text.size() - head.size() - tail.size());
            size_t sep = inner.find("', '");
            if (sep == sv::npos)
                return std::nullopt;
            return PropertyUse{K::SetIgnored, std::string(inner.substr(0, sep)),
                               std::string(inner.substr(sep + 4)), ""};
        }
    }
    if (StartsWith(text, "***msiGetProperty('")) {
        auto name = quoted(text, 19, end);
        size_t code = text.rfind("failed (");
        if (name && code != sv::npos && text.back() == ')')
            return PropertyUse{K::ReadFailed, *name,
                               std::string(text.substr(code + 8, text.size() - code - 9)), ""};
    }
    if (StartsWith(text, "***msiSetProperty('")) {
        auto name = quoted(text, 19, end);
        if (name) {
            sv rest = text.substr(end + 1);
            std::string value;
            if (StartsWith(rest, ") value('")) {
                size_t close = rest.rfind("') failed");
                if (close != sv::npos && close >= 9)
                    value = std::string(rest.substr(9, close - 9));
            }
            return PropertyUse{K::SetFailed, *name, value, ""};
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Attribution

namespace {

struct Copy {
    std::string name;                // the action it registered; empty before it did
    std::vector<std::string> nested; // nested entries it has open
    bool handedOver = false;         // "Executing": its call went on to the next copy
};

struct Context {
    uint64_t frameId = 0;
    std::string_view frameName;
    RunMode frameMode = RunMode::Unknown;
    int mergedBy = -1;
};

// Follows the library's frame through one stream of trace lines and says which run each line
// belongs to. Nothing is inferred beyond what the frame's own rules allow.
class Attributor {
  public:
    Attributor(std::vector<ActionRunInfo>& runs, bool merged) : runs_(runs), merged_(merged) {}

    int run() const { return run_; }
    uint64_t frameId() const { return frameId_; }

    void Close() {
        run_ = -1;
        copies_.clear();
        popped_.reset();
        finished_ = false;
        frameId_ = 0;
    }

    // The run of the line, or -1; copy gets the copy that wrote it.
    int Attribute(const TraceFields& t, uint64_t number, const Context& ctx, int& copy) {
        copy = 0;
        // A run belongs to the engine action it began in; another one on top means a new call.
        if (run_ >= 0 && ctx.frameId != frameId_)
            Close();
        const bool prolog = t.action == "(CaProlog)";
        std::string again;
        bool entering = false; // the line of a call made again: traced under the previous name
        if (IsBanner(t)) {
            if (run_ >= 0 && copies_.back().handedOver && copies_.size() < kMaxCopies) {
                copies_.back().handedOver = false;
                copies_.emplace_back();
            } else {
                Open(ctx, true);
            }
        } else if (ParseInvalidDepth(t.text, again)) {
            Open(ctx, false);
            runs_[run_].keptLoaded = true;
            Register(again);
            entering = true;
        } else if (run_ < 0 || (finished_ && (prolog || t.action != copies_[0].name))) {
            // Nothing open, or the run has returned: a line naming an action starts a run of that
            // action (one without the frame, such as iwiCancel); "(CaProlog)" names none.
            if (prolog) {
                Close();
                return -1;
            }
            Open(ctx, false);
            Register(std::string(t.action));
        } else if (prolog) {
            // Only a copy that has not registered writes "(CaProlog)"; copies above it have ended.
            size_t k = copies_.size();
            while (k > 0 && !copies_[k - 1].name.empty())
                --k;
            if (k == 0) {
                Close();
                return -1;
            }
            copies_.resize(k);
        } else {
            Copy& top = copies_.back();
            if (top.handedOver && copies_.size() < kMaxCopies) {
                // The copy that took the call wrote no banner: it was loaded already.
                top.handedOver = false;
                copies_.emplace_back();
            } else if (!top.name.empty() && t.action != top.name && popped_ && popped_->name == t.action &&
                       top.nested.empty()) {
                // A copy that returned writes on: its last return was a nested action's.
                copies_.push_back(*popped_);
                popped_.reset();
            }
            if (copies_.back().name.empty())
                Register(std::string(t.action));
        }

        ActionRunInfo& r = runs_[run_];
        copy = static_cast<int>(copies_.size()) - 1;
        Copy& c = copies_.back();
        auto rc = ParseReturningRc(t.text);
        if (prolog) {
            std::string path, action;
            if (ParseExecuting(t.text, path, action)) {
                c.handedOver = true;
                if (copy == 0) {
                    r.handedTo = path;
                    if (r.action.empty())
                        r.action = action;
                }
            } else if (rc) {
                Return(*rc, number);
            }
        } else if (t.action == c.name || entering) {
            if (rc) {
                if (!c.nested.empty())
                    c.nested.pop_back(); // a nested action whose own inner call cleared its name
                else
                    Return(*rc, number);
            }
        } else {
            if (c.nested.empty() || c.nested.back() != t.action)
                c.nested.emplace_back(t.action);
            if (rc)
                c.nested.pop_back();
        }

        if (t.text == "MSIRUNMODE_SCHEDULED")
            r.scheduled = r.whatMode = true;
        else if (t.text == "MSIRUNMODE_ROLLBACK")
            r.rollback = r.whatMode = true;
        else if (t.text == "MSIRUNMODE_COMMIT")
            r.commit = r.whatMode = true;
        else if (StartsWith(t.text, "User name is '") || StartsWith(t.text, "Can't get user name "))
            r.whatMode = true;

        if (r.lines == 0) {
            r.firstLine = number;
            r.time = std::string(t.time);
        }
        r.lastLine = number;
        ++r.lines;
        if (copy > 0)
            ++r.secondCopyLines;
        if (StartsWith(t.text, "***")) {
            if (r.errors == 0) {
                r.firstErrorLine = number;
                r.firstError = std::string(t.text.substr(0, kMaxErrorText));
                if (t.text.size() > kMaxErrorText)
                    r.firstError += "...";
            }
            ++r.errors;
        }
        return run_;
    }

  private:
    void Open(const Context& ctx, bool banner) {
        Close();
        ActionRunInfo r;
        r.index = static_cast<int>(runs_.size());
        r.banner = banner;
        r.engineAction = std::string(ctx.frameName);
        r.engineMode = ctx.frameMode;
        r.merged = merged_;
        r.mergedBy = ctx.mergedBy;
        runs_.push_back(std::move(r));
        run_ = static_cast<int>(runs_.size()) - 1;
        frameId_ = ctx.frameId;
        copies_.emplace_back();
    }

    void Register(std::string name) {
        if (copies_.size() == 1 && runs_[run_].action.empty())
            runs_[run_].action = name;
        copies_.back().name = std::move(name);
    }

    void Return(int rc, uint64_t number) {
        if (copies_.size() == 1) {
            runs_[run_].status = rc;
            runs_[run_].statusLine = number;
            finished_ = true;
        } else {
            popped_ = copies_.back();
            copies_.pop_back();
        }
    }

    std::vector<ActionRunInfo>& runs_;
    bool merged_;
    int run_ = -1;
    std::vector<Copy> copies_;
    std::optional<Copy> popped_;
    bool finished_ = false;
    uint64_t frameId_ = 0;
};

struct Frame {
    std::string name;
    bool bracket = false; // "Action start" seen; else an action message of the script
    bool runner = false;  // the runner's "== NAME (mode)"
    uint64_t id = 0;
    RunMode mode = RunMode::Unknown;
    int lastRun = -1;
};

} // namespace

struct LogParser::State {
    explicit State(std::vector<ActionRunInfo>& runs) : main(runs, false), merged(runs, true) {}
    Attributor main, merged;
    std::vector<Frame> frames;
    uint64_t nextFrameId = 1;
    std::vector<RawLine> pending; // pieces of one merged line still waiting for the rest
    std::string pendingText;
};

LogParser::LogParser(Sink sink) : state_(new State(summary_.runs)), sink_(std::move(sink)) {}

LogParser::~LogParser() {
    delete state_;
}

namespace {

void Sample(std::vector<SampleLine>& sample, const RawLine& line) {
    if (sample.size() < kSampleLines)
        sample.push_back({line.number, line.text});
}

} // namespace

void LogParser::Emit(const RawLine& raw, LineKind kind, int run, int copy, bool error) {
    if (!sink_)
        return;
    LineEvent e;
    e.raw = &raw;
    e.kind = kind;
    e.run = run;
    e.copy = copy;
    e.error = error;
    sink_(e);
}

// A merged line is attributed by the action its own prefix names, within the merged stream.
void LogParser::FlushMerged() {
    State& s = *state_;
    if (s.pending.empty())
        return;
    TraceFields t;
    int run = -1, copy = 0;
    bool error = false;
    if (ParseTraceLine(s.pendingText, t)) {
        Context c;
        c.mergedBy = s.main.run();
        run = s.merged.Attribute(t, s.pending.front().number, c, copy);
        error = StartsWith(t.text, "***");
    }
    for (const RawLine& raw : s.pending) {
        ++summary_.merged;
        if (run < 0) {
            ++summary_.unattributed;
            Sample(summary_.unattributedSample, raw);
        }
        Emit(raw, LineKind::Merged, run, copy, error);
    }
    s.pending.clear();
    s.pendingText.clear();
}

void LogParser::Feed(const RawLine& line) {
    State& s = *state_;
    LogSummary& sum = summary_;
    auto emit = [&](const RawLine& raw, LineKind kind, int run, int copy, bool error) {
        Emit(raw, kind, run, copy, error);
    };
    auto context = [&]() {
        Context c;
        if (!s.frames.empty()) {
            c.frameId = s.frames.back().id;
            c.frameName = s.frames.back().name;
            c.frameMode = s.frames.back().mode;
        }
        c.mergedBy = s.main.run();
        return c;
    };
    auto noteDamaged = [&](const RawLine& raw) {
        ++sum.damaged;
        Sample(sum.damagedSample, raw);
    };

    ++sum.lines;
    sum.lastLineNumber = line.number;
    if (line.cut)
        ++sum.cut;
    if (line.unterminated)
        sum.endsMidLine = true;
    const std::string& text = line.text;

    if (StartsWith(text, ">>")) {
        sv piece = sv(text).substr(2);
        s.pending.push_back(line);
        s.pendingText += piece;
        if (line.binary || line.cut)
            noteDamaged(line);
        // Wait for the rest of a line the merge cut into pieces (bounded like any line).
        if (CodePoints(piece) == kMergePiece && s.pendingText.size() < LogReader::kMaxLineBytes)
            return;
        FlushMerged();
        return;
    }
    FlushMerged();

    if (text.find_first_not_of(' ') == std::string::npos && !line.binary) {
        ++sum.blank;
        emit(line, LineKind::Blank, -1, 0, false);
        return;
    }

    TraceFields t;
    if (ParseTraceLine(text, t)) {
        ++sum.trace;
        if (line.binary || line.cut)
            noteDamaged(line);
        if (StartsWith(t.text, "Messages from temporary log file '"))
            s.merged.Close();
        int copy = 0;
        int run = s.main.Attribute(t, line.number, context(), copy);
        if (run >= 0 && !s.frames.empty() && s.main.frameId() == s.frames.back().id)
            s.frames.back().lastRun = run;
        if (run < 0) {
            ++sum.unattributed;
            Sample(sum.unattributedSample, line);
        }
        if (t.text == "End of messages from temporary log file.")
            s.merged.Close();
        // Only the first value of each property is kept: look before building strings.
        if (StartsWith(t.text, "Property '") && sum.traceProperties.size() < kMaxProperties) {
            size_t end = t.text.find('\'', 10);
            if (end != sv::npos && sum.traceProperties.find(std::string(t.text.substr(10, end - 10))) ==
                                       sum.traceProperties.end()) {
                auto use = ParsePropertyLine(t.text);
                if (use && (use->kind == PropertyUse::Read || use->kind == PropertyUse::Set))
                    sum.traceProperties.emplace(use->name, use->value);
            }
        }
        emit(line, LineKind::Trace, run, copy, StartsWith(t.text, "***"));
        return;
    }
    // A trace line cut or garbled beyond reading: it cannot say whose it is.
    size_t hxca = sv(text).substr(0, 24).find("HXCA");
    if (line.binary || (hxca != sv::npos && !text.empty() && Digit(text[0]))) {
        noteDamaged(line);
        emit(line, LineKind::Damaged, -1, 0, false);
        return;
    }

    // Engine and runner lines: they give the context that closes runs.
    auto aliveOrClose = [&]() {
        if (s.main.run() < 0 || s.main.frameId() == 0)
            return;
        for (const Frame& f : s.frames)
            if (f.id == s.main.frameId())
                return;
        s.main.Close();
    };
    auto push = [&](const std::string& name, bool bracket, bool runner, RunMode mode) {
        if (s.frames.size() >= kMaxFrames)
            s.frames.erase(s.frames.begin());
        Frame f;
        f.name = name;
        f.bracket = bracket;
        f.runner = runner;
        f.mode = mode;
        f.id = s.nextFrameId++;
        s.frames.push_back(std::move(f));
    };
    auto scriptAction = [&](const std::string& name) {
        // The library's own action text names its outer action: no new engine action.
        if (s.main.run() >= 0 && name == summary_.runs[s.main.run()].action)
            return;
        if (!s.frames.empty() && !s.frames.back().bracket && !s.frames.back().runner) {
            if (s.frames.back().name == name)
                return;
            s.frames.pop_back();
        }
        push(name, false, false, RunMode::Unknown);
        aliveOrClose();
    };

    sv e = text;
    bool engine = false;
    if (StartsWith(e, "MSI (")) {
        sum.windowsEngine = sum.engineLog = engine = true;
        size_t p = e.find("]: ");
        if (p != sv::npos)
            e = e.substr(p + 3);
    }
    sv rest;
    if (StartsWith(e, "=== Verbose logging ") || StartsWith(e, "=== Logging ")) {
        sum.engineLog = engine = true;
        if (StartsWith(e, "=== Verbose"))
            sum.windowsEngine = true;
    } else if (StartsWith(e, "Action start ") && SplitEngineTime(e.substr(13), rest) && EndsWith(rest, ".")) {
        sum.engineLog = engine = true;
        std::string name(rest.substr(0, rest.size() - 1));
        if (!s.frames.empty() && !s.frames.back().bracket && !s.frames.back().runner &&
            s.frames.back().name == name)
            s.frames.back().bracket = true;
        else
            push(name, true, false, RunMode::Unknown);
    } else if (StartsWith(e, "Action ended ") && SplitEngineTime(e.substr(13), rest)) {
        sum.engineLog = engine = true;
        size_t rv = rest.find(". Return value ");
        std::string name(rest.substr(0, rv));
        std::optional<int> value;
        if (rv != sv::npos)
            value = LeadingInt(rest.substr(rv + 15));
        for (size_t i = s.frames.size(); i-- > 0;) {
            Frame& f = s.frames[i];
            if (!f.bracket || f.runner || f.name != name)
                continue;
            if (value && f.lastRun >= 0 && summary_.runs[f.lastRun].engineAction == name)
                summary_.runs[f.lastRun].engineValue = value;
            s.frames.resize(i);
            break;
        }
        if (value && (name == "INSTALL" || name == "ADMIN" || name == "ADVERTISE")) {
            sum.topLevelValue = value;
            sum.topLevelAction = name;
        }
        aliveOrClose();
    } else if (StartsWith(e, "Action ") && e.size() > 7 && Digit(e[7]) &&
               SplitEngineTime(e.substr(7), rest)) {
        sum.engineLog = engine = true;
        sv name = NameUpTo(rest, '.');
        if (!name.empty())
            scriptAction(std::string(name));
    } else if (StartsWith(e, "Executing op: ")) {
        engine = true;
        sv op = e.substr(14);
        sv opName = NameUpTo(op, '(');
        if (opName == "ActionStart" && StartsWith(op, "ActionStart(Name=")) {
            sv name = NameUpTo(op.substr(17), ',');
            name = NameUpTo(name, ')');
            if (!name.empty())
                scriptAction(std::string(name));
        } else if (RunMode m = ModeOfOp(opName); m != RunMode::Unknown) {
            size_t at = op.find("(Action=");
            sv name = at == sv::npos ? sv() : NameUpTo(NameUpTo(op.substr(at + 8), ','), ')');
            if (!s.frames.empty() && s.frames.back().name == name) {
                Frame& f = s.frames.back();
                f.mode = m;
                if (f.lastRun >= 0 && summary_.runs[f.lastRun].engineAction == name)
                    summary_.runs[f.lastRun].engineMode = m;
            }
        }
    } else if (StartsWith(e, "CustomAction ") && e.find(" returned actual error code ") != sv::npos) {
        engine = true;
        size_t at = e.find(" returned actual error code ");
        std::string name(e.substr(13, at - 13));
        auto code = LeadingInt(e.substr(at + 28));
        for (size_t i = summary_.runs.size(); code && i-- > 0;) {
            ActionRunInfo& r = summary_.runs[i];
            if (!r.merged && r.engineAction == name) {
                r.engineCode = code;
                break;
            }
        }
    } else if (StartsWith(e, "Property(") && e.size() > 12 && e[10] == ')' && e.compare(11, 2, ": ") == 0) {
        sum.engineLog = sum.enginePropertyDump = engine = true;
        sv body = e.substr(13);
        size_t eq = body.find(" = ");
        if (eq != sv::npos && eq > 0) {
            std::string name(body.substr(0, eq));
            char side = e[9];
            // The server's dump is what the installation ran with; the client's fills gaps.
            if (sum.engineProperties.size() < kMaxProperties || sum.engineProperties.count(name)) {
                if (side == 'S' || !sum.engineProperties.count(name))
                    sum.engineProperties[name] = std::string(body.substr(eq + 3));
            }
        }
    } else if (StartsWith(e, "MainEngineThread is returning ")) {
        engine = true;
        sum.mainEngine = LeadingInt(e.substr(30));
    } else if (size_t st = e.find("success or error status: "); st != sv::npos) {
        engine = true;
        sum.productStatus = LeadingInt(e.substr(st + 25));
    } else if (StartsWith(e, "******* Product: ")) {
        engine = true;
        sum.package = std::string(e.substr(17));
    } else if (StartsWith(e, "== ") && EndsWith(e, ")")) {
        size_t open = e.rfind(" (");
        auto mode = open == sv::npos ? std::nullopt : RunnerMode(e.substr(open + 2, e.size() - open - 3));
        if (mode) {
            sum.runnerOutput = true;
            ++sum.runner;
            while (!s.frames.empty() && s.frames.back().runner)
                s.frames.pop_back();
            push(std::string(e.substr(3, open - 3)), true, true, *mode);
            aliveOrClose();
            emit(line, LineKind::Runner, -1, 0, false);
            return;
        }
    } else if (StartsWith(e, "-> status ") || StartsWith(e, "-> not run: ")) {
        if (!s.frames.empty() && s.frames.back().runner) {
            ++sum.runner;
            Frame& f = s.frames.back();
            std::optional<int> code; // "-> not run: ..." has none
            if (StartsWith(e, "-> status "))
                code = LeadingInt(e.substr(10));
            if (code && f.lastRun >= 0)
                summary_.runs[f.lastRun].engineCode = code;
            s.frames.pop_back();
            aliveOrClose();
            emit(line, LineKind::Runner, -1, 0, false);
            return;
        }
    } else if ((e == "== Changes" || StartsWith(e, "== Expectations")) && sum.runnerOutput) {
        ++sum.runner;
        while (!s.frames.empty() && s.frames.back().runner)
            s.frames.pop_back();
        aliveOrClose();
        emit(line, LineKind::Runner, -1, 0, false);
        return;
    }
    if (engine)
        ++sum.engine;
    else
        ++sum.other;
    emit(line, engine ? LineKind::Engine : LineKind::Other, -1, 0, false);
}

void LogParser::Finish() {
    FlushMerged(); // the file ended while a merged line waited for its rest
    for (ActionRunInfo& r : summary_.runs) {
        if (r.engineMode != RunMode::Unknown)
            r.mode = r.engineMode;
        else if (r.whatMode)
            r.mode = r.rollback    ? RunMode::Rollback
                     : r.commit    ? RunMode::Commit
                     : r.scheduled ? RunMode::Deferred
                                   : RunMode::Immediate;
    }
}

bool ParseLogFile(const std::string& path, LogSummary& summary, std::string& error,
                  const LogParser::Sink& sink) {
    LogReader reader;
    if (!reader.Open(path, error))
        return false;
    LogParser parser(sink);
    RawLine line;
    while (reader.Next(line))
        parser.Feed(line);
    parser.Finish();
    summary = parser.summary();
    summary.encoding = reader.encoding();
    summary.bom = reader.bom();
    summary.bytes = reader.size();
    if (!reader.error().empty()) {
        error = reader.error();
        return false;
    }
    return true;
}

int FirstFailingRun(const LogSummary& summary) {
    for (bool merged : {false, true})
        for (const ActionRunInfo& r : summary.runs)
            if (r.merged == merged && r.status && *r.status != 0)
                return r.index;
    return -1;
}

} // namespace hxca
