// Field objects made from the value the lexer scanned last, chosen by the
// value kind code the grammar set, and their storing into a node.
#pragma once

#include <memory>
#include <string_view>

#include "node/node_typedef.h"

class SingleNode;
struct LexState;

// Value kind codes set by the grammar's fieldValue rules.
enum ValueKind : int {
    kNoValue = 0,
    kValueSFInt32 = 1,
    kValueSFBool = 2,
    kValueSFFloat = 3,
    kValueSFVec2f = 4,
    kValueSFVec3f = 5,
    kValueSFRotation = 6,
    kValueSFTime = 7,
    kValueMFFloat = 8,
    kValueMFVec2f = 9,
    kValueMFVec3f = 10,
    kValueMFRotation = 11,
    kValueMFInt32 = 12,
    kValueSFString = 16,
    kValueMFString = 17,
    kValueSFColor = 20,
    kValueMFColor = 21,
};

// At most one of the two is set.
struct FieldValue {
    std::unique_ptr<SFField> single;
    std::unique_ptr<MultiField> multi;
    explicit operator bool() const { return single || multi; }
};

// Builds the value of `kind` from the lexer's numbers and strings (the strings
// are moved out). A string list of a field whose name ends in "url" holds
// SFURL values. Tuples that the lexer left short give no value.
FieldValue MakeFieldValue(int kind, LexState& lex, std::string_view fieldName);

// True when a list of tuples ended with an incomplete tuple.
bool HasIncompleteTuple(int kind, const LexState& lex);

// Stores the value in field `index` of the node through SetField; a long list
// hands its storage to the node's list of the same type instead of being copied.
void StoreFieldValue(SingleNode& node, int index, FieldValue& value);
