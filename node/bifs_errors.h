// The reasons the BIFS coders give when they refuse data, in one place, so
// that every reader of a stream (the decoder, the bit listing) and the
// encoder word the same fault the same way. The readers add " at bit N".
#pragma once

#include <cstdint>
#include <string>

namespace bifs_error {

std::string NotDefined(std::uint32_t id);
std::string DefinedTwice(std::uint32_t id);
std::string UsedInsideItself(std::uint32_t id);
// A node taken again by its ID where its type does not belong.
std::string ReusedOutsideNDT(std::uint32_t id, int nodeType, std::uint8_t ndt);
std::string CodeNotInNDT(std::uint32_t code, std::uint8_t ndt);
// A node of type `nodeType` written where NDT `ndt` is expected.
std::string NodeNotInNDT(int nodeType, std::uint8_t ndt);
std::string TooDeep();
std::string FieldOutOfRange(std::uint32_t index, int nodeType, int count);
std::string FieldTwice(const std::string& field, int nodeType);
std::string StringTooLong(std::uint64_t length);
std::string StringPastEnd(std::uint64_t length);
std::string CountPastEnd(std::uint64_t count);
// `kind` is "eventOut" or "eventIn".
std::string RouteFieldOutOfRange(const char* kind, std::uint32_t index, int nodeType, int count);
std::string UnsupportedCommand(std::uint32_t code);

}  // namespace bifs_error
