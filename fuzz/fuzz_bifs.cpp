// libFuzzer target of the BIFS command decoder: each input is a bitstream,
// decoded into a scene tree and listed by the dump. Errors are expected;
// crashes, hangs, leaks and sanitizer reports are not.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <vector>

#include "node/bifs_command_decoder.h"
#include "node/bifs_instream.h"
#include "node/node_basenodedef.h"
#include "node/scenetree.h"
#include "tools/orvane-bifs/bifs_dump.h"
#include "trace/debug_trace.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool ready = [] {
        InitNDTTables();
        SetDebugTraceSink([](const char*, std::size_t) {});
        return true;
    }();
    (void)ready;
    if (size == 0 || size > (1u << 20)) return 0;
    CBIFS_InStream in(data, static_cast<std::uint32_t>(size));
    SceneTree tree;
    CCommandDecoder decoder;
    decoder.DecodeStream(&in, &tree);
    std::ostringstream listing;
    DumpBifs(std::vector<std::uint8_t>(data, data + size), listing);
    return 0;
}
