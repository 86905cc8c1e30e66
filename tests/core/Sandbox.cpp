#include "Sandbox.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/Settings.h"
#include "downloadlist/LinkRecord.h"

namespace tvxtest {

void Sandbox::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tvx-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    ASSERT_NE(mkdtemp(buffer.data()), nullptr);
    m_dir = buffer.data();
    m_previousDir = std::filesystem::current_path().string();
    std::filesystem::current_path(m_dir);
    tvx::g_startDirectory = m_dir;
    tvx::g_linkTable = tvx::LinkTable{};
}

void Sandbox::TearDown() {
    if (!m_previousDir.empty())
        std::filesystem::current_path(m_previousDir);
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out.good()) << "cannot write " << path;
    out << contents;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

ScopedTmpfs::ScopedTmpfs(const std::string& dir, std::size_t bytes) : m_dir(dir) {
    std::filesystem::create_directories(dir);
    const std::string options = "size=" + std::to_string(bytes);
    m_mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

ScopedTmpfs::~ScopedTmpfs() {
    if (m_mounted)
        umount2(m_dir.c_str(), MNT_DETACH);
}

bool ScopedTmpfs::MakeReadOnly() {
    return m_mounted &&
           mount(nullptr, m_dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

void ScopedTmpfs::Fill() {
    const int fd = open((m_dir + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    const std::vector<char> block(4096, 'x');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    // The last partial block may still fit.
    while (write(fd, block.data(), 1) > 0) {
    }
    close(fd);
}

}  // namespace tvxtest
