// orvane-bifs: converts VRML97 scenes to BIFS SceneReplace bitstreams and
// back, and lists what a bitstream holds bit by bit.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "node/node_basenodedef.h"
#include "tools/orvane-bifs/bifs_convert.h"
#include "tools/orvane-bifs/bifs_dump.h"
#include "trace/debug_trace.h"

namespace {

const char kUsage[] =
    "usage: orvane-bifs encode SCENE.wrl OUT.bifs [--standard-nodes FILE]\n"
    "       orvane-bifs decode IN.bifs [OUT.wrl]\n"
    "       orvane-bifs dump IN.bifs\n"
    "       orvane-bifs --help | --version\n"
    "\n"
    "encode  loads a VRML97 scene, plain or gzip-compressed (after the\n"
    "        declarations: FILE, or else standardNodes.wrl from the working\n"
    "        directory, the installed copy or the built-in one) and writes it as\n"
    "        one BIFS SceneReplace command;\n"
    "        nodes used in several places get node IDs so the sharing survives\n"
    "decode  reads such a command and writes the scene as VRML97 text (to\n"
    "        standard output without OUT.wrl)\n"
    "dump    lists every field of the stream with its bit offset, bits and meaning\n"
    "\n"
    "exit status: 0 done, 1 the input could not be read or converted, 2 bad arguments\n";

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "orvane-bifs: %s\n", message.c_str());
    return code;
}

bool ReadFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

bool WriteFile(const std::string& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return !out.fail();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string standardNodes = "standardNodes.wrl";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-h" || args[i] == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (args[i] == "--version") {
            std::printf("orvane-bifs %s\n", ORVANE_VERSION);
            return 0;
        }
        if (args[i] == "--standard-nodes") {
            if (i + 1 >= args.size()) return Fail(2, "missing file after --standard-nodes");
            standardNodes = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i),
                       args.begin() + static_cast<long>(i) + 2);
            --i;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return Fail(2, "unknown option " + args[i] + " (see --help)");
        }
    }
    if (args.empty()) return Fail(2, "no command given (see --help)");
    InitNDTTables();
    SetDebugTraceSink([](const char*, std::size_t) {});
    const std::string& command = args[0];
    std::string error;

    if (command == "encode") {
        if (args.size() != 3) return Fail(2, "encode takes SCENE.wrl OUT.bifs");
        std::vector<std::uint8_t> bifs;
        std::vector<std::string> warnings;
        if (!EncodeWrlFile(args[1], standardNodes, bifs, &error, &warnings)) return Fail(1, error);
        for (const std::string& w : warnings)
            std::fprintf(stderr, "orvane-bifs: %s: %s\n", args[1].c_str(), w.c_str());
        if (!WriteFile(args[2], bifs.data(), bifs.size()))
            return Fail(1, "cannot write " + args[2]);
        std::fprintf(stderr, "orvane-bifs: wrote %zu bytes to %s\n", bifs.size(), args[2].c_str());
        return 0;
    }
    if (command == "decode") {
        if (args.size() != 2 && args.size() != 3) return Fail(2, "decode takes IN.bifs [OUT.wrl]");
        std::vector<std::uint8_t> bifs;
        if (!ReadFile(args[1], bifs)) return Fail(1, "cannot read " + args[1]);
        std::string wrl;
        if (!DecodeToWrl(bifs, wrl, &error)) return Fail(1, args[1] + ": " + error);
        if (args.size() == 2) {
            std::fwrite(wrl.data(), 1, wrl.size(), stdout);
            return 0;
        }
        if (!WriteFile(args[2], wrl.data(), wrl.size())) return Fail(1, "cannot write " + args[2]);
        return 0;
    }
    if (command == "dump") {
        if (args.size() != 2) return Fail(2, "dump takes IN.bifs");
        std::vector<std::uint8_t> bifs;
        if (!ReadFile(args[1], bifs)) return Fail(1, "cannot read " + args[1]);
        if (!DumpBifs(bifs, std::cout))
            return Fail(1, args[1] + ": the stream is not a complete SceneReplace command");
        return 0;
    }
    return Fail(2, "unknown command '" + command + "' (see --help)");
}
