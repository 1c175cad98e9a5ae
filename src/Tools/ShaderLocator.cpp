#include "Tools/ShaderLocator.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool isFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

fs::path programFolder()
{
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : program.parent_path();
}

} // namespace

std::string ShaderLocator::locate(const std::string& file)
{
    const fs::path given(file);
    if (file.empty() || isFile(given) || given.is_absolute()) {
        return file;
    }
    const fs::path folders[] = {programFolder(), fs::path(QUORVANE_SHADER_DIR)};
    for (const fs::path& folder : folders) {
        if (!folder.empty() && isFile(folder / given)) {
            return (folder / given).string();
        }
    }
    return file;
}
