#pragma once
// Test fixtures: every test runs in a fresh temporary folder that is both the
// current directory and the start directory, with an empty download list.

#include <gtest/gtest.h>

#include <string>

namespace tvxtest {

class Sandbox : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Absolute path of a name inside the sandbox folder.
    std::string PathOf(const std::string& name) const { return m_dir + "/" + name; }
    const std::string& Dir() const { return m_dir; }

private:
    std::string m_dir;
    std::string m_previousDir;
};

// Writes (or reads) a whole file; fails the test on error.
void WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// A small tmpfs mounted on a folder for the life of the object, to make a disk
// that refuses writes. Mounting needs privileges; Mounted() says whether it
// worked, so a test can skip where it cannot.
class ScopedTmpfs {
public:
    ScopedTmpfs(const std::string& dir, std::size_t bytes);
    ~ScopedTmpfs();
    bool Mounted() const { return m_mounted; }
    // Makes the file system read-only (files already there stay readable).
    bool MakeReadOnly();
    // Fills the file system with a filler file until no space is left.
    void Fill();

private:
    std::string m_dir;
    bool m_mounted = false;
};

}  // namespace tvxtest
