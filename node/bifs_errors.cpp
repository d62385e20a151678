#include "node/bifs_errors.h"

#include "node/node_basenodedef.h"
#include "node/node_impl.h"

namespace bifs_error {

namespace {

std::string Id(std::uint32_t id) {
    return "node ID " + std::to_string(id);
}

}  // namespace

std::string NotDefined(std::uint32_t id) {
    return Id(id) + " not defined";
}

std::string DefinedTwice(std::uint32_t id) {
    return Id(id) + " defined twice";
}

std::string UsedInsideItself(std::uint32_t id) {
    return Id(id) + " used inside itself";
}

std::string ReusedOutsideNDT(std::uint32_t id, int nodeType, std::uint8_t ndt) {
    return Id(id) + " (" + VrmlNodeTypeName(nodeType) + ") not in NDT " + GetNDTName(ndt);
}

std::string CodeNotInNDT(std::uint32_t code, std::uint8_t ndt) {
    return "node code " + std::to_string(code) + " not in NDT " + GetNDTName(ndt);
}

std::string NodeNotInNDT(int nodeType, std::uint8_t ndt) {
    return std::string(VrmlNodeTypeName(nodeType)) + " not in NDT " + GetNDTName(ndt);
}

std::string TooDeep() {
    return "nesting deeper than " + std::to_string(kMaxDecodeDepth) + " levels";
}

std::string FieldOutOfRange(std::uint32_t index, int nodeType, int count) {
    return "field index " + std::to_string(index) + " out of range for " +
           VrmlNodeTypeName(nodeType) + " (" + std::to_string(count) +
           (count == 1 ? " field)" : " fields)");
}

std::string FieldTwice(const std::string& field, int nodeType) {
    return "field " + field + " of " + VrmlNodeTypeName(nodeType) + " given twice";
}

std::string StringTooLong(std::uint64_t length) {
    return "a string of " + std::to_string(length) + " bytes, longer than the " +
           std::to_string(kMaxStringLength) + " a BIFS string holds";
}

std::string StringPastEnd(std::uint64_t length) {
    return "a string of " + std::to_string(length) + " bytes runs past the end of the data";
}

std::string CountPastEnd(std::uint64_t count) {
    return "a list of " + std::to_string(count) + " elements runs past the end of the data";
}

std::string RouteFieldOutOfRange(const char* kind, std::uint32_t index, int nodeType, int count) {
    return std::string(kind) + " index " + std::to_string(index) + " out of range for " +
           VrmlNodeTypeName(nodeType) + " (" + std::to_string(count) + " " + kind +
           (count == 1 ? ")" : "s)");
}

std::string UnsupportedCommand(std::uint32_t code) {
    static const char* const kNames[] = {"insertion", "deletion", "replacement", "SceneReplace"};
    return std::string("unsupported command: ") + kNames[code & 3] + " (code " +
           std::to_string(code) + "); only SceneReplace (3) is read";
}

}  // namespace bifs_error
