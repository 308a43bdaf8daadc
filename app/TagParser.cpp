#include "TagParser.h"

TagParser::TagParser(const std::string &separators)
    : m_separators(separators)
{
}

std::map<std::string, std::string> TagParser::parse(const std::string &text) const
{
    std::map<std::string, std::string> tags;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        auto end = text.find_first_of(m_separators, start);
        if (end == std::string::npos)
            end = text.size();
        const std::string item = text.substr(start, end - start);
        const auto eq = item.find('=');
        if (eq != std::string::npos)
            tags.emplace(item.substr(0, eq), item.substr(eq + 1));   // keeps the first
        start = end + 1;
    }
    return tags;
}
