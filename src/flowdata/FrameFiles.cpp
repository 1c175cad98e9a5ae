#include "flowdata/FrameFiles.h"

#include <algorithm>
#include <boost/filesystem.hpp>

namespace fs = boost::filesystem;

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::size_t digitsEnd(const std::string& s, std::size_t from)
{
    while (from < s.size() && isDigit(s[from])) {
        ++from;
    }
    return from;
}

// The end of the fraction of the number whose integer digits end at `end`:
// a '.' followed by digits, or none.
std::size_t fractionEnd(const std::string& s, std::size_t end)
{
    if (end + 1 < s.size() && s[end] == '.' && isDigit(s[end + 1])) {
        return digitsEnd(s, end + 1);
    }
    return end;
}

// Compares the integer digits a[i, endA) and b[j, endB) by value.
int compareIntegers(const std::string& a, std::size_t i, std::size_t endA, const std::string& b, std::size_t j,
                    std::size_t endB)
{
    while (i + 1 < endA && a[i] == '0') {
        ++i;
    }
    while (j + 1 < endB && b[j] == '0') {
        ++j;
    }
    if (endA - i != endB - j) {
        return endA - i < endB - j ? -1 : 1;
    }
    return a.compare(i, endA - i, b, j, endB - j);
}

// Compares the fraction digits a[i, endA) and b[j, endB) by value: missing
// digits count as zeros.
int compareFractions(const std::string& a, std::size_t i, std::size_t endA, const std::string& b, std::size_t j,
                     std::size_t endB)
{
    for (; i < endA || j < endB; ++i, ++j) {
        const char da = i < endA ? a[i] : '0';
        const char db = j < endB ? b[j] : '0';
        if (da != db) {
            return da < db ? -1 : 1;
        }
    }
    return 0;
}

// Compares the numbers starting at a[i] and b[j] by value and moves past
// them. A digit run, a '.' and a digit run make one decimal number, so that
// frames named by their time (flow_0.25, flow_0.5) keep their order.
int compareNumbers(const std::string& a, std::size_t& i, const std::string& b, std::size_t& j)
{
    const std::size_t intEndA = digitsEnd(a, i);
    const std::size_t intEndB = digitsEnd(b, j);
    const std::size_t endA = fractionEnd(a, intEndA);
    const std::size_t endB = fractionEnd(b, intEndB);
    int order = compareIntegers(a, i, intEndA, b, j, intEndB);
    if (order == 0) {
        order = compareFractions(a, std::min(intEndA + 1, endA), endA, b, std::min(intEndB + 1, endB), endB);
    }
    i = endA;
    j = endB;
    return order;
}

} // namespace

bool FrameFiles::matches(const std::string& stem, const std::string& fileName)
{
    if (fileName.compare(0, stem.size(), stem) != 0) {
        return false;
    }
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
            if (order != 0) {
                return order < 0;
            }
            continue;
        }
        if (a[i] != b[j]) {
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        }
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) {
        return j < b.size() && i == a.size();
    }
    // Equal by value (run_01 and run_1): plain order keeps the sort strict.
    return a < b;
}

bool FrameFiles::list(const std::string& folder, const std::string& stem, std::vector<std::string>& names)
{
    names.clear();
    boost::system::error_code error;
    fs::directory_iterator entry(folder.empty() ? fs::path(".") : fs::path(folder), error);
    if (error) {
        return false;
    }
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        if (error) {
            return false;
        }
        const std::string fileName = entry->path().filename().string();
        if (!matches(stem, fileName)) {
            continue;
        }
        boost::system::error_code statusError;
        if (fs::status(entry->path(), statusError).type() != fs::regular_file) {
            continue;
        }
        names.push_back(fileName);
    }
    if (error) {
        return false;
    }
    std::sort(names.begin(), names.end(), naturalLess);
    return true;
}
