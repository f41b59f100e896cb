#include "machine.h"

#include "hostfiles.h"

#include <msi.h>
#include <windows.h>
#include <winsim/sim.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

namespace hxca {

namespace {

// What the simulated machine's fixture says, without its own prefix ("winsim::fs: ").
std::string MachineError(const std::exception& e) {
    std::string what = e.what();
    size_t colon = what.find(": ");
    return what.rfind("winsim", 0) == 0 && colon != std::string::npos ? what.substr(colon + 2) : what;
}

// Runs one step of setting the machine up; an error of the machine names the scenario's place.
template <class Step> void At(const std::string& where, Step&& step) {
    try {
        step();
    } catch (const ScenarioError&) {
        throw;
    } catch (const std::exception& e) {
        throw ScenarioError(where + ": " + MachineError(e));
    }
}

const std::pair<HKEY, const char*> kRoots[] = {{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
                                               {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
                                               {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
                                               {HKEY_USERS, "HKEY_USERS"}};

void CopyDrives(const Scenario& s) {
    std::error_code ec;
    std::string drives = s.dir + "/drives";
    if (!std::filesystem::is_directory(drives, ec))
        return;
    for (const auto& entry : std::filesystem::directory_iterator(drives, ec)) {
        std::string name = entry.path().filename().string();
        if (!entry.is_directory(ec))
            continue;
        if (name.size() != 1 || !std::isalpha(static_cast<unsigned char>(name[0])))
            throw ScenarioError(entry.path().string() + ": a drive folder is named by its letter");
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        bool configured = false;
        for (const auto& d : s.drives)
            configured |= d.letter == letter;
        if (letter != 'C' && !configured)
            winsim::fs::AddDrive(letter);
        std::string root = std::string(1, letter) + ":\\";
        for (const std::string& rel : DriveTree(entry.path().string())) {
            std::string host = entry.path().string() + "/" + rel;
            std::replace(host.begin(), host.end(), '\\', '/');
            if (rel.back() == '\\') {
                At(host, [&] { winsim::fs::MakeDirs(root + rel.substr(0, rel.size() - 1)); });
                continue;
            }
            auto bytes = ReadHostFile(host);
            if (!bytes)
                throw ScenarioError(host + ": cannot read");
            At(host, [&] { winsim::fs::WriteFile(root + rel, *bytes); });
        }
    }
}

void ImportRegistry(const Scenario& s) {
    for (const std::string& name : FilesEndingIn(s.dir, ".reg")) {
        std::string path = s.dir + "/" + name;
        auto bytes = ReadHostFile(path);
        std::string error;
        if (!bytes)
            throw ScenarioError(path + ": cannot read");
        if (!winsim::reg::Import(DecodeText(*bytes), &error))
            throw ScenarioError(path + ": " + error);
    }
}

std::string FieldText(const winsim::msi::Field& f) {
    switch (f.kind) {
    case winsim::msi::Field::Int:
        return std::to_string(f.i);
    case winsim::msi::Field::Str:
        return f.s;
    case winsim::msi::Field::Stream:
        return "<stream " + std::to_string(f.s.size()) + " bytes>";
    case winsim::msi::Field::Null:
        break;
    }
    return "";
}

void ImportTables(const Scenario& s) {
    std::string dir = s.dir + "/tables";
    for (const std::string& name : FilesEndingIn(dir, ".idt")) {
        std::string path = dir + "/" + name;
        auto bytes = ReadHostFile(path);
        if (!bytes)
            throw ScenarioError(path + ": cannot read");
        std::string text = DecodeText(*bytes);
        auto table = IdtTableName(text);
        if (!table)
            throw ScenarioError(path + ": not an .idt file (no table line)");
        // Streams live in a folder named after the table, as the installer tools export them.
        std::string streams = dir + "/" + *table;
        std::error_code ec;
        if (!std::filesystem::is_directory(streams, ec))
            streams = dir;
        std::string error;
        if (!winsim::msi::ImportIdt(text, streams, &error))
            throw ScenarioError(path + ": " + error);
        // The engine starts a session with the package's Property table as its properties.
        if (*table == "Property") {
            for (const auto& row : winsim::msi::Rows("Property")) {
                if (row.fields.size() >= 2)
                    winsim::msi::SetProperty(FieldText(row.fields[0]), FieldText(row.fields[1]));
            }
        }
    }
}

std::string Hex4(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", n);
    return buf;
}

// What another process does to the machine.
void Act(const Hook& hook) {
    switch (hook.op) {
    case Hook::Op::Write:
        winsim::fs::WriteFile(hook.path, hook.content);
        break;
    case Hook::Op::Append:
        winsim::fs::AppendFile(hook.path, hook.content);
        break;
    case Hook::Op::Remove:
        winsim::fs::Remove(hook.path);
        break;
    case Hook::Op::Lock:
        winsim::fs::Lock(hook.path);
        break;
    case Hook::Op::Unlock:
        winsim::fs::Unlock(hook.path);
        break;
    case Hook::Op::Cancel:
        winsim::SetCancelFlags(1);
        break;
    }
}

// A hook runs inside a simulated call of the library: what it cannot do is noted, never thrown
// through the library's frames.
void AddHook(const Hook& hook, const std::shared_ptr<std::vector<std::string>>& errors) {
    std::function<void()> act = [hook, errors] {
        try {
            Act(hook);
        } catch (const std::exception& e) {
            errors->push_back(hook.where + ": " + MachineError(e));
        }
    };
    if (hook.function.empty())
        winsim::AtTime(winsim::NowMs() + hook.atMs, act);
    else
        winsim::OnCall(hook.function, hook.nth, act);
}

void WalkKey(HKEY root, const std::string& rootName, const std::string& key, winsim::reg::View view,
             Snapshot& snap) {
    std::string full = key.empty() ? rootName : rootName + "\\" + key;
    if (view == winsim::reg::View::Wow32)
        full = Wow32Path(full);
    if (!key.empty()) {
        auto& values = snap.registry[full];
        values.clear();
        for (auto& [name, v] : winsim::reg::Values(root, key, view))
            values.push_back({name, RegValue{v.type, v.data}});
    }
    for (const std::string& sub : winsim::reg::SubKeys(root, key, view))
        WalkKey(root, rootName, key.empty() ? sub : key + "\\" + sub, view, snap);
}

void WriteHost(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace

void SaveMachine(const std::string& dir) {
    namespace fs = std::filesystem;
    const fs::path root(dir);
    fs::remove_all(root / "drives");
    for (const std::string& name : FilesEndingIn(dir, ".reg"))
        if (name.rfind("machine-", 0) == 0)
            fs::remove(root / name);
    int n = 0;
    // HKEY_CLASSES_ROOT is a view of HKLM\SOFTWARE\Classes: written with HKLM.
    for (const auto& [key, name] : kRoots) {
        if (key == HKEY_CLASSES_ROOT)
            continue;
        for (const std::string& sub : winsim::reg::SubKeys(key, ""))
            WriteHost(root / ("machine-" + std::to_string(++n) + ".reg"), winsim::reg::Export(key, sub));
    }
    for (const std::string& path : winsim::fs::Tree()) {
        if (path.size() < 3 || path[1] != ':')
            continue;
        std::string rel = path.substr(3);
        std::replace(rel.begin(), rel.end(), '\\', '/');
        const fs::path host = root / "drives" / std::string(1, path[0]) / rel;
        if (path.back() == '\\')
            fs::create_directories(host);
        else
            WriteHost(host, winsim::fs::ReadFile(path).value_or(""));
    }
}

void SetUpMachine(const Scenario& s, const std::map<std::string, std::string>& overrides) {
    winsim::Reset();
    if (s.localTime) {
        const auto& t = *s.localTime;
        winsim::SetLocalTime(t[0], t[1], t[2], t[3], t[4], t[5]);
    }
    if (s.userName)
        winsim::SetUserName(*s.userName);
    if (s.computerName)
        winsim::SetComputerName(*s.computerName);
    if (s.token) {
        const auto preset = static_cast<winsim::token::Preset>(*s.token);
        winsim::token::SetProcessToken(winsim::token::Make(preset));
        // Without elevation the service control manager refuses to stop services.
        winsim::svc::SetElevated(preset == winsim::token::Preset::ElevatedAdministrator ||
                                 preset == winsim::token::Preset::LocalSystem);
    }
    for (const auto& [name, value] : s.environment)
        winsim::SetEnv(name, value);
    // The engine keeps its temporary copies of the library here.
    winsim::fs::MakeDirs("C:\\Windows\\Installer");
    for (const auto& d : s.drives)
        winsim::fs::AddDrive(d.letter, d.type, d.label);
    if (!s.dir.empty()) {
        CopyDrives(s);
        ImportRegistry(s);
        ImportTables(s);
    }
    for (const auto& [path, content] : s.files) {
        if (winsim::fs::IsDir(path))
            throw ScenarioError(FilePlace(s, path) + ": names a folder, not a file");
        At(FilePlace(s, path), [&] { winsim::fs::WriteFile(path, content); });
    }
    for (const ProgramSetup& p : s.programs) {
        winsim::proc::Behaviour b;
        b.launchError = p.launchError;
        b.exitCode = p.exitCode;
        b.runMs = p.runMs;
        b.out = p.out;
        b.err = p.err;
        if (p.program.find_first_of("\\/:") == std::string::npos)
            winsim::proc::SetBehaviour(p.program, b);
        else if (winsim::fs::IsDir(p.program))
            throw ScenarioError(p.where + ": names a folder, not a program");
        else
            At(p.where, [&] { winsim::proc::InstallProgram(p.program, b); });
    }
    for (const ServiceSetup& svc : s.services) {
        winsim::svc::Service service;
        service.state = svc.state;
        service.stop = static_cast<winsim::svc::Service::Stop>(svc.stop);
        service.stopMs = svc.stopMs;
        service.files = svc.files;
        for (const std::string& f : svc.files)
            if (!winsim::fs::Exists(f))
                At(svc.where, [&] { winsim::fs::WriteFile(f, "MZ"); });
        winsim::svc::AddService(svc.name, service);
    }
    for (const auto& [name, st] : s.features)
        winsim::msi::AddFeature(name, st.first, st.second);
    for (const auto& [name, st] : s.components)
        winsim::msi::AddComponent(name, st.first, st.second);
    for (const auto& p : s.products) {
        winsim::msi::AddProduct(p.code, p.upgradeCode, p.state, p.name);
        for (const auto& [prop, value] : p.info)
            winsim::msi::SetProductInfo(p.code, prop, value);
        for (const auto& [feature, state] : p.features)
            winsim::msi::SetProductFeature(p.code, feature, state);
    }
    for (const auto& [pid, value] : s.summary)
        winsim::msi::SetSummaryString(pid, value);
    for (const auto& [name, value] : s.properties)
        winsim::msi::SetProperty(name, value);
    if (s.uiLevel)
        winsim::msi::SetProperty("UILevel", std::to_string(*s.uiLevel));
    for (const auto& [name, value] : overrides)
        winsim::msi::SetProperty(name, value);
    for (int mode : s.modes)
        winsim::msi::SetMode(mode, true);
    if (s.messageBoxReply)
        winsim::SetMessageBoxReply(*s.messageBoxReply);
}

Snapshot TakeSnapshot() {
    Snapshot snap;
    snap.properties = winsim::msi::Properties();
    for (const std::string& table : winsim::msi::Tables()) {
        auto& rows = snap.rows[table];
        for (const auto& row : winsim::msi::Rows(table)) {
            RowText text;
            text.temporary = row.temporary;
            for (const auto& f : row.fields)
                text.fields.push_back(FieldText(f));
            rows.push_back(std::move(text));
        }
    }
    for (const auto& [root, name] : kRoots)
        WalkKey(root, name, "", winsim::reg::View::Native, snap);
    // Walked again through the 32-bit view in case the native view hides Wow6432Node.
    if (winsim::reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE", winsim::reg::View::Wow32))
        WalkKey(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SOFTWARE", winsim::reg::View::Wow32, snap);
    for (std::string path : winsim::fs::Tree()) {
        bool folder = !path.empty() && path.back() == '\\';
        if (folder && path.size() > 3)
            path.pop_back();
        if (folder)
            snap.files[path] = std::nullopt;
        else
            snap.files[path] = winsim::fs::ReadFile(path).value_or("");
    }
    return snap;
}

std::vector<Change> EngineRemovals(const Snapshot& after) {
    winsim::msi::RunRemovalSteps();
    std::vector<Change> all = Diff(after, TakeSnapshot());
    std::vector<Change> out;
    for (const Change& c : all) {
        if (c.kind != Change::Kind::Removed || c.category == "property" || c.category == "row")
            continue;
        // A removed key lists its values too: the key says it.
        if (c.category == "value") {
            std::string key = c.name.substr(0, c.name.rfind("\\["));
            bool keyGone = std::any_of(all.begin(), all.end(), [&](const Change& k) {
                return k.category == "key" && k.kind == Change::Kind::Removed && !ILess()(k.name, key) &&
                       !ILess()(key, k.name);
            });
            if (keyGone)
                continue;
        }
        out.push_back(c);
    }
    return out;
}

namespace {

OpenHandles Open() {
    return {winsim::msi::LeakedHandles(), winsim::OpenHandleCount(), winsim::reg::OpenKeyHandles(),
            winsim::fs::ModuleLoads()};
}

} // namespace

Engine::Engine(std::string hostLibrary, bool keepLoaded, int messageBoxReply)
    : host_(std::move(hostLibrary)), keep_(keepLoaded), boxReply_(messageBoxReply) {}

Engine::~Engine() {
    Finish();
}

void* Engine::Load(std::string& simPath, std::string& error) {
    simPath = "C:\\Windows\\Installer\\MSI" + Hex4(0x4A31 + copies_++) + ".tmp";
    try {
        winsim::fs::MapModule(simPath, host_);
    } catch (const std::exception& e) {
        error = "cannot copy the library to " + simPath + ": " + MachineError(e);
        return nullptr;
    }
    HMODULE module = LoadLibraryExA(simPath.c_str(), nullptr, 0);
    if (!module)
        error = "cannot load " + simPath + " (" + host_ + "): error " + std::to_string(GetLastError());
    return module;
}

void Engine::Unload(void* module, const std::string& simPath) {
    if (module)
        FreeLibrary(static_cast<HMODULE>(module));
    if (winsim::fs::Exists(simPath))
        winsim::fs::Remove(simPath);
}

void Engine::Finish() {
    if (kept_ || !keptPath_.empty())
        Unload(kept_, keptPath_);
    kept_ = nullptr;
    keptPath_.clear();
}

ActionRun Engine::Run(const ActionStep& step) {
    ActionRun run;
    run.name = step.name;
    run.mode = step.mode;
    run.expect = step.expect;

    for (const auto& [name, value] : step.properties) {
        if (value)
            winsim::msi::SetProperty(name, *value);
        else
            winsim::msi::RemoveProperty(name);
    }
    if (step.mode != Mode::Immediate) {
        // The engine hands a deferred action the property named after it. Setting it is the
        // runner's doing, not the action's: the session gets its old value back at once.
        std::optional<std::string> before = winsim::msi::Property(step.name);
        if (step.customActionData)
            winsim::msi::SetProperty(step.name, *step.customActionData);
        winsim::msi::EnterDeferred(step.name, RunModeOf(step.mode));
        if (before)
            winsim::msi::SetProperty(step.name, *before);
        else
            winsim::msi::RemoveProperty(step.name);
    }
    for (const auto& r : step.replies)
        winsim::msi::ReplyTo(r.type, r.nth, r.reply);
    for (const auto& h : step.hooks)
        AddHook(h, hookErrors_);
    if (step.messageBoxReply)
        winsim::SetMessageBoxReply(*step.messageBoxReply);

    size_t firstMessage = winsim::msi::Messages().size();
    size_t firstLine = winsim::msi::LogLines().size();
    size_t firstEvent = winsim::Events().size();
    const OpenHandles open = Open();

    void* module = kept_;
    std::string simPath = keptPath_;
    if (!module) {
        module = Load(simPath, run.error);
        if (keep_) {
            kept_ = module;
            keptPath_ = simPath;
        }
    }
    if (module) {
        using Action = UINT (*)(MSIHANDLE);
        // FARPROC is the generic export type; the export really has the action's signature.
        auto proc = reinterpret_cast<Action>(reinterpret_cast<void*>(GetProcAddress(
            static_cast<HMODULE>(module), (step.entry.empty() ? step.name : step.entry).c_str())));
        if (proc) {
            // Faults and call counts are the action's own: the engine's load and unload of the
            // library neither fail nor count.
            for (const auto& f : step.faults)
                winsim::FailCall(f.function, f.error, f.nth, f.match);
            const std::map<std::string, int> before = winsim::CallCounts();
            run.status = proc(winsim::msi::SessionHandle());
            run.ran = true;
            if (!step.faults.empty())
                winsim::ClearFaults();
            for (const auto& [function, count] : winsim::CallCounts()) {
                auto it = before.find(function);
                const int made = count - (it == before.end() ? 0 : it->second);
                if (made > 0)
                    run.calls[function] = made;
            }
        } else {
            run.error = "the library has no export '" + (step.entry.empty() ? step.name : step.entry) + "'";
        }
    }
    if (!keep_)
        Unload(module, simPath);
    const OpenHandles after = Open();
    run.leaked.installer = std::max(0, after.installer - open.installer);
    run.leaked.kernel = std::max(0, after.kernel - open.kernel);
    run.leaked.registry = std::max(0, after.registry - open.registry);
    run.leaked.modules = std::max(0, after.modules - open.modules);
    run.hookErrors.swap(*hookErrors_);

    std::vector<std::string> lines = winsim::msi::LogLines();
    run.trace.assign(lines.begin() + static_cast<std::ptrdiff_t>(std::min(firstLine, lines.size())),
                     lines.end());
    const auto& messages = winsim::msi::Messages();
    for (size_t i = firstMessage; i < messages.size(); ++i) {
        if (messages[i].type != 0x04000000)
            run.messages.push_back({messages[i].type, messages[i].text});
    }
    const auto& events = winsim::Events();
    for (size_t i = firstEvent; i < events.size(); ++i) {
        events_.push_back({step.name, events[i].kind, events[i].text});
        // On Windows the action would hang for good: the scenario's setup is wrong.
        if (events[i].kind == "deadlock")
            run.hookErrors.push_back((step.where.empty() ? "--action " + step.name : step.where) + ": " +
                                     events[i].text + " (a program that never ends?)");
    }

    if (step.messageBoxReply)
        winsim::SetMessageBoxReply(boxReply_);
    if (step.mode != Mode::Immediate)
        winsim::msi::LeaveDeferred();
    return run;
}

} // namespace hxca
