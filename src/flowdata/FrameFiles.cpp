#include "flowdata/FrameFiles.h"

#include <algorithm>
#include <boost/filesystem.hpp>

namespace fs = boost::filesystem;

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Compares the digit runs starting at a[i] and b[j] by value and moves past them.
int compareNumbers(const std::string& a, std::size_t& i, const std::string& b, std::size_t& j)
{
    while (i < a.size() && a[i] == '0' && i + 1 < a.size() && isDigit(a[i + 1]))
        ++i;
    while (j < b.size() && b[j] == '0' && j + 1 < b.size() && isDigit(b[j + 1]))
        ++j;
    std::size_t endA = i;
    std::size_t endB = j;
    while (endA < a.size() && isDigit(a[endA]))
        ++endA;
    while (endB < b.size() && isDigit(b[endB]))
        ++endB;
    int order = 0;
    if (endA - i != endB - j)
        order = endA - i < endB - j ? -1 : 1;
    else
        order = a.compare(i, endA - i, b, j, endB - j);
    i = endA;
    j = endB;
    return order;
}

} // namespace

bool FrameFiles::matches(const std::string& stem, const std::string& fileName)
{
    if (fileName.compare(0, stem.size(), stem) != 0)
        return false;
    const std::size_t dot = fileName.find_last_of('.');
    return dot != std::string::npos && fileName.compare(dot, 4, ".dat") == 0;
}

bool FrameFiles::naturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const int order = compareNumbers(a, i, b, j);
            if (order != 0)
                return order < 0;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return j < b.size() && i == a.size();
    // Equal by value (run_01 and run_1): plain order keeps the sort strict.
    return a < b;
}

bool FrameFiles::list(const std::string& folder, const std::string& stem, std::vector<std::string>& names)
{
    names.clear();
    boost::system::error_code error;
    fs::directory_iterator entry(folder.empty() ? fs::path(".") : fs::path(folder), error);
    if (error)
        return false;
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        if (error)
            return false;
        const std::string fileName = entry->path().filename().string();
        if (!matches(stem, fileName))
            continue;
        boost::system::error_code statusError;
        if (fs::status(entry->path(), statusError).type() != fs::regular_file)
            continue;
        names.push_back(fileName);
    }
    if (error)
        return false;
    std::sort(names.begin(), names.end(), naturalLess);
    return true;
}
