/* The VRML97 grammar. Mid-rule actions announce each field value's type to
   the lexer before the value is scanned; every action is a call on the
   loader's ParseActions. */
%define api.pure full
%define api.prefix {vrml}
%parse-param {ParseActions* loader} {void* scanner}
%lex-param {void* scanner}

%code requires {
class ParseActions;
}

%code {
#include <cstdlib>
#include <cstring>

#include "loader/lex_state.h"
#include "loader/parse_actions.h"

int vrmllex(VRMLSTYPE* value, void* scanner);
LexState* vrmlget_extra(void* scanner);

namespace {
// An identifier's text back to the scanner's pool, once its rule is done.
void Release(void* scanner, char* name) {
    vrmlget_extra(scanner)->names.Give(name);
}

void vrmlerror(ParseActions* loader, void*, const char* message) {
    if (std::strcmp(message, "syntax error") == 0) message = "parse error";
    if (std::strcmp(message, "memory exhausted") == 0) message = "parser stack overflow";
    loader->ParseError(message);
}
}  // namespace
}

%union {
    char* str;
}

%token <str> IDENTIFIER 258
%token DEF 259 USE 260 PROTO 261 EXTERNPROTO 262 TO 263 IS 264 ROUTE 265 SFN_NULL 266
%token EVENTIN 267 EVENTOUT 268 FIELD 269 EXPOSEDFIELD 270
%token SFBOOL 271 SFCOLOR 272 SFFLOAT 273 SFIMAGE 274 SFINT32 275 SFNODE 276
%token SFROTATION 277 SFSTRING 278 SFTIME 279 SFVEC2F 280 SFVEC3F 281
%token MFCOLOR 282 MFFLOAT 283 MFINT32 284 MFROTATION 285 MFSTRING 286
%token MFVEC2F 287 MFVEC3F 288 MFNODE 289

%destructor { Release(scanner, $$); } <str>

%%

vrmlscene: declarations ;

declarations: %empty | declarations declaration ;

declaration: nodeDeclaration | protoDeclaration | routeDeclaration ;

nodeDeclaration
    : node
    | DEF IDENTIFIER { loader->SetPendingDef($2); } node { Release(scanner, $2); }
    | USE IDENTIFIER { loader->UseNode($2); Release(scanner, $2); }
    ;

protoDeclaration: proto | externproto ;

proto
    : PROTO IDENTIFIER { loader->BeginProto($2); }
      '[' interfaceDeclarations ']' '{' declarations '}'
      { loader->EndProto(); Release(scanner, $2); }
    ;

externproto
    : EXTERNPROTO IDENTIFIER { loader->BeginProto($2); }
      '[' externInterfaceDeclarations ']' { loader->ExpectToken(MFSTRING); } fieldValue
      { loader->EndExternProto(); Release(scanner, $2); }
    ;

interfaceDeclarations: %empty | interfaceDeclarations interfaceDeclaration ;

interfaceDeclaration
    : EVENTIN IDENTIFIER IDENTIFIER
      { loader->AddToProto(ParseActions::kEventIn, $2, $3); Release(scanner, $2); Release(scanner, $3); }
    | EVENTOUT IDENTIFIER IDENTIFIER
      { loader->AddToProto(ParseActions::kEventOut, $2, $3); Release(scanner, $2); Release(scanner, $3); }
    | FIELD IDENTIFIER IDENTIFIER { loader->ExpectToken(loader->FieldTypeToken($2)); } fieldValue
      { loader->AddToProto(ParseActions::kField, $2, $3); Release(scanner, $2); Release(scanner, $3); }
    | EXPOSEDFIELD IDENTIFIER IDENTIFIER { loader->ExpectToken(loader->FieldTypeToken($2)); }
      fieldValue
      { loader->AddToProto(ParseActions::kExposedField, $2, $3); Release(scanner, $2); Release(scanner, $3); }
    ;

externInterfaceDeclarations: %empty | externInterfaceDeclarations externInterfaceDeclaration ;

