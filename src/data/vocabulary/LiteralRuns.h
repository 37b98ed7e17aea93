#pragma once

#include <QString>
#include <string>
#include <vector>

// The runs of plain characters of a LIKE pattern (see LikePattern), folded: every text
// the pattern matches holds each run, folded, somewhere. Wildcards and [..] sets break
// runs; so do the brackets themselves, to stay on the safe side of how a set is read.
namespace LiteralRuns {

std::vector<std::u32string> of(const QString& pattern);

// True when the pattern has nothing but "*" and plain characters: "*abc*", "abc".
bool onlyContains(const QString& pattern);

std::string utf8(const std::u32string& text);

} // namespace LiteralRuns
