// DumpBifs: an annotated listing of a SceneReplace stream — for each command,
// node and field its bit offset, its bits and what they mean. It reads the
// stream on its own (with the node tables), so it also explains streams the
// decoder rejects, up to the point where they go wrong.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

// Returns true when the whole command was read without running out of data.
bool DumpBifs(const std::vector<std::uint8_t>& bytes, std::ostream& out);
