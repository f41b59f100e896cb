// The simulated command interpreter: "cmd /c <command>" with its quoting rule, redirections and
// program search (winsim/sim_proc.h).
#include "procinternal.h"

#include "winsim/kernel32.h"

#include <cstdlib>

namespace winsim::detail::procs {
namespace {

struct Redirection {
    int stream = 1; // 1 standard output, 2 standard error
    bool append = false;
    int copyOf = 0; // "2>&1": the stream this one becomes; 0 for a file
    std::string target;
};

struct Command {
    std::string text; // the program and its arguments
    std::vector<Redirection> redirections;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& s) {
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && IsBlank(s[begin]))
        ++begin;
    while (end > begin && IsBlank(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
}

// The command after "/c"; nullopt when there is none (cmd then waits for input for ever).
std::optional<std::string> CommandOf(const std::string& parameters) {
    size_t i = 0;
    const size_t n = parameters.size();
    for (;;) {
        while (i < n && IsBlank(parameters[i]))
            ++i;
        if (i >= n || parameters[i] != '/')
            return std::nullopt;
        if (i + 1 < n && (parameters[i + 1] == 'c' || parameters[i + 1] == 'C')) {
            i += 2;
            while (i < n && IsBlank(parameters[i]))
                ++i;
            return parameters.substr(i);
        }
        while (i < n && !IsBlank(parameters[i]))
            ++i;
    }
}

std::vector<std::string> Extensions() {
    std::vector<std::string> out;
    const std::string list = Env("PATHEXT").value_or(".COM;.EXE;.BAT;.CMD");
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            out.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// The program a command names: by its path, else in the working folder and then through PATH.
std::optional<std::string> FindCommand(const std::string& name, const std::string& directory) {
    if (name.empty())
        return std::nullopt;
    const std::vector<std::string> extensions = Extensions();
    auto inFolder = [&](const std::string& base) -> std::optional<std::string> {
        if (HasExtension(base) && IsFile(base))
            return ActualCase(base);
        for (const std::string& ext : extensions)
            if (IsFile(base + ext))
                return ActualCase(base + ext);
        return std::nullopt;
    };
    if (name.find_first_of("\\/:") != std::string::npos)
        return inFolder(Join(directory, name));
    if (auto found = inFolder(Join(directory, name)))
        return found;
    for (const std::string& folder : PathFolders())
        if (auto found = inFolder(Join(folder, name)))
            return found;
    return std::nullopt;
}

// cmd /?: the quotes stay only when there are exactly two, with blanks and no special character
// between them, around an existing program; otherwise the first and the last quote go.
std::string ApplyQuoteRule(const std::string& command, const std::string& directory) {
    if (command.empty() || command[0] != '"')
        return command;
    const size_t close = command.find('"', 1);
    if (close != std::string::npos && command.find('"', close + 1) == std::string::npos) {
        const std::string inner = command.substr(1, close - 1);
        if (inner.find_first_of("&<>()@^|") == std::string::npos &&
            inner.find_first_of(" \t") != std::string::npos && FindCommand(inner, directory))
            return command;
    }
    std::string out = command.substr(1);
    const size_t last = out.rfind('"');
    if (last != std::string::npos)
        out.erase(last, 1);
    return out;
}

// Splits the redirections (outside quotes) off the command, in order. A character the
// simulation does not model (&, |, <) is returned in unsupported.
bool Split(const std::string& line, Command& out, char& unsupported) {
    bool quoted = false;
    std::string text;
    const size_t n = line.size();
    for (size_t i = 0; i < n;) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
            text += c;
            ++i;
            continue;
        }
        if (!quoted && (c == '&' || c == '|' || c == '<')) {
            unsupported = c;
            return false;
        }
        if (quoted || c != '>') {
            text += c;
            ++i;
            continue;
        }
        Redirection r;
        // A 1 or 2 that begins a word names the stream.
        if (!text.empty() && (text.back() == '1' || text.back() == '2') &&
            (text.size() == 1 || IsBlank(text[text.size() - 2]))) {
            r.stream = text.back() - '0';
            text.pop_back();
        }
        ++i;
        if (i < n && line[i] == '>') {
            r.append = true;
            ++i;
        }
        if (i + 1 < n && line[i] == '&' && (line[i + 1] == '1' || line[i + 1] == '2')) {
            r.copyOf = line[i + 1] - '0';
            i += 2;
        } else {
            while (i < n && IsBlank(line[i]))
                ++i;
            if (i < n && line[i] == '"') {
                const size_t close = line.find('"', i + 1);
                const size_t end = close == std::string::npos ? n : close;
                r.target = line.substr(i + 1, end - i - 1);
                i = close == std::string::npos ? n : close + 1;
            } else {
                while (i < n && !IsBlank(line[i]) && line[i] != '>' && line[i] != '<' && line[i] != '&' &&
                       line[i] != '|')
                    r.target += line[i++];
            }
        }
        out.redirections.push_back(r);
    }
    out.text = Trim(text);
    return true;
}

std::string ErrorMessage(DWORD error) {
    switch (error) {
    case ERROR_SHARING_VIOLATION:
        return "The process cannot access the file because it is being used by another process.";
    case ERROR_ACCESS_DENIED:
        return "Access is denied.";
    case ERROR_INVALID_NAME:
        return "The filename, directory name, or volume label syntax is incorrect.";
    case ERROR_DISK_FULL:
        return "There is not enough space on the disk.";
    case ERROR_BAD_EXE_FORMAT:
        return "The system cannot execute the specified program.";
    default:
        return "The system cannot find the path specified.";
    }
}

DWORD OpenTarget(const std::string& directory, const Redirection& r, Sink& sink) {
    sink = Sink();
    if (detail::IEquals(r.target, "NUL") || detail::IEquals(r.target, "NUL:"))
        return ERROR_SUCCESS;
    if (r.target.empty())
        return ERROR_INVALID_NAME;
    const std::string path = Join(directory, r.target);
    fsys::OpenResult opened = fsys::Open(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         r.append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (opened.error != ERROR_SUCCESS)
        return opened.error;
    opened.file->appendOnly = r.append;
    sink.file = opened.file;
    return ERROR_SUCCESS;
}

// "exit [/b] [N]": N as atoi reads it, 0 when absent.
DWORD ExitArgument(const std::string& arguments) {
    std::string rest = arguments;
    if (rest.size() >= 2 && rest[0] == '/' && (rest[1] == 'b' || rest[1] == 'B') &&
        (rest.size() == 2 || IsBlank(rest[2])))
        rest = Trim(rest.substr(2));
    return (DWORD)std::atoi(rest.c_str());
}

void RunCommand(const proc::Start& start, proc::Behaviour& self) {
    const std::optional<std::string> command = CommandOf(start.parameters);
    if (!command) {
        self.runMs = std::nullopt; // an interactive cmd waits for input
        return;
    }
    const std::string line = ApplyQuoteRule(*command, start.directory);
    Command parsed;
    char unsupported = 0;
    if (!Split(line, parsed, unsupported)) {
        RecordEvent("unsupported", std::string("cmd: '") + unsupported + "' is not simulated: " + line);
        self.exitCode = 1;
        return;
    }
    Sink streams[3]; // 1 and 2; the console until redirected
    for (const Redirection& r : parsed.redirections) {
        if (r.copyOf != 0) {
            streams[r.stream] = streams[r.copyOf];
            continue;
        }
        Sink target;
        if (DWORD error = OpenTarget(start.directory, r, target)) {
            Write(streams[2], ErrorMessage(error) + "\n");
            self.exitCode = 1;
            return;
        }
        streams[r.stream] = target;
    }
    if (parsed.text.empty())
        return;

    std::string name;
    std::string arguments;
    if (parsed.text[0] == '"') {
        const size_t close = parsed.text.find('"', 1);
        const size_t end = close == std::string::npos ? parsed.text.size() : close;
        name = parsed.text.substr(1, end - 1);
        arguments = close == std::string::npos ? "" : parsed.text.substr(close + 1);
    } else {
        size_t end = 0;
        while (end < parsed.text.size() && !IsBlank(parsed.text[end]))
            ++end;
        name = parsed.text.substr(0, end);
        arguments = parsed.text.substr(end);
    }
    arguments = Trim(arguments);
    if (detail::IEquals(name, "exit")) {
        self.exitCode = ExitArgument(arguments);
        return;
    }

    const std::optional<std::string> program = FindCommand(name, start.directory);
    if (!program) {
        Write(streams[2], "'" + name +
                              "' is not recognized as an internal or external command,\n"
                              "operable program or batch file.\n");
        self.exitCode = 9009;
        return;
    }
    if (DWORD error = LaunchError(*program)) {
        Write(streams[2], ErrorMessage(error) + "\n");
        self.exitCode = 1;
        return;
    }
    const int selfId = Current();
    const int child =
        Launch(proc::Start{*program, arguments, start.directory, start.show}, selfId, streams[1], streams[2]);
    if (IsRunning(child)) {
        self.runMs = std::nullopt;
        EndWithChild(child, selfId);
    } else {
        self.exitCode = ExitCode(child);
    }
}

} // namespace

proc::Behaviour CommandInterpreter() {
    proc::Behaviour b;
    b.atStart = [](const proc::Start& start, proc::Behaviour& self) { RunCommand(start, self); };
    return b;
}

} // namespace winsim::detail::procs
