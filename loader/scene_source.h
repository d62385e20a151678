// Where the loader's input comes from. Every program reads the node type
// declarations and scene files through these, so the viewer and both tools
// work from any working directory.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

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
