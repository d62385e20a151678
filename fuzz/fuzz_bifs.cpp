// libFuzzer target of the BIFS command decoder: each input is a bitstream,
// decoded into a scene tree and listed by the dump. Errors are expected;
// crashes, hangs, leaks and sanitizer reports are not, and neither are these
// faults, which abort:
// - the listing and the decoder disagree on a stream (one accepts what the
//   other refuses, or they give different reasons);
// - a stream the decoder accepts does not close its round trip: its text,
//   encoded again (with its ROUTEs) and decoded, must give the same text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "node/bifs_command_decoder.h"
#include "node/bifs_instream.h"
#include "node/node_basenodedef.h"
#include "node/scenetree.h"
#include "tools/orvane-bifs/bifs_convert.h"
#include "tools/orvane-bifs/bifs_dump.h"
#include "trace/debug_trace.h"

namespace {

[[noreturn]] void Abort(const char* what, const std::string& a, const std::string& b) {
    std::fprintf(stderr, "fuzz_bifs: %s\n--- first\n%s\n--- second\n%s\n", what, a.c_str(),
                 b.c_str());
    std::abort();
}

// Whether the loader reads the VRML97 spellings the decoder writes
// (IndexedLineSet, Text's string, ...); a text that uses them can close its
// round trip only when it does.
bool Readable(const std::string& text) {
    static const bool spellings = [] {
        std::string error, wrl;
        std::vector<std::uint8_t> bifs;
        return EncodeWrlText(
                   "#VRML V2.0 utf8\nShape { geometry IndexedLineSet { } }"
                   " Shape { geometry Text { string \"a\" } }",
                   ORVANE_STANDARD_NODES, bifs, &error) &&
               DecodeToWrl(bifs, wrl, &error) && wrl.find("IndexedLineSet") != wrl.npos &&
               wrl.find("string [ \"a\" ]") != wrl.npos;
    }();
    if (spellings) return true;
    for (const char* word : {"IndexedLineSet", "string [", "minFront", "normalPerVertex",
                             "AudioSwitch", "CompositeTexture3D"})
        if (text.find(word) != std::string::npos) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool ready = [] {
        InitNDTTables();
        SetDebugTraceSink([](const char*, std::size_t) {});
        return true;
    }();
    (void)ready;
    if (size == 0 || size > (1u << 20)) return 0;
    const std::vector<std::uint8_t> bytes(data, data + size);
    CBIFS_InStream in(data, static_cast<std::uint32_t>(size));
    SceneTree tree;
    CCommandDecoder decoder;
    const bool decoded = decoder.DecodeStream(&in, &tree) == node::kOk;
    std::ostringstream listing;
    std::string listed;
    const bool dumped = DumpBifs(bytes, listing, &listed);
    if (dumped != decoded || listed != decoder.GetError())
        Abort("the listing and the decoder disagree", decoder.GetError(), listed);
    if (!decoded) return 0;

    std::string first, second, error;
    if (!DecodeToWrl(bytes, first, &error)) Abort("a stream decodes only once", error, "");
    if (!Readable(first)) return 0;
    std::vector<std::uint8_t> again;
    EncodeOptions options;
    options.routes = true;
    static SceneEncoder encoder(ORVANE_STANDARD_NODES);  // reads the declarations once
    if (!encoder.EncodeText(first, again, &error, nullptr, options))
        Abort("the decoded text does not encode", first, error);
    if (!DecodeToWrl(again, second, &error))
        Abort("the encoded text does not decode", first, error);
    if (first != second) Abort("decode -> encode -> decode changes the text", first, second);
    return 0;
}
