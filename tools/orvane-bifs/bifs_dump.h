// DumpBifs: an annotated listing of a SceneReplace stream — for each command,
// node and field its bit offset, its bits and what they mean. It reads the
// stream on its own (with the node tables) by the decoder's rules: it
// accepts exactly the streams CCommandDecoder accepts and, for the others,
// lists them up to the point where they go wrong and gives the decoder's
// reason ("node ID 7 not defined at bit 130").
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// True when the whole command was read and is valid; otherwise false with
// the reason in *error (when given).
bool DumpBifs(const std::vector<std::uint8_t>& bytes, std::ostream& out,
              std::string* error = nullptr);
