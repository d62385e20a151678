// orvane-bifs: converts VRML97 scenes to BIFS SceneReplace bitstreams and
// back, and lists what a bitstream holds bit by bit.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "node/node_basenodedef.h"
#include "node/scenetree.h"
#include "tools/orvane-bifs/bifs_convert.h"
#include "tools/orvane-bifs/bifs_dump.h"
#include "trace/debug_trace.h"

namespace {

const char kUsage[] =
    "usage: orvane-bifs encode SCENE.wrl OUT.bifs [--routes] [--standard-nodes FILE]\n"
    "       orvane-bifs decode IN.bifs [OUT.wrl]\n"
    "       orvane-bifs dump IN.bifs\n"
    "       orvane-bifs --help | --version\n"
    "\n"
    "encode  loads a VRML97 scene, plain or gzip-compressed (after the\n"
    "        declarations: FILE, or else standardNodes.wrl from the working\n"
    "        directory, the installed copy or the built-in one) and writes it as\n"
    "        one BIFS SceneReplace command;\n"
    "        nodes used in several places get node IDs so the sharing survives.\n"
    "        With --routes the scene's ROUTEs are written too (their nodes get\n"
    "        node IDs). What BIFS cannot carry is named on standard error: nodes\n"
    "        outside their context, node types without a BIFS node class\n"
    "        (Script), ROUTEs left out, each kind with a count;\n"
    "        a string longer than 65,535 bytes or nesting deeper than 1000\n"
    "        levels stops it with nothing written\n"
    "decode  reads such a command and writes the scene and its ROUTEs as VRML97\n"
    "        text (to standard output without OUT.wrl); numbers that are not\n"
    "        finite are written inf, -inf, nan, -nan\n"
    "dump    lists every field of the stream with its bit offset, bits and meaning\n"
    "\n"
    "'-' stands for standard input or standard output. Inputs larger than\n"
    "1 GiB, folders and devices are refused; an output may not be its input.\n"
    "A refused stream is reported with the reason and the bit where it lies.\n"
    "\n"
    "exit status: 0 done, 1 the input could not be read or converted, 2 bad arguments\n";

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "orvane-bifs: %s\n", message.c_str());
    return code;
}

std::string Shown(const std::string& path, bool output) {
    if (path != "-") return path;
    return output ? "standard output" : "standard input";
}

void Warn(const std::string& input, const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        std::fprintf(stderr, "orvane-bifs: %s: %s\n", Shown(input, false).c_str(), line.c_str());
}

// Reads a stream input for decode and dump; the reason in *error.
bool ReadStream(const std::string& path, std::vector<std::uint8_t>& bytes, std::string* error) {
    if (!ReadInput(path, bytes, error)) return false;
    if (bytes.empty()) {
        *error = Shown(path, false) + ": the file is empty";
        return false;
    }
    return true;
}

int Encode(const std::vector<std::string>& args, const std::string& standardNodes,
           const EncodeOptions& options) {
    if (args.size() != 3) return Fail(2, "encode takes SCENE.wrl OUT.bifs");
    const std::string &input = args[1], &output = args[2];
    if (SameFile(input, output)) return Fail(1, "the output " + output + " is the input");
    if (SameFile(standardNodes, output))
        return Fail(1, "the output " + output + " is the declarations file");
    std::string error;
    std::vector<std::uint8_t> bifs;
    std::vector<std::string> warnings;
    bool ok = false;
    switch (ClassifyInput(input, &error)) {
        case InputKind::kRefused:
            return Fail(1, "cannot read " + error);
        case InputKind::kFile:
            ok = EncodeWrlFile(input, standardNodes, bifs, &error, &warnings, options);
            break;
        case InputKind::kStream: {
            std::vector<std::uint8_t> text;
            if (!ReadInput(input, text, &error)) return Fail(1, error);
            ok = EncodeWrlText({reinterpret_cast<const char*>(text.data()), text.size()},
                               standardNodes, bifs, &error, &warnings, options);
            break;
        }
    }
    Warn(input, warnings);
    if (!ok) return Fail(1, Shown(input, false) + ": " + error + "; nothing written");
    if (!WriteOutput(output, bifs.data(), bifs.size(), &error)) return Fail(1, error);
    std::fprintf(stderr, "orvane-bifs: wrote %zu bytes to %s\n", bifs.size(),
                 Shown(output, true).c_str());
    return 0;
}

int Decode(const std::vector<std::string>& args) {
    if (args.size() != 2 && args.size() != 3) return Fail(2, "decode takes IN.bifs [OUT.wrl]");
    const std::string& input = args[1];
    const std::string output = args.size() == 3 ? args[2] : "-";
    if (SameFile(input, output)) return Fail(1, "the output " + output + " is the input");
    std::string error;
    SceneTree tree;
    if (!DecodeInput(input, tree, &error)) return Fail(1, error);
    // The text goes out as it is made, a block at a time.
    const bool standardOutput = output == "-";
    std::FILE* file = standardOutput ? stdout : std::fopen(output.c_str(), "wb");
    if (file == nullptr) return Fail(1, "cannot write " + output + ": " + std::strerror(errno));
    bool ok = WriteSceneText(tree, file);
    ok = (standardOutput ? std::fflush(file) : std::fclose(file)) == 0 && ok;
    if (!ok) {
        if (!standardOutput) std::remove(output.c_str());
        return Fail(1, "cannot write " + Shown(output, true));
    }
    return 0;
}

int Dump(const std::vector<std::string>& args) {
    if (args.size() != 2) return Fail(2, "dump takes IN.bifs");
    std::string error;
    std::vector<std::uint8_t> bifs;
    if (!ReadStream(args[1], bifs, &error)) return Fail(1, error);
    const bool ok = DumpBifs(bifs, std::cout, &error);
    std::cout.flush();
    if (!std::cout) return Fail(1, "cannot write standard output");
    if (!ok) return Fail(1, Shown(args[1], false) + ": " + error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    std::string standardNodes = "standardNodes.wrl";
    EncodeOptions options;
    bool routesGiven = false, optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsDone || arg == "-" || arg.empty() || arg[0] != '-') {
            args.push_back(arg);
        } else if (arg == "--") {
            optionsDone = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("orvane-bifs %s\n", ORVANE_VERSION);
            return 0;
        } else if (arg == "--standard-nodes") {
            if (i + 1 >= argc) return Fail(2, "missing file after --standard-nodes");
            standardNodes = argv[++i];
        } else if (arg == "--routes") {
            options.routes = routesGiven = true;
        } else {
            return Fail(2, "unknown option " + arg + " (see --help)");
        }
    }
    if (args.empty()) return Fail(2, "no command given (see --help)");
    InitNDTTables();
    SetDebugTraceSink([](const char*, std::size_t) {});
    const std::string& command = args[0];
    if (command == "encode") return Encode(args, standardNodes, options);
    if (routesGiven) return Fail(2, "--routes belongs to encode (decode always reads ROUTEs)");
    if (command == "decode") return Decode(args);
    if (command == "dump") return Dump(args);
    return Fail(2, "unknown command '" + command + "' (see --help)");
}
