// The conditions of sequence rows as the package author's kit writes them, decided against the
// simulated session at the moment the engine would reach the row.
#pragma once

#include <string>

namespace hxca {

// Terms joined by AND or OR (AND binds closer), each optionally preceded by NOT: a property
// (true when not empty), NAME="text" or NAME~="text" (any case), NAME<>"text", and the feature
// states &F=n (requested action) and !F=n (installed). Throws std::invalid_argument naming what it
// cannot read.
bool EvaluateCondition(const std::string& condition);

} // namespace hxca
