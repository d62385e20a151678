// ParseActions: what the generated VRML parser calls while it reads, one call
// per grammar action. Internal to the loader: only the parser and the loader's
// implementation include it; callers use VrmlLoader.
#pragma once

#include <string_view>

class ParseActions {
  public:
    // Interface declaration categories of AddToProto.
    enum Declaration { kEventIn, kEventOut, kField, kExposedField };

    // Field type token of a type name ("SFBool" .. "MFNode"); 0 with
    // "Illegal field type: <name>" for any other name.
    virtual int FieldTypeToken(std::string_view typeName) = 0;
    // "Error near line N: <message>"; clears the expected token.
    virtual void ParseError(const char* message) = 0;

    // Announces the type of the value the lexer scans next (0 for none).
    virtual void ExpectToken(int token) = 0;
    virtual void SetPendingDef(const char* name) = 0;
    virtual void UseNode(const char* name) = 0;
    virtual void BeginProto(const char* name) = 0;
    virtual void EndProto() = 0;
    // The end of an EXTERNPROTO, its url list just read.
    virtual void EndExternProto() = 0;
    virtual void AddToProto(Declaration kind, const char* typeName, const char* name) = 0;
    virtual void AddRoute(const char* node1, const char* field1, const char* node2,
                          const char* field2) = 0;
    virtual void EnterNode(const char* typeName) = 0;
    virtual void ExitNode() = 0;
    virtual void EnterField(const char* name) = 0;
    virtual void StoreValue() = 0;
    virtual void ExitField() = 0;
    // A Script's own eventIn, eventOut or field declaration (an error outside a Script).
    virtual void DeclareField(Declaration kind, const char* typeName, const char* name) = 0;
    // The current field of a PROTO body node is bound with IS to the PROTO's field `name`.
    virtual void BindIs(const char* name) = 0;
    virtual void SetValueKind(int kind) = 0;

  protected:
    ~ParseActions() = default;
};
