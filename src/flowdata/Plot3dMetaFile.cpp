#include "flowdata/Plot3dMetaFile.h"

#include "diagnostics/Exception.h"
#include "flowdata/BinaryFile.h"

#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

namespace {
const char* const source = "Plot3dReader::readMetaFile()";
// A meta-file lists names; anything larger is not one.
constexpr uint64_t largest = uint64_t(16) << 20;

using Json = nlohmann::json;

class Keys {
public:
    Keys(const Json& json, const std::string& path) : json(json), path(path) {}

    const Json* find(const char* key, bool (Json::*is)() const, const char* what) const
    {
        const auto it = json.find(key);
        if (it == json.end()) {
            return nullptr;
        }
        if (!((*it).*is)()) {
            TOOL_THROW(source, path + ": \"" + key + "\" is not " + what);
        }
        return &*it;
    }
    std::optional<bool> flag(const char* key) const
    {
        const Json* value = find(key, &Json::is_boolean, "true or false");
        return value ? std::optional<bool>(value->get<bool>()) : std::nullopt;
    }
    std::optional<double> number(const char* key) const
    {
        const Json* value = find(key, &Json::is_number, "a number");
        return value ? std::optional<double>(value->get<double>()) : std::nullopt;
    }
    std::optional<std::string> text(const char* key) const
    {
        const Json* value = find(key, &Json::is_string, "a string");
        return value ? std::optional<std::string>(value->get<std::string>()) : std::nullopt;
    }
    [[noreturn]] void bad(const char* key, const std::string& value) const
    {
        TOOL_THROW(source, path + ": \"" + key + "\" cannot be " + value);
    }

private:
    const Json& json;
    const std::string& path;
};

std::string beside(const std::string& metaPath, const std::string& name)
{
    const boost::filesystem::path file(name);
    return file.is_absolute() ? name : (boost::filesystem::path(metaPath).parent_path() / file).string();
}
} // namespace

Plot3dMetaFile::Plot3dMetaFile(const std::string& path)
{
    BinaryFile file;
    if (!file.open(path)) {
        TOOL_THROW(source, "Couldn't open " + path);
    }
    if (file.size() > largest) {
        TOOL_THROW(source, path + " is too large for a PLOT3D meta-file");
    }
    std::string text(file.size(), '\0');
    if (file.readAt(text.data(), text.size(), 0) != text.size()) {
        TOOL_THROW(source, "Couldn't read " + path);
    }
    const Json json = Json::parse(text, nullptr, false);
    if (!json.is_object()) {
        TOOL_THROW(source, path + " is not a JSON object");
    }
    const Keys keys(json, path);
    // Auto-detection looks at the files alone; otherwise what is given here
    // narrows the detection, which still checks every file.
    if (!keys.flag("auto-detect-format").value_or(false)) {
        if (const auto order = keys.text("byte-order")) {
            if (*order != "little" && *order != "big") {
                keys.bad("byte-order", *order);
            }
            hints.bigEndian = *order == "big";
        }
        if (const auto precision = keys.number("precision")) {
            if (*precision != 32 && *precision != 64) {
                keys.bad("precision", std::to_string(*precision));
            }
            hints.realBytes = *precision == 64 ? 8 : 4;
        }
        hints.blockCount = keys.flag("multi-grid");
        hints.blanked = keys.flag("blanking");
        if (const auto flat = keys.flag("2D")) {
            hints.dimensions = *flat ? 2 : 3;
        }
        if (const auto format = keys.text("format")) {
            if (*format != "binary" && *format != "ascii") {
                keys.bad("format", *format);
            }
            if (*format == "ascii") {
                hints.encoding = Plot3dEncoding::Ascii;
            }
        }
        if (const auto language = keys.text("language")) {
            if (*language != "C" && *language != "c" && *language != "fortran" && *language != "Fortran") {
                keys.bad("language", *language);
            }
            if (!hints.encoding) {
                hints.encoding =
                    (*language)[0] == 'f' || (*language)[0] == 'F' ? Plot3dEncoding::Fortran : Plot3dEncoding::C;
            }
        }
    }
    gamma = keys.number("gamma").value_or(1.4);
    if (!(gamma > 1.0)) {
        keys.bad("gamma", std::to_string(gamma));
    }
    // The gas constant only gives temperatures, which are not among our layers.
    keys.number("R");
    keys.find("functions", &Json::is_array, "a list");
    const Json* names = keys.find("filenames", &Json::is_array, "a list");
    if (names == nullptr || names->empty()) {
        TOOL_THROW(source, path + " names no files (\"filenames\")");
    }
    for (const Json& entry : *names) {
        if (!entry.is_object()) {
            TOOL_THROW(source, path + ": an entry of \"filenames\" is not an object");
        }
        const Keys step(entry, path);
        Step read;
        read.time = step.number("time");
        if (const auto grid = step.text("xyz")) {
            read.grid = beside(path, *grid);
        }
        if (const auto solution = step.text("q")) {
            read.solution = beside(path, *solution);
        }
        if (const auto it = entry.find("function"); it != entry.end()) {
            for (const Json& name : it->is_array() ? *it : Json::array({*it})) {
                if (!name.is_string()) {
                    TOOL_THROW(source, path + ": \"function\" is not a file name");
                }
                read.functions.push_back(beside(path, name.get<std::string>()));
            }
        }
        if (read.solution.empty()) {
            TOOL_THROW(source, path + ": an entry of \"filenames\" names no \"q\" file");
        }
        steps.push_back(read);
    }
    if (steps.front().grid.empty()) {
        TOOL_THROW(source, path + ": its first entry names no \"xyz\" file");
    }
}
