#include "condition.h"

#include <winsim/sim.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <stdexcept>
#include <vector>

namespace hxca {

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    size_t e = s.find_last_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// Splits at a word surrounded by blanks, outside quotes.
std::vector<std::string> SplitAt(const std::string& text, const std::string& word) {
    std::vector<std::string> parts;
    const std::string sep = " " + word + " ";
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (!quoted && text.compare(i, sep.size(), sep) == 0) {
            parts.push_back(text.substr(start, i - start));
            start = i + sep.size();
            i = start - 1;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

bool Term(std::string text) {
    text = Trim(text);
    if (text.rfind("NOT ", 0) == 0)
        return !Term(text.substr(4));
    static const std::regex kFeature(R"(([&!])(\w+)\s*=\s*(-?\d+))");
    static const std::regex kCompare(R"((\w+)\s*(~?=|<>)\s*"([^"]*)\")");
    static const std::regex kName(R"(\w+)");
    std::smatch m;
    if (std::regex_match(text, m, kFeature)) {
        auto state = winsim::msi::Feature(m[2]);
        if (!state)
            return false; // an unknown feature's state is unknown
        int value = m[1] == "&" ? state->second : state->first;
        return value == std::stoi(m[3]);
    }
    if (std::regex_match(text, m, kCompare)) {
        std::string value = winsim::msi::Property(m[1]).value_or("");
        if (m[2] == "~=")
            return Lower(value) == Lower(m[3]);
        return m[2] == "=" ? value == m[3].str() : value != m[3].str();
    }
    if (std::regex_match(text, kName))
        return !winsim::msi::Property(text).value_or("").empty();
    throw std::invalid_argument("cannot read the condition term '" + text + "'");
}

} // namespace

bool EvaluateCondition(const std::string& condition) {
    if (Trim(condition).empty())
        return true;
    for (const std::string& alternative : SplitAt(condition, "OR")) {
        bool all = true;
        for (const std::string& term : SplitAt(alternative, "AND"))
            all = Term(term) && all;
        if (all)
            return true;
    }
    return false;
}

} // namespace hxca
