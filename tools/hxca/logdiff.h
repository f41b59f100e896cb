// Comparing the library's trace in two logs of the same road, after taking out what differs
// from run to run and machine to machine: times, temporary names and folders.
#pragma once

#include "logparse.h"

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace hxca {

class Normaliser {
  public:
    // Folders the log names through properties (the engine's dump, the library's reads and
    // writes) become "<PROPERTY>".
    void Learn(const LogSummary& summary);
    // Folders of properties that the other log names and this one (own) does not, with the other
    // log's values: the engine's dump of one machine names folders the other run only uses.
    void LearnMissing(const LogSummary& other, const LogSummary& own);
    void AddFolder(const std::string& property, const std::string& value);

    // A trace line (or a merged ">>" line) without its time, in the form compared.
    std::string Line(std::string_view line) const;
    std::string Text(std::string_view text) const;

    // The folders that were replaced at least once, by placeholder.
    std::map<std::string, std::string> UsedFolders() const;

  private:
    struct Folder {
        std::string lower; // the value in lower case, without a trailing backslash
        std::string value;
        std::string placeholder;
        mutable uint64_t used = 0;
    };
    std::vector<Folder> folders_;
    size_t maxLength_ = 0;
    mutable std::unordered_map<std::string, size_t> index_; // by lower-case value
};

struct DiffOp {
    enum Kind { Same, Removed, Added } kind;
    size_t a = 0, b = 0; // index in the first or the second sequence
};

// The shortest edit script between two sequences (Myers). With more than maxEdits edits the
// middle is given as removed and added wholesale and tooMany is set.
std::vector<DiffOp> DiffSequences(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b,
                                  size_t maxEdits, bool& tooMany);

uint64_t HashText(std::string_view s);

// hxca log A --diff B: 0 the traces agree, 1 they differ, 2 a file could not be read.
int RunLogDiff(const std::string& a, const std::string& b, bool json, std::ostream& out, std::ostream& err);

} // namespace hxca
