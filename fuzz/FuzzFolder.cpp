#include "FuzzFolder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t headerBytes = 40;
constexpr std::size_t maximumEntries = 6;
constexpr std::size_t maximumFileBytes = 4096;

// Frame files of "g.gri" in all their forms, and names that only look like
// one: another extension, another case, another data set, no dot at all.
const char* const entryNames[16] = {"g_0.dat",  "g_1.dat", "g_2.dat",     "g_10.dat", "g.dat",     "g_3.data",
                                    "g_4.DAT",  "h_0.dat", "g_5.dat.bak", "g",        "g.gri.dat", "g_01.dat",
                                    "g_-1.dat", "g_6.da",  "g_7.dat",     "g_8.dat"};

// Reads the input front to back; past its end every byte reads as 0.
class Bytes {
public:
    Bytes(const uint8_t* data, std::size_t size) : data(data), size(size) {}

    bool atEnd() const { return next >= size; }
    uint8_t byte() { return next < size ? data[next++] : 0; }

    // A file layout: size, count, pattern (see FuzzFolder.h).
    std::string file()
    {
        const std::size_t bytes = (byte() | std::size_t(byte()) << 8) % (maximumFileBytes + 1);
        std::string pattern;
        for (std::size_t n = byte(); n > 0 && !atEnd(); --n) {
            pattern += static_cast<char>(byte());
        }
        if (pattern.empty()) {
            return std::string(bytes, '\0');
        }
        std::string content;
        content.reserve(bytes);
        while (content.size() < bytes) {
            content.append(pattern, 0, std::min(pattern.size(), bytes - content.size()));
        }
        return content;
    }

private:
    const uint8_t* data;
    std::size_t size;
    std::size_t next = 0;
};

void write(const fs::path& path, const std::string& content)
{
    std::ofstream file(path, std::ios::binary);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace

FuzzFolder::FuzzFolder()
{
    std::string pattern = (fs::temp_directory_path() / "quorvane-fuzz-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
        throw std::runtime_error("cannot make a folder in " + fs::temp_directory_path().string());
    }
    folder = name.data();
}

FuzzFolder::~FuzzFolder()
{
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

std::string FuzzFolder::build(const uint8_t* data, std::size_t size)
{
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        fs::remove(entry.path());
    }

    Bytes input(data, size);
    std::string header;
    for (std::size_t i = 0; i < headerBytes; ++i) {
        header += static_cast<char>(input.byte());
    }
    const fs::path grid = fs::path(folder) / "g.gri";
    write(grid, header + input.file());

    for (std::size_t i = 0; i < maximumEntries && !input.atEnd(); ++i) {
        const uint8_t e = input.byte();
        const fs::path path = fs::path(folder) / entryNames[(e / 4) % 16];
        const bool taken = fs::exists(fs::symlink_status(path));
        switch (e % 4) {
        case 0: {
            // Read even when the name is taken, so the next entry starts where it should.
            const std::string content = input.file();
            if (!taken) {
                write(path, content);
            }
            break;
        }
        case 1:
            if (!taken) {
                fs::create_directory(path);
            }
            break;
        case 2:
            if (!taken && mkfifo(path.c_str(), 0600) != 0) {
                throw std::runtime_error("cannot make a FIFO " + path.string());
            }
            break;
        default:
            if (!taken) {
                fs::create_symlink(fs::path(folder) / "gone", path);
            }
            break;
        }
    }
    return grid.string();
}
