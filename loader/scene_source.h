// Where the loader's input comes from. Every program reads the node type
// declarations and scene files through these, so the viewer and both tools
// work from any working directory and read gzip-compressed worlds.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The running program's folder, ending in '/'; empty when its path cannot be read.
std::string ExecutableDir();

// The folder of the data installed with the program (the declarations,
// t3.wrl and its textures): share/orvane beside the executable's bin folder.
// Empty when the executable's path cannot be read.
std::string InstalledDataDir();

// The declarations built into the program, generated from the same node table
// as the standardNodes.wrl file.
std::string_view BuiltInStandardNodes();

// The node type declarations to read for `path`. A path other than the default
// name is taken as given. The default name, "standardNodes.wrl", is looked up
// in the working directory, then in InstalledDataDir(), and failing both the
// built-in copy is used.
class StandardNodesSource {
  public:
    static constexpr std::string_view kDefaultName = "standardNodes.wrl";

    explicit StandardNodesSource(const std::string& path);
    ~StandardNodesSource();
    StandardNodesSource(const StandardNodesSource&) = delete;
    StandardNodesSource& operator=(const StandardNodesSource&) = delete;

    // False when `path` names no readable file (a folder is not one).
    bool IsOpen() const { return m_file != nullptr || !m_text.empty(); }
    // The open file, or null for the built-in copy.
    std::FILE* File() const { return m_file; }
    // The built-in copy's text when it is used, else empty.
    std::string_view Text() const { return m_text; }
    // The file read, or "built-in declarations".
    const std::string& Where() const { return m_where; }

  private:
    std::FILE* m_file = nullptr;
    std::string_view m_text;
    std::string m_where;
};

// Progress and cancel of one scene read, shared with another thread (the
// viewer's window thread while a worker loads).
struct SceneReadControl {
    std::atomic<std::uint64_t> bytesRead{0};  // of the file as stored (compressed)
    std::atomic<std::uint64_t> fileSize{0};
    std::atomic<bool> cancel{false};  // set to end the read at the next refill
};

// A scene file as a stream: Read() gives its text, inflated when the file is
// gzip-compressed (it starts with the bytes 1f 8b, whatever its name), so the
// loader reads .wrz and .wrl.gz worlds as plain ones. The loader's scanner
// calls Read() as it refills, so a plain file's bytes go from the kernel
// straight into the scanner's buffer. A read that fails partway (a damaged or
// cut-short gzip stream, an I/O error, a cancel) ends the text there and is
// recorded in Error(), which is complete once Finish() has been called.
class SceneSource {
  public:
    static constexpr std::size_t kHeadSize = 64;

    explicit SceneSource(const std::string& path, SceneReadControl* control = nullptr);
    ~SceneSource();
    SceneSource(const SceneSource&) = delete;
    SceneSource& operator=(const SceneSource&) = delete;

    const std::string& Path() const { return m_path; }
    // False when the file could not be opened (missing, unreadable, a folder).
    bool IsOpen() const { return m_opened; }
    bool IsCompressed() const;
    // Up to `size` bytes of the text into `buffer`, from its start; 0 at its
    // end, on failure, when not open or once finished.
    std::size_t Read(char* buffer, std::size_t size);
    // The first kHeadSize bytes of the text (fewer for a shorter one), read
    // ahead when the file is opened; File() still starts at the first byte.
    std::string_view Head() const;
    // Ends reading; Read() gives nothing more. A gzip stream is inflated to its
    // end first (unless cancelled), so Error() tells whether it was whole. The
    // destructor calls it too.
    void Finish();
    // Why the file could not be opened or read to its end; empty while all is well.
    std::string Error() const;
    bool Cancelled() const;
    // The rest of the text, at most `limit` bytes, then Finish(); false (Error()
    // says why) when reading failed or the text is longer.
    bool ReadAll(std::vector<std::uint8_t>& bytes, std::size_t limit);

  private:
    class Reader;
    std::string m_path;
    std::unique_ptr<Reader> m_reader;
    bool m_opened = false;
    bool m_finished = false;
};