externInterfaceDeclaration
    : EVENTIN IDENTIFIER IDENTIFIER
      { loader->AddToProto(ParseActions::kEventIn, $2, $3); Release(scanner, $2); Release(scanner, $3); }
    | EVENTOUT IDENTIFIER IDENTIFIER
      { loader->AddToProto(ParseActions::kEventOut, $2, $3); Release(scanner, $2); Release(scanner, $3); }
    | FIELD IDENTIFIER IDENTIFIER
      { loader->AddToProto(ParseActions::kField, $2, $3); Release(scanner, $2); Release(scanner, $3); }
    | EXPOSEDFIELD IDENTIFIER IDENTIFIER
      { loader->AddToProto(ParseActions::kExposedField, $2, $3); Release(scanner, $2); Release(scanner, $3); }
    ;

routeDeclaration
    : ROUTE IDENTIFIER '.' IDENTIFIER TO IDENTIFIER '.' IDENTIFIER
      {
          loader->AddRoute($2, $4, $6, $8);
          Release(scanner, $2); Release(scanner, $4); Release(scanner, $6); Release(scanner, $8);
      }
    ;

node
    : IDENTIFIER { loader->EnterNode($1); } '{' nodeGuts '}'
      { loader->ExitNode(); Release(scanner, $1); }
    ;

nodeGuts: %empty | nodeGuts nodeGut ;

nodeGut
    : IDENTIFIER { loader->EnterField($1); } fieldValue
      { loader->StoreValue(); loader->ExitField(); Release(scanner, $1); }
    | routeDeclaration
    | protoDeclaration
    | EVENTIN IDENTIFIER IDENTIFIER
      { loader->DeclareField(ParseActions::kEventIn, $2, $3); Release(scanner, $2); Release(scanner, $3); }
    | EVENTOUT IDENTIFIER IDENTIFIER
      { loader->DeclareField(ParseActions::kEventOut, $2, $3); Release(scanner, $2); Release(scanner, $3); }
    | FIELD IDENTIFIER IDENTIFIER
      {
          loader->DeclareField(ParseActions::kField, $2, $3);
          loader->EnterField($3);
          loader->ExpectToken(loader->FieldTypeToken($2));
      }
      fieldValue
      { loader->StoreValue(); loader->ExitField(); Release(scanner, $2); Release(scanner, $3); }
    | EVENTIN IDENTIFIER IDENTIFIER IS IDENTIFIER
      {
          loader->DeclareField(ParseActions::kEventIn, $2, $3);
          loader->EnterField($3); loader->BindIs($5); loader->ExitField();
          Release(scanner, $2); Release(scanner, $3); Release(scanner, $5);
      }
    | EVENTOUT IDENTIFIER IDENTIFIER IS IDENTIFIER
      {
          loader->DeclareField(ParseActions::kEventOut, $2, $3);
          loader->EnterField($3); loader->BindIs($5); loader->ExitField();
          Release(scanner, $2); Release(scanner, $3); Release(scanner, $5);
      }
    ;

fieldValue
    : SFBOOL        { loader->SetValueKind(2); }
    | SFCOLOR       { loader->SetValueKind(20); }
    | MFCOLOR       { loader->SetValueKind(21); }
    | SFFLOAT       { loader->SetValueKind(3); }
    | MFFLOAT       { loader->SetValueKind(8); }
    | SFIMAGE       { loader->SetValueKind(12); }
    | SFINT32       { loader->SetValueKind(1); }
    | MFINT32       { loader->SetValueKind(12); }
    | SFROTATION    { loader->SetValueKind(6); }
    | MFROTATION    { loader->SetValueKind(11); }
    | SFSTRING      { loader->SetValueKind(16); }
    | MFSTRING      { loader->SetValueKind(17); }
    | SFTIME        { loader->SetValueKind(7); }
    | SFVEC2F       { loader->SetValueKind(4); }
    | MFVEC2F       { loader->SetValueKind(9); }
    | SFVEC3F       { loader->SetValueKind(5); }
    | MFVEC3F       { loader->SetValueKind(10); }
    | SFNODE nodeDeclaration
    | SFNODE SFN_NULL
    | SFNODE IS IDENTIFIER { loader->BindIs($3); Release(scanner, $3); }
    | MFNODE mfnodeValue
    | MFNODE IS IDENTIFIER { loader->BindIs($3); Release(scanner, $3); }
    | IS IDENTIFIER { loader->BindIs($2); Release(scanner, $2); }
    ;

mfnodeValue: '[' nodes ']' | nodeDeclaration ;

nodes: %empty | nodes nodeDeclaration ;

%%
