// Installation records as .reg text, and the hxrecord command's words.
#include "hxrecord.h"

#include <map>
#include <sstream>

namespace hxrecord {

namespace {

const char kMachine[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\";
const char kWow[] = "Wow6432Node\\";
const char kProduct[] = "Corvane\\Skyloft HX";
const char kOldRecord[] = "Corvane\\Hexline\\CurrentVersion";

std::string KeyPath(const std::string& below, bool view32) {
    return std::string(kMachine) + (view32 ? kWow : "") + below;
}

std::string InstallationPath(const std::string& name) {
    return std::string(kProduct) + "\\Installation\\" + name;
}

// A quoted .reg string: backslash before " and \.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// LastInstall.reg's writer also escapes the apostrophe.
std::string SavedQuoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\'' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

typedef std::vector<std::pair<std::string, std::string>> Values;

void Put(Values& values, const std::string& name, const std::optional<std::string>& value) {
    if (value)
        values.emplace_back(name, *value);
}

// Later values replace earlier ones of the same name, keeping the first place.
Values Merged(const Values& values) {
    Values out;
    for (const auto& [name, value] : values) {
        bool replaced = false;
        for (auto& existing : out) {
            if (existing.first == name) {
                existing.second = value;
                replaced = true;
            }
        }
        if (!replaced)
            out.emplace_back(name, value);
    }
    return out;
}

std::string Block(const std::string& key, const Values& values, std::string (*quote)(const std::string&)) {
    std::string out = "[" + key + "]\n";
    for (const auto& [name, value] : Merged(values))
        out += quote(name) + "=" + quote(value) + "\n";
    return out + "\n";
}

// The values of what the record was: package, type, release and language.
template <typename Record> void PutOrigin(Values& values, const Record& r) {
    Put(values, "Package", r.package);
    Put(values, "ProductType", r.productType);
    Put(values, "HXServerVersion", r.serverVersion);
    Put(values, "HXServerRelease", r.serverRelease);
    Put(values, "LanguageCode", r.languageCode);
    Put(values, "Language", r.language);
}

Values MainValues(const Installation& r, bool withFolder) {
    Values values = {{"Name", r.name}};
    Put(values, "Description", r.description);
    Put(values, "Identifier", r.identifier);
    Put(values, "VRMF", r.vrmf);
    Put(values, "ProductCode", r.productCode);
    if (withFolder)
        Put(values, "FilePath", r.folder);
    PutOrigin(values, r);
    values.insert(values.end(), r.values.begin(), r.values.end());
    return values;
}

Values ComponentValues(const std::vector<std::string>& components) {
    Values values;
    for (const std::string& c : components)
        values.emplace_back(c, "");
    return values;
}

Values MaintenanceValues(const Installation& r) {
    Values values;
    Put(values, "Shipped", r.shipped);
    for (const Maintenance& m : r.maintenance)
        values.emplace_back(m.name.empty() ? "Maint_" + m.level : m.name, m.folder);
    return values;
}

bool HasMaintenance(const Installation& r) {
    return r.shipped || !r.maintenance.empty();
}

const char kConfiguration[] = "\\Configuration";
const char kQmKey[] = "\\Configuration\\QueueManager\\";

std::string DirectoryOf(const QueueManager& qm) {
    return qm.directory.value_or(qm.name);
}

std::string KeyOf(const QueueManager& qm) {
    return qm.key.empty() ? qm.name : qm.key;
}

std::string Crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

} // namespace

std::string Reset() {
    std::string out;
    for (bool view32 : {false, true})
        out += "[-" + KeyPath(kProduct, view32) + "]\n\n[-" + KeyPath(kOldRecord, view32) + "]\n\n";
    return out;
}

std::string Keys(const Installation& r) {
    std::string key = KeyPath(InstallationPath(r.name), r.view32);
    std::string out = Block(key, MainValues(r, true), Quoted);
    if (!r.components.empty())
        out += Block(key + "\\Components", ComponentValues(r.components), Quoted);
    if (HasMaintenance(r))
        out += Block(key + "\\Maintenance Applied", MaintenanceValues(r), Quoted);
    return out;
}

std::string Keys(const OldRecord& r) {
    std::string key = KeyPath(kOldRecord, true);
    Values values;
    Put(values, "ProductCode", r.productCode);
    Put(values, "VRMF", r.vrmf);
    Put(values, "FilePath", r.folder);
    Put(values, "WorkPath", r.workPath);
    Put(values, "Name", r.name);
    PutOrigin(values, r);
    values.insert(values.end(), r.values.begin(), r.values.end());
    std::string out = Block(key, values, Quoted);
    if (!r.components.empty())
        out += Block(key + "\\Components", ComponentValues(r.components), Quoted);
    if (r.logDefaultPath)
        out += Block(key + "\\Configuration\\LogDefaults", {{"LogDefaultPath", *r.logDefaultPath}}, Quoted);
    return out;
}

std::string Primary(const std::string& name, bool view32) {
    return Block(KeyPath(std::string(kProduct) + "\\Primary", view32), {{"Name", name}}, Quoted);
}

std::string WorkPath(const std::string& folder, bool view32) {
    return Block(KeyPath(kProduct, view32), {{"WorkPath", folder}}, Quoted);
}

std::string Keys(const QueueManager& qm) {
    std::string key = KeyPath(std::string(kOldRecord) + kQmKey + KeyOf(qm), true);
    Values values = {{"Name", qm.name}};
    Put(values, "Prefix", qm.prefix);
    values.emplace_back("Directory", DirectoryOf(qm));
    Put(values, "InstallationName", qm.installation);
    Put(values, "DataPath", qm.dataPath);
    std::string out = Block(key, values, Quoted);
    if (qm.logPath)
        out += Block(key + "\\Log", {{"LogPath", *qm.logPath}}, Quoted);
    return out;
}

std::string Keys(const QmDefaults& d) {
    std::string out;
    std::string key = KeyPath(std::string(kOldRecord) + kConfiguration, true);
    if (d.prefix)
        out += Block(key + "\\AllQueueManagers", {{"DefaultPrefix", *d.prefix}}, Quoted);
    if (d.logPath)
        out += Block(key + "\\LogDefaults", {{"LogDefaultPath", *d.logPath}}, Quoted);
    return out;
}

std::string IniStanza(const QueueManager& qm) {
    std::string out = "QueueManager:\r\n   Name=" + qm.name + "\r\n";
    auto put = [&out](const char* key, const std::optional<std::string>& value) {
        if (value)
            out += std::string("   ") + key + "=" + *value + "\r\n";
    };
    put("Prefix", qm.prefix);
    put("Directory", DirectoryOf(qm));
    put("InstallationName", qm.installation);
    return out + "\r\n";
}

std::string IniStanza(const QmDefaults& d) {
    std::string out;
    if (d.prefix)
        out += "AllQueueManagers:\r\n   DefaultPrefix=" + *d.prefix + "\r\n\r\n";
    if (d.logPath)
        out += "LogDefaults:\r\n   LogDefaultPath=" + *d.logPath + "\r\n\r\n";
    return out;
}

std::string QmIni(const std::string& logPath) {
    return "Log:\r\n   LogPrimaryFiles=3\r\n   LogPath=" + logPath + "\r\n";
}

std::string ConfigReg(const QueueManager& qm) {
    Values values = {{"Name", qm.name}};
    Put(values, "Prefix", qm.prefix);
    values.emplace_back("Directory", DirectoryOf(qm));
    Put(values, "InstallationName", qm.installation);
    return Crlf(Block(KeyPath(std::string(kOldRecord) + kQmKey + KeyOf(qm), false), values, Quoted));
}

std::string ConfigReg(const QmDefaults& d) {
    std::string out;
    std::string key = KeyPath(std::string(kOldRecord) + kConfiguration, false);
    if (d.prefix)
        out += Block(key + "\\AllQueueManagers", {{"DefaultPrefix", *d.prefix}}, Quoted);
    if (d.logPath)
        out += Block(key + "\\LogDefaults", {{"LogDefaultPath", *d.logPath}}, Quoted);
    return Crlf(out);
}

std::string RegFile(const std::string& keys, const std::string& comment) {
    return Crlf("REGEDIT4\n" + (comment.empty() ? "" : "; " + comment + "\n") + "\n" + keys);
}

std::string LastInstall(const Installation& r) {
    // The writer's layout: "\n[KEY]\n" for each key, then "VALUE\n" for each value.
    std::string text;
    auto put = [&text](const std::string& key, const Values& values) {
        text += "\n[" + key + "]\n";
        for (const auto& [name, value] : Merged(values))
            text += SavedQuoted(name) + "=" + SavedQuoted(value) + "\n";
    };
    std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\" + InstallationPath(r.name);
    put(key, MainValues(r, false));
    if (!r.components.empty())
        put(key + "\\Components", ComponentValues(r.components));
    if (HasMaintenance(r))
        put(key + "\\Maintenance Applied", MaintenanceValues(r));
    std::string out; // written in text mode
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// ---- The command ---------------------------------------------------------------------------------

namespace {

struct Words {
    const std::vector<std::string>& args;
    size_t next = 0;
    bool AtField() const { return next < args.size() && args[next].find('=') != std::string::npos; }
};

std::string FieldsError(const std::string& kind, const std::string& word) {
    return "unknown field '" + word + "' of " + kind;
}

// The origin words both kinds of record take; false for another field.
template <typename Record> bool ReadOrigin(const std::string& field, const std::string& value, Record& r) {
    std::optional<std::string>* target = field == "package"         ? &r.package
                                         : field == "producttype"   ? &r.productType
                                         : field == "serverversion" ? &r.serverVersion
                                         : field == "serverrelease" ? &r.serverRelease
                                         : field == "languagecode"  ? &r.languageCode
                                         : field == "language"      ? &r.language
                                                                    : nullptr;
    if (target == nullptr)
        return false;
    *target = value;
    return true;
}

// name=value words of an installation (lastinstall too).
std::string ReadInstallation(Words& w, Installation& r) {
    for (; w.AtField(); w.next++) {
        const std::string& word = w.args[w.next];
        size_t eq = word.find('=');
        std::string field = word.substr(0, eq), value = word.substr(eq + 1);
        if (field == "description")
            r.description = value;
        else if (field == "identifier")
            r.identifier = value;
        else if (field == "vrmf")
            r.vrmf = value;
        else if (field == "productcode")
            r.productCode = value;
        else if (field == "folder")
            r.folder = value;
        else if (field == "view" && (value == "32" || value == "64"))
            r.view32 = value == "32";
        else if (field == "component")
            r.components.push_back(value);
        else if (field == "shipped")
            r.shipped = value;
        else if (field == "maint" && value.find(':') != std::string::npos)
            r.maintenance.push_back({value.substr(0, value.find(':')), value.substr(value.find(':') + 1)});
        else if (field == "value" && value.find('=') != std::string::npos)
            r.values.emplace_back(value.substr(0, value.find('=')), value.substr(value.find('=') + 1));
        else if (!ReadOrigin(field, value, r))
            return FieldsError("installation", word);
    }
    return "";
}

std::string ReadOld(Words& w, OldRecord& r) {
    for (; w.AtField(); w.next++) {
        const std::string& word = w.args[w.next];
        size_t eq = word.find('=');
        std::string field = word.substr(0, eq), value = word.substr(eq + 1);
        if (field == "productcode")
            r.productCode = value;
        else if (field == "vrmf")
            r.vrmf = value;
        else if (field == "folder")
            r.folder = value;
        else if (field == "workpath")
            r.workPath = value;
        else if (field == "name")
            r.name = value;
        else if (field == "component")
            r.components.push_back(value);
        else if (field == "logdefaultpath")
            r.logDefaultPath = value;
        else if (field == "value" && value.find('=') != std::string::npos)
            r.values.emplace_back(value.substr(0, value.find('=')), value.substr(value.find('=') + 1));
        else if (!ReadOrigin(field, value, r))
            return FieldsError("old", word);
    }
    return "";
}

std::string ReadQueueManager(Words& w, QueueManager& qm) {
    for (; w.AtField(); w.next++) {
        const std::string& word = w.args[w.next];
        size_t eq = word.find('=');
        std::string field = word.substr(0, eq), value = word.substr(eq + 1);
        if (field == "prefix")
            qm.prefix = value;
        else if (field == "directory")
            qm.directory = value;
        else if (field == "installation")
            qm.installation = value;
        else if (field == "datapath")
            qm.dataPath = value;
        else if (field == "logpath")
            qm.logPath = value;
        else if (field == "key")
            qm.key = value;
        else
            return FieldsError("qmgr", word);
    }
    return "";
}

std::string ReadQmDefaults(Words& w, QmDefaults& d) {
    for (; w.AtField(); w.next++) {
        const std::string& word = w.args[w.next];
        size_t eq = word.find('=');
        std::string field = word.substr(0, eq), value = word.substr(eq + 1);
        if (field == "prefix")
            d.prefix = value;
        else if (field == "logpath")
            d.logPath = value;
        else
            return FieldsError("qmdefaults", word);
    }
    return "";
}

// "view=32" or "view=64" after a primary or workpath record.
std::string ReadView(Words& w, bool& view32, const std::string& kind) {
    for (; w.AtField(); w.next++) {
        const std::string& word = w.args[w.next];
        if (word != "view=32" && word != "view=64")
            return FieldsError(kind, word);
        view32 = word == "view=32";
    }
    return "";
}

bool Plain(char c) {
    return std::isalnum((unsigned char)c) || std::string("_.,:=/{}+-@%").find(c) != std::string::npos;
}

} // namespace

Output FromArgs(const std::vector<std::string>& args, bool body) {
    Words w{args};
    if (!args.empty() && args[0] == "lastinstall") {
        if (args.size() < 2 || args[1].find('=') != std::string::npos)
            return {"", "lastinstall needs a name"};
        Installation r{args[1]};
        w.next = 2;
        std::string error = ReadInstallation(w, r);
        if (error.empty() && w.next < args.size())
            error = "lastinstall is the only record of its output; '" + args[w.next] + "' follows it";
        return {error.empty() ? LastInstall(r) : "", error};
    }
    std::string keys;
    while (w.next < args.size()) {
        std::string kind = args[w.next++];
        std::string error;
        bool named = kind == "installation" || kind == "primary" || kind == "workpath" || kind == "qmgr";
        std::string name;
        if (named) {
            if (w.next >= args.size() || w.AtField())
                return {"", kind + " needs a " + (kind == "workpath" ? "folder" : "name")};
            name = args[w.next++];
        }
        if (kind == "reset") {
            keys += Reset();
        } else if (kind == "installation") {
            Installation r{name};
            error = ReadInstallation(w, r);
            keys += Keys(r);
        } else if (kind == "qmgr") {
            QueueManager qm{name};
            error = ReadQueueManager(w, qm);
            keys += Keys(qm);
        } else if (kind == "qmdefaults") {
            QmDefaults d;
            error = ReadQmDefaults(w, d);
            keys += Keys(d);
        } else if (kind == "old") {
            OldRecord r;
            error = ReadOld(w, r);
            keys += Keys(r);
        } else if (kind == "primary" || kind == "workpath") {
            bool view32 = false;
            error = ReadView(w, view32, kind);
            keys += kind == "primary" ? Primary(name, view32) : WorkPath(name, view32);
        } else {
            error = "unknown record '" + kind + "'";
        }
        if (!error.empty())
            return {"", error};
    }
    if (keys.empty())
        return {"", "no records"};
    return {body ? keys : RegFile(keys, "hxrecord " + QuoteArgs(args)), ""};
}

std::string Usage() {
    return "usage: hxrecord [--body] RECORD...      a .reg file (REGEDIT4) of the records\n"
           "       hxrecord lastinstall NAME FIELD...  the text of Config\\LastInstall.reg\n"
           "       hxrecord --check FILE...           each .reg file still what its comment makes\n"
           "records:\n"
           "  reset                       delete the product's keys, both views, old record too\n"
           "  installation NAME FIELD...  description= identifier= vrmf= productcode= folder=\n"
           "                              view=32 component=C... shipped=M.F maint=M.F:FOLDER...\n"
           "                              value=NAME=TEXT...\n"
           "  old FIELD...                productcode= vrmf= folder= workpath= name= component=C...\n"
           "                              logdefaultpath= value=NAME=TEXT...\n"
           "  origin fields of both:      package= producttype= serverversion= serverrelease=\n"
           "                              languagecode= language=\n"
           "  qmgr NAME FIELD...          a queue manager of the old levels' registry: prefix=\n"
           "                              directory= installation= datapath= logpath= key=\n"
           "  qmdefaults FIELD...         their defaults: prefix= logpath=\n"
           "  primary NAME [view=32]\n"
           "  workpath FOLDER [view=32]\n"
           "--body leaves out the header and the comment that repeats the command.\n";
}

std::string QuoteArgs(const std::vector<std::string>& args) {
    std::string out;
    for (const std::string& a : args) {
        if (!out.empty())
            out += ' ';
        bool plain = !a.empty();
        for (char c : a)
            plain = plain && Plain(c);
        if (plain) {
            out += a;
            continue;
        }
        out += '\'';
        for (char c : a)
            out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        out += '\'';
    }
    return out;
}

std::vector<std::string> SplitArgs(const std::string& line) {
    std::vector<std::string> out;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); i++) {
        char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inWord)
                out.push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '\'') {
            inWord = true;
            for (i++; i < line.size() && line[i] != '\''; i++)
                word += line[i];
        } else if (c == '\\' && i + 1 < line.size()) {
            inWord = true;
            word += line[++i];
        } else {
            inWord = true;
            word += c;
        }
    }
    if (inWord)
        out.push_back(word);
    return out;
}

std::string CheckFile(const std::string& text) {
    const std::string marker = "\n; hxrecord ";
    size_t at = text.find(marker);
    if (at == std::string::npos)
        return "no '; hxrecord ...' line";
    size_t end = text.find('\n', at + 1);
    std::string line = text.substr(at + marker.size(),
                                   end == std::string::npos ? std::string::npos : end - at - marker.size());
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    Output made = FromArgs(SplitArgs(line), false);
    if (!made.error.empty())
        return "its command fails: " + made.error;
    if (made.text == text)
        return "";
    size_t i = 0;
    while (i < made.text.size() && i < text.size() && made.text[i] == text[i])
        i++;
    size_t lineNo = 1;
    for (size_t j = 0; j < i; j++)
        lineNo += text[j] == '\n';
    return "differs from what its command makes now, from line " + std::to_string(lineNo);
}

} // namespace hxrecord
