// Stands in for no Windows facility: reads the lab's own description files (event logs, process lists),
// blocks of Key=Value lines, each block opened by a [Header] line.
#pragma once

#include "lab/host/ProfileValues.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lab::host {

struct BlockEntry {
    std::string key;
    std::string value;  // unquoted, escapes resolved
    int line = 0;
};

struct Block {
    std::string header;
    int line = 0;
    std::vector<BlockEntry> entries;
};

// Lines starting with ';' or '#' are comments; there are no comments after a value, so a value may hold
// any character. A value is taken as it stands, without the blanks around it; a value in double quotes
// keeps its blanks and knows the escapes \\ \" \t \n \r and \xHH (so control characters can be written).
// False with "line N: reason" in error for a line that is none of these.
bool ParseBlocks(const std::string& text, std::vector<Block>& blocks, std::string& error);

// One value by the same rule, for the lab's other files that want control characters written: taken as it
// stands unless it begins with a double quote; quoted, it knows the escapes above. False with the reason for a
// bad escape or a missing closing quote.
bool ParseValue(const std::string& text, std::string& value, std::string& reason);

}  // namespace lab::host
