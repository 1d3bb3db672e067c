// The service object library that belongs to this quvo program: the build tree's or the
// installed one, told apart by where the program itself runs from.
#include "tools/ServiceObjectPath.h"

#include <filesystem>
#include <system_error>

#if !defined(QUVO_SO_BUILD_LIBRARY) || !defined(QUVO_TOOLS_BUILD_DIR) || !defined(QUVO_SO_INSTALLED_LIBRARY)
#error "the service object locations are set by tools/CMakeLists.txt"
#endif

namespace QVO::Tools {

std::string DefaultServiceObjectLibrary() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && fs::equivalent(self.parent_path(), fs::path(QUVO_TOOLS_BUILD_DIR), ec) && !ec)
        return QUVO_SO_BUILD_LIBRARY;
    return QUVO_SO_INSTALLED_LIBRARY;
}

}  // namespace QVO::Tools
