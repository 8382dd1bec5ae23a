// Splitting a command line or a typed line into session steps.
#pragma once

#include <string>
#include <vector>

namespace sidera::tool {

using Words = std::vector<std::string>;

// Splits the words after the session options at each "--" into steps,
// dropping empty ones: {"--","goto","Vega","--","status"} gives
// {{"goto","Vega"},{"status"}}.
std::vector<Words> SplitSteps(const Words& args);

// Splits a typed line into words at blanks; double or single quotes keep
// blanks inside one word ("goto 'Rigil Kentaurus'"); '#' starts a comment.
// Returns false for an unterminated quote.
bool SplitLine(const std::string& line, Words* words);

}  // namespace sidera::tool
