// Installation records of test machines as .reg text: one record is one line of setup in a unit
// test, one command line for an hxca scenario's .reg file or a Wine registry. The text is REGEDIT4
// (narrow strings), which the simulated machine, regedit and Wine's reg import all read; a record
// of the 32-bit view is written under "SOFTWARE\Wow6432Node", where the 64-bit registry keeps it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace hxrecord {

// A value of "Maintenance Applied": "Maint_<level>" (or name) = folder. The level counts as
// installed while folder\Valid.csd exists: AddInstallation in the unit tests makes it when valid.
struct Maintenance {
    std::string level{}; // "M.F"
    std::string folder{};
    bool valid = true;
    std::string name = ""; // the value's name when not "Maint_<level>"
};

// One installation under "SOFTWARE\Corvane\Skyloft HX\Installation\<name>". A value left unset is
// not written; "" writes an empty one.
struct Installation {
    std::string name{};
    std::optional<std::string> description{};
    std::optional<std::string> identifier{};
    std::optional<std::string> vrmf{};
    std::optional<std::string> productCode{};
    std::optional<std::string> folder{}; // "FilePath"
    bool view32 = false;
    // What a previous installation tells a later package: its package and type ("Server" or
    // "Client"), release and language.
    std::optional<std::string> package{};       // "Package"
    std::optional<std::string> productType{};   // "ProductType"
    std::optional<std::string> serverVersion{}; // "HXServerVersion"
    std::optional<std::string> serverRelease{}; // "HXServerRelease"
    std::optional<std::string> languageCode{};  // "LanguageCode"
    std::optional<std::string> language{};      // "Language"
    std::vector<std::string> components{};      // values of the "Components" subkey
    std::optional<std::string> shipped{};       // "Shipped" of "Maintenance Applied"
    std::vector<Maintenance> maintenance{};
    // Further string values in this order, after the ones above (the same name replaces one).
    std::vector<std::pair<std::string, std::string>> values{};
};

// The single record of a release older than side-by-side installation: the old record's key
// ("SOFTWARE\Corvane\Hexline\CurrentVersion") in the 32-bit view.
struct OldRecord {
    std::optional<std::string> productCode{};
    std::optional<std::string> vrmf{};
    std::optional<std::string> folder{};   // "FilePath"
    std::optional<std::string> workPath{}; // "WorkPath"
    std::optional<std::string> name{};     // "Name": a 7.0.1 installation mirroring its record
    std::optional<std::string> package{};
    std::optional<std::string> productType{};
    std::optional<std::string> serverVersion{};
    std::optional<std::string> serverRelease{};
    std::optional<std::string> languageCode{};
    std::optional<std::string> language{};
    // "LogDefaultPath" of the subkey "Configuration\LogDefaults"
    std::optional<std::string> logDefaultPath{};
    std::vector<std::string> components{};
    std::vector<std::pair<std::string, std::string>> values{};
};

// A queue manager's definition, in any of the forms the product keeps it: the old levels'
// registry (Keys, under the old record's "Configuration" key, 32-bit view), a "QueueManager:"
// stanza of hxs.ini (IniStanza), or the sections of the registry export config\Config.reg
// (ConfigReg). A field left unset is not written (but for the directory).
struct QueueManager {
    std::string name{};
    std::optional<std::string> prefix{};
    std::optional<std::string> directory{};    // the folder's name under prefix\qmgrs (default: the name)
    std::optional<std::string> installation{}; // "InstallationName"
    std::optional<std::string> dataPath{};     // registry only: "DataPath", the folder of its QM.INI
    std::optional<std::string> logPath{};      // registry only: "LogPath" of its "Log" subkey
    std::string key{};                         // registry and Config.reg: the key (default: the name)
};
// What applies to queue managers without their own: "DefaultPrefix" of AllQueueManagers and
// "LogDefaultPath" of LogDefaults.
struct QmDefaults {
    std::optional<std::string> prefix{};
    std::optional<std::string> logPath{};
};

// Key blocks ("[KEY]" and value lines, "\n" line ends), to be joined and given to RegFile.
std::string Reset(); // deletes the product's keys, both views, old record included
std::string Keys(const Installation& record);
std::string Keys(const OldRecord& record);
std::string Primary(const std::string& name, bool view32 = false);
std::string WorkPath(const std::string& folder, bool view32 = false);
std::string Keys(const QueueManager& qm);
std::string Keys(const QmDefaults& defaults);

// hxs.ini text ("\r\n" line ends, as the product writes it), to be joined into one file.
std::string IniStanza(const QueueManager& qm);
std::string IniStanza(const QmDefaults& defaults);
// A queue manager's QM.INI naming its log folder in the "Log:" stanza.
std::string QmIni(const std::string& logPath);
// Config.reg sections ("\r\n" line ends), to follow a "REGEDIT4" line.
std::string ConfigReg(const QueueManager& qm);
std::string ConfigReg(const QmDefaults& defaults);
// A whole .reg file: "REGEDIT4", the comment when given ("; " before it), the blocks; CRLF lines.
std::string RegFile(const std::string& keys, const std::string& comment = "");

// The installation's key as the final clean-up saves it in <data folder>\Config\LastInstall.reg:
// no header, "FilePath" left out, every ", ' and \ of a text escaped; CRLF lines.
std::string LastInstall(const Installation& record);

// ---- The command ---------------------------------------------------------------------------------

// Records from command-line words ("installation NAME field=value ...", "old ...", "primary NAME",
// "workpath FOLDER", "reset", or "lastinstall NAME ..." alone). The output's text, or an error.
struct Output {
    std::string text{};
    std::string error{};
};
Output FromArgs(const std::vector<std::string>& args, bool body);
std::string Usage();
// The words as a shell would read them back: quoted where needed.
std::string QuoteArgs(const std::vector<std::string>& args);
std::vector<std::string> SplitArgs(const std::string& line);
// A .reg file written by the command is regenerated from its comment and compared: "" when it is
// in step, else what differs.
std::string CheckFile(const std::string& text);

} // namespace hxrecord
