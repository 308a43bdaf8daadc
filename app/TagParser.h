#pragma once

#include <map>
#include <string>

// Splits "key=value,key=value" metadata (as stored in saved TIFF images) into a map.
// The first occurrence of a key wins.
class TagParser
{
public:
    explicit TagParser(const std::string &separators = ",");

    std::map<std::string, std::string> parse(const std::string &text) const;

private:
    std::string m_separators;
};
