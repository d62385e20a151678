#include "loader/scene_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

// A regular file of `path` opened for reading, or null (folders included).
std::FILE* OpenRegularFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace

std::string InstalledDataDir() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
    std::string exe(buffer.data(), static_cast<std::size_t>(length));
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return exe.substr(0, slash + 1) + ORVANE_DATA_FROM_BIN;
}

StandardNodesSource::StandardNodesSource(const std::string& path) : m_where(path) {
    m_file = OpenRegularFile(path);
    if (m_file != nullptr || path != kDefaultName) return;
    const std::string dir = InstalledDataDir();
    if (!dir.empty()) {
        m_where = dir + "/" + std::string(kDefaultName);
        m_file = OpenRegularFile(m_where);
        if (m_file != nullptr) return;
    }
    m_text = BuiltInStandardNodes();
    m_where = "built-in declarations";
}

StandardNodesSource::~StandardNodesSource() {
    if (m_file != nullptr) std::fclose(m_file);
}
