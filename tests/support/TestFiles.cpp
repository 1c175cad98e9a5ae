#include "support/TestFiles.h"

#include <fstream>
#include <sstream>

std::string TestFiles::header(const std::string& text)
{
    std::string bytes = text + "\n";
    bytes.resize(40, ' ');
    return bytes;
}

std::string TestFiles::floatBytes(const std::vector<float>& values)
{
    return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float));
}

std::vector<float> TestFiles::gridPositions(uint32_t x, uint32_t y, uint32_t z, float spacing)
{
    std::vector<float> p;
    for (uint32_t k = 0; k < z; ++k) {
        for (uint32_t j = 0; j < y; ++j) {
            for (uint32_t i = 0; i < x; ++i) {
                p.insert(p.end(), {spacing * float(i), spacing * float(j), spacing * float(k)});
            }
        }
    }
    return p;
}

std::string TestFiles::frameBytes(uint32_t nodes, int layers, const std::function<float(int, uint32_t)>& value)
{
    std::vector<float> records;
    for (uint32_t n = 0; n < nodes; ++n) {
        records.insert(records.end(), {float(n), -float(n), 0.5f});
        for (int l = 0; l < layers; ++l) {
            records.push_back(value(l, n));
        }
    }
    return floatBytes(records);
}

void TestFiles::write(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string TestFiles::read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}
