// Simulated registry with the 64-bit and 32-bit views of 64-bit Windows. The 32-bit view of
// HKLM\SOFTWARE\X is the key HKLM\SOFTWARE\Wow6432Node\X. Names are case-insensitive and keep
// their case; subkeys enumerate in case-insensitive order, values in creation order.
// HKEY_CLASSES_ROOT is HKLM\SOFTWARE\Classes. After Reset the machine has the usual top-level keys
// (HKLM\SOFTWARE with Classes, Microsoft (with Windows\CurrentVersion\RunOnce) and Wow6432Node,
// HKLM\SYSTEM, HKLM\HARDWARE,
// HKCU\Software, HKU\.DEFAULT) and nothing else.
#pragma once

#include "winsim/wintypes.h"

#include <optional>
#include <string>
#include <vector>

namespace winsim::reg {

enum class View { Native, Wow32 };

struct Value {
    DWORD type = 0;   // REG_SZ 1, REG_EXPAND_SZ 2, REG_BINARY 3, REG_DWORD 4, REG_MULTI_SZ 7, ...
    std::string data; // the stored bytes, exactly as written (REG_SZ with its terminator if given)
};

// root is HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT or HKEY_USERS.
void CreateKey(HKEY root, const std::string& key, View view = View::Native);
bool KeyExists(HKEY root, const std::string& key, View view = View::Native);
void DeleteTree(HKEY root, const std::string& key, View view = View::Native);
void SetValue(HKEY root, const std::string& key, const std::string& name, const Value& value,
              View view = View::Native); // creates the key
void RemoveValue(HKEY root, const std::string& key, const std::string& name, View view = View::Native);
void SetString(HKEY root, const std::string& key, const std::string& name, const std::string& text,
               View view = View::Native); // REG_SZ with terminator
void SetDword(HKEY root, const std::string& key, const std::string& name, DWORD value,
              View view = View::Native);
std::optional<Value> GetValue(HKEY root, const std::string& key, const std::string& name,
                              View view = View::Native);
std::vector<std::string> SubKeys(HKEY root, const std::string& key, View view = View::Native);
std::vector<std::pair<std::string, Value>> Values(HKEY root, const std::string& key,
                                                  View view = View::Native);

// Opening the key (in any view), or any key below it, fails with ERROR_ACCESS_DENIED.
void DenyAccess(HKEY root, const std::string& key, bool on, View view = View::Native);

// Key handles the library holds open right now (RegOpenKeyExA/RegCreateKeyExA not yet closed).
int OpenKeyHandles();

// "Windows Registry Editor Version 5.00" text of a key and its subtree as regedit writes it
// (CRLF lines, long hex wrapped with "\"; raw physical paths, so the 32-bit view shows under
// Wow6432Node); empty when the key does not exist. A REG_SZ that is not exactly one terminated
// string, and every REG_EXPAND_SZ and REG_MULTI_SZ, is written as hex(1)/hex(2)/hex(7) in UTF-16LE.
std::string Export(HKEY root, const std::string& key);
// Applies .reg text (version 5.00, also UTF-16LE with its byte-order mark, or REGEDIT4): keys,
// [-KEY] deletions, "name"=- and @=- deletions, ";" comments, "\" continuation lines, and the
// value forms "text", dword:, hex: and hex(N): for any type N (text types are UTF-16LE in 5.00
// files, narrow bytes in REGEDIT4 ones). Roots may be written in full or as HKLM, HKCU, HKCR, HKU,
// HKCC. Stops at the first bad line: returns false with a message naming the line.
bool Import(const std::string& regText, std::string* error = nullptr);

} // namespace winsim::reg
